// The window's start-up over a large database, offscreen: construct the main window, open a
// database of 10,000 topics, show the window and run the event loop until the topic window's
// tree and list have been painted. The database is built once, through the stores, in a
// temporary folder: every topic the user's own and top-level (so "My Topics", open at start,
// holds all of them), each related to the next, one in ten scheduled, one in twenty modified
// today, and the first hundred with five documents each.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <QAbstractItemView>
#include <QApplication>
#include <QEvent>
#include <QTreeView>
#include <chrono>
#include <filesystem>
#include <memory>
#include <string>

#include "agent/application.h"
#include "database/database.h"
#include "database/document_store.h"
#include "database/schema.h"
#include "database/topic_store.h"
#include "platform/clock.h"
#include "platform/event_loop.h"
#include "platform/message_sink.h"
#include "ui/child_frame.h"
#include "ui/main_frame.h"
#include "ui/qt_event_loop.h"

namespace {

using namespace orvalis;

constexpr int kTopics = 10000;

struct Quiet_sink : platform::Message_sink {
  void show(const std::string&, const std::string&) override {}
};

// Notes the first paint of a widget.
struct Paint_watch : QObject {
  bool painted = false;
  bool eventFilter(QObject*, QEvent* e) override {
    if (e->type() == QEvent::Paint) painted = true;
    return false;
  }
};

class Window_bench {
 public:
  Window_bench() {
    std::string pattern =
        (std::filesystem::temp_directory_path() / "orvalis-bench-window-XXXXXX").string();
    if (!mkdtemp(pattern.data())) std::abort();
    dir_ = pattern;
    setenv("ORVALIS_CONFIG_HOME", (dir_ / "config").c_str(), 1);
    setenv("XDG_DATA_HOME", (dir_ / "data").c_str(), 1);
    setenv("ORVALIS_SHIPPED_DATA", ORVALIS_DATA_DIR, 1);
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    static int argc = 1;
    static char name[] = "bench_window";
    static char* argv[] = {name, nullptr};
    app_ = std::make_unique<QApplication>(argc, argv);
    platform::set_message_sink(&sink_);
    loop_ = ui::make_qt_event_loop();
    platform::set_current_event_loop(loop_.get());
    Application::Start_options options;
    options.open_last_database = false;
    if (!Application::instance().start(options)) std::abort();
    path_ = (dir_ / "large.ov2").string();
    build_database();
  }
  ~Window_bench() {
    Application::instance().exit();
    platform::set_current_event_loop(nullptr);
    platform::set_message_sink(nullptr);
    std::error_code ec;
    std::filesystem::remove_all(dir_, ec);
  }
  const std::string& path() const { return path_; }

 private:
  void build_database() {
    if (!create_database(Ref_string(path_))) std::abort();
    Database& db = Database::shared();
    if (!db.open(Ref_string(path_))) std::abort();
    Topic_store& topics = Topic_store::shared();
    Document_store docs;
    const std::int64_t now = platform::now();
    Db_transaction transaction(db);
    std::int32_t previous = 0;
    for (int i = 0; i < kTopics; ++i) {
      Topic_handle t = topics.add_topic(Ref_string(("Topic number " + std::to_string(i)).c_str()));
      if (!t) std::abort();
      t->is_user_topic = 1;
      t->is_user_top_level = 1;
      t->query_enabled = i % 10 == 0;
      t->time_last_modified = Db_date::at(i % 20 == 0 ? now : now - 30 * 24 * 3600);
      t->terms.append(Ref_string(("term " + std::to_string(i)).c_str()));
      if (!topics.save_topic(*t)) std::abort();
      if (previous && !topics.relate(previous, t->concept_id, Ref_string("^"))) std::abort();
      previous = t->concept_id;
      for (int d = 0; i < 100 && d < 5; ++d) {
        std::string address = "http://127.0.0.1/t" + std::to_string(i) + "/d" + std::to_string(d);
        Document_handle doc = docs.add_document(Ref_string(address.c_str()), "A page", 10, 2);
        Document_link link;
        link.relevant = 1;
        if (!doc || !docs.link_document(t->concept_id, doc->url_id, link, false)) std::abort();
      }
    }
    transaction.commit();
    topics.clear_cache();
    db.close();
  }

  std::filesystem::path dir_;
  std::string path_;
  Quiet_sink sink_;
  std::unique_ptr<QApplication> app_;
  std::unique_ptr<platform::Event_loop> loop_;
};

Window_bench* the_bench = nullptr;

void BM_StartToShownWindow_10000Topics(benchmark::State& state) {
  QString path = QString::fromStdString(the_bench->path());
  using Clock = std::chrono::steady_clock;
  double open_ms = 0, paint_ms = 0;
  auto ms = [](Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); };
  for (auto _ : state) {
    const auto began = Clock::now();
    auto frame = std::make_unique<ui::CMainFrame>();
    if (!frame->open_database(path)) std::abort();
    const auto opened = Clock::now();
    ui::CChildFrame* w = frame->active_topic_window();
    if (!w) std::abort();
    Paint_watch tree, list;
    w->tree()->viewport()->installEventFilter(&tree);
    w->list()->viewport()->installEventFilter(&list);
    frame->show();
    while (!tree.painted || !list.painted) QApplication::processEvents(QEventLoop::AllEvents, 50);
    state.PauseTiming();
    open_ms += ms(opened - began);
    paint_ms += ms(Clock::now() - opened);
    w->tree()->viewport()->removeEventFilter(&tree);
    w->list()->viewport()->removeEventFilter(&list);
    frame->close_database();
    frame.reset();
    QApplication::processEvents();
    state.ResumeTiming();
  }
  // Where the time goes: making the window and opening the database (the tree's root folders
  // are read when first shown), then showing and painting.
  state.counters["open_ms"] = open_ms / static_cast<double>(state.iterations());
  state.counters["show_paint_ms"] = paint_ms / static_cast<double>(state.iterations());
}
BENCHMARK(BM_StartToShownWindow_10000Topics)->Unit(benchmark::kMillisecond)->Iterations(5);

}  // namespace

// The application and its database live from before the first run to after the last, and end
// before the program's static objects (Qt's among them) do.
int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  {
    Window_bench bench;
    the_bench = &bench;
    benchmark::RunSpecifiedBenchmarks();
    the_bench = nullptr;
  }
  benchmark::Shutdown();
  return 0;
}
