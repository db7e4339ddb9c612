#include "agent/agent_controller.h"

#include <chrono>
#include <optional>
#include <utility>

#include "agent/application.h"
#include "agent/scheduler.h"
#include "agent/search_topic_task.h"
#include "agent/summarize_topic_task.h"
#include "agent/task_manager.h"
#include "agent/topic_organizer.h"
#include "database/db_error.h"
#include "database/page_search_index.h"
#include "database/topic_store.h"
#include "foundation/job_queue.h"
#include "platform/clock.h"
#include "platform/event_loop.h"
#include "platform/message_sink.h"

namespace orvalis {

namespace {

struct Tick_state {
  bool busy = false;
  bool more_posted = false;  // a turn that finishes the rest of the jobs is on its way
  std::chrono::milliseconds budget = kFinish_jobs_budget;
  int timer = -1;
  platform::Event_loop* loop = nullptr;
};

Tick_state& tick_state() {
  static Tick_state state;
  return state;
}

void finish_jobs_turn();

// Completes and finishes the worker's jobs in the order they finished, until none is left or
// one turn's time is used up; then the rest wait in the job queue for a turn of their own
// (posted to the tick's loop), so that a burst of summaries never holds the window for long.
void finish_jobs() {
  Tick_state& s = tick_state();
  Task_manager& manager = Task_manager::instance();
  const auto until = std::chrono::steady_clock::now() + s.budget;
  while (Job_handle job = Job_queue::instance().take_first_finished()) {
    Agent_task_handle task = handle_cast<Agent_task>(job);
    // A task stopped while its job ran is already done.
    if (task && task->state() != Agent_task::done) {
      task->complete_job();
      manager.finish(*task);
    }
    if (std::chrono::steady_clock::now() >= until) break;
  }
  // Without a loop of its own (a tick called by hand) the next tick takes the rest.
  if (!s.more_posted && s.loop && Job_queue::instance().finished_count() > 0) {
    s.more_posted = true;
    s.loop->post(finish_jobs_turn);
  }
}

void finish_jobs_turn() {
  Tick_state& s = tick_state();
  s.more_posted = false;
  // Re-entered from a modal dialog: the running call posts again when it stops short.
  if (s.busy || !s.loop) return;
  s.busy = true;
  finish_jobs();
  s.busy = false;
}

// The index's rows of the documents written since the last tick, a slice of them, while the
// agent waits on the network. A file whose index cannot be written (a full disk) is reported
// once and left until it is opened again; its next open catches up.
void catch_up_search_index() {
  static std::uint64_t failed_generation = 0;
  Database& db = Database::shared();
  if (!db.is_open() || db.is_read_only() || db.generation() == failed_generation ||
      Job_queue::instance().finished_count() > 0)
    return;
  try {
    Page_search_index(db).catch_up(kIndex_catch_up_budget);
  } catch (const Db_error& e) {
    failed_generation = db.generation();
    report_db_error(e);
  }
}

}  // namespace

void agent_tick() {
  Tick_state& s = tick_state();
  if (s.busy) return;
  s.busy = true;
  Task_manager& manager = Task_manager::instance();
  Agent_task_handle chosen;
  while (manager.pick_next(chosen)) {
    Agent_task_handle task = chosen;
    task->start();
  }
  finish_jobs();
  catch_up_search_index();
  // Scheduled runs that have ended get their topic pages published.
  publish_after_scheduled_runs();
  s.busy = false;
}

std::chrono::milliseconds set_finish_jobs_budget(std::chrono::milliseconds budget) {
  return std::exchange(tick_state().budget, budget);
}

int start_agent_timer(platform::Event_loop& loop, int period_ms) {
  Tick_state& s = tick_state();
  stop_agent_timer();
  s.loop = &loop;
  s.more_posted = false;  // what was posted to an earlier loop is gone with it
  s.timer = loop.add_timer(period_ms, [] { agent_tick(); });
  return s.timer;
}

void stop_agent_timer() {
  Tick_state& s = tick_state();
  if (s.loop && s.timer > 0) s.loop->remove_timer(s.timer);
  s.loop = nullptr;
  s.timer = -1;
}

Ref_string agent_status_text() {
  static const Ref_string idle = Ref_string::from_id(18044);
  Task_manager& manager = Task_manager::instance();
  const int q = manager.queued_count();
  const int r = manager.running_count();
  if (q == 0 && r == 0) return idle;
  Agent_task_handle current = r > 0 ? manager.first_running() : manager.first_queued();
  return format_args(Ref_string::from_id(q + r == 1 ? 18046 : 18045), Ref_string::number(q + r),
                     current->description());
}

std::vector<Agent_task_handle> check_due_tasks() {
  std::vector<Agent_task_handle> due;
  if (!Database::shared().is_open()) return due;
  Topic_store& store = Topic_store::shared();
  for (const Topic_handle& listed : store.scheduled_topics(Topic_store::Order::unordered)) {
    auto topic = make_counted<Topic>();
    if (!store.load_topic(*topic, listed->concept_id)) continue;
    const Timestamp now = Timestamp::now();
    auto last = [](const Db_date& d) { return Timestamp(d.is_valid() ? d.seconds : 0); };
    bool changed = false;
    if (topic->query_enabled) {
      if (std::optional<Time_spec> spec = parse_spec(topic->query_time_spec);
          spec && is_due(*spec, last(topic->time_last_queried))) {
        topic->time_last_queried = Db_date::at(now.seconds());
        changed = true;
        auto task = make_counted<Search_topic_task>(topic, true);
        task->set_scheduled(true);
        due.push_back(task);
      }
    }
    if (topic->summary_enabled) {
      if (std::optional<Time_spec> spec = parse_spec(topic->summarize_time_spec);
          spec && is_due(*spec, last(topic->time_last_summarized))) {
        topic->time_last_summarized = Db_date::at(now.seconds());
        changed = true;
        auto task = make_counted<Summarize_topic_task>(topic, true);
        task->set_scheduled(true);
        due.push_back(task);
      }
    }
    if (changed) store.save_topic(*topic);
    register_topic_schedules(*topic);
  }
  return due;
}

bool may_close_database(const std::function<bool(const Ref_string& question)>& confirm,
                        bool find_dialog_open) {
  if (find_dialog_open) {
    platform::message_sink().show("Orvalis", Ref_string::from_id(10131).str());
    return false;
  }
  if (Task_manager::instance().has_tasks() != 0) {
    if (!confirm || !confirm(Ref_string::from_id(10021))) return false;
  }
  return true;
}

void install_agent_hooks(std::function<void(std::vector<Agent_task_handle>)> due_tasks) {
  Application::Hooks& hooks = Application::instance().hooks();
  // The check stamps the topics it finds due, so it runs only when someone takes its tasks.
  if (due_tasks)
    hooks.after_start_up = [due_tasks] {
      std::vector<Agent_task_handle> due = check_due_tasks();
      if (!due.empty()) due_tasks(std::move(due));
    };
  hooks.end_of_start_up = [] { Job_queue::instance().start_worker(); };
  hooks.after_open = [] { register_all_schedules(); };
  hooks.before_close = [] {
    Task_manager::instance().stop_all();
    unregister_all_schedules();
  };
  hooks.program_end = [] {
    stop_agent_timer();
    Job_queue::instance().stop_worker();
  };
  set_db_recovery_hook([] { Task_manager::instance().stop_all(); });
  // Topics made by organizing a topic get their schedules and a first search at once.
  Topic_organizer::set_new_topic_hook([](const Topic_handle& topic) {
    register_topic_schedules(*topic);
    search_topic_now(topic, true);
  });
}

}  // namespace orvalis
