#include "foundation/time_spec.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>

#include "platform/clock.h"

namespace orvalis {
namespace {

// Pins the time zone so that local times in these tests are predictable.
class TimeSpecTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* tz = std::getenv("TZ");
    saved_ = tz ? tz : "";
    had_ = tz != nullptr;
    setenv("TZ", "UTC", 1);
    tzset();
  }
  void TearDown() override {
    if (had_)
      setenv("TZ", saved_.c_str(), 1);
    else
      unsetenv("TZ");
    tzset();
  }
  // 2026-12-01 is a Tuesday.
  static std::int64_t at(int day, int hour, int minute, int second) {
    platform::Local_time lt;
    lt.year = 2026;
    lt.month = 12;
    lt.day = day;
    lt.hour = hour;
    lt.minute = minute;
    lt.second = second;
    return platform::from_local_time(lt);
  }
  static Time_spec spec(const char* text) { return parse_spec(text).value(); }

  std::string saved_;
  bool had_ = false;
};

TEST_F(TimeSpecTest, ParseAndFormat) {
  const struct {
    const char* text;
    const char* formatted;  // null: refused
  } cases[] = {
      {"r 0 7 0", "r 0 7 0"}, {"x 1 2 3", "r 1 2 3"}, {"A 0 3 -1", "a 0 3 -1"},
      {"r 1 2", nullptr},     {"r 1", nullptr},       {"abc", nullptr},      {"r x y z", nullptr},
      {"r 999999999999 0 0", nullptr},  // does not fit: read, it wrapped into any value
  };
  for (const auto& c : cases) {
    std::optional<Time_spec> parsed = parse_spec(c.text);
    EXPECT_EQ(parsed.has_value(), c.formatted != nullptr) << c.text;
    if (parsed && c.formatted) {
      EXPECT_EQ(format_spec(*parsed), c.formatted) << c.text;
    }
  }
  Time_spec x = spec("x 1 2 3");
  EXPECT_EQ(x.weeks * 100 + x.day * 10 + x.hour, 123);
  EXPECT_EQ(format_spec(Time_spec{}), "r 0 7 0");
}

TEST(TimeSpecInput, TypedSchedulesFollowTheRule) {
  for (const char* good : {"r 0 7 0", "r 0 0 1", "r 9999 9999 9999", "a 0 7 -1", "a 0 0 23"})
    EXPECT_EQ(schedule_problem(good), "") << good;
  for (const char* bad : {"x 1 2 3", "rr 1 1 1", "r -1 0 0", "r 999999999999 0 0", "r 0 0 0", "r 1 2",
                          "r 1 2 3 4", "a 1 2 3", "a 0 8 0", "a 0 1 24", "R 0 7 0", "r 1x 2 3", ""})
    EXPECT_NE(schedule_problem(bad), "") << bad;
}

// The next time of each kind of spec from a given moment (2026-12-01 is a Tuesday).
TEST_F(TimeSpecTest, NextTime) {
  const struct {
    const char* spec;
    std::int64_t from;
    std::int64_t expected;
  } cases[] = {
      // Relative: the interval is added.
      {"r 0 7 0", at(1, 10, 0, 0), at(8, 10, 0, 0)},
      {"r 1 2 3", at(1, 10, 0, 0), at(10, 13, 0, 0)},
      // Every day at 9: up to a minute early, the next day or the same day.
      {"a 0 7 9", at(1, 10, 20, 30), at(2, 8, 59, 30)},
      {"a 0 7 9", at(1, 8, 20, 30), at(1, 8, 59, 30)},
      // Wednesdays, every hour; on a Wednesday the delta is not positive, so a week is added
      // and both remainders (20:30 and 0:30) are taken off.
      {"a 0 3 -1", at(1, 15, 10, 20), at(1, 23, 59, 40)},
      {"a 0 3 -1", at(2, 10, 20, 30), at(9, 9, 59, 30)},
      // Mondays at 14 (2026-12-07 is a Monday); Sunday 23:30 for Monday 01:00 adds no week.
      {"a 0 1 14", at(7, 15, 0, 0), at(14, 14, 0, 0)},
      {"a 0 1 14", at(7, 14, 0, 10), at(14, 13, 59, 50)},
      {"a 0 1 1", at(6, 23, 30, 0), at(7, 1, 0, 0)},
      // Every hour of every day.
      {"a 0 7 -1", at(1, 10, 20, 30), at(1, 10, 59, 30)},
  };
  for (const auto& c : cases)
    EXPECT_EQ(next_time(spec(c.spec), Timestamp(c.from)).seconds(), c.expected) << c.spec;
  EXPECT_EQ(next_time(kImmediate, Timestamp(at(1, 10, 0, 0))).seconds(), at(1, 10, 0, 0));
}

TEST_F(TimeSpecTest, IsDueAndTimeUntilFollowTheInstalledClock) {
  platform::Manual_clock clock(at(1, 12, 0, 0));
  platform::Scoped_clock installed(clock);
  Timestamp last(at(1, 11, 0, 0));
  EXPECT_FALSE(is_due(spec("r 0 0 1"), last));  // due exactly now: not later
  clock.advance(1);
  EXPECT_TRUE(is_due(spec("r 0 0 1"), last));

  std::int64_t now = clock.now();
  EXPECT_EQ(time_until_text(Timestamp(now)), "now");
  EXPECT_EQ(time_until_text(Timestamp(now - 5)), "now");
  EXPECT_EQ(time_until_text(Timestamp(now + 90061)), "in 1 day");
  EXPECT_EQ(time_until_text(Timestamp(now + 3 * 86400)), "in 3 days");
  EXPECT_EQ(time_until_text(Timestamp(now + 3720)), "in 1 hour 2 minutes");
  EXPECT_EQ(time_until_text(Timestamp(now + 7260)), "in 2 hours 1 minute");
  EXPECT_EQ(time_until_text(Timestamp(now + 120)), "in  2 minutes");
}

}  // namespace
}  // namespace orvalis
