// The task manager's rules and the scheduler's, on a clock the tests move by hand: queue
// order, the choice of the next task (due time, host spacing, the 51-entry window), stopping,
// the status texts, idle firing of schedules and their texts.
#include "agent/task_manager.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "agent/agent_controller.h"
#include "agent/scheduler.h"
#include "net/host_table.h"
#include "net/network.h"
#include "net/network_task.h"
#include "platform/clock.h"
#include "platform/event_loop.h"
#include "test_support.h"

namespace orvalis {
namespace {

constexpr std::int64_t kNow = 1'700'000'000;

// A task for one host that counts how often it was asked whether it is ready.
class Host_task : public Network_task {
 public:
  explicit Host_task(const std::string& host) : host(host) {
    set_url(Ref_string(std::string_view("http://" + host + "/")));
    set_description(Ref_string(std::string_view("task " + host)));
  }
  int is_ready() override {
    ++asked;
    return Network_task::is_ready();
  }
  std::string host;
  int asked = 0;
};

class TaskManagerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Host_table::instance().clear();
    set_host_spacing_enabled(true);
    manager.set_recurrent_enabled(true);
  }
  void TearDown() override {
    manager.stop_all();
    unregister_all_schedules();
    Host_table::instance().clear();
  }
  // A task for `host` due `due` seconds from now; `contacted` seconds ago (-1: never).
  Counted_handle<Host_task> add(const std::string& host, int due, int contacted = -1) {
    auto t = make_counted<Host_task>(host);
    t->set_next_due(Timestamp(kNow + due));
    if (contacted >= 0) Host_table::instance().set_launch_time(Ref_string(std::string_view(host)), kNow - contacted);
    manager.submit(t);
    return t;
  }

  platform::Manual_clock clock{kNow};
  platform::Scoped_clock installed{clock};
  Task_manager& manager = Task_manager::instance();
};

TEST_F(TaskManagerTest, PickNextStartsTheFirstDueTaskWhoseHostMayBeContacted) {
  struct Entry {
    const char* host;
    int due;
    int contacted;
  };
  struct Case {
    const char* what;
    std::vector<Entry> entries;
    const char* started;  // "" for none
  } cases[] = {
      {"a head due now is not due yet", {{"a", 0, -1}}, ""},
      {"a due head is started", {{"a", -1, -1}}, "a"},
      {"contacted 10 s ago: passed over for the next host", {{"a", -5, 10}, {"b", -4, -1}}, "b"},
      {"30 s is too soon, 31 s is not", {{"a", -5, 30}, {"b", -4, 31}}, "b"},
      {"the later of two equal tasks starts first", {{"a", -5, -1}, {"b", -5, -1}}, "b"},
      {"the earliest due starts first", {{"a", -2, -1}, {"b", -5, -1}, {"c", -3, -1}}, "b"},
      {"nothing is ready", {{"a", -5, 0}, {"b", -4, 29}}, ""},
  };
  for (const Case& c : cases) {
    manager.stop_all();
    Host_table::instance().clear();
    for (const Entry& e : c.entries) add(e.host, e.due, e.contacted);
    Agent_task_handle chosen;
    bool picked = manager.pick_next(chosen);
    EXPECT_EQ(picked ? static_cast<Host_task&>(*chosen).host : std::string(), c.started) << c.what;
    if (picked) {
      EXPECT_EQ(chosen->state(), Agent_task::running) << c.what;
      EXPECT_EQ(manager.first_running(), chosen) << c.what;
    }
  }
}

TEST_F(TaskManagerTest, OneChoiceLooksAtNoMoreThan51Entries) {
  std::vector<Counted_handle<Host_task>> tasks;
  for (int i = 0; i < 60; ++i) tasks.push_back(add("h" + std::to_string(i), -10 + i / 10, 5));
  Agent_task_handle chosen;
  EXPECT_FALSE(manager.pick_next(chosen));
  int asked = 0;
  for (const auto& t : tasks) asked += t->asked;
  EXPECT_EQ(asked, Task_manager::kPick_window);
  EXPECT_EQ(manager.queued_count(), 60);
}

TEST_F(TaskManagerTest, StopAllEmptiesBothListsAndTheStatusSaysSo) {
  struct Case {
    int queued, running;
    int has_tasks;
    const char* text;
  } cases[] = {
      {0, 0, 0, "Agent Idle"},
      {1, 0, 2, "1 task active -- task q0"},
      {0, 1, 1, "1 task active -- task r0"},
      {3, 2, 3, "5 tasks active -- task r0"},
  };
  for (const Case& c : cases) {
    std::vector<Agent_task_handle> queued, running;
    for (int i = 0; i < c.running; ++i) {
      running.push_back(add("r" + std::to_string(i), -100 + i));
      Agent_task_handle chosen;
      ASSERT_TRUE(manager.pick_next(chosen));
    }
    for (int i = 0; i < c.queued; ++i) queued.push_back(add("q" + std::to_string(i), 100 + i));
    EXPECT_EQ(manager.has_tasks(), c.has_tasks);
    EXPECT_EQ(agent_status_text(), c.text);
    manager.stop_all();
    EXPECT_EQ(manager.has_tasks(), 0);
    for (const auto& t : running) EXPECT_EQ(t->state(), Agent_task::done);
    for (const auto& t : queued) EXPECT_EQ(t->state(), Agent_task::queued);
  }
}

// A task whose background job has run; complete_job notes the task's number.
class Job_task : public Agent_task {
 public:
  Job_task(int number, std::vector<int>& completed) : number(number), completed(completed) {}
  void complete_job() override { completed.push_back(number); }
  int number;
  std::vector<int>& completed;
};

TEST_F(TaskManagerTest, TheTickFinishesJobsInTheirOrderAcrossTurnsOfItsLoop) {
  // With no time for jobs, each turn finishes one; the loop's own turns finish the rest, or
  // without the timer, the next ticks do. A task stopped meanwhile is skipped.
  struct Case {
    bool with_timer;
    int stopped;  // the task stopped while its job ran (-1: none)
    std::vector<int> after_tick, at_end;
  } cases[] = {
      {true, -1, {0}, {0, 1, 2, 3}},
      {true, 1, {0}, {0, 2, 3}},
      {false, -1, {0}, {0, 1, 2, 3}},
  };
  platform::Event_loop& loop = platform::current_event_loop();
  const auto budget = set_finish_jobs_budget(std::chrono::milliseconds(0));
  Job_queue::instance().start_worker();
  for (const Case& c : cases) {
    std::vector<int> completed;
    std::vector<Agent_task_handle> tasks;
    for (int i = 0; i < 4; ++i) {
      auto t = make_counted<Job_task>(i, completed);
      t->set_next_due(Timestamp(kNow - 1));
      manager.submit(t);
      Agent_task_handle chosen;
      ASSERT_TRUE(manager.pick_next(chosen));
      Job_queue::instance().enqueue(Job_handle(chosen));
      tasks.push_back(chosen);
    }
    ASSERT_TRUE(testing::run_loop_until([] { return Job_queue::instance().finished_count() == 4; }));
    if (c.stopped >= 0) manager.finish(*tasks[static_cast<size_t>(c.stopped)]);
    if (c.with_timer) start_agent_timer(loop, 60'000);
    agent_tick();
    EXPECT_EQ(completed, c.after_tick);
    for (int turn = 0; turn < 10 && manager.has_tasks() != 0; ++turn) {
      if (c.with_timer)
        loop.run_once(0);
      else
        agent_tick();
    }
    EXPECT_EQ(completed, c.at_end);
    EXPECT_EQ(manager.has_tasks(), 0);
    stop_agent_timer();
  }
  Job_queue::instance().stop_worker();
  set_finish_jobs_budget(budget);
}

Topic scheduled_topic(std::int32_t id, const char* query_spec, std::int64_t last_queried) {
  Topic t;
  t.concept_id = id;
  t.name = "Tea";
  t.query_enabled = 1;
  t.query_time_spec = query_spec;
  t.time_last_queried = Db_date::at(last_queried);
  return t;
}

TEST_F(TaskManagerTest, ASchedulePassedFiresOnlyWhenTheAgentIsIdle) {
  register_topic_schedules(scheduled_topic(7, "r 0 1 0", kNow - 86400 - 10));
  Agent_task_handle recurrent = recurrent_search_task(7);
  ASSERT_TRUE(recurrent);
  EXPECT_EQ(recurrent->next_due().seconds(), kNow - 10);

  // Busy: a task waits in the queue (not due yet), so the schedule does not fire.
  add("busy", 50);
  Agent_task_handle chosen;
  EXPECT_FALSE(manager.pick_next(chosen));
  EXPECT_NE(recurrent->state(), Agent_task::done);

  // Idle: it starts (without a database it finishes at once) and is due again a day later.
  manager.stop_all();
  EXPECT_FALSE(manager.pick_next(chosen));
  EXPECT_EQ(recurrent->state(), Agent_task::done);
  EXPECT_EQ(recurrent->next_due().seconds(), kNow + 86400);
  clock.advance(86401);
  recurrent->set_state(Agent_task::created);
  EXPECT_FALSE(manager.pick_next(chosen));
  EXPECT_EQ(recurrent->last_run().seconds(), kNow + 86401);

  // Switched off and registered again: gone from the recurrent list.
  Topic off = scheduled_topic(7, "r 0 1 0", kNow);
  off.query_enabled = 0;
  register_topic_schedules(off);
  EXPECT_FALSE(recurrent_search_task(7));
  EXPECT_FALSE(manager.recurrent().contains(recurrent));
}

TEST_F(TaskManagerTest, ARunThatEndsWhenIdleFiresEachScheduleOnce) {
  // Due again at once after every run: only firing each once lets such a run end.
  register_topic_schedules(scheduled_topic(7, "r 0 0 0", kNow - 10));
  Agent_task_handle recurrent = recurrent_search_task(7);
  ASSERT_TRUE(recurrent);
  Agent_task_handle chosen;
  manager.set_fire_each_once(true);
  for (int tick = 1; tick <= 3; ++tick) {
    clock.advance(1);
    manager.pick_next(chosen);
  }
  EXPECT_EQ(recurrent->last_run().seconds(), kNow + 1);
  manager.set_fire_each_once(false);
  clock.advance(1);
  manager.pick_next(chosen);
  EXPECT_EQ(recurrent->last_run().seconds(), kNow + 4);
}

TEST_F(TaskManagerTest, ClosingTheDatabaseAsksOnlyWhileTasksWait) {
  struct Case {
    bool tasks, find_dialog_open, answer, asked, closes;
  } cases[] = {{false, false, false, false, true}, {true, false, true, true, true},
               {true, false, false, true, false}, {false, true, true, false, false}};
  for (const Case& c : cases) {
    if (c.tasks) add("busy", 50);
    Ref_string asked;
    auto confirm = [&](const Ref_string& question) { return asked = question, c.answer; };
    EXPECT_EQ(may_close_database(confirm, c.find_dialog_open), c.closes) << c.tasks << c.find_dialog_open;
    EXPECT_EQ(asked, c.asked ? Ref_string::from_id(10021) : Ref_string());
    manager.stop_all();
  }
}

TEST_F(TaskManagerTest, ScheduleTextTellsWhenEachScheduleRunsNext) {
  struct Case {
    const char* query_spec;  // null: search schedule off
    const char* summarize_spec;
    std::int64_t last;
    const char* text;
  } cases[] = {
      {nullptr, nullptr, kNow, ""},
      {"r 0 2 0", nullptr, kNow, "'Tea' has tasks scheduled. Agent searches in 2 days"},
      {nullptr, "r 0 0 3", kNow - 60, "'Tea' has tasks scheduled. Agent summarizes in 2 hours 59 minutes"},
      {"r 0 0 1", "r 0 0 0", kNow - 3000, "'Tea' has tasks scheduled. Agent searches in  10 minutes, summarizes now"},
      {"x", nullptr, kNow, "'Tea' has tasks scheduled. Agent"},  // unparsable: left out
  };
  for (const Case& c : cases) {
    Topic t = scheduled_topic(9, c.query_spec ? c.query_spec : "r 0 7 0", c.last);
    t.query_enabled = c.query_spec != nullptr;
    t.summary_enabled = c.summarize_spec != nullptr;
    if (c.summarize_spec) t.summarize_time_spec = c.summarize_spec;
    t.time_last_summarized = Db_date::at(c.last);
    register_topic_schedules(t);
    EXPECT_EQ(schedule_text(t), c.text);
  }
}

}  // namespace
}  // namespace orvalis
