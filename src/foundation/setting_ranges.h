// The range of every numeric setting, in one table (setting_ranges.cpp): `settings set` refuses
// a value outside it, naming the range, and load_settings() reads a stored value outside it as
// the setting's default after reporting it. A new numeric setting gets one line in that table
// and is then checked in both places; text settings are not listed.
// The table is constant: any thread may read it.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace orvalis {

struct Setting_range {
  const char* name;       // exact, case-sensitive, as stored
  std::int64_t min;       // smallest accepted value
  std::int64_t max;       // largest accepted value
  std::int64_t fallback;  // the default, taken when the setting is absent or its value is bad
  // True when an empty value is a value of its own (a port left unset), not a missing one.
  bool empty_allowed = false;
  // True when a stored number below `min` reads as `min` without a report (a floor the program
  // always applied), rather than as the default.
  bool raise_to_min = false;
};

// The numeric setting of that name, or null for a text setting or an unknown name.
const Setting_range* find_setting_range(std::string_view name);

// Empty when `value` suits the setting `name` (any value suits a setting not in the table);
// otherwise why not, naming the range or the words it takes: "ConcurrentReq must be a whole number from 1 to 60,
// not '0'".
std::string setting_value_problem(std::string_view name, std::string_view value);

// For a setting that takes one of a few words (KeepPageCopies: Yes, TextOnly or No), the word
// `value` names in its own spelling, or empty when it names none; for any other setting, `value`
// trimmed. setting_value_problem refuses what this gives empty for.
std::string setting_choice(std::string_view name, std::string_view value);

// The value to use for a stored text of a numeric setting. An empty text gives the default
// silently; a text that is not a whole number, or one outside the range, gives the default
// after report_error() names the setting, the stored text and the range. REQUIRES: `name` is in
// the table.
std::int64_t stored_setting_number(std::string_view name, std::string_view stored);

}  // namespace orvalis
