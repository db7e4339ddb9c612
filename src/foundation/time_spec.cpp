#include "foundation/time_spec.h"

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "platform/clock.h"

namespace orvalis {

Timestamp Timestamp::now() { return Timestamp(platform::now()); }

void Timestamp::fill() const {
  if (filled_) return;
  platform::Local_time lt = platform::local_time(seconds_);
  weekday_ = static_cast<std::int8_t>(lt.weekday);
  hour_ = static_cast<std::int8_t>(lt.hour);
  minute_ = static_cast<std::int8_t>(lt.minute);
  filled_ = true;
}

int Timestamp::weekday() const {
  fill();
  return weekday_;
}
int Timestamp::hour() const {
  fill();
  return hour_;
}
int Timestamp::minute() const {
  fill();
  return minute_;
}

std::optional<Time_spec> parse_spec(const Ref_string& text) {
  if (text.length() <= 3) return std::nullopt;
  Time_spec spec;
  spec.absolute = (text[0] == 'a' || text[0] == 'A') ? 1 : 0;
  // Three decimal numbers separated by white space, from the third character on.
  const char* p = text.c_str() + 2;
  long long values[3];
  for (long long& v : values) {
    char* end;
    errno = 0;
    v = std::strtoll(p, &end, 10);
    // A number that does not fit the field is not read (it would wrap into any value).
    if (end == p || errno == ERANGE || v < INT32_MIN || v > INT32_MAX) return std::nullopt;
    p = end;
  }
  spec.weeks = static_cast<std::int32_t>(values[0]);
  spec.day = static_cast<std::int32_t>(values[1]);
  spec.hour = static_cast<std::int32_t>(values[2]);
  return spec;
}

std::string schedule_problem(std::string_view text) {
  const std::string quoted = "'" + std::string(text) + "'";
  const char* rule =
      " is not a schedule: 'r WEEKS DAYS HOURS' (whole numbers from 0 to 9999, not all 0) or "
      "'a 0 WEEKDAY HOUR' (weekday 0 Sunday to 6, 7 every day; hour 0 to 23, -1 every hour)";
  if (text.size() < 2 || (text[0] != 'r' && text[0] != 'a') || text[1] != ' ') return quoted + rule;
  long long v[3];
  std::string rest(text.substr(2));
  const char* p = rest.c_str();
  for (long long& n : v) {
    while (*p == ' ') ++p;
    char* end;
    errno = 0;
    n = std::strtoll(p, &end, 10);
    if (end == p || errno == ERANGE || (*end != ' ' && *end != 0)) return quoted + rule;
    p = end;
  }
  while (*p == ' ') ++p;
  if (*p != 0) return quoted + rule;
  if (text[0] == 'r') {
    for (long long n : v)
      if (n < 0 || n > 9999) return quoted + rule;
    if (v[0] == 0 && v[1] == 0 && v[2] == 0) return quoted + rule;
    return {};
  }
  if (v[0] != 0 || v[1] < 0 || v[1] > 7 || v[2] < -1 || v[2] > 23) return quoted + rule;
  return {};
}

Ref_string format_spec(const Time_spec& spec) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%s %d %d %d", spec.absolute ? "a" : "r", spec.weeks, spec.day,
                spec.hour);
  return Ref_string(buf);
}

Timestamp next_time(const Time_spec& spec, const Timestamp& base) {
  std::int64_t t = base.seconds();
  if (!spec.absolute)
    return Timestamp(t + ((static_cast<std::int64_t>(spec.weeks) * 7 + spec.day) * 24 + spec.hour) *
                             3600);
  std::int64_t m = t % 60;
  std::int64_t s = t % 3600;
  int h = spec.hour;
  if (spec.hour == -1 && spec.day != 7) h = base.weekday() == spec.day ? -1 : 0;
  int weekday = base.weekday();
  std::int64_t a = 0;
  if (h != -1) {
    a = ((h - base.hour()) % 24 + 24) % 24;
    if (base.hour() + a >= 24) weekday = Timestamp(t + 86400).weekday();
  }
  std::int64_t d = 0;
  if (spec.day != 7) d = ((spec.day - weekday) % 7 + 7) % 7;
  std::int64_t delta = (d * 24 + a) * 3600 - s - m;
  if (delta <= 0) {
    if (spec.day != 7)
      delta += 604800;
    else if (spec.hour != -1)
      delta += 86400;
    else
      delta += 3600;
  }
  return Timestamp(t + delta);
}

bool is_due(const Time_spec& spec, const Timestamp& last_run) {
  return platform::now() > next_time(spec, last_run).seconds();
}

Ref_string time_until_text(const Timestamp& due) {
  std::int64_t r = due.seconds() - platform::now();
  if (r < 1) return Ref_string::from_id(10092);
  Ref_string text = Ref_string::from_id(10091) + " ";
  std::int64_t days = r / 86400;
  if (days >= 1) {
    text += Ref_string::number(days) + " " + Ref_string::from_id(days == 1 ? 10093 : 10094);
    return text;
  }
  std::int64_t hours = r / 3600;
  if (hours > 0)
    text += Ref_string::number(hours) + " " + Ref_string::from_id(hours == 1 ? 10095 : 10096);
  std::int64_t minutes = r / 60 - (r / 3600) * 60;
  text += " " + Ref_string::number(minutes) + " " +
          Ref_string::from_id(minutes == 1 ? 10097 : 10098);
  return text;
}

}  // namespace orvalis
