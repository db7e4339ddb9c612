// The agent in the window, driven offscreen: a topic searched on the demo web fills the item
// list while the user's selection stays, with the status line following the tasks; closing
// with tasks active asks first and No keeps everything; Stop All Tasks; the due-tasks dialog;
// the schedule editor; capturing a search engine. Agent time is a hand-moved clock (one
// second per 25 ms of real time), so nothing waits out the host spacing; dialogs are answered
// through the window's hooks.
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPushButton>
#include <QRadioButton>
#include <QSortFilterProxyModel>
#include <QSpinBox>
#include <QTest>
#include <QTimer>
#include <QTreeView>
#include <QTreeWidget>

#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <deque>
#include <thread>

#include "agent/scheduler.h"
#include "agent/task_manager.h"
#include "database/search_resource_store.h"
#include "demo_web/demo_corpus.h"
#include "demo_web/demo_web.h"
#include "ui/capture_dialog.h"
#include "ui/child_frame.h"
#include "ui/controller_agent.h"
#include "ui/due_tasks_dialog.h"
#include "ui/item_list_model.h"
#include "ui/properties_dialog.h"
#include "ui/resource_dialogs.h"
#include "ui/schedule_editor.h"
#include "ui/topic_tree_model.h"
#include "ui/ui_text.h"
#include "window_fixture.h"

namespace orvalis::testing {
namespace {

using ui::CChildFrame;
using ui::Item_list_model;

class Agent_window_test : public Window_test {
 protected:
  ui::Agent_link* make_agent() override {
    agent_ = std::make_unique<ui::Controller_agent>();
    agent_->install_hooks();
    return agent_.get();
  }
  void SetUp() override {
    Window_test::SetUp();
    // The agent's timer turns quickly; agent time moves with pump().
    frame_->findChild<QTimer*>("timer_222")->setInterval(20);
    QObject::connect(frame_.get(), &ui::CMainFrame::agent_text_changed, [this](const QString& text) { seen_ << text; });
    ASSERT_TRUE(frame_->new_database(QString::fromStdString(dir_.file("agent.ov2"))));
  }
  void TearDown() override {
    Window_test::TearDown();
    Application::instance().hooks() = Application::Hooks{};
    agent_.reset();
  }

  // Runs the window until `done`; the agent clock moves one second per 25 ms. False after
  // `seconds` of real time (the watchdog).
  bool pump(const std::function<bool()>& done, double seconds = 60) {
    auto start = std::chrono::steady_clock::now(), step = start;
    while (!done()) {
      auto now = std::chrono::steady_clock::now();
      if (now - start > std::chrono::duration<double>(seconds)) return false;
      if (now - step >= std::chrono::milliseconds(25)) {
        clock_.advance(1);
        step = now;
      }
      QTest::qWait(5);
    }
    return true;
  }
  QString status() const { return frame_->findChild<QLabel*>("agent_pane")->text(); }
  int tasks() const { return Task_manager::instance().has_tasks(); }

  // The demo engine, the only one serving the category "Demo".
  void add_demo_engine(const demo::Demo_web& web) {
    Search_resource r;
    r.name = "Lookabout";
    r.location = Url(Ref_string(std::string_view(web.engine_location())));
    r.search_field = "q";
    r.enabled = 1;
    r.category = "Demo";
    for (const Ref_string& s : split(Ref_string(std::string_view(web.ignore_list())), ','))
      r.ignore_substrings.append(s);
    ASSERT_TRUE(Search_resource_store().save_resource(r));
  }
  Topic_handle demo_topic(const char* name) {
    Topic_handle t = add_topic(name);
    t->category = "Demo";
    Topic_store::shared().save_topic(*t);
    return t;
  }
  CChildFrame* show_topic(const Topic_handle& t) {
    CChildFrame* w = frame_->active_topic_window();
    w->reload();
    EXPECT_TRUE(w->select_topic(t->concept_id));
    return w;
  }

  platform::Manual_clock clock_{1'700'000'000};
  platform::Scoped_clock installed_{clock_};
  std::unique_ptr<ui::Controller_agent> agent_;
  QStringList seen_;
};

TEST_F(Agent_window_test, SearchOnTheDemoWebFillsTheListAndKeepsTheSelection) {
  demo::Demo_web web;
  std::string error;
  ASSERT_TRUE(web.start(error, 64)) << error;  // one host per article: no spacing waits
  add_demo_engine(web);
  Topic_handle topic = demo_topic("solar sail");
  Document_handle mine = add_document(topic, "http://127.0.0.1/notes", "My notes", 0);
  CChildFrame* w = show_topic(topic);
  w->list()->setCurrentIndex(w->list()->model()->index(0, 0));
  ASSERT_EQ(w->current().kind, ui::Selection::document);

  frame_->run_command(ui::cmd_search_web);
  EXPECT_EQ(status(), "1 task active -- Searching for topic 'solar sail'");
  EXPECT_TRUE(frame_->action(ui::cmd_stop_all_tasks)->isEnabled());
  ASSERT_TRUE(pump([&] { return tasks() == 0 && status() == "Agent Idle"; }));
  QTest::qWait(20);  // the last changes reach the views

  EXPECT_TRUE(seen_.contains("1 task active -- Searching 'Lookabout' for 'solar sail'"))
      << seen_.join("|").toStdString();
  EXPECT_TRUE(std::any_of(seen_.begin(), seen_.end(), [](const QString& s) {
    return s.contains(" tasks active -- Summarize '");
  })) << seen_.join("|").toStdString();
  EXPECT_FALSE(frame_->action(ui::cmd_stop_all_tasks)->isEnabled());

  // The found documents are in the list, summarized; the user's selection is where it was.
  Item_list_model* list = w->list_model();
  ASSERT_GT(list->rowCount(), 2);
  int summarized = 0;
  for (int r = 0; r < list->rowCount(); ++r)
    summarized += list->index(r, Item_list_model::summary).data().toString().isEmpty() ? 0 : 1;
  EXPECT_GE(summarized, list->rowCount() - 1);
  EXPECT_EQ(w->current().kind, ui::Selection::document);
  EXPECT_EQ(w->current().document.document->url_id, mine->url_id);
  const Item_list_model::Item* selected = list->item(
      static_cast<QSortFilterProxyModel*>(w->list()->model())->mapToSource(w->list()->currentIndex()).row());
  ASSERT_TRUE(selected && selected->document.document);
  EXPECT_EQ(selected->document.document->url_id, mine->url_id);
  EXPECT_TRUE(w->tree()->isExpanded(w->tree_model()->root_index(ui::Topic_tree_model::my_topics)));
  EXPECT_EQ(w->tree_model()->topic_at(w->tree()->currentIndex())->concept_id, topic->concept_id);
}

TEST_F(Agent_window_test, FollowLinksShowsABusyCursorAndASearchNoEngineAnsweredSaysWhy) {
  demo::Demo_web web;
  std::string error;
  ASSERT_TRUE(web.start(error, 64)) << error;
  Topic_handle topic = demo_topic("solar sail");
  add_document(topic, web.article_address(demo::corpus().front().slug).c_str(), "An article", 3);
  CChildFrame* w = show_topic(topic);
  w->list()->setCurrentIndex(w->list()->model()->index(0, 0));
  frame_->run_command(ui::cmd_follow_links);
  EXPECT_EQ(frame_->cursor().shape(), Qt::BusyCursor);
  ASSERT_TRUE(pump([&] { return tasks() == 0 && frame_->cursor().shape() == Qt::ArrowCursor; }));

  Search_resource r;
  r.name = "Nowhere";
  r.location = Url(Ref_string(std::string_view("http://127.0.0.1:" + std::to_string(free_port()) + "/find")));
  r.search_field = "q";
  r.enabled = 1;
  r.category = "Demo";
  ASSERT_TRUE(Search_resource_store().save_resource(r));
  show_topic(topic);
  frame_->run_command(ui::cmd_search_web);
  ASSERT_TRUE(pump([&] { return tasks() == 0 && status() != "Agent Idle" && status().startsWith("Agent Idle"); }))
      << status().toStdString();
  EXPECT_TRUE(status().startsWith("Agent Idle -- No search engine answered for 'solar sail': Nowhere (")) << status().toStdString();
  frame_->run_command(ui::cmd_search_web);  // the next search starts afresh
  EXPECT_FALSE(status().contains("No search engine answered"));
}

TEST_F(Agent_window_test, ClosingWithTasksActiveAsksAndNoKeepsEverythingOpen) {
  Topic_handle topic = demo_topic("comets");
  frame_->findChild<QTimer*>("timer_222")->stop();  // the search stays queued
  struct Way {
    const char* name;
    std::function<void()> close;
  } ways[] = {
      {"File Close", [&] { frame_->run_command(ui::cmd_file_close); }},
      {"Exit", [&] { frame_->close(); }},
      {"last topic window", [&] { frame_->findChild<QMdiArea*>()->subWindowList().first()->close(); }},
  };
  for (const Way& way : ways) {
    SCOPED_TRACE(way.name);
    if (!Database::shared().is_open()) {
      ASSERT_TRUE(frame_->open_database(QString::fromStdString(dir_.file("agent.ov2"))));
    }
    show_topic(topic);
    frame_->run_command(ui::cmd_search_web);
    questions_.clear();
    answer_ = false;
    way.close();
    QTest::qWait(10);
    EXPECT_EQ(questions_, QStringList({ui::ui_text(10021)}));
    EXPECT_TRUE(Database::shared().is_open());
    EXPECT_EQ(tasks(), 2);  // still queued
    EXPECT_TRUE(frame_->active_topic_window());
    answer_ = true;
    way.close();
    QTest::qWait(10);
    EXPECT_FALSE(Database::shared().is_open());
    EXPECT_EQ(tasks(), 0);
    frame_->show();
  }
}

TEST_F(Agent_window_test, StopAllTasksEmptiesTheAgent) {
  Topic_handle topic = demo_topic("tides");
  show_topic(topic);
  frame_->run_command(ui::cmd_search_web);
  frame_->run_command(ui::cmd_summarize);
  EXPECT_EQ(status(), "2 tasks active -- Summarize documents on subject 'tides'");
  frame_->action(ui::cmd_stop_all_tasks)->trigger();
  EXPECT_EQ(tasks(), 0);
  EXPECT_EQ(status(), "Agent Idle");
  EXPECT_FALSE(frame_->action(ui::cmd_stop_all_tasks)->isEnabled());
}

TEST_F(Agent_window_test, DueTasksDialogRunsTheChosenTasksAndCancelRunsNone) {
  struct Case {
    bool run;
    std::vector<int> unselect;
    QStringList queued;
  } cases[] = {
      // A new task goes ahead of those due at the same second.
      {true, {}, {"Summarize documents on subject 'bees'", "Searching for topic 'bees'"}},
      {true, {0}, {"Summarize documents on subject 'bees'"}},
      {false, {}, {}},
  };
  for (const Case& c : cases) {
    Topic_handle t = demo_topic("bees");
    t->query_enabled = t->summary_enabled = 1;
    t->time_last_queried = t->time_last_summarized = Db_date::at(clock_.now() - 8 * 86400);
    Topic_store::shared().save_topic(*t);
    QStringList offered;
    frame_->exec_dialog = [&](QDialog& d) {
      auto& due = dynamic_cast<ui::CDueTasksDialog&>(d);
      for (int i = 0; i < due.list()->count(); ++i) offered << due.list()->item(i)->text();
      for (int i : c.unselect) due.list()->item(i)->setSelected(false);
      return c.run ? QDialog::Accepted : QDialog::Rejected;
    };
    Application::instance().hooks().after_start_up();  // the check start-up makes
    frame_->show_due_tasks();
    EXPECT_EQ(offered, QStringList({"Searching for topic 'bees'", "Summarize documents on subject 'bees'"}));
    QStringList queued;
    for (const Agent_task_handle& task : Task_manager::instance().queue())
      queued << QString::fromStdString(task->description().str());
    EXPECT_EQ(queued, c.queued);
    // Run or not, the topic's last times moved to the check.
    Topic stored;
    ASSERT_TRUE(Topic_store::shared().load_topic(stored, t->concept_id));
    EXPECT_EQ(stored.time_last_queried.seconds, clock_.now());
    EXPECT_EQ(stored.time_last_summarized.seconds, clock_.now());
    Task_manager::instance().stop_all();
    Topic_store::shared().delete_topic(t->concept_id);
  }
}

TEST_F(Agent_window_test, ScheduleEditorShowsAndSavesTheTopicsSchedules) {
  struct Case {
    const char* stored;
    ui::Schedule_fields shown;
    const char* saved;
  } cases[] = {
      {"r 0 1 12", {false, 1, ui::Schedule_fields::days, 7, 0}, "r 0 1 0"},
      {"a 0 3 9", {true, 1, ui::Schedule_fields::weeks, 3, 9}, "a 0 3 9"},
      {"r 2 3 0", {false, 2, ui::Schedule_fields::weeks, 7, 0}, "r 2 0 0"},
      {"r 0 0 5", {false, 5, ui::Schedule_fields::hours, 7, 0}, "r 0 0 5"},
      {"r 0 0 0", {false, 1, ui::Schedule_fields::weeks, 7, 0}, "r 1 0 0"},
      {"nonsense", {false, 7, ui::Schedule_fields::days, 7, 0}, "r 0 7 0"},
  };
  for (const Case& c : cases) {
    ui::CScheduleEditor editor("Agent &searches the web ", true, c.stored);
    EXPECT_TRUE(editor.fields() == c.shown) << c.stored;
    EXPECT_EQ(editor.spec_text().str(), c.saved);
    EXPECT_EQ(editor.number()->isEnabled(), !c.shown.at_weekday) << c.stored;
    EXPECT_EQ(editor.hour()->isEnabled(), c.shown.at_weekday) << c.stored;
    editor.switch_box()->setChecked(false);
    EXPECT_FALSE(editor.number()->isEnabled() || editor.hour()->isEnabled());
  }
  EXPECT_EQ(ui::CScheduleEditor("", false, "a 0 3 9").hour()->currentText(), "9 am");

  // Schedule Tasks: switching the search on every Wednesday at 9 registers its recurrent task;
  // switching it off again removes it.
  Topic_handle t = demo_topic("tea");
  show_topic(t);
  for (bool on : {true, false}) {
    frame_->exec_dialog = [&](QDialog& d) {
      auto& page = dynamic_cast<ui::CTopicProperties&>(d);
      page.search_schedule()->switch_box()->setChecked(on);
      page.search_schedule()->weekday_choice()->setChecked(true);
      page.search_schedule()->weekday()->setCurrentIndex(3);
      page.search_schedule()->hour()->setCurrentIndex(9);
      page.accept();
      return page.result();
    };
    frame_->run_command(ui::cmd_schedule_tasks);
    Topic stored;
    ASSERT_TRUE(Topic_store::shared().load_topic(stored, t->concept_id));
    EXPECT_EQ(stored.query_enabled, on ? 1 : 0);
    EXPECT_EQ(stored.query_time_spec.str(), "a 0 3 9");
    EXPECT_EQ(static_cast<bool>(recurrent_search_task(t->concept_id)), on);
  }
}

TEST_F(Agent_window_test, NewSearchResourceIsCheckedCapturedAndStored) {
  demo::Demo_web web;
  std::string error;
  ASSERT_TRUE(web.start(error, 1)) << error;
  Settings_cache::instance().set("BrowserPath", "/bin/true");
  const QString form = QString::fromStdString(web.engine_form_page());
  const QString refused = QString("http://127.0.0.1:%1/").arg(free_port());
  struct Answer {
    QString name, address;  // a null name: cancel
  };
  // The engine's checks have their own tests: here one refusal, asked again, and a failed fetch.
  std::deque<Answer> answers = {{"", form}, {"Lookabout", refused}, {QString(), QString()}, {"Look about", form}};
  QStringList progress_texts;
  std::thread browser;
  std::atomic<bool> answered{false};
  QString listed;
  frame_->exec_dialog = [&](QDialog& d) -> int {
    if (auto* list = qobject_cast<ui::CSearchResourcesDialog*>(&d)) {
      list->findChild<QPushButton*>("capture_resource")->click();
      listed = list->list()->currentItem()->text(0);
      return QDialog::Accepted;
    }
    if (auto* ask = qobject_cast<ui::CNewSearchResource*>(&d)) {
      Answer a = answers.front();
      answers.pop_front();
      if (a.name.isNull()) return QDialog::Rejected;
      ask->name_edit()->setText(a.name);
      ask->address_edit()->setText(a.address);
      return QDialog::Accepted;
    }
    // The progress: once the form is in the "browser", it submits "searchfield" as the query.
    auto& p = dynamic_cast<ui::CCaptureProgress&>(d);
    bool finished = false;
    QObject::connect(&p, &QDialog::finished, [&finished] { finished = true; });
    bool ended = pump([&] {
      p.check();
      if (progress_texts.isEmpty() || progress_texts.last() != p.text()) progress_texts << p.text();
      if (p.text() == ui::ui_text(10049) && !browser.joinable()) {
        int port = QString::fromStdString(p.task()->listener_address().str()).section(':', -1).toInt();
        // A browser sends the name's blank as "+".
        std::string body = std::string(kName_marker) + "=Look+about&" + kAddress_marker +
                           "=%2Fsearch&" + kMethod_marker + "=get&q=searchfield";
        browser = std::thread([port, body, &answered] {
          int fd = connect_loopback(port);
          timeval limit{10, 0};
          setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
          send_all(fd, "POST / HTTP/1.0\r\nContent-Type: application/x-www-form-urlencoded\r\n"
                       "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body);
          char buffer[512];
          while (::read(fd, buffer, sizeof buffer) > 0) {}
          ::close(fd);
          answered = true;
        });
      }
      return finished;
    });
    EXPECT_TRUE(ended) << progress_texts.join("|").toStdString();
    return p.result();
  };
  sink_.shown.clear();
  EXPECT_EQ(frame_->new_search_resource(), QString());  // the refused address, then cancel
  EXPECT_EQ(sink_.shown, (std::vector<std::string>{ui::ui_text(18002).toStdString(), ui::ui_text(18006).toStdString()}));
  EXPECT_EQ(progress_texts.first(), ui::ui_text(10048));

  // Edit Search Resources offers the capture, and lists the captured engine.
  progress_texts.clear();
  frame_->run_command(ui::cmd_edit_search_resources);
  EXPECT_EQ(listed, "Look about");
  EXPECT_TRUE(pump([&] { return answered.load(); }, 10));  // the browser's answer leaves
  if (browser.joinable()) browser.join();
  EXPECT_TRUE(progress_texts.contains(ui::ui_text(10049))) << progress_texts.join("|").toStdString();
  Search_resource_handle stored = Search_resource_store().resource("Look about");
  ASSERT_TRUE(stored);
  EXPECT_EQ(stored->search_field.str(), "q");
  EXPECT_EQ(stored->request_kind, Search_resource::get);
  EXPECT_EQ(stored->location.text().str(), web.engine_location());
  EXPECT_EQ(tasks(), 0);
}

}  // namespace
}  // namespace orvalis::testing
