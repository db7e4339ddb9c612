// The program's start, run and stop on the engine's side, shared by both front-ends: the order
// in which the application comes up (error handler, settings store, settings, last database),
// opening and closing the Topic database, and the order of shutdown. Hook points let the agent
// add its share: the overdue-schedule check after start-up, the background worker's start at
// the end of start-up, schedule registration after a database is opened, stopping all tasks
// before it is closed, and stopping the worker at program end.
// Messages that a desktop program shows in a box go to the installed platform::Message_sink.
// User-interface thread only.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "agent/installer.h"
#include "foundation/error_handler.h"
#include "foundation/ref_string.h"

namespace orvalis {

// The user-interface thread's error handler: records each message and shows it in the message
// sink under the title "Error".
class Application_error_handler : public Error_handler {
 public:
  void report(Ref_string message) override;
  // Warnings are shown under "Warning" and do not count as errors.
  void warn(Ref_string message) override;
  int count() const { return count_; }
  // While on, errors are shown and kept as warnings: the checks made at start-up (settings,
  // first installation) never make the command that follows fail.
  void set_errors_as_warnings(bool on) { errors_as_warnings_ = on; }

 private:
  int count_ = 0;
  bool errors_as_warnings_ = false;
};

class Application {
 public:
  struct Hooks {
    std::function<void()> after_start_up;   // a database is open at the end of start-up
    std::function<void()> end_of_start_up;  // always, at the end of start-up
    std::function<void()> after_open;       // a database was opened
    std::function<void()> before_close;     // a database is about to close
    std::function<void()> program_end;      // first step of exit()
    std::vector<std::function<void()>> shutdown;  // layers that release shared state at exit
  };

  struct Start_options {
    std::string database;          // a file named on the command line; empty: the last one
    bool open_last_database = true;
    bool quiet_install = true;     // first start: install without printing
    bool load_settings = true;     // false for the installer itself, which writes them
  };

  static Application& instance();
  Hooks& hooks() { return hooks_; }

  // Runs start-up. Fails only when the settings store cannot be opened. What the first
  // installation and the settings check report is shown as warnings.
  bool start(const Start_options& options);
  // Checks the file's format and opens it as the open database. Reports and fails on a file
  // of another format ("File is not a valid Orvalis database.") or one that does not open.
  bool open_database(const Ref_string& path);
  // Runs the before-close hook, closes the database and remembers it as "LastDatabase".
  void close_database();
  bool database_open() const;
  // Program end: the open database is closed (and remembered), the program-end hook, the
  // layers' shutdown (the network layer last), then the error handler.
  void exit();

  Application_error_handler* error_handler() { return handler_.get(); }
  // "2.00 " and the like: major, two-digit minor and the special-build text.
  static std::string version_label();
  static std::string version_text();
  // True when start() laid out a first installation.
  bool installed_on_start() const { return installed_on_start_; }
  // What that first installation wrote (empty lists when there was none).
  const Install_report& start_up_install() const { return start_up_install_; }

 private:
  Application() = default;
  Hooks hooks_;
  std::unique_ptr<Application_error_handler> handler_;
  bool started_ = false;
  bool installed_on_start_ = false;
  Install_report start_up_install_;
};

}  // namespace orvalis
