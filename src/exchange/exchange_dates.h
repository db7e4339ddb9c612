// Dates as the exchange formats write them: "2026-12-07T04:51:16Z" (UTC, whole seconds) and
// back. Any thread.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "database/db_date.h"

namespace orvalis::exchange {

// The date in the form above; empty for a null or invalid date.
std::string iso_date(const Db_date& date);
// The date written in the form above; nothing when the text is not such a date.
std::optional<Db_date> parse_iso_date(std::string_view text);

}  // namespace orvalis::exchange
