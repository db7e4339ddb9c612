// Db_error is what the database layer throws when SQLite refuses an operation: SQLite's extended
// result code and its description. Store operations catch it and hand it to the one shared
// reporter, report_db_error, which
//   1. takes the description as the message text;
//   2. for the serious codes (I/O error, corruption, full disk, busy or locked database, a file
//      that is not a database) first runs the recovery hook, through which the agent stops its
//      tasks (installed later by the agent; until then nothing runs);
//   3. passes the text to report_error unless the same code was reported less than 30000 ms
//      ago by platform::tick_milliseconds(); when it reports, it remembers the code and the time.
// The reporter's state is process-wide and belongs to the thread that uses the database (the
// user-interface thread). REQUIRES: the hook does not throw.
#pragma once

#include <cstdint>
#include <exception>
#include <functional>
#include <string>

#include "foundation/ref_string.h"

namespace orvalis {

class Db_error : public std::exception {
 public:
  Db_error(int code, std::string description) : code_(code), description_(std::move(description)) {}

  // SQLite's extended result code (the primary code is code() & 0xff).
  int code() const noexcept { return code_; }
  int primary_code() const noexcept { return code_ & 0xff; }
  const std::string& description() const noexcept { return description_; }
  const char* what() const noexcept override { return description_.c_str(); }

 private:
  int code_;
  std::string description_;
};

// The code and description formatted as "0x%lx %s" (code in lower-case hexadecimal).
Ref_string format_db_error(const Db_error& e);

// True for the codes that run the recovery hook.
bool is_serious_db_error(int code);

// The shared reporter (see above).
void report_db_error(const Db_error& e);

// Installs the recovery hook (an empty function removes it).
void set_db_recovery_hook(std::function<void()> hook);

// Forgets the last reported code, so the next error is reported whatever it is (for tests and
// for a newly opened database).
void reset_db_error_reporter();

}  // namespace orvalis
