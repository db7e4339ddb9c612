#include "foundation/job_queue.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>
#include <vector>

namespace orvalis {
namespace {

std::mutex order_lock;

struct Recording_job : Job {
  Recording_job(int id, std::vector<int>* order, std::atomic<int>* deaths)
      : id(id), order(order), deaths(deaths) {}
  ~Recording_job() override { ++*deaths; }
  void run_job() override {
    std::lock_guard<std::mutex> l(order_lock);
    order->push_back(id);
  }
  int id;
  std::vector<int>* order;
  std::atomic<int>* deaths;
};

struct Blocking_job : Job {
  explicit Blocking_job(std::atomic<bool>* go) : go(go) {}
  void run_job() override {
    started = true;
    while (!*go) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  std::atomic<bool>* go;
  std::atomic<bool> started{false};
};

// Collects finished jobs until `n` arrived; gives up after a watchdog of 10 s.
Ref_list<Job_handle> wait_finished(int n) {
  Ref_list<Job_handle> all;
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (all.count() < n && std::chrono::steady_clock::now() < deadline) {
    for (auto& j : Job_queue::instance().take_finished()) all.append(j);
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return all;
}

class JobQueueTest : public ::testing::Test {
 protected:
  void TearDown() override {
    Job_queue::instance().clear(false);
    Job_queue::instance().stop_worker();
  }
};

TEST_F(JobQueueTest, RunsJobsInArrivalOrderAndHandsThemBack) {
  std::vector<int> order;
  std::atomic<int> deaths{0};
  Job_queue& q = Job_queue::instance();
  // Enqueued before the worker starts: one wake runs them all, first in first out.
  for (int i = 0; i < 5; ++i) q.enqueue(make_counted<Recording_job>(i, &order, &deaths));
  EXPECT_EQ(q.pending_count(), 5);
  q.start_worker();
  Ref_list<Job_handle> done = wait_finished(5);
  ASSERT_EQ(done.count(), 5);
  int expected = 0;
  for (auto& j : done) EXPECT_EQ(static_cast<Recording_job*>(j.get())->id, expected++);
  EXPECT_EQ(order, (std::vector<int>{0, 1, 2, 3, 4}));
  EXPECT_EQ(q.pending_count(), 0);
  EXPECT_EQ(deaths, 0);
  done.clear();
  EXPECT_EQ(deaths, 5);  // the queue kept no reference once the jobs were taken
}

TEST_F(JobQueueTest, StopIsHarmlessTwiceAndALaterStartBeginsAfresh) {
  Job_queue& q = Job_queue::instance();
  q.start_worker();
  EXPECT_TRUE(q.worker_running());
  q.stop_worker();
  EXPECT_FALSE(q.worker_running());
  q.stop_worker();
  std::vector<int> order;
  std::atomic<int> deaths{0};
  q.start_worker();
  q.enqueue(make_counted<Recording_job>(7, &order, &deaths));
  EXPECT_EQ(wait_finished(1).count(), 1);
}

TEST_F(JobQueueTest, StopGivesUpOnABusyWorkerAfterTheWait) {
  Job_queue& q = Job_queue::instance();
  std::atomic<bool> release{false};
  auto job = make_counted<Blocking_job>(&release);
  q.start_worker();
  q.enqueue(job);
  while (!job->started) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  q.stop_worker(50);
  EXPECT_FALSE(q.worker_running());
  EXPECT_TRUE(q.has_retired_workers());
  // The queue works again at once, with a new worker.
  std::vector<int> order;
  std::atomic<int> deaths{0};
  q.start_worker();
  q.enqueue(make_counted<Recording_job>(3, &order, &deaths));
  EXPECT_EQ(wait_finished(1).count(), 1);
  // Once released, the given-up worker ends and its job is handed back to this thread.
  release = true;
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (q.has_retired_workers() && std::chrono::steady_clock::now() < deadline) {
    q.sweep_retired();
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  EXPECT_FALSE(q.has_retired_workers());
  EXPECT_EQ(job->ref_count(), 1);  // only this test holds the job now
}

// Jobs are added and taken while the worker runs them, and the worker is stopped (sometimes
// given up on) and started again in the middle. Every job ends exactly once, on this thread,
// whether it ran, waited or sat in a given-up worker's lists.
struct Counting_job : Job {
  Counting_job(std::atomic<int>* runs, std::atomic<int>* deaths, std::thread::id owner)
      : runs(runs), deaths(deaths), owner(owner) {}
  ~Counting_job() override {
    ++*deaths;
    if (std::this_thread::get_id() != owner) ++foreign_deaths;
  }
  void run_job() override {
    ++*runs;
    std::this_thread::yield();
  }
  std::atomic<int>* runs;
  std::atomic<int>* deaths;
  std::thread::id owner;
  static inline std::atomic<int> foreign_deaths{0};
};

TEST_F(JobQueueTest, StressAddTakeAndStopWhileTheWorkerRuns) {
  Job_queue& q = Job_queue::instance();
  std::atomic<int> runs{0}, deaths{0};
  const int rounds = 20, per_round = 200;
  int taken = 0;
  for (int round = 0; round < rounds; ++round) {
    q.start_worker();
    for (int i = 0; i < per_round; ++i) {
      q.enqueue(make_counted<Counting_job>(&runs, &deaths, std::this_thread::get_id()));
      if (i % 16 == 0) taken += q.take_finished().count();
      if (i == per_round / 2) q.stop_worker(round % 4 == 0 ? 0 : 5000);  // 0: give up at once
      if (i == per_round / 2 + 10) q.start_worker();
    }
    taken += q.take_finished().count();
    if (round % 3 == 0) q.clear(round % 2 == 0);
  }
  q.stop_worker();
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  while (q.has_retired_workers() && std::chrono::steady_clock::now() < deadline) {
    q.sweep_retired();
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  EXPECT_FALSE(q.has_retired_workers());
  EXPECT_EQ(deaths.load(), rounds * per_round);
  EXPECT_LE(taken, runs.load());
  EXPECT_EQ(Counting_job::foreign_deaths.load(), 0);
}

}  // namespace
}  // namespace orvalis
