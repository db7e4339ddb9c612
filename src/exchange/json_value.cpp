#include "exchange/json_value.h"

#include "exchange/json_reader.h"
#include "foundation/character_count.h"

#include <cmath>
#include <cstdio>
#include <limits>
#include <ostream>
#include <sstream>

namespace orvalis::exchange {

Json_value Json_value::boolean(bool b) {
  Json_value v;
  v.kind_ = Kind::boolean;
  v.integer_ = b ? 1 : 0;
  return v;
}

Json_value Json_value::integer(std::int64_t n) {
  Json_value v;
  v.kind_ = Kind::integer;
  v.integer_ = n;
  return v;
}

Json_value Json_value::real(double d) {
  Json_value v;
  v.kind_ = Kind::real;
  v.real_ = d;
  return v;
}

Json_value Json_value::string(std::string_view s) {
  Json_value v;
  v.kind_ = Kind::string;
  v.text_ = s;
  return v;
}

Json_value Json_value::array() {
  Json_value v;
  v.kind_ = Kind::array;
  return v;
}

Json_value Json_value::object() {
  Json_value v;
  v.kind_ = Kind::object;
  return v;
}

std::int64_t Json_value::as_integer() const {
  if (kind_ == Kind::integer) return integer_;
  if (kind_ != Kind::real || std::isnan(real_)) return 0;
  // Held to the range of a whole number.
  if (real_ >= 9.2e18) return std::numeric_limits<std::int64_t>::max();
  if (real_ <= -9.2e18) return std::numeric_limits<std::int64_t>::min();
  return static_cast<std::int64_t>(real_);
}

double Json_value::as_real() const {
  if (kind_ == Kind::integer) return static_cast<double>(integer_);
  return kind_ == Kind::real ? real_ : 0;
}

const Json_value* Json_value::find(std::string_view key) const {
  for (const Member& m : members_)
    if (m.first == key) return &m.second;
  return nullptr;
}

Json_value& Json_value::push(Json_value v) {
  items_.push_back(std::move(v));
  return items_.back();
}

Json_value& Json_value::set(std::string_view key, Json_value v) {
  members_.emplace_back(std::string(key), std::move(v));
  return members_.back().second;
}

bool Json_value::operator==(const Json_value& o) const {
  return kind_ == o.kind_ && integer_ == o.integer_ && real_ == o.real_ && text_ == o.text_ &&
         items_ == o.items_ && members_ == o.members_;
}

namespace {

void write_string(std::ostream& out, std::string_view s) {
  out << '"';
  for (std::size_t i = 0; i < s.size();) {
    const unsigned char c = static_cast<unsigned char>(s[i]);
    if (c == '"' || c == '\\') {
      out << '\\' << static_cast<char>(c);
      ++i;
    } else if (c == '\n') {
      out << "\\n";
      ++i;
    } else if (c == '\t') {
      out << "\\t";
      ++i;
    } else if (c == '\r') {
      out << "\\r";
      ++i;
    } else if (c < 0x20 || c == 0x7F) {
      char buf[8];
      std::snprintf(buf, sizeof buf, "\\u%04x", c);
      out << buf;
      ++i;
    } else if (c < 0x80) {
      out << static_cast<char>(c);
      ++i;
    } else {
      // Well-formed UTF-8 is copied; anything else becomes U+FFFD.
      const std::size_t n = utf8_sequence_length(s, i);
      const bool good = n > 0;
      if (good) {
        out.write(s.data() + i, static_cast<std::streamsize>(n));
        i += n;
      } else {
        out << "\xEF\xBF\xBD";
        ++i;
      }
    }
  }
  out << '"';
}

void write_value(std::ostream& out, const Json_value& v, int indent) {
  const auto newline = [&](int level) {
    out << '\n';
    for (int k = 0; k < level; ++k) out << "  ";
  };
  switch (v.kind()) {
    case Json_value::Kind::null:
      out << "null";
      break;
    case Json_value::Kind::boolean:
      out << (v.as_bool() ? "true" : "false");
      break;
    case Json_value::Kind::integer:
      out << v.as_integer();
      break;
    case Json_value::Kind::real: {
      if (!std::isfinite(v.as_real())) {
        out << "null";
        break;
      }
      char buf[32];
      std::snprintf(buf, sizeof buf, "%.17g", v.as_real());
      out << buf;
      break;
    }
    case Json_value::Kind::string:
      write_string(out, v.as_string());
      break;
    case Json_value::Kind::array:
      if (v.items().empty()) {
        out << "[]";
        break;
      }
      out << '[';
      for (std::size_t k = 0; k < v.items().size(); ++k) {
        if (k) out << ',';
        newline(indent + 1);
        write_value(out, v.items()[k], indent + 1);
      }
      newline(indent);
      out << ']';
      break;
    case Json_value::Kind::object:
      if (v.members().empty()) {
        out << "{}";
        break;
      }
      out << '{';
      for (std::size_t k = 0; k < v.members().size(); ++k) {
        if (k) out << ',';
        newline(indent + 1);
        write_string(out, v.members()[k].first);
        out << ": ";
        write_value(out, v.members()[k].second, indent + 1);
      }
      newline(indent);
      out << '}';
      break;
  }
}

}  // namespace

Json_parse_result parse_json(std::string_view text, int max_depth) {
  Json_parse_result r;
  try {
    Json_reader reader(text, max_depth);
    r.value = reader.read_value();
    reader.finish();
  } catch (const Json_syntax_error& e) {
    r.value = Json_value();
    r.error = e.what();
  }
  return r;
}

void write_json_at(std::ostream& out, const Json_value& v, int level) { write_value(out, v, level); }

void write_json_string(std::ostream& out, std::string_view s) { write_string(out, s); }

void write_json(std::ostream& out, const Json_value& v) {
  write_value(out, v, 0);
  out << '\n';
}

std::string to_json_text(const Json_value& v) {
  std::ostringstream out;
  write_json(out, v);
  return out.str();
}

}  // namespace orvalis::exchange
