// Json_reader reads JSON a piece at a time, from a text in memory or from a stream, so a large
// file can be walked without holding it whole: the caller steps into objects and arrays
// (begin_object/next_member, begin_array/next_item) and takes each value it wants as a
// Json_value (read_value) or passes over it (skip_value). A stream is read through a buffer of
// fixed size, so memory stays small whatever the size of the file.
//
// It is as strict as parse_json (which is built on it): RFC 8259 only, well-formed UTF-8,
// nesting held to `max_depth` levels counted from the outermost value, and every fault is
// thrown as Json_syntax_error whose message starts with the line and column where the reading
// stopped ("line 3, column 7: expected ',' or '}' after a member"). Skipped values are checked
// as closely as read ones.
//
// Thread: one thread at a time. REQUIRES: the stream or text outlives the reader.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "exchange/json_value.h"

namespace orvalis::exchange {

class Json_syntax_error : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class Json_reader {
 public:
  explicit Json_reader(std::string_view text, int max_depth = default_max_json_depth);
  explicit Json_reader(std::istream& in, int max_depth = default_max_json_depth);

  // The kind of the next value (after white space), from its first character; null also for
  // a character no value starts with (reading it then throws).
  Json_value::Kind peek_kind();

  // Steps into the object that comes next; then next_member gives each member's name (the
  // caller reads or skips its value) until it returns false at the closing brace.
  void begin_object();
  bool next_member(std::string& name);
  // The same for an array: next_item is true while an item follows.
  void begin_array();
  bool next_item();

  Json_value read_value();
  void skip_value();
  // Checks that nothing but white space follows the outermost value.
  void finish();

  // "line L, column C: " for the place reached (columns count bytes from 1).
  std::string where() const;
  // Bytes read so far from the start of the text.
  std::uint64_t offset() const { return base_ + i_; }

 private:
  [[noreturn]] void fail(const std::string& message) const;
  bool ensure(std::size_t n);
  bool at_end() { return !ensure(1); }
  char peek_char() const { return window_[i_]; }
  void advance();
  void skip_space();
  void literal(std::string_view word);
  void value(Json_value* out);
  void container_depth_check();
  bool next_in(char close, const char* after_what);
  void string(std::string* out);
  std::uint32_t hex4();
  void number(Json_value* out);

  std::istream* in_ = nullptr;
  std::string buffer_;
  std::string_view window_;
  std::size_t i_ = 0;
  std::uint64_t base_ = 0;        // offset in the text of window_[0]
  std::uint64_t line_start_ = 0;  // offset of the first byte of the current line
  std::uint64_t line_ = 1;
  int max_depth_;
  std::vector<bool> first_;  // per open container: no item read yet
};

}  // namespace orvalis::exchange
