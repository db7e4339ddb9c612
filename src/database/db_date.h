// Db_date is a date and time as the stores keep it: whole seconds since 1970 (UTC) with a state.
// A null date is what an unset date column holds (SQL NULL); an invalid date is one that could
// not be read (a stored value that is not a number). Only valid dates carry seconds; a null or
// invalid date is written back as NULL. A plain value: copy it freely, on any thread.
#pragma once

#include <cstdint>

namespace orvalis {

struct Db_date {
  enum State { valid, invalid, null };

  State state = null;
  std::int64_t seconds = 0;

  static Db_date at(std::int64_t seconds) { return Db_date{valid, seconds}; }
  static Db_date null_date() { return Db_date{null, 0}; }
  static Db_date invalid_date() { return Db_date{invalid, 0}; }

  bool is_valid() const { return state == valid; }
  bool is_null() const { return state == null; }
  bool operator==(const Db_date& o) const {
    return state == o.state && (state != valid || seconds == o.seconds);
  }
};

}  // namespace orvalis
