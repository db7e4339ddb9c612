// Agent figures: the cost of one choice of the next task with 10,000 tasks queued and none of
// them ready, in the two ways that can be: every task due but its host contacted moments ago
// (the choice looks at 51 entries), and no task due yet (it stops at the first).
// The CPU time per summarized document and the demo's wall time are measured on the whole
// program: see the README of the demo (scripts/demo) and the agent's report.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "agent/task_manager.h"
#include "net/host_table.h"
#include "net/network.h"
#include "net/network_task.h"
#include "platform/clock.h"

namespace {

using namespace orvalis;

constexpr std::int64_t kNow = 1'700'000'000;

class Host_task : public Network_task {
 public:
  explicit Host_task(const std::string& url) { set_url(Ref_string(std::string_view(url))); }
};

void fill_queue(int tasks, int due_offset) {
  Task_manager& manager = Task_manager::instance();
  manager.stop_all();
  Host_table::instance().clear();
  for (int i = 0; i < tasks; ++i) {
    std::string host = "host" + std::to_string(i % 500) + ".example";
    Host_table::instance().set_launch_time(Ref_string(std::string_view(host)), kNow - 5);
    auto t = make_counted<Host_task>("http://" + host + "/page" + std::to_string(i));
    t->set_next_due(Timestamp(kNow + due_offset));
    manager.submit(t);
  }
}

void pick_next_none_ready(benchmark::State& state, int due_offset) {
  platform::Manual_clock clock(kNow);
  platform::Scoped_clock installed(clock);
  fill_queue(static_cast<int>(state.range(0)), due_offset);
  Agent_task_handle chosen;
  for (auto _ : state) benchmark::DoNotOptimize(Task_manager::instance().pick_next(chosen));
  if (Task_manager::instance().running_count() != 0) state.SkipWithError("a task was started");
  Task_manager::instance().stop_all();
}

void BM_PickNextAllDueHostsSpaced(benchmark::State& state) { pick_next_none_ready(state, -10); }
void BM_PickNextNoneDue(benchmark::State& state) { pick_next_none_ready(state, 60); }
BENCHMARK(BM_PickNextAllDueHostsSpaced)->Arg(10000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_PickNextNoneDue)->Arg(10000)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
