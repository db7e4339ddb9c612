// A small JSON writer for --json output: objects, arrays, strings (escaped, UTF-8 kept, every byte
// that is not part of well-formed UTF-8 written as U+FFFD, so the output is always valid JSON),
// numbers and booleans, written straight to a stream. Commas are managed by the writer.
#pragma once

#include <ostream>
#include <string>
#include <string_view>
#include <vector>

namespace orvalis::cli {

class Json_writer {
 public:
  explicit Json_writer(std::ostream& out) : out_(out) {}
  Json_writer& begin_object();
  Json_writer& end_object();
  Json_writer& begin_array();
  Json_writer& end_array();
  Json_writer& key(std::string_view k);
  Json_writer& value(std::string_view s);
  Json_writer& value(const char* s) { return value(std::string_view(s ? s : "")); }
  Json_writer& value(long long n);
  Json_writer& value(int n) { return value(static_cast<long long>(n)); }
  Json_writer& value(bool b);
  // A finite number with up to three decimals (NaN and infinities are written as null).
  Json_writer& value(double d);
  Json_writer& null();
  // key + value in one call.
  template <class T>
  Json_writer& field(std::string_view k, const T& v) {
    key(k);
    return value(v);
  }
  void finish() { out_ << '\n'; }

  static std::string quote(std::string_view s);

 private:
  void separate();
  std::ostream& out_;
  std::vector<bool> first_{true};
  bool after_key_ = false;
};

}  // namespace orvalis::cli
