// The event loop that event_loop_test.cpp exercises: each test program that compiles those
// cases defines this factory for its own implementation.
#pragma once

#include <memory>

#include "platform/event_loop.h"

namespace orvalis::platform {

std::unique_ptr<Event_loop> make_loop_under_test();

}  // namespace orvalis::platform
