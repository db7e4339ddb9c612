// orvalis: the Orvalis window. Start-up creates the main window over the agent, opens the
// database named on the command line or the last one used, shows the window (then the welcome
// dialog and the tasks that came due while the program was not running) and runs the engine
// and the agent on the Qt event loop of the user-interface thread. --version and --help are
// answered before Qt starts, so they need no display.
#include <QApplication>
#include <QLocale>
#include <QStringList>

#include <cstdio>
#include <cstring>

#include "agent/application.h"
#include "platform/clock.h"
#include "platform/event_loop.h"
#include "platform/message_sink.h"
#include "ui/controller_agent.h"
#include "ui/main_frame.h"
#include "ui/message_box.h"
#include "ui/qt_event_loop.h"
#include "ui/ui_icons.h"
#include "platform/version.h"

int main(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--version") == 0) {
      std::printf("orvalis %s\n", ORVALIS_VERSION);
      return 0;
    }
    if (std::strcmp(argv[i], "--help") == 0) {
      std::printf("usage: orvalis [Qt options] [FILE.ov2]\n"
                  "Opens the Topic database FILE, or the last one used, in the Orvalis window.\n"
                  "  --version  print the version and exit\n"
                  "  --help     print this text and exit\n"
                  "See orvalis(1) for the Qt options (-platform, -style, ...).\n");
      return 0;
    }
  }
  QApplication qt(argc, argv);
  // The user's locale, for the engine's dates (the C library's) and for the window's (Qt's).
  orvalis::platform::use_user_locale();
  QLocale::setDefault(QLocale::system());
  QApplication::setApplicationName("Orvalis");
  QApplication::setOrganizationName("Brennick");
  QApplication::setApplicationVersion(ORVALIS_VERSION);
  QGuiApplication::setDesktopFileName("orvalis");  // the menu entry, and so its icon under Wayland
  QApplication::setWindowIcon(orvalis::ui::program_icon());

  std::unique_ptr<orvalis::platform::Event_loop> loop = orvalis::ui::make_qt_event_loop();
  orvalis::platform::set_current_event_loop(loop.get());
  orvalis::ui::Qt_message_sink sink;
  orvalis::platform::set_message_sink(&sink);

  int status = 1;
  orvalis::ui::Controller_agent agent;
  agent.install_hooks();
  {
    orvalis::ui::CMainFrame frame(&agent);
    sink.set_parent(&frame);
    orvalis::Application::Start_options options;
    QStringList args = QApplication::arguments();
    if (args.size() > 1) options.database = args[1].toStdString();
    orvalis::Application& app = orvalis::Application::instance();
    if (!app.start(options)) return 1;
    frame.database_opened_at_start();
    frame.show();
    frame.show_welcome_if_wanted();
    frame.show_due_tasks();
    frame.raise();
    frame.activateWindow();
    status = QApplication::exec();
    sink.set_parent(nullptr);
  }
  orvalis::Application::instance().exit();
  orvalis::platform::set_message_sink(nullptr);
  orvalis::platform::set_current_event_loop(nullptr);
  return status;
}
