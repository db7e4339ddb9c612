#include "net/robots_rules.h"

#include <cstdlib>

namespace orvalis {

namespace {

char lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }
bool is_space(char c) { return c == ' ' || c == '\t'; }

std::string_view trim(std::string_view s) {
  while (!s.empty() && is_space(s.front())) s.remove_prefix(1);
  while (!s.empty() && (is_space(s.back()) || s.back() == '\r')) s.remove_suffix(1);
  return s;
}

bool equal_nocase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (lower(a[i]) != lower(b[i])) return false;
  return true;
}

bool is_hex(char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }
char upper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

// Percent-escapes upper-cased and bytes a request line cannot carry as they are escaped, so
// that a pattern and an address written either way compare equal.
std::string normalized(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    if (c == '%' && i + 2 < text.size() && is_hex(text[i + 1]) &&
        is_hex(text[i + 2])) {
      out += '%';
      out += upper(text[i + 1]);
      out += upper(text[i + 2]);
      i += 2;
    } else if (c <= 0x20 || c >= 0x7f) {
      out += '%';
      out += "0123456789ABCDEF"[c >> 4];
      out += "0123456789ABCDEF"[c & 15];
    } else {
      out += static_cast<char>(c);
    }
  }
  return out;
}

// The user-agent line's product token: its value up to a "/" or white space.
std::string_view product_token(std::string_view value) {
  size_t end = 0;
  while (end < value.size() && value[end] != '/' && !is_space(value[end])) ++end;
  return value.substr(0, end);
}

}  // namespace

Robots_rules Robots_rules::disallow_all() {
  Robots_rules r;
  r.disallow_all_ = true;
  return r;
}

Robots_rules Robots_rules::parse(std::string_view text, std::string_view agent) {
  if (static_cast<std::int64_t>(text.size()) > kMax_bytes) text = text.substr(0, static_cast<size_t>(kMax_bytes));
  // A UTF-8 byte-order mark may open the file.
  if (text.starts_with("\xEF\xBB\xBF")) text.remove_prefix(3);
  Robots_rules ours, anyone;
  bool have_ours = false;
  // The group being read: whether its user-agent lines named us, or "*".
  bool in_agents = false, for_us = false, for_anyone = false;
  size_t at = 0;
  while (at < text.size()) {
    size_t end = text.find_first_of("\r\n", at);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = text.substr(at, end - at);
    at = end + 1;
    if (size_t hash = line.find('#'); hash != std::string_view::npos) line = line.substr(0, hash);
    size_t colon = line.find(':');
    if (colon == std::string_view::npos) continue;
    std::string_view name = trim(line.substr(0, colon));
    std::string_view value = trim(line.substr(colon + 1));
    if (equal_nocase(name, "user-agent")) {
      if (!in_agents) {
        for_us = for_anyone = false;
        in_agents = true;
      }
      std::string_view token = product_token(value);
      if (equal_nocase(token, agent)) {
        for_us = true;
        have_ours = true;
      } else if (token == "*") {
        for_anyone = true;
      }
      continue;
    }
    const bool allow = equal_nocase(name, "allow");
    const bool disallow = equal_nocase(name, "disallow");
    const bool delay = equal_nocase(name, "crawl-delay");
    if (!allow && !disallow && !delay) continue;  // sitemap, unknown names: not group rules
    in_agents = false;
    if (!for_us && !for_anyone) continue;
    if (delay) {
      char* stop = nullptr;
      std::string number(value);
      double seconds = std::strtod(number.c_str(), &stop);
      if (stop != number.c_str() && seconds >= 0 && seconds < 1e6) {
        int whole = static_cast<int>(seconds + 0.999);
        if (for_us && whole > ours.crawl_delay_) ours.crawl_delay_ = whole;
        if (for_anyone && whole > anyone.crawl_delay_) anyone.crawl_delay_ = whole;
      }
      continue;
    }
    if (value.empty()) continue;  // "Disallow:" with no path says nothing
    Rule rule{allow, normalized(value)};
    if (for_us) ours.rules_.push_back(rule);
    if (for_anyone) anyone.rules_.push_back(std::move(rule));
  }
  return have_ours ? ours : anyone;
}

bool Robots_rules::pattern_matches(std::string_view pattern, std::string_view target) {
  bool anchored = !pattern.empty() && pattern.back() == '$';
  if (anchored) pattern.remove_suffix(1);
  // Wildcard matching with one remembered star: linear in practice, at most
  // pattern x target steps.
  size_t p = 0, t = 0;
  size_t star = std::string_view::npos, star_t = 0;
  while (true) {
    if (p == pattern.size()) {
      if (!anchored || t == target.size()) return true;
    } else if (pattern[p] == '*') {
      star = p++;
      star_t = t;
      continue;
    } else if (t < target.size() && pattern[p] == target[t]) {
      ++p;
      ++t;
      continue;
    }
    if (star == std::string_view::npos || star_t >= target.size()) return false;
    p = star + 1;
    t = ++star_t;
  }
}

bool Robots_rules::allowed(std::string_view target) const {
  if (target.empty()) target = "/";
  if (target == "/robots.txt") return true;
  if (disallow_all_) return false;
  const std::string path = normalized(target);
  size_t best = 0;
  bool found = false, verdict = true;
  for (const Rule& r : rules_) {
    if (!pattern_matches(r.pattern, path)) continue;
    const size_t length = r.pattern.size();
    if (!found || length > best || (length == best && r.allow && !verdict)) {
      best = length;
      verdict = r.allow;
      found = true;
    }
  }
  return verdict;
}

}  // namespace orvalis
