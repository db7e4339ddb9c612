#include "agent/task_manager.h"

#include <vector>

#include "foundation/job_queue.h"
#include "net/network.h"
#include "platform/clock.h"

namespace orvalis {

Task_manager& Task_manager::instance() {
  // Never destroyed: tasks still listed at exit must not be torn down after the layers.
  static Task_manager* manager = new Task_manager;
  return *manager;
}

void Task_manager::submit(const Agent_task_handle& task) {
  if (!task) return;
  auto it = queue_.begin();
  while (it != queue_.end() && (*it)->next_due() < task->next_due()) ++it;
  queue_.insert(it, task);
  task->set_state(Agent_task::queued);
}

bool Task_manager::pick_next(Agent_task_handle& chosen) {
  fire_recurrent();
  std::int32_t best = -10000;
  auto best_at = queue_.end();
  int looked = 0;
  for (auto it = queue_.begin(); it != queue_.end() && looked < kPick_window; ++it, ++looked) {
    // The queue is ordered by due time: the first entry not yet due ends the walk.
    if ((*it)->next_due().seconds() >= platform::now()) break;
    if ((*it)->is_ready() && (*it)->priority() > best) {
      best = (*it)->priority();
      best_at = it;
    }
  }
  if (best_at == queue_.end()) return false;
  chosen = *best_at;
  queue_.remove(best_at);
  chosen->set_state(Agent_task::running);
  running_.append(chosen);
  return true;
}

void Task_manager::finish(Agent_task& task) {
  Agent_task_handle keep(&task);  // the running list may hold the last other reference
  task.set_state(Agent_task::done);
  task.set_last_run(Timestamp::now());
  task.set_next_due(next_time(task.schedule(), task.last_run()));
  running_.remove_item(keep);
}

void Task_manager::cancel(const Agent_task_handle& task) { queue_.remove_item(task); }

void Task_manager::stop_all() {
  std::vector<Agent_task_handle> queued(queue_.begin(), queue_.end());
  for (const Agent_task_handle& t : queued) cancel(t);
  std::vector<Agent_task_handle> running(running_.begin(), running_.end());
  for (const Agent_task_handle& t : running) finish(*t);
  Job_queue::instance().clear(false);
  abandon_requests();
}

Agent_task_handle Task_manager::first_queued() const {
  return queue_.empty() ? Agent_task_handle() : queue_.first();
}

Agent_task_handle Task_manager::first_running() const {
  return running_.empty() ? Agent_task_handle() : running_.first();
}

int Task_manager::has_tasks() const {
  return (running_.empty() ? 0 : 1) + (queue_.empty() ? 0 : 2);
}

void Task_manager::add_recurrent(const Agent_task_handle& task) {
  if (task && !recurrent_.contains(task)) recurrent_.append(task);
}

void Task_manager::remove_recurrent(const Agent_task_handle& task) { recurrent_.remove_item(task); }

void Task_manager::fire_recurrent() {
  if (!recurrent_enabled_ || !queue_.empty() || !running_.empty()) return;
  // A copy: a started task may change the schedules (a topic saved, registered again).
  std::vector<Agent_task_handle> tasks(recurrent_.begin(), recurrent_.end());
  for (const Agent_task_handle& t : tasks) {
    if (!recurrent_.contains(t) || (fire_each_once_ && fired_.contains(t))) continue;
    if (t->next_due().seconds() < platform::now()) {
      if (fire_each_once_) fired_.append(t);
      t->start();
    }
  }
}

}  // namespace orvalis
