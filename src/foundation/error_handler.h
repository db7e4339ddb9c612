// Error reporting of the engine. Failures are reported, not thrown: report_error hands the
// message to the calling thread's current Error_handler (a default one that records the
// message and writes it to standard error is made on first need); report_warning drops the
// message unless warnings were switched on (a diagnostic switch, off by default).
// Each thread has at most one current handler; front-ends install their own (the desktop shows
// a dialog, the command line prints "Error: ...", tests collect). A handler lives as long as
// its owner keeps it; destroying the current handler leaves its thread with none.
#pragma once

#include "foundation/ref_list.h"
#include "foundation/ref_string.h"

namespace orvalis {

class Error_handler {
 public:
  Error_handler() = default;
  virtual ~Error_handler();
  Error_handler(const Error_handler&) = delete;
  Error_handler& operator=(const Error_handler&) = delete;

  // Takes a message. The base passes it to record() of the thread's current handler.
  virtual void report(Ref_string message);
  // Appends the message to this handler's list.
  virtual void record(Ref_string message);
  // Takes a warning (only reached when warnings are switched on). The base treats it as a
  // message like any other; front-ends may show it differently.
  virtual void warn(Ref_string message) { report(message); }
  // Takes an error that happened but is not reported again (a repeat the reporter keeps
  // quiet); nothing by default.
  virtual void noted(Ref_string) {}

  Ref_list<Ref_string> messages() const { return messages_; }

  // Makes this handler the calling thread's current one, replacing the previous.
  void make_current();
  // The calling thread's current handler, or null.
  static Error_handler* current();

 private:
  Ref_list<Ref_string> messages_;
};

// Records and writes the message with an end of line to standard error.
class Default_error_handler : public Error_handler {
 public:
  void report(Ref_string message) override;
};

// Records every error reported on its thread while it is current, and every error noted, and
// passes the reported ones on to the handler that was current before (so the user still sees
// them); warnings pass on unrecorded. The previous handler comes back when it is destroyed.
class Passing_error_handler : public Error_handler {
 public:
  Passing_error_handler();
  ~Passing_error_handler() override;
  void report(Ref_string message) override;
  void warn(Ref_string message) override;
  void noted(Ref_string message) override { record(message); }

 private:
  Error_handler* previous_;
};

// Collects messages without printing them: for tests and for callers that show errors later.
class Collecting_error_handler : public Error_handler {
 public:
  Collecting_error_handler();
  ~Collecting_error_handler() override;
  void report(Ref_string message) override { record(message); }

 private:
  Error_handler* previous_;
};

void report_error(Ref_string message);
void report_warning(Ref_string message);
// An error that is not reported again: the current handler notes it (see Error_handler::noted).
void note_error(Ref_string message);

// Warnings are off unless switched on (process-wide).
void set_warnings_enabled(bool on);
bool warnings_enabled();

}  // namespace orvalis
