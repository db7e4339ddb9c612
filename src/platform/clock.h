// The program's clock: seconds since 1970 (UTC), a monotonic millisecond tick, and the
// conversion of a time to local-time fields. Engine code reads time only through `clock()`, so
// tests can install a `Manual_clock` and move time by hand (host spacing, time-outs, schedules)
// instead of sleeping. The installed clock is process-wide; `Manual_clock` may be read from any
// thread. REQUIRES: a clock passed to set_clock outlives its installation.
#pragma once

#include <atomic>
#include <cstdint>

namespace orvalis::platform {

struct Local_time {
  int year = 1970;   // full year
  int month = 1;     // 1..12
  int day = 1;       // 1..31
  int weekday = 4;   // 0 Sunday .. 6 Saturday
  int hour = 0;      // 0..23
  int minute = 0;    // 0..59
  int second = 0;    // 0..60
};

class Clock {
 public:
  virtual ~Clock() = default;
  // Seconds since 1970-01-01 00:00:00 UTC.
  virtual std::int64_t now() const = 0;
  // A monotonic count of milliseconds (the tick count), unrelated to the calendar.
  virtual std::int64_t milliseconds() const = 0;
};

// The real clock of the machine.
class System_clock final : public Clock {
 public:
  std::int64_t now() const override;
  std::int64_t milliseconds() const override;
};

// A clock that only moves when told to. Starts at `start` seconds; its tick count starts at 0
// and moves with every advance.
class Manual_clock final : public Clock {
 public:
  explicit Manual_clock(std::int64_t start = 0) : seconds_(start) {}
  std::int64_t now() const override { return seconds_.load(); }
  std::int64_t milliseconds() const override { return millis_.load(); }
  void set(std::int64_t seconds) { seconds_ = seconds; }
  void advance(std::int64_t seconds) {
    seconds_ += seconds;
    millis_ += seconds * 1000;
  }
  void advance_milliseconds(std::int64_t ms) { millis_ += ms; }

 private:
  std::atomic<std::int64_t> seconds_;
  std::atomic<std::int64_t> millis_{0};
};

// The installed clock (the system clock unless a test installed another).
const Clock& clock();
// Installs `c`, or the system clock again when `c` is null.
void set_clock(const Clock* c);

// Shorthands for clock().now() and clock().milliseconds().
std::int64_t now();
std::int64_t tick_milliseconds();

// Local-time fields of `t` in the time zone of the process (TZ honoured).
Local_time local_time(std::int64_t t);
// The seconds since 1970 of a local time (the inverse of local_time; weekday is ignored).
std::int64_t from_local_time(const Local_time& lt);

// Takes the user's locale from the environment (LANG, LC_ALL, LC_TIME...) for everything but
// numbers, as desktop programs do at start: dates in the generated pages follow it, while
// numbers keep the "." that files, settings and machine-readable output need.
void use_user_locale();

// RAII: installs a clock for the lifetime of the guard, then restores the previous one.
class Scoped_clock {
 public:
  explicit Scoped_clock(const Clock& c);
  ~Scoped_clock();
  Scoped_clock(const Scoped_clock&) = delete;
  Scoped_clock& operator=(const Scoped_clock&) = delete;

 private:
  const Clock* previous_;
};

}  // namespace orvalis::platform
