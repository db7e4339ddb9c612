#include "cli/json.h"

#include <cmath>

#include <cstdio>

#include "foundation/character_count.h"

namespace orvalis::cli {

std::string Json_writer::quote(std::string_view s) {
  std::string out = "\"";
  for (std::size_t i = 0; i < s.size();) {
    unsigned char c = static_cast<unsigned char>(s[i]);
    std::size_t n = utf8_sequence_length(s, i);
    if (n == 0) {
      out += "\xEF\xBF\xBD";  // U+FFFD for a byte that is not UTF-8 (a Latin-1 title)
      ++i;
      continue;
    }
    if (n == 2 && c == 0xC2 && static_cast<unsigned char>(s[i + 1]) <= 0x9F) {
      // A C1 control (U+0080..U+009F) is escaped like the C0 ones: raw, a terminal obeys it.
      char buf[8];
      std::snprintf(buf, sizeof buf, "\\u%04x", static_cast<unsigned char>(s[i + 1]));
      out += buf;
      i += 2;
      continue;
    }
    if (n > 1) {
      out.append(s, i, n);
      i += n;
      continue;
    }
    ++i;
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      default:
        if (c < 0x20 || c == 0x7F) {
          char buf[8];
          std::snprintf(buf, sizeof buf, "\\u%04x", c);
          out += buf;
        } else {
          out += static_cast<char>(c);
        }
    }
  }
  return out + "\"";
}

void Json_writer::separate() {
  if (after_key_) {
    after_key_ = false;
    return;
  }
  if (!first_.back()) out_ << ',';
  first_.back() = false;
}

Json_writer& Json_writer::begin_object() {
  separate();
  out_ << '{';
  first_.push_back(true);
  return *this;
}
Json_writer& Json_writer::end_object() {
  first_.pop_back();
  out_ << '}';
  return *this;
}
Json_writer& Json_writer::begin_array() {
  separate();
  out_ << '[';
  first_.push_back(true);
  return *this;
}
Json_writer& Json_writer::end_array() {
  first_.pop_back();
  out_ << ']';
  return *this;
}
Json_writer& Json_writer::key(std::string_view k) {
  separate();
  out_ << quote(k) << ':';
  after_key_ = true;
  return *this;
}
Json_writer& Json_writer::value(std::string_view s) {
  separate();
  out_ << quote(s);
  return *this;
}
Json_writer& Json_writer::value(long long n) {
  separate();
  out_ << n;
  return *this;
}
Json_writer& Json_writer::value(double d) {
  if (!std::isfinite(d)) return null();
  separate();
  char text[64];
  std::snprintf(text, sizeof text, "%.3f", d);
  std::string s = text;
  while (s.back() == '0') s.pop_back();
  if (s.back() == '.') s.pop_back();
  out_ << s;
  return *this;
}
Json_writer& Json_writer::value(bool b) {
  separate();
  out_ << (b ? "true" : "false");
  return *this;
}
Json_writer& Json_writer::null() {
  separate();
  out_ << "null";
  return *this;
}

}  // namespace orvalis::cli
