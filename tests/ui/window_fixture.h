// A fixture for tests that drive the window: its own settings and data folders, the engine
// started as the program starts it, the Qt event loop as the engine's loop, messages and
// questions recorded instead of shown, and a main window. One QApplication serves the whole
// test program; the platform plugin comes from QT_QPA_PLATFORM (offscreen unless set).
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QStringList>
#include <cstdlib>
#include <ostream>
#include <memory>
#include <string>
#include <vector>

#include "agent/application.h"
#include "database/document_store.h"
#include "database/topic_store.h"
#include "foundation/settings.h"
#include "platform/clock.h"
#include "platform/event_loop.h"
#include "platform/message_sink.h"
#include "platform/registry_store.h"
#include "test_support.h"
#include "ui/main_frame.h"
#include "ui/qt_event_loop.h"

// Readable failure output for Qt strings.
inline void PrintTo(const QString& s, std::ostream* os) { *os << '"' << s.toStdString() << '"'; }

namespace orvalis::testing {

struct Recording_sink : platform::Message_sink {
  void show(const std::string&, const std::string& text) override { shown.push_back(text); }
  std::vector<std::string> shown;
};

inline QApplication& test_application() {
  static int argc = 1;
  static char name[] = "orvalis_window_tests";
  static char* argv[] = {name, nullptr};
  if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  static QApplication* app = new QApplication(argc, argv);
  return *app;
}

class Window_test : public ::testing::Test {
 protected:
  void SetUp() override {
    test_application();
    setenv("ORVALIS_CONFIG_HOME", dir_.file("config").c_str(), 1);
    setenv("XDG_DATA_HOME", dir_.file("data").c_str(), 1);
    setenv("ORVALIS_SHIPPED_DATA", ORVALIS_DATA_DIR, 1);
    platform::Registry_store::instance().close();
    Settings_cache::instance().clear();
    platform::set_message_sink(&sink_);
    loop_ = ui::make_qt_event_loop();
    platform::set_current_event_loop(loop_.get());
    ui::Agent_link* agent = make_agent();  // before start-up, which runs the agent's hooks
    ASSERT_TRUE(Application::instance().start(start_options()));
    frame_ = std::make_unique<ui::CMainFrame>(agent);
    frame_->ask = [this](const QString& q) {
      questions_ << q;
      return answer_;
    };
    frame_->database_opened_at_start();
    frame_->show();
  }
  void TearDown() override {
    frame_.reset();
    Application::instance().exit();
    platform::Registry_store::instance().close();
    platform::set_message_sink(nullptr);
    platform::set_current_event_loop(nullptr);
  }
  virtual Application::Start_options start_options() { return {}; }
  // The agent the window runs with; null: none (the window's Idle_agent).
  virtual ui::Agent_link* make_agent() { return nullptr; }

  // A topic of the user's, as the Quick Topics bar makes it, with these terms.
  Topic_handle add_topic(const char* name, std::vector<const char*> terms = {}) {
    Topic_handle t = Topic_store::shared().add_topic(Ref_string(name));
    t->is_user_topic = 1;
    t->is_user_top_level = 1;
    t->time_last_modified = Db_date::at(platform::now());
    for (const char* term : terms) t->terms.append(Ref_string(term));
    Topic_store::shared().save_topic(*t);
    return t;
  }
  // A document of `topic` with counts, an extract and key terms, as a search would leave it.
  Document_handle add_document(const Topic_handle& topic, const char* address, const char* title,
                               int links, std::vector<const char*> extract = {},
                               std::vector<const char*> key_terms = {},
                               const char* engine = "") {
    Document_store docs;
    Document_handle d = docs.add_document(Ref_string(address), Ref_string(title), links, 3);
    for (const char* s : extract) d->abstract.append(Ref_string(s));
    for (const char* s : key_terms) d->summary.append(Ref_string(s));
    if (!extract.empty()) d->time_last_retrieved = Db_date::at(platform::now());
    docs.save_document(*d);
    Document_link link;
    link.search_resource = Ref_string(engine);
    link.relevant = 1;
    docs.link_document(topic->concept_id, d->url_id, link, false);
    return d;
  }

  Temp_dir dir_{"orvalis-window-"};
  Recording_sink sink_;
  std::unique_ptr<platform::Event_loop> loop_;
  std::unique_ptr<ui::CMainFrame> frame_;
  QStringList questions_;
  bool answer_ = true;
};

}  // namespace orvalis::testing
