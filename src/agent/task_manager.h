// Task_manager holds the agent's work: the queue of tasks waiting to run (earliest due first,
// a new task ahead of those due at the same second), the running list (in start order) and
// the recurrent list (the schedules of the open database's topics, never queued). The agent
// tick asks it for the next task again and again until none is due and admitted; each choice
// looks at no more than 51 queue entries, so a long queue costs a tick little. When both
// lists are empty, each choice first starts the recurrent tasks whose time has come.
//
// One process-wide instance, user-interface thread only. Tasks finish themselves through
// finish(); stop_all() is what the Stop command, closing the database and the database
// error reporter's recovery call.
// REQUIRES: tasks are made with make_counted; a task is in at most one of the lists.
#pragma once

#include <cstdint>
#include <functional>

#include "foundation/agent_task.h"
#include "foundation/ref_list.h"

namespace orvalis {

class Task_manager {
 public:
  // Entries of the queue examined by one pick_next.
  static constexpr int kPick_window = 51;

  static Task_manager& instance();

  // Inserts the task before the first queued task due at the same time or later; state 1.
  void submit(const Agent_task_handle& task);
  // Chooses the first due, ready task among the first 51 queue entries (highest priority
  // wins, the earlier on a tie), moves it to the running list (state 2) and returns it in
  // `chosen`. Returns false when none was chosen.
  bool pick_next(Agent_task_handle& chosen);
  // Ends a task: state 3, last run now, next due from its schedule, off the running list.
  void finish(Agent_task& task);
  // Takes a queued task off the queue; its state stays.
  void cancel(const Agent_task_handle& task);
  // Cancels every queued task, finishes every running one, empties the background worker's
  // lists and forgets the network layer's active requests (their connections are closed).
  void stop_all();

  int queued_count() const { return queue_.count(); }
  int running_count() const { return running_.count(); }
  Agent_task_handle first_queued() const;
  Agent_task_handle first_running() const;
  // 1 when tasks run, plus 2 when tasks wait; 0 when idle.
  int has_tasks() const;

  // The recurrent tasks (the scheduler keeps them here).
  void add_recurrent(const Agent_task_handle& task);
  void remove_recurrent(const Agent_task_handle& task);
  const Ref_list<Agent_task_handle>& recurrent() const { return recurrent_; }
  // Starts every recurrent task whose next due has passed, when the agent is idle.
  void fire_recurrent();
  // One-shot commands switch firing off so that other topics' schedules stay quiet.
  void set_recurrent_enabled(bool on) { recurrent_enabled_ = on; }
  // A run that ends once the agent is idle fires each recurrent task at most once, so that a
  // schedule due again at once (every 0 hours) cannot keep it busy for ever. Switching it on
  // or off forgets what fired.
  void set_fire_each_once(bool on) {
    fire_each_once_ = on;
    fired_.clear();
  }
  bool recurrent_enabled() const { return recurrent_enabled_; }

  const Ref_list<Agent_task_handle>& queue() const { return queue_; }
  const Ref_list<Agent_task_handle>& running() const { return running_; }

  Task_manager(const Task_manager&) = delete;
  Task_manager& operator=(const Task_manager&) = delete;

 private:
  Task_manager() = default;

  Ref_list<Agent_task_handle> queue_;
  Ref_list<Agent_task_handle> running_;
  Ref_list<Agent_task_handle> recurrent_;
  bool recurrent_enabled_ = true;
  bool fire_each_once_ = false;
  Ref_list<Agent_task_handle> fired_;  // while fire_each_once_
};

}  // namespace orvalis
