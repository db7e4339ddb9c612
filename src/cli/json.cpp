#include "cli/json.h"

#include <cmath>

#include <cstdio>

namespace orvalis::cli {

namespace {

// Length of the well-formed UTF-8 sequence at s[i] (1 to 4), or 0 when the bytes there are not
// one: a stray continuation byte, a truncated sequence, an overlong form, a surrogate or a code
// point above U+10FFFF.
std::size_t utf8_sequence_length(std::string_view s, std::size_t i) {
  auto byte = [&](std::size_t k) { return static_cast<unsigned char>(s[k]); };
  unsigned char c = byte(i);
  std::size_t n;
  unsigned lo = 0x80, hi = 0xBF;  // the allowed range of the second byte
  if (c < 0x80) return 1;
  if (c >= 0xC2 && c <= 0xDF) n = 2;
  else if (c >= 0xE0 && c <= 0xEF) {
    n = 3;
    if (c == 0xE0) lo = 0xA0;  // overlong
    if (c == 0xED) hi = 0x9F;  // surrogates
  } else if (c >= 0xF0 && c <= 0xF4) {
    n = 4;
    if (c == 0xF0) lo = 0x90;  // overlong
    if (c == 0xF4) hi = 0x8F;  // above U+10FFFF
  } else {
    return 0;
  }
  if (i + n > s.size()) return 0;
  if (byte(i + 1) < lo || byte(i + 1) > hi) return 0;
  for (std::size_t k = 2; k < n; ++k)
    if ((byte(i + k) & 0xC0) != 0x80) return 0;
  return n;
}

}  // namespace

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
