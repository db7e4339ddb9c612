// The background job queue: text work (summarizing a fetched page) that agent tasks hand to
// one worker thread. Two lists under one lock: jobs waiting (first in, first out) and jobs the
// worker has run, waiting to be finished on the user-interface thread. A job is a
// Counted_object; enqueuing takes one reference, and the lists move their handles between
// threads without touching the count, so a job's count is only ever changed by the
// user-interface thread. The queue is one process-wide instance.
//
// Threads: enqueue, pending_count, finished_count, take_finished, take_first_finished, clear,
// start_worker and stop_worker are called by the user-interface thread; the worker only runs
// jobs. The lock is never held while a job runs or while waiting for the worker to end.
#pragma once

#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "foundation/counted_object.h"
#include "foundation/ref_list.h"

namespace orvalis {

class Job : public Counted_object {
 public:
  // Runs on the worker thread. REQUIRES: touches only what the job alone owns.
  virtual void run_job() {}
};

using Job_handle = Counted_handle<Job>;

class Job_queue {
 public:
  static Job_queue& instance();

  // Starts the worker thread (below-normal priority). Returns 1.
  int start_worker();
  // Waits up to `wait_ms` for the worker to end after asking it to stop; a worker still busy
  // then is detached, not killed. Returns 1 (also when no worker runs).
  int stop_worker(int wait_ms = 5000);
  bool worker_running() const;

  void enqueue(const Job_handle& job);
  int pending_count();
  // Jobs the worker has run that wait to be taken.
  int finished_count();
  // Detaches the list of finished jobs, in the order they finished.
  Ref_list<Job_handle> take_finished();
  // Detaches the job that finished first; null when none has. The others stay listed (and
  // clear still releases them), so a caller can finish jobs a few at a time.
  Job_handle take_first_finished();
  // Releases every job of both lists; with `restart`, stops and starts the worker.
  void clear(bool restart);
  // Releases the jobs of workers that were given up on and have ended since (every other
  // operation does this too). True while such a worker is still running.
  void sweep_retired();
  bool has_retired_workers();

  Job_queue(const Job_queue&) = delete;
  Job_queue& operator=(const Job_queue&) = delete;

 private:
  Job_queue() = default;
  ~Job_queue();

  // Everything the worker touches, shared with it so that a detached worker never sees
  // freed state.
  struct State {
    std::mutex lock;
    std::condition_variable wake_cv;
    bool wake = false;  // auto-reset event
    bool stop = false;
    bool ended = false;
    std::condition_variable ended_cv;
    Ref_list<Job_handle> pending;
    Ref_list<Job_handle> done;
  };
  static void worker_main(std::shared_ptr<State> state);
  static bool step(State& state);
  // Empties both lists of `state`, releasing their jobs on the calling thread.
  static void release_lists(State& state);
  std::shared_ptr<State> state();

  std::mutex guard_;  // guards state_ and worker_ themselves
  std::shared_ptr<State> state_;
  std::thread worker_;
  std::vector<std::shared_ptr<State>> retired_;  // given-up workers still running
};

}  // namespace orvalis
