#include "loop_under_test.h"

namespace orvalis::platform {

std::unique_ptr<Event_loop> make_loop_under_test() { return make_epoll_loop(); }

}  // namespace orvalis::platform
