#include "exchange/json_value.h"

#include "foundation/character_count.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
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

class Parser {
 public:
  Parser(std::string_view text, int max_depth) : s_(text), max_depth_(max_depth) {}

  Json_parse_result run() {
    Json_parse_result r;
    skip_space();
    if (!value(r.value, 0)) {
      r.error = where() + error_;
      r.value = Json_value();
      return r;
    }
    skip_space();
    if (i_ != s_.size()) {
      r.error = where() + "unexpected text after the value";
      r.value = Json_value();
    }
    return r;
  }

 private:
  bool fail(std::string message) {
    if (error_.empty()) error_ = std::move(message);
    return false;
  }

  std::string where() const {
    std::size_t line = 1, column = 1;
    for (std::size_t k = 0; k < i_ && k < s_.size(); ++k) {
      if (s_[k] == '\n') {
        ++line;
        column = 1;
      } else {
        ++column;
      }
    }
    return "line " + std::to_string(line) + ", column " + std::to_string(column) + ": ";
  }

  void skip_space() {
    while (i_ < s_.size() && (s_[i_] == ' ' || s_[i_] == '\t' || s_[i_] == '\n' || s_[i_] == '\r')) ++i_;
  }

  bool literal(std::string_view word) {
    if (s_.substr(i_, word.size()) != word) return fail("expected a value");
    i_ += word.size();
    return true;
  }

  bool value(Json_value& out, int depth) {
    if (i_ >= s_.size()) return fail("the text ends where a value was expected");
    switch (s_[i_]) {
      case '{':
        return object(out, depth + 1);
      case '[':
        return array(out, depth + 1);
      case '"': {
        std::string text;
        if (!string(text)) return false;
        out = Json_value::string(text);
        return true;
      }
      case 't':
        out = Json_value::boolean(true);
        return literal("true");
      case 'f':
        out = Json_value::boolean(false);
        return literal("false");
      case 'n':
        out = Json_value();
        return literal("null");
      default:
        return number(out);
    }
  }

  bool object(Json_value& out, int depth) {
    if (depth > max_depth_) return fail("nested deeper than " + std::to_string(max_depth_) + " levels");
    out = Json_value::object();
    ++i_;
    skip_space();
    if (i_ < s_.size() && s_[i_] == '}') {
      ++i_;
      return true;
    }
    for (;;) {
      skip_space();
      if (i_ >= s_.size() || s_[i_] != '"') return fail("expected a member name in quotes");
      std::string key;
      if (!string(key)) return false;
      skip_space();
      if (i_ >= s_.size() || s_[i_] != ':') return fail("expected ':' after a member name");
      ++i_;
      skip_space();
      Json_value v;
      if (!value(v, depth)) return false;
      out.set(key, std::move(v));
      skip_space();
      if (i_ < s_.size() && s_[i_] == ',') {
        ++i_;
        continue;
      }
      if (i_ < s_.size() && s_[i_] == '}') {
        ++i_;
        return true;
      }
      return fail("expected ',' or '}' after a member");
    }
  }

  bool array(Json_value& out, int depth) {
    if (depth > max_depth_) return fail("nested deeper than " + std::to_string(max_depth_) + " levels");
    out = Json_value::array();
    ++i_;
    skip_space();
    if (i_ < s_.size() && s_[i_] == ']') {
      ++i_;
      return true;
    }
    for (;;) {
      skip_space();
      Json_value v;
      if (!value(v, depth)) return false;
      out.push(std::move(v));
      skip_space();
      if (i_ < s_.size() && s_[i_] == ',') {
        ++i_;
        continue;
      }
      if (i_ < s_.size() && s_[i_] == ']') {
        ++i_;
        return true;
      }
      return fail("expected ',' or ']' after an item");
    }
  }

  static void put_utf8(std::string& out, std::uint32_t c) {
    if (c < 0x80) {
      out += static_cast<char>(c);
    } else if (c < 0x800) {
      out += static_cast<char>(0xC0 | (c >> 6));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
      out += static_cast<char>(0xE0 | (c >> 12));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | (c >> 18));
      out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    }
  }

  bool hex4(std::uint32_t& v) {
    if (i_ + 4 > s_.size()) return fail("a \\u escape needs four hexadecimal digits");
    v = 0;
    for (int k = 0; k < 4; ++k) {
      char c = s_[i_++];
      v <<= 4;
      if (c >= '0' && c <= '9')
        v |= static_cast<std::uint32_t>(c - '0');
      else if (c >= 'a' && c <= 'f')
        v |= static_cast<std::uint32_t>(c - 'a' + 10);
      else if (c >= 'A' && c <= 'F')
        v |= static_cast<std::uint32_t>(c - 'A' + 10);
      else
        return fail("a \\u escape needs four hexadecimal digits");
    }
    return true;
  }

  // The length of the well-formed UTF-8 sequence at i_, or 0.
  std::size_t utf8_length() const { return utf8_sequence_length(s_, i_); }

  bool string(std::string& out) {
    ++i_;  // the opening quote
    for (;;) {
      if (i_ >= s_.size()) return fail("the text ends inside a string");
      const unsigned char c = static_cast<unsigned char>(s_[i_]);
      if (c == '"') {
        ++i_;
        return true;
      }
      if (c < 0x20) return fail("a control character inside a string must be escaped");
      if (c == '\\') {
        if (++i_ >= s_.size()) return fail("the text ends inside a string");
        const char e = s_[i_++];
        switch (e) {
          case '"': out += '"'; break;
          case '\\': out += '\\'; break;
          case '/': out += '/'; break;
          case 'b': out += '\b'; break;
          case 'f': out += '\f'; break;
          case 'n': out += '\n'; break;
          case 'r': out += '\r'; break;
          case 't': out += '\t'; break;
          case 'u': {
            std::uint32_t v;
            if (!hex4(v)) return false;
            if (v >= 0xDC00 && v <= 0xDFFF) return fail("a \\u escape holds a lone low surrogate");
            if (v >= 0xD800 && v <= 0xDBFF) {
              std::uint32_t low;
              if (i_ + 2 > s_.size() || s_[i_] != '\\' || s_[i_ + 1] != 'u')
                return fail("a high surrogate must be followed by a low one");
              i_ += 2;
              if (!hex4(low)) return false;
              if (low < 0xDC00 || low > 0xDFFF) return fail("a high surrogate must be followed by a low one");
              v = 0x10000 + ((v - 0xD800) << 10) + (low - 0xDC00);
            }
            put_utf8(out, v);
            break;
          }
          default:
            return fail(std::string("unknown escape '\\") + e + "'");
        }
        continue;
      }
      const std::size_t n = utf8_length();
      if (n == 0) return fail("a string holds bytes that are not UTF-8");
      out.append(s_.substr(i_, n));
      i_ += n;
    }
  }

  bool number(Json_value& out) {
    const std::size_t start = i_;
    bool whole = true;
    if (i_ < s_.size() && s_[i_] == '-') ++i_;
    auto digits = [&] {
      std::size_t from = i_;
      while (i_ < s_.size() && s_[i_] >= '0' && s_[i_] <= '9') ++i_;
      return i_ - from;
    };
    if (i_ >= s_.size() || s_[i_] < '0' || s_[i_] > '9') return fail("expected a value");
    if (s_[i_] == '0') {
      ++i_;
      if (i_ < s_.size() && s_[i_] >= '0' && s_[i_] <= '9') return fail("a number must not start with 0");
    } else {
      digits();
    }
    if (i_ < s_.size() && s_[i_] == '.') {
      ++i_;
      whole = false;
      if (digits() == 0) return fail("expected digits after the decimal point");
    }
    if (i_ < s_.size() && (s_[i_] == 'e' || s_[i_] == 'E')) {
      ++i_;
      whole = false;
      if (i_ < s_.size() && (s_[i_] == '+' || s_[i_] == '-')) ++i_;
      if (digits() == 0) return fail("expected digits in the exponent");
    }
    const std::string text(s_.substr(start, i_ - start));
    if (whole) {
      errno = 0;
      char* end = nullptr;
      long long v = std::strtoll(text.c_str(), &end, 10);
      if (errno != ERANGE) {
        out = Json_value::integer(v);
        return true;
      }
    }
    out = Json_value::real(std::strtod(text.c_str(), nullptr));
    return true;
  }

  std::string_view s_;
  std::size_t i_ = 0;
  int max_depth_;
  std::string error_;
};

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
  return Parser(text, max_depth).run();
}

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
