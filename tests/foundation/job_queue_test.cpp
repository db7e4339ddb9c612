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

TEST_F(JobQueueTest, ClearReleasesPendingJobs) {
  std::vector<int> order;
  std::atomic<int> deaths{0};
  Job_queue& q = Job_queue::instance();
  q.enqueue(make_counted<Recording_job>(1, &order, &deaths));
  q.enqueue(make_counted<Recording_job>(2, &order, &deaths));
  q.clear(false);
  EXPECT_EQ(q.pending_count(), 0);
  EXPECT_EQ(deaths, 2);
  EXPECT_TRUE(order.empty());
}

TEST_F(JobQueueTest, StopIsPromptWhenIdleAndHarmlessTwice) {
  Job_queue& q = Job_queue::instance();
  q.start_worker();
  EXPECT_TRUE(q.worker_running());
  EXPECT_EQ(q.stop_worker(), 1);
  EXPECT_FALSE(q.worker_running());
  EXPECT_EQ(q.stop_worker(), 1);
  // A later start begins afresh.
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
  auto before = std::chrono::steady_clock::now();
  EXPECT_EQ(q.stop_worker(50), 1);
  EXPECT_FALSE(q.worker_running());
  EXPECT_LT(std::chrono::steady_clock::now() - before, std::chrono::seconds(5));
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

}  // namespace
}  // namespace orvalis
