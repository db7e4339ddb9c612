#include "agent/application.h"

#include <cstdio>
#include <filesystem>

#include "agent/installer.h"
#include "database/database.h"
#include "database/schema.h"
#include "foundation/settings.h"
#include "net/network.h"
#include "platform/message_sink.h"
#include "platform/registry_store.h"
#include "platform/version.h"

namespace orvalis {

void Application_error_handler::report(Ref_string message) {
  if (errors_as_warnings_) {
    warn(message);
    return;
  }
  ++count_;
  record(message);
  platform::message_sink().show("Error", message.str());
}

void Application_error_handler::warn(Ref_string message) {
  record(message);
  platform::message_sink().show("Warning", message.str());
}

Application& Application::instance() {
  static Application* app = new Application;
  return *app;
}

std::string Application::version_label() {
  unsigned major = 0, minor = 0, build = 0;
  std::sscanf(ORVALIS_VERSION, "%u.%u.%u", &major, &minor, &build);
  char buf[64];
  std::snprintf(buf, sizeof buf, "%u.%02u %s", major, minor, "");
  return buf;
}

std::string Application::version_text() { return ORVALIS_VERSION; }

bool Application::start(const Start_options& options) {
  // The error handler of the user-interface thread.
  handler_ = std::make_unique<Application_error_handler>();
  handler_->make_current();

  bool first = is_first_start();
  if (!open_settings_store()) {
    // Already open is fine for a second start in one process (tests); anything else fails.
    if (!platform::Registry_store::instance().is_open()) {
      platform::message_sink().show("Error", Ref_string::from_id(18000).str());
      return false;
    }
  }
  handler_->set_errors_as_warnings(true);
  start_up_install_ = Install_report();
  if (first) {
    start_up_install_ = install();
    installed_on_start_ = true;
    if (!start_up_install_.ok)
      report_error(Ref_string(std::string_view("Installation incomplete: " + start_up_install_.error)));
  }
  if (options.load_settings) load_settings();
  handler_->set_errors_as_warnings(false);

  Ref_string path{std::string_view(options.database)};
  if (path.empty() && options.open_last_database)
    path = Settings_cache::instance().get("LastDatabase");
  if (!path.empty()) open_database(path);

  if (database_open() && hooks_.after_start_up) hooks_.after_start_up();
  if (hooks_.end_of_start_up) hooks_.end_of_start_up();
  started_ = true;
  return true;
}

bool Application::database_open() const { return Database::shared().is_open(); }

bool Application::open_database(const Ref_string& path) {
  int format = check_database_format(path);
  if (format == 2) {
    platform::message_sink().show("Error", Ref_string::from_id(10140).str());
    return false;
  }
  if (format != 1) return false;
  if (database_open()) close_database();
  if (!Database::shared().open(path)) {
    report_error(Ref_string::from_id(10101));
    return false;
  }
  if (hooks_.after_open) hooks_.after_open();
  return true;
}

void Application::close_database() {
  if (!database_open()) return;
  if (hooks_.before_close) hooks_.before_close();
  std::error_code ec;
  std::string full = std::filesystem::absolute(Database::shared().path(), ec).string();
  Database::shared().close();
  Ref_string last{std::string_view(full)};
  Settings_cache::instance().set("LastDatabase", last);
  platform::Registry_store::instance().write("LastDatabase", full);
}

void Application::exit() {
  // The open database is closed like any other, so it is remembered for the next start.
  close_database();
  if (hooks_.program_end) hooks_.program_end();
  for (auto& f : hooks_.shutdown) f();
  // Every open connection is aborted and the layer's timer stopped.
  net_shutdown();
  handler_.reset();
  started_ = false;
}

}  // namespace orvalis
