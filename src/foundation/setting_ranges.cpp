#include "foundation/setting_ranges.h"

#include <cerrno>
#include <cstdlib>

#include "foundation/error_handler.h"
#include "foundation/name_value_list.h"
#include "foundation/ref_string.h"

namespace orvalis {

namespace {

// Every numeric setting. Limits are what a working program needs: a connection limit of 0
// would leave every task waiting forever, a document limit of gigabytes would let one page
// exhaust memory.
const Setting_range kRanges[] = {
    // name                min   max        default  empty_allowed raise_to_min
    {"NetworkTimeout", 10, 3600, 60, false, true},
    {"ConcurrentReq", 1, 60, 8},
    {"ConcurrentDNS", 1, 32, 3},
    {"MaxDocumentBytes", 4096, 64 * 1024 * 1024, 1048576},
    {"MaxResultsPerPage", 1, 10000, 200},
    {"ProxyPort", 1, 65535, 0, true},
    {"ShowWelcomeDialog", 0, 1, 1},
    {"Cur_tip_count", 0, 2147483647, 0},
    {"PageCopyLimitMB", 1, 1024 * 1024, 512},
};

// Text settings that take one of a few words (compared without regard to case).
struct Choice {
  const char* name;
  const char* words[4];
  const char* in_words;
};
const Choice kChoices[] = {
    {"KeepPageCopies", {"Yes", "TextOnly", "No", nullptr}, "Yes, TextOnly or No"},
    {"RespectRobots", {"Yes", "No", nullptr, nullptr}, "Yes or No"},
    {"AcceptCompression", {"Yes", "No", nullptr, nullptr}, "Yes or No"},
    {"VerifyCertificates", {"Yes", "No", nullptr, nullptr}, "Yes or No"},
};

std::string_view trimmed(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

// The whole number `text` holds (optional sign, decimal digits, nothing else), or false.
bool whole_number(std::string_view text, std::int64_t& out) {
  text = trimmed(text);
  if (text.empty() || text.size() > 40) return false;
  std::string copy(text);
  char* end = nullptr;
  errno = 0;
  long long v = std::strtoll(copy.c_str(), &end, 10);
  if (*end != 0 || errno == ERANGE || copy[0] == ' ' || copy[0] == '\t') return false;
  out = v;
  return true;
}

std::string range_text(const Setting_range& r) {
  return std::string(r.name) + " must be a whole number from " + std::to_string(r.min) + " to " +
         std::to_string(r.max);
}

}  // namespace

const Setting_range* find_setting_range(std::string_view name) {
  for (const Setting_range& r : kRanges)
    if (name == r.name) return &r;
  return nullptr;
}

namespace {

const Choice* find_choice(std::string_view name) {
  for (const Choice& c : kChoices)
    if (name == c.name) return &c;
  return nullptr;
}

// The word of `c` that `value` names, in its own spelling; empty when it names none.
std::string choice_word(const Choice& c, std::string_view value) {
  for (const char* word : c.words)
    if (word && equal_ignoring_case(trimmed(value), word)) return word;
  return {};
}

}  // namespace

std::string setting_choice(std::string_view name, std::string_view value) {
  const Choice* c = find_choice(name);
  return c ? choice_word(*c, value) : std::string(trimmed(value));
}

std::string setting_value_problem(std::string_view name, std::string_view value) {
  if (const Choice* c = find_choice(name); c && choice_word(*c, value).empty())
    return std::string(c->name) + " must be " + c->in_words + ", not '" + std::string(value) + "'";
  const Setting_range* r = find_setting_range(name);
  if (!r) return {};
  if (r->empty_allowed && trimmed(value).empty()) return {};
  std::int64_t v = 0;
  if (whole_number(value, v) && v >= r->min && v <= r->max) return {};
  return range_text(*r) + (r->empty_allowed ? " (or empty)" : "") + ", not '" + std::string(value) + "'";
}

std::int64_t stored_setting_number(std::string_view name, std::string_view stored) {
  const Setting_range& r = *find_setting_range(name);
  if (trimmed(stored).empty()) return r.fallback;
  std::int64_t v = 0;
  if (whole_number(stored, v)) {
    if (v >= r.min && v <= r.max) return v;
    if (v < r.min && r.raise_to_min) return r.min;
  }
  report_error(Ref_string(std::string_view(range_text(r) + ": the stored '" + std::string(stored) +
                                           "' is ignored and " + std::to_string(r.fallback) +
                                           " used instead.")));
  return r.fallback;
}

}  // namespace orvalis
