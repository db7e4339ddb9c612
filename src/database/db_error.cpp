#include "database/db_error.h"

#include <sqlite3.h>

#include <cstdio>

#include "foundation/error_handler.h"
#include "platform/clock.h"

namespace orvalis {

namespace {

constexpr std::int64_t repeat_window_ms = 30000;

struct Reporter_state {
  std::function<void()> hook;
  bool any_reported = false;
  int last_code = 0;
  std::int64_t last_time = 0;
};

Reporter_state& state() {
  static Reporter_state s;
  return s;
}

}  // namespace

Ref_string format_db_error(const Db_error& e) {
  char head[32];
  std::snprintf(head, sizeof head, "0x%lx ", static_cast<unsigned long>(e.code()));
  return Ref_string(head) + Ref_string(std::string_view(e.description()));
}

bool is_serious_db_error(int code) {
  switch (code & 0xff) {
    case SQLITE_IOERR:
    case SQLITE_CORRUPT:
    case SQLITE_FULL:
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
    case SQLITE_NOTADB:
      return true;
    default:
      return false;
  }
}

void report_db_error(const Db_error& e) {
  Reporter_state& s = state();
  Ref_string text(std::string_view(e.description()));
  if (is_serious_db_error(e.code()) && s.hook) s.hook();
  std::int64_t now = platform::tick_milliseconds();
  if (s.any_reported && s.last_code == e.code() && now - s.last_time < repeat_window_ms) {
    note_error(text);  // not shown again, but whoever collects errors still sees it
    return;
  }
  s.any_reported = true;
  s.last_code = e.code();
  s.last_time = now;
  report_error(text);
}

void set_db_recovery_hook(std::function<void()> hook) { state().hook = std::move(hook); }

void reset_db_error_reporter() {
  Reporter_state& s = state();
  s.any_reported = false;
  s.last_code = 0;
  s.last_time = 0;
}

}  // namespace orvalis
