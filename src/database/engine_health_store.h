// Engine_health_store keeps how each search engine (search resource) has been answering, in the
// Topic database's table "page_engine_health" (one row per engine name, made on first use, so
// the database's six original tables stay as they are): the time of its last answer, its failures in a row
// with the last reason, its recent answer times (for the median) and the links kept per
// answered query. After kFailures_to_suspend failures in a row an engine is suspended: for an
// hour, then each further failure after a suspension doubles it, up to a day. An answer, a
// `resource test` or an edit of the engine lifts the suspension.
//
// Errors are reported through report_db_error; a read-only database keeps no figures. Time is
// the platform clock. User-interface thread only. REQUIRES: the database outlives the store.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "database/database.h"
#include "foundation/ref_string.h"

namespace orvalis {

struct Engine_health {
  Ref_string name;
  std::int64_t last_answer = 0;      // seconds since 1970; 0: never answered
  int failures = 0;                  // in a row
  Ref_string last_reason;            // why the last failure failed
  std::int64_t last_failure = 0;     // when it failed
  std::int64_t suspended_until = 0;  // 0: not suspended
  int suspensions = 0;               // suspensions since the last answer
  std::vector<int> answer_ms;        // the latest answer times, oldest first
  int queries = 0;                   // queries answered
  std::int64_t links_kept = 0;       // links kept from those answers

  bool suspended(std::int64_t now) const { return suspended_until > now; }
  // The median of the kept answer times; -1 when there is none.
  int median_ms() const;
  // Links kept per answered query; 0 when none.
  double links_per_query() const;
};

class Engine_health_store {
 public:
  static constexpr int kFailures_to_suspend = 3;
  static constexpr std::int64_t kFirst_suspension_seconds = 3600;
  static constexpr std::int64_t kLongest_suspension_seconds = 24 * 3600;
  static constexpr int kKept_times = 25;
  static constexpr const char* kTable = "page_engine_health";

  explicit Engine_health_store(Database& db = Database::shared()) : db_(db) {}

  // The length of the suspension that follows `earlier` suspensions since the last answer.
  static std::int64_t suspension_seconds(int earlier);

  // The figures of one engine (zeros when it has none).
  Engine_health health(const Ref_string& name);
  // Every engine that has figures, by name.
  std::vector<Engine_health> list();
  // An answer: the time it took and the links kept from it; failures and suspension end.
  void record_answer(const Ref_string& name, int milliseconds, int links_kept);
  // A failure with its reason; the third in a row (and each one after a suspension) suspends.
  // Returns the figures after it.
  Engine_health record_failure(const Ref_string& name, const Ref_string& reason);
  // Lifts a suspension and forgets the failures in a row (a test of the engine, an edit).
  void lift(const Ref_string& name);
  // Drops an engine's figures (the engine was deleted).
  void forget(const Ref_string& name);

 private:
  bool writable();
  void save(const Engine_health& h);

  Database& db_;
};

// "suspended until 14:05 after 3 failures (the connection to ... was refused)"; empty when the
// engine is not suspended.
Ref_string suspension_text(const Engine_health& h, std::int64_t now);

}  // namespace orvalis
