#include "foundation/error_handler.h"

#include <atomic>
#include <iostream>
#include <memory>

namespace orvalis {

namespace {
thread_local Error_handler* current_handler = nullptr;
thread_local std::unique_ptr<Error_handler> default_handler;
std::atomic<bool> warnings_on{false};
}  // namespace

Error_handler::~Error_handler() {
  if (current_handler == this) current_handler = nullptr;
}

void Error_handler::report(Ref_string message) {
  Error_handler* h = current_handler ? current_handler : this;
  h->record(message);
}

void Error_handler::record(Ref_string message) { messages_.append(message); }

void Error_handler::make_current() { current_handler = this; }

Error_handler* Error_handler::current() { return current_handler; }

void Default_error_handler::report(Ref_string message) {
  record(message);
  std::cerr << message << std::endl;
}

Collecting_error_handler::Collecting_error_handler() : previous_(current_handler) {
  make_current();
}

Collecting_error_handler::~Collecting_error_handler() {
  if (current_handler == this) current_handler = previous_;
}

namespace {
Error_handler& thread_handler();
}  // namespace

Passing_error_handler::Passing_error_handler() : previous_(current_handler) { make_current(); }

Passing_error_handler::~Passing_error_handler() {
  if (current_handler == this) current_handler = previous_;
}

void Passing_error_handler::report(Ref_string message) {
  record(message);
  // The previous handler (or the default one) takes it as if this one were not there.
  current_handler = previous_;
  report_error(message);
  current_handler = this;
}

void Passing_error_handler::warn(Ref_string message) {
  current_handler = previous_;
  thread_handler().warn(message);
  current_handler = this;
}

namespace {
Error_handler& thread_handler() {
  if (!current_handler) {
    default_handler = std::make_unique<Default_error_handler>();
    default_handler->make_current();
  }
  return *current_handler;
}
}  // namespace

void report_error(Ref_string message) { thread_handler().report(message); }

void report_warning(Ref_string message) {
  if (warnings_on.load(std::memory_order_relaxed)) thread_handler().warn(message);
}

void note_error(Ref_string message) {
  if (current_handler) current_handler->noted(message);
}

void set_warnings_enabled(bool on) { warnings_on = on; }
bool warnings_enabled() { return warnings_on.load(std::memory_order_relaxed); }

}  // namespace orvalis
