#include "exchange/exchange_dates.h"

#include <cstdio>
#include <ctime>

namespace orvalis::exchange {

std::string iso_date(const Db_date& date) {
  if (!date.is_valid()) return {};
  std::time_t t = static_cast<std::time_t>(date.seconds);
  std::tm tm{};
  if (!gmtime_r(&t, &tm)) return {};
  char buf[40];
  std::snprintf(buf, sizeof buf, "%04d-%02d-%02dT%02d:%02d:%02dZ", tm.tm_year + 1900, tm.tm_mon + 1,
                tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec);
  return buf;
}

std::optional<Db_date> parse_iso_date(std::string_view text) {
  // YYYY-MM-DDTHH:MM:SSZ exactly.
  if (text.size() != 20 || text[4] != '-' || text[7] != '-' || text[10] != 'T' || text[13] != ':' ||
      text[16] != ':' || text[19] != 'Z')
    return std::nullopt;
  auto number = [&](std::size_t at, std::size_t n, int& out) {
    out = 0;
    for (std::size_t k = at; k < at + n; ++k) {
      if (text[k] < '0' || text[k] > '9') return false;
      out = out * 10 + (text[k] - '0');
    }
    return true;
  };
  int y, mo, d, h, mi, s;
  if (!number(0, 4, y) || !number(5, 2, mo) || !number(8, 2, d) || !number(11, 2, h) ||
      !number(14, 2, mi) || !number(17, 2, s))
    return std::nullopt;
  if (mo < 1 || mo > 12 || d < 1 || d > 31 || h > 23 || mi > 59 || s > 60) return std::nullopt;
  std::tm tm{};
  tm.tm_year = y - 1900;
  tm.tm_mon = mo - 1;
  tm.tm_mday = d;
  tm.tm_hour = h;
  tm.tm_min = mi;
  tm.tm_sec = s;
  return Db_date::at(static_cast<std::int64_t>(timegm(&tm)));
}

}  // namespace orvalis::exchange
