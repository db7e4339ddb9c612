// Schedules of the agent. A Time_spec is either relative (an interval of weeks, days and hours
// after the last run) or absolute (a time of day on a weekday, on every day or at every hour).
// Its text form, stored with each topic, is "r WEEKS DAY HOUR" or "a WEEKS DAY HOUR".
// A Timestamp is a time in seconds since 1970 with its local weekday, hour and minute worked
// out on first use. All times come from the platform clock, so tests can set them.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "foundation/ref_string.h"

namespace orvalis {

struct Time_spec {
  std::int32_t absolute = 0;  // 1 absolute, 0 relative
  std::int32_t day = 7;       // relative: days; absolute: weekday 0 (Sunday)..6, 7 every day
  std::int32_t hour = 0;      // relative: hours; absolute: 0..23, -1 every hour
  std::int32_t weeks = 0;     // relative: weeks; absolute: unused
  bool operator==(const Time_spec&) const = default;
};

// The schedule that fires at once: relative, all zero.
constexpr Time_spec kImmediate{0, 0, 0, 0};

class Timestamp {
 public:
  Timestamp() = default;
  explicit Timestamp(std::int64_t seconds) : seconds_(seconds) {}
  static Timestamp now();

  std::int64_t seconds() const { return seconds_; }
  int weekday() const;
  int hour() const;
  int minute() const;
  bool operator==(const Timestamp& o) const { return seconds_ == o.seconds_; }
  auto operator<=>(const Timestamp& o) const { return seconds_ <=> o.seconds_; }

 private:
  void fill() const;
  std::int64_t seconds_ = 0;
  mutable bool filled_ = false;
  mutable std::int8_t weekday_ = 0, hour_ = 0, minute_ = 0;
};

// Reads "a W D H" / "r W D H" (any first character other than "a"/"A" is relative).
std::optional<Time_spec> parse_spec(const Ref_string& text);
Ref_string format_spec(const Time_spec& spec);
// Why `text`, typed by a user, is not a schedule to store, or empty. Stricter than parse_spec,
// which reads what is stored: "r WEEKS DAYS HOURS" takes whole numbers from 0 to 9999, not all
// 0 (an interval of nothing would always be due); "a 0 WEEKDAY HOUR" a weekday from 0 (Sunday)
// to 6, or 7 for every day, and an hour from 0 to 23, or -1 for every hour.
std::string schedule_problem(std::string_view text);

Timestamp next_time(const Time_spec& spec, const Timestamp& base);
// True when the current time is later than next_time(spec, last_run).
bool is_due(const Time_spec& spec, const Timestamp& last_run);
// "now", or "in 2 days", "in 1 hour 5 minutes", "in  3 minutes".
Ref_string time_until_text(const Timestamp& due);

}  // namespace orvalis
