#include "platform/event_loop.h"

namespace orvalis::platform {

namespace {
Event_loop* installed_loop = nullptr;
}

Event_loop& current_event_loop() {
  if (installed_loop) return *installed_loop;
  static std::unique_ptr<Event_loop> default_loop = make_epoll_loop();
  return *default_loop;
}

void set_current_event_loop(Event_loop* loop) { installed_loop = loop; }

}  // namespace orvalis::platform
