#include "database/engine_health_store.h"

#include <algorithm>
#include <cstdio>
#include <sstream>

#include "database/db_error.h"
#include "platform/clock.h"

namespace orvalis {

namespace {

constexpr const char* kCreate =
    "CREATE TABLE IF NOT EXISTS page_engine_health ("
    " name TEXT PRIMARY KEY COLLATE NOCASE,"
    " last_answer INTEGER NOT NULL DEFAULT 0,"
    " failures INTEGER NOT NULL DEFAULT 0,"
    " last_reason TEXT NOT NULL DEFAULT '',"
    " last_failure INTEGER NOT NULL DEFAULT 0,"
    " suspended_until INTEGER NOT NULL DEFAULT 0,"
    " suspensions INTEGER NOT NULL DEFAULT 0,"
    " answer_ms TEXT NOT NULL DEFAULT '',"
    " queries INTEGER NOT NULL DEFAULT 0,"
    " links_kept INTEGER NOT NULL DEFAULT 0)";

constexpr const char* kColumns =
    "SELECT name, last_answer, failures, last_reason, last_failure, suspended_until, suspensions,"
    " answer_ms, queries, links_kept FROM page_engine_health";

std::vector<int> parse_times(std::string_view text) {
  std::vector<int> out;
  std::istringstream in{std::string(text)};
  int v;
  while (in >> v)
    if (v >= 0) out.push_back(v);
  return out;
}

std::string times_text(const std::vector<int>& times) {
  std::string out;
  for (int t : times) {
    if (!out.empty()) out += ' ';
    out += std::to_string(t);
  }
  return out;
}

Engine_health read_row(const Db_statement& s) {
  Engine_health h;
  h.name = s.text(0);
  h.last_answer = s.integer(1);
  h.failures = s.number(2);
  h.last_reason = s.text(3);
  h.last_failure = s.integer(4);
  h.suspended_until = s.integer(5);
  h.suspensions = s.number(6);
  h.answer_ms = parse_times(s.text_view(7));
  h.queries = s.number(8);
  h.links_kept = s.integer(9);
  return h;
}

}  // namespace

int Engine_health::median_ms() const {
  if (answer_ms.empty()) return -1;
  std::vector<int> sorted = answer_ms;
  std::sort(sorted.begin(), sorted.end());
  const size_t n = sorted.size();
  return n % 2 ? sorted[n / 2] : (sorted[n / 2 - 1] + sorted[n / 2]) / 2;
}

double Engine_health::links_per_query() const {
  return queries > 0 ? static_cast<double>(links_kept) / queries : 0.0;
}

std::int64_t Engine_health_store::suspension_seconds(int earlier) {
  std::int64_t seconds = kFirst_suspension_seconds;
  for (int i = 0; i < earlier && seconds < kLongest_suspension_seconds; ++i) seconds *= 2;
  return std::min(seconds, kLongest_suspension_seconds);
}

bool Engine_health_store::writable() {
  if (!db_.is_open() || db_.is_read_only()) return false;
  try {
    db_.execute(kCreate);
    return true;
  } catch (const Db_error& e) {
    report_db_error(e);
    return false;
  }
}

Engine_health Engine_health_store::health(const Ref_string& name) {
  Engine_health h;
  h.name = name;
  if (!db_.is_open()) return h;
  try {
    if (!db_.has_table(kTable)) return h;
    Db_statement s(db_, std::string(kColumns) + " WHERE name = ?1");
    s.bind(1, name);
    if (s.step()) h = read_row(s);
  } catch (const Db_error& e) {
    report_db_error(e);
  }
  return h;
}

std::vector<Engine_health> Engine_health_store::list() {
  std::vector<Engine_health> out;
  if (!db_.is_open()) return out;
  try {
    if (!db_.has_table(kTable)) return out;
    Db_statement s(db_, std::string(kColumns) + " ORDER BY name");
    while (s.step()) out.push_back(read_row(s));
  } catch (const Db_error& e) {
    report_db_error(e);
    out.clear();
  }
  return out;
}

void Engine_health_store::save(const Engine_health& h) {
  if (!writable()) return;
  try {
    Db_statement s(db_,
                   "INSERT OR REPLACE INTO page_engine_health (name, last_answer, failures, last_reason,"
                   " last_failure, suspended_until, suspensions, answer_ms, queries, links_kept)"
                   " VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10)");
    s.bind(1, h.name).bind(2, h.last_answer).bind(3, h.failures).bind(4, h.last_reason);
    s.bind(5, h.last_failure).bind(6, h.suspended_until).bind(7, h.suspensions);
    s.bind(8, std::string_view(times_text(h.answer_ms))).bind(9, h.queries).bind(10, h.links_kept);
    s.run();
  } catch (const Db_error& e) {
    report_db_error(e);
  }
}

void Engine_health_store::record_answer(const Ref_string& name, int milliseconds, int links_kept) {
  Engine_health h = health(name);
  h.last_answer = platform::now();
  h.failures = 0;
  h.suspended_until = 0;
  h.suspensions = 0;
  h.answer_ms.push_back(std::max(milliseconds, 0));
  if (h.answer_ms.size() > static_cast<size_t>(kKept_times))
    h.answer_ms.erase(h.answer_ms.begin(), h.answer_ms.end() - kKept_times);
  h.queries += 1;
  h.links_kept += std::max(links_kept, 0);
  save(h);
}

Engine_health Engine_health_store::record_failure(const Ref_string& name, const Ref_string& reason) {
  Engine_health h = health(name);
  const std::int64_t now = platform::now();
  h.failures += 1;
  h.last_reason = reason;
  h.last_failure = now;
  // The third failure in a row suspends; so does each failure of a try after a suspension.
  if (h.failures >= kFailures_to_suspend) {
    h.suspended_until = now + suspension_seconds(h.suspensions);
    h.suspensions += 1;
  }
  save(h);
  return h;
}

void Engine_health_store::lift(const Ref_string& name) {
  if (!db_.is_open() || db_.is_read_only()) return;
  try {
    if (!db_.has_table(kTable)) return;
    Db_statement s(db_,
                   "UPDATE page_engine_health SET failures = 0, suspended_until = 0, suspensions = 0"
                   " WHERE name = ?1");
    s.bind(1, name);
    s.run();
  } catch (const Db_error& e) {
    report_db_error(e);
  }
}

void Engine_health_store::forget(const Ref_string& name) {
  if (!db_.is_open() || db_.is_read_only()) return;
  try {
    if (!db_.has_table(kTable)) return;
    Db_statement s(db_, "DELETE FROM page_engine_health WHERE name = ?1");
    s.bind(1, name);
    s.run();
  } catch (const Db_error& e) {
    report_db_error(e);
  }
}

Ref_string suspension_text(const Engine_health& h, std::int64_t now) {
  if (!h.suspended(now)) return Ref_string();
  const platform::Local_time t = platform::local_time(h.suspended_until);
  char when[64];
  std::snprintf(when, sizeof when, "%04d-%02d-%02d %02d:%02d", t.year, t.month, t.day, t.hour, t.minute);
  std::string text = "suspended until " + std::string(when) + " after " + std::to_string(h.failures) +
                     " failures in a row";
  if (!h.last_reason.empty()) text += " (" + h.last_reason.str() + ")";
  return Ref_string(std::string_view(text));
}

}  // namespace orvalis
