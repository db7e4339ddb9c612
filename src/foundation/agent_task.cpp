#include "foundation/agent_task.h"

namespace orvalis {

Agent_task::Agent_task(const Time_spec& schedule)
    : schedule_(schedule), last_run_(Timestamp::now()), next_due_(next_time(schedule, last_run_)) {}

void Agent_task::set_schedule(const Time_spec& s) {
  schedule_ = s;
  next_due_ = next_time(s, last_run_);
}

}  // namespace orvalis
