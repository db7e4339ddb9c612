// Json_value is one JSON value held in memory (null, boolean, number, string, array, object),
// with a strict reader and a writer, for the exchange formats. Objects keep their members in
// the order read or added, so what is written out again comes out in the same order.
//
// The reader takes RFC 8259 JSON only: no comments, no trailing commas, no leading zeros, no
// bare control characters in strings, well-formed UTF-8 with \u escapes (surrogate pairs
// joined, a lone surrogate refused), nothing after the value but white space. Nesting deeper
// than `max_depth` is refused rather than followed, so a hostile file cannot exhaust the
// stack. Numbers are whole (kept as 64-bit integers) or not (kept as doubles).
//
// The writer indents with two spaces and writes every byte that is not part of well-formed
// UTF-8 as U+FFFD, so its output is always valid JSON. A plain value: copy it freely.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace orvalis::exchange {

class Json_value {
 public:
  enum class Kind { null, boolean, integer, real, string, array, object };
  using Member = std::pair<std::string, Json_value>;

  Json_value() = default;
  static Json_value boolean(bool b);
  static Json_value integer(std::int64_t n);
  static Json_value real(double d);
  static Json_value string(std::string_view s);
  static Json_value array();
  static Json_value object();

  Kind kind() const { return kind_; }
  bool is_null() const { return kind_ == Kind::null; }
  bool is_object() const { return kind_ == Kind::object; }
  bool is_array() const { return kind_ == Kind::array; }
  bool is_string() const { return kind_ == Kind::string; }
  bool is_number() const { return kind_ == Kind::integer || kind_ == Kind::real; }

  bool as_bool() const { return kind_ == Kind::boolean && integer_ != 0; }
  // A number's value (a real one truncated, and held to the range); 0 for other kinds.
  std::int64_t as_integer() const;
  double as_real() const;
  // A string's text; empty for other kinds.
  const std::string& as_string() const { return text_; }
  const std::vector<Json_value>& items() const { return items_; }
  const std::vector<Member>& members() const { return members_; }

  // The member `key` of an object; null when absent (or when this is no object).
  const Json_value* find(std::string_view key) const;
  // Appends to an array; adds a member to an object (no check for a repeated key).
  Json_value& push(Json_value v);
  Json_value& set(std::string_view key, Json_value v);

  bool operator==(const Json_value& o) const;

 private:
  Kind kind_ = Kind::null;
  std::int64_t integer_ = 0;
  double real_ = 0;
  std::string text_;
  std::vector<Json_value> items_;
  std::vector<Member> members_;
};

// A value or why it could not be read: "line 3, column 7: expected ',' or '}' after a member".
struct Json_parse_result {
  Json_value value;
  std::string error;  // empty on success
  bool ok() const { return error.empty(); }
};

inline constexpr int default_max_json_depth = 64;

Json_parse_result parse_json(std::string_view text, int max_depth = default_max_json_depth);

// Writes `v` indented (two spaces a level), with a line feed at the end.
void write_json(std::ostream& out, const Json_value& v);
std::string to_json_text(const Json_value& v);
// Writes `v` as write_json would at nesting `level` (its inner lines indented one more level),
// without the final line feed: for writers that put out a large value piece by piece.
void write_json_at(std::ostream& out, const Json_value& v, int level);
// Writes `s` as a JSON string, quoted and escaped.
void write_json_string(std::ostream& out, std::string_view s);

}  // namespace orvalis::exchange
