// capture: teaches the database a new search engine from its own web form, through the
// browser of the settings. Prints the progress texts as they change and the capture page's
// path, waits for the submission (or Ctrl-C), and shows the stored resource.
#include <signal.h>

#include <iostream>

#include "agent/agent_controller.h"
#include "agent/browser.h"
#include "agent/capture.h"
#include "agent/capture_task.h"
#include "agent/task_manager.h"
#include "cli/cli.h"
#include "database/database.h"
#include "foundation/error_handler.h"
#include "foundation/settings.h"
#include "net/listen_connection.h"
#include "net/network.h"
#include "platform/event_loop.h"

namespace orvalis::cli {

namespace {

volatile sig_atomic_t interrupted = 0;
void on_interrupt(int) { interrupted = 1; }

// SIGINT and SIGTERM end the wait while it lasts; the earlier handlers come back afterwards.
class Interrupt_scope {
 public:
  Interrupt_scope() {
    interrupted = 0;
    struct sigaction sa {};
    sa.sa_handler = on_interrupt;
    sigemptyset(&sa.sa_mask);
    ::sigaction(SIGINT, &sa, &old_int_);
    ::sigaction(SIGTERM, &sa, &old_term_);
  }
  ~Interrupt_scope() {
    ::sigaction(SIGINT, &old_int_, nullptr);
    ::sigaction(SIGTERM, &old_term_, nullptr);
  }

 private:
  struct sigaction old_int_ {};
  struct sigaction old_term_ {};
};

}  // namespace

int cmd_capture(Context& c) {
  std::string category, user, password;
  c.take("--category", category);
  c.take("--user", user);
  c.take("--password", password);
  const std::string& name = c.arg(0, "resource name");
  const std::string& url = c.arg(1, "form address");
  c.no_more_args(2);
  if (!c.open_database()) return 1;

  Capture_request request{Ref_string(name), Ref_string(url), Ref_string(category), Ref_string(user),
                          Ref_string(password)};
  Ref_string problem =
      check_capture_request(request, Database::shared(), Settings_cache::instance().get("BrowserPath"));
  if (!problem.empty()) {
    report_error(problem);
    return 1;
  }
  auto capture = make_counted<Resource_capture>(request);
  int port = 0;
  // Every request the listener reads goes to the capture; the first one it takes ends the listener.
  Capture_handler_handle handler = make_capture_handler(
      [capture](const Http_request_info& r, Ref_string& html) { return capture->take(r, html); });
  Network_task_handle listener = start_capture_listener(port, handler, true);
  if (!listener) return 1;
  activate_request(listener);
  auto task = make_counted<Capture_task>(request, "localhost", port);

  Interrupt_scope interrupt;
  Ref_string shown;
  bool path_printed = false;
  Capture_progress progress;
  // The agent starts the fetch on its first tick; other topics' schedules stay quiet meanwhile.
  Task_manager& manager = Task_manager::instance();
  manager.set_recurrent_enabled(false);
  manager.submit(task);
  platform::Event_loop& loop = platform::current_event_loop();
  start_agent_timer(loop, 1000);
  agent_tick();
  for (;;) {
    progress = capture_progress(capture->taken(), *task);
    if (progress.text != shown && !progress.text.empty()) {
      c.out << progress.text << std::endl;
      shown = progress.text;
    }
    if (!path_printed && !task->page_path().empty()) {
      c.out << "Capture page: " << task->page_path() << std::endl;
      path_printed = true;
    }
    if (progress.finished() || interrupted) break;
    loop.run_once(250);
  }
  // The browser's answer is on its way out: give it a moment to leave before the sockets close.
  for (int i = 0; i < 8 && capture->taken(); ++i) loop.run_once(50);
  // The listener, the fetch and the connections the listener serves: every request of ours.
  Ref_list<Network_task_handle> ours;
  for (const Network_task_handle& t : active_requests()) ours.append(t);
  cancel_requests(ours);
  stop_agent_timer();
  manager.stop_all();
  manager.set_recurrent_enabled(true);

  if (progress.state == Capture_progress::failed || progress.state == Capture_progress::no_form) {
    report_error(progress.text);
    return 1;
  }
  if (progress.state != Capture_progress::captured) {
    report_error(Ref_string("The capture was interrupted; nothing was stored."));
    return 1;
  }
  c.args = {"show", capture->resource()->name.str()};
  return cmd_resource(c);
}

}  // namespace orvalis::cli
