// Agent_task is the unit of agent work: a description for the status line, a state, a schedule
// and the times derived from it, and the operations the task manager and the background
// worker call. Tasks are shared through Counted_handle (the manager's lists, the network
// layer's active list while a request is in flight, the job queue while summarizing).
// Every operation runs on the user-interface thread except run_job, which the background
// worker calls while the task sits in the job queue.
#pragma once

#include <cstdint>

#include "foundation/job_queue.h"
#include "foundation/ref_string.h"
#include "foundation/time_spec.h"

namespace orvalis {

class Agent_task : public Job {
 public:
  enum State : std::int32_t { created = 0, queued = 1, running = 2, done = 3 };

  // Last run is the moment of construction; next due follows from the schedule.
  explicit Agent_task(const Time_spec& schedule = Time_spec{});
  ~Agent_task() override = default;

  // Starts the work. Returns 1; the base does nothing.
  virtual int start() { return 1; }
  // run_job (from Job): background work on the worker thread; the base does nothing.
  // After background work, on the user-interface thread.
  virtual void complete_job() {}
  // The fetched document has arrived, or the fetch ended.
  virtual void process_result() {}
  // Whether the task may start now. The base is always ready.
  virtual int is_ready() { return 1; }

  const Ref_string& description() const { return description_; }
  void set_description(const Ref_string& d) { description_ = d; }
  State state() const { return state_; }
  void set_state(State s) { state_ = s; }
  const Time_spec& schedule() const { return schedule_; }
  // Sets the schedule and recomputes next due from the last run.
  void set_schedule(const Time_spec& s);
  const Timestamp& last_run() const { return last_run_; }
  const Timestamp& next_due() const { return next_due_; }
  void set_last_run(const Timestamp& t) { last_run_ = t; }
  void set_next_due(const Timestamp& t) { next_due_ = t; }
  std::int32_t priority() const { return priority_; }
  void set_priority(std::int32_t p) { priority_ = p; }

 private:
  Ref_string description_;
  State state_ = created;
  Time_spec schedule_;
  Timestamp last_run_;
  Timestamp next_due_;
  std::int32_t priority_ = 0;
};

using Agent_task_handle = Counted_handle<Agent_task>;

}  // namespace orvalis
