#include "cli/json.h"

#include <cstdio>

namespace orvalis::cli {

std::string Json_writer::quote(std::string_view s) {
  std::string out = "\"";
  for (unsigned char c : s) {
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      default:
        if (c < 0x20) {
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
