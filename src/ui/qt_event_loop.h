// Qt_event_loop is the event loop of the window front-end: the engine's sockets, timers, posted
// callbacks and host look-ups ride on the Qt event loop of the user-interface thread, so the
// window never blocks on the network and the engine never sees Qt. Socket readiness comes
// from a pair of QSocketNotifiers per descriptor (reading, writing); on each activation the
// descriptor is polled once and the event is told with the same rules as the epoll loop
// (connect once with SO_ERROR, close only after the last bytes, the armed set each arming
// replaces). Timers are QTimers; posted callbacks are queued invocations, which wake the
// loop from any thread; look-ups go through c-ares, whose sockets get notifiers too.
//
// Owner: the program's main (or a test), which installs it with set_current_event_loop.
// Thread: the thread that made it, which must be a Qt thread with a QCoreApplication; post()
// may be called from any thread.
// REQUIRES: a QCoreApplication exists for the loop's whole life.
#pragma once

#include <memory>

#include "platform/event_loop.h"

namespace orvalis::ui {

std::unique_ptr<platform::Event_loop> make_qt_event_loop();

}  // namespace orvalis::ui
