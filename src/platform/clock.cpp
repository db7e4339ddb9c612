#include "platform/clock.h"

#include <chrono>
#include <clocale>
#include <ctime>

namespace orvalis::platform {

namespace {
const System_clock system_clock_instance;
std::atomic<const Clock*> installed{&system_clock_instance};
}  // namespace

std::int64_t System_clock::now() const {
  return std::chrono::duration_cast<std::chrono::seconds>(
             std::chrono::system_clock::now().time_since_epoch())
      .count();
}

std::int64_t System_clock::milliseconds() const {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

const Clock& clock() { return *installed.load(std::memory_order_acquire); }

void set_clock(const Clock* c) {
  installed.store(c ? c : &system_clock_instance, std::memory_order_release);
}

std::int64_t now() { return clock().now(); }
std::int64_t tick_milliseconds() { return clock().milliseconds(); }

Local_time local_time(std::int64_t t) {
  std::time_t tt = static_cast<std::time_t>(t);
  std::tm tm{};
  Local_time lt;
  if (!localtime_r(&tt, &tm)) return lt;
  lt.year = tm.tm_year + 1900;
  lt.month = tm.tm_mon + 1;
  lt.day = tm.tm_mday;
  lt.weekday = tm.tm_wday;
  lt.hour = tm.tm_hour;
  lt.minute = tm.tm_min;
  lt.second = tm.tm_sec;
  return lt;
}

std::int64_t from_local_time(const Local_time& lt) {
  std::tm tm{};
  tm.tm_year = lt.year - 1900;
  tm.tm_mon = lt.month - 1;
  tm.tm_mday = lt.day;
  tm.tm_hour = lt.hour;
  tm.tm_min = lt.minute;
  tm.tm_sec = lt.second;
  tm.tm_isdst = -1;
  return static_cast<std::int64_t>(std::mktime(&tm));
}

Scoped_clock::Scoped_clock(const Clock& c) : previous_(&clock()) { set_clock(&c); }
Scoped_clock::~Scoped_clock() { set_clock(previous_); }

void use_user_locale() {
  std::setlocale(LC_ALL, "");
  std::setlocale(LC_NUMERIC, "C");
}

}  // namespace orvalis::platform
