#include "foundation/job_queue.h"

#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <chrono>

namespace orvalis {

Job_queue& Job_queue::instance() {
  static Job_queue* queue = new Job_queue;  // lives until the process ends
  return *queue;
}

Job_queue::~Job_queue() {
  stop_worker();
  sweep_retired();
}

void Job_queue::release_lists(State& state) {
  Ref_list<Job_handle> pending, done;
  {
    std::lock_guard<std::mutex> l(state.lock);
    pending = state.pending;
    done = state.done;
    state.pending = Ref_list<Job_handle>();
    state.done = Ref_list<Job_handle>();
  }
  // The old lists, and the references they hold, are released outside the lock.
  pending.clear();
  done.clear();
}

std::shared_ptr<Job_queue::State> Job_queue::state() {
  sweep_retired();
  std::lock_guard<std::mutex> g(guard_);
  if (!state_) state_ = std::make_shared<State>();
  return state_;
}

void Job_queue::sweep_retired() {
  std::vector<std::shared_ptr<State>> ended;
  {
    std::lock_guard<std::mutex> g(guard_);
    for (auto it = retired_.begin(); it != retired_.end();) {
      bool done;
      {
        std::lock_guard<std::mutex> l((*it)->lock);
        done = (*it)->ended;
      }
      if (done) {
        ended.push_back(*it);
        it = retired_.erase(it);
      } else {
        ++it;
      }
    }
  }
  for (auto& s : ended) release_lists(*s);
}

bool Job_queue::has_retired_workers() {
  std::lock_guard<std::mutex> g(guard_);
  return !retired_.empty();
}

int Job_queue::start_worker() {
  std::shared_ptr<State> s = state();
  std::lock_guard<std::mutex> g(guard_);
  if (worker_.joinable()) return 1;
  worker_ = std::thread(worker_main, s);
  return 1;
}

bool Job_queue::worker_running() const { return worker_.joinable(); }

void Job_queue::worker_main(std::shared_ptr<State> state) {
  // Below-normal priority: on Linux a nice value applies to the calling thread alone.
  setpriority(PRIO_PROCESS, static_cast<id_t>(syscall(SYS_gettid)), 5);
  for (;;) {
    {
      std::unique_lock<std::mutex> l(state->lock);
      state->wake_cv.wait(l, [&] { return state->wake; });
      state->wake = false;
      if (state->stop) break;
    }
    while (step(*state)) {
    }
  }
  std::lock_guard<std::mutex> l(state->lock);
  state->ended = true;
  state->ended_cv.notify_all();
}

bool Job_queue::step(State& state) {
  Job_handle job;
  {
    std::lock_guard<std::mutex> l(state.lock);
    if (state.pending.empty() || state.stop) return false;
    job = state.pending.take_first();
  }
  job->run_job();
  std::lock_guard<std::mutex> l(state.lock);
  // Moved, not copied: the count is never changed on this thread. A worker the queue gave up
  // waiting for leaves the job in its retired lists, released later on the user-interface
  // thread.
  state.done.append(std::move(job));
  return !state.stop;
}

void Job_queue::enqueue(const Job_handle& job) {
  std::shared_ptr<State> s = state();
  Job_handle held = job;  // the queue's reference, taken on this thread
  std::lock_guard<std::mutex> l(s->lock);
  s->pending.append(std::move(held));
  s->wake = true;
  s->wake_cv.notify_one();
}

int Job_queue::pending_count() {
  std::shared_ptr<State> s = state();
  std::lock_guard<std::mutex> l(s->lock);
  return s->pending.count();
}

int Job_queue::finished_count() {
  std::shared_ptr<State> s = state();
  std::lock_guard<std::mutex> l(s->lock);
  return s->done.count();
}

Ref_list<Job_handle> Job_queue::take_finished() {
  std::shared_ptr<State> s = state();
  Ref_list<Job_handle> fresh;
  std::lock_guard<std::mutex> l(s->lock);
  Ref_list<Job_handle> finished = s->done;
  s->done = fresh;
  return finished;
}

Job_handle Job_queue::take_first_finished() {
  std::shared_ptr<State> s = state();
  std::lock_guard<std::mutex> l(s->lock);
  return s->done.empty() ? Job_handle() : s->done.take_first();
}

void Job_queue::clear(bool restart) {
  release_lists(*state());
  if (restart) {
    stop_worker();
    start_worker();
  }
}

int Job_queue::stop_worker(int wait_ms) {
  std::shared_ptr<State> s;
  std::thread worker;
  {
    std::lock_guard<std::mutex> g(guard_);
    if (!worker_.joinable()) return 1;
    s = state_;
    worker = std::move(worker_);
  }
  bool ended;
  {
    std::unique_lock<std::mutex> l(s->lock);
    s->stop = true;
    s->wake = true;
    s->wake_cv.notify_one();
    ended = s->ended_cv.wait_for(l, std::chrono::milliseconds(wait_ms), [&] { return s->ended; });
  }
  if (ended) {
    worker.join();
  } else {
    // The worker is still inside a job: let it finish on its own. It holds its own reference
    // to the old state, so nothing it touches is freed under it; the state is kept until the
    // worker has ended, then its jobs are released on this thread.
    worker.detach();
    std::lock_guard<std::mutex> g(guard_);
    retired_.push_back(s);
  }
  // Jobs still listed are released here, on the calling thread; a later start begins afresh
  // with a new lock and new lists.
  release_lists(*s);
  std::lock_guard<std::mutex> g(guard_);
  if (state_ == s) state_.reset();
  return 1;
}

}  // namespace orvalis
