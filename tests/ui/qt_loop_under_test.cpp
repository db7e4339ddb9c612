// The event-loop cases of tests/platform run here on the Qt loop, with a QCoreApplication made
// once for the program.
#include <QCoreApplication>

#include "loop_under_test.h"
#include "ui/qt_event_loop.h"

namespace orvalis::platform {

std::unique_ptr<Event_loop> make_loop_under_test() {
  static int argc = 1;
  static char name[] = "qt_event_loop_tests";
  static char* argv[] = {name, nullptr};
  if (!QCoreApplication::instance()) new QCoreApplication(argc, argv);
  return ui::make_qt_event_loop();
}

}  // namespace orvalis::platform
