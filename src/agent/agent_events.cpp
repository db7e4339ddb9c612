#include "agent/agent_events.h"

namespace orvalis {

Agent_events& agent_events() {
  static Agent_events* events = new Agent_events;
  return *events;
}

}  // namespace orvalis
