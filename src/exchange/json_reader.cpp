#include "exchange/json_reader.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <istream>

#include "foundation/character_count.h"

namespace orvalis::exchange {

namespace {

constexpr std::size_t chunk_bytes = 64 * 1024;

void put_utf8(std::string& out, std::uint32_t c) {
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

}  // namespace

Json_reader::Json_reader(std::string_view text, int max_depth) : window_(text), max_depth_(max_depth) {}

Json_reader::Json_reader(std::istream& in, int max_depth) : in_(&in), max_depth_(max_depth) {}

void Json_reader::fail(const std::string& message) const { throw Json_syntax_error(where() + message); }

std::string Json_reader::where() const {
  return "line " + std::to_string(line_) + ", column " + std::to_string(offset() - line_start_ + 1) + ": ";
}

// True when `n` bytes are there to be read from i_; reads more of the stream when needed,
// keeping the bytes not yet read at the front of the buffer.
bool Json_reader::ensure(std::size_t n) {
  if (window_.size() - i_ >= n) return true;
  if (!in_) return false;
  const std::size_t keep = window_.size() - i_;
  if (keep) std::memmove(buffer_.data(), buffer_.data() + i_, keep);
  base_ += i_;
  i_ = 0;
  std::size_t have = keep;
  buffer_.resize(std::max(chunk_bytes, n));
  while (have < n && *in_) {
    in_->read(buffer_.data() + have, static_cast<std::streamsize>(buffer_.size() - have));
    have += static_cast<std::size_t>(in_->gcount());
  }
  window_ = std::string_view(buffer_.data(), have);
  return have >= n;
}

void Json_reader::advance() {
  if (window_[i_] == '\n') {
    ++line_;
    line_start_ = base_ + i_ + 1;
  }
  ++i_;
}

void Json_reader::skip_space() {
  while (ensure(1)) {
    const char c = window_[i_];
    if (c != ' ' && c != '\t' && c != '\n' && c != '\r') return;
    advance();
  }
}

Json_value::Kind Json_reader::peek_kind() {
  skip_space();
  if (at_end()) return Json_value::Kind::null;
  switch (peek_char()) {
    case '{': return Json_value::Kind::object;
    case '[': return Json_value::Kind::array;
    case '"': return Json_value::Kind::string;
    case 't':
    case 'f': return Json_value::Kind::boolean;
    case '-': return Json_value::Kind::integer;
    default:
      return peek_char() >= '0' && peek_char() <= '9' ? Json_value::Kind::integer : Json_value::Kind::null;
  }
}

void Json_reader::container_depth_check() {
  if (static_cast<int>(first_.size()) + 1 > max_depth_)
    fail("nested deeper than " + std::to_string(max_depth_) + " levels");
}

void Json_reader::begin_object() {
  skip_space();
  if (at_end()) fail("the text ends where a value was expected");
  if (peek_char() != '{') fail("expected an object");
  container_depth_check();
  advance();
  first_.push_back(true);
}

void Json_reader::begin_array() {
  skip_space();
  if (at_end()) fail("the text ends where a value was expected");
  if (peek_char() != '[') fail("expected an array");
  container_depth_check();
  advance();
  first_.push_back(true);
}

// Moves past the comma before the next item of the open container, or past its closing
// character (then false).
bool Json_reader::next_in(char close, const char* after_what) {
  skip_space();
  if (first_.back()) {
    first_.back() = false;
    if (ensure(1) && peek_char() == close) {
      advance();
      first_.pop_back();
      return false;
    }
    return true;
  }
  if (ensure(1) && peek_char() == ',') {
    advance();
    return true;
  }
  if (ensure(1) && peek_char() == close) {
    advance();
    first_.pop_back();
    return false;
  }
  fail(std::string("expected ',' or '") + close + "' after " + after_what);
}

bool Json_reader::next_member(std::string& name) {
  if (!next_in('}', "a member")) return false;
  skip_space();
  if (at_end() || peek_char() != '"') fail("expected a member name in quotes");
  name.clear();
  string(&name);
  skip_space();
  if (at_end() || peek_char() != ':') fail("expected ':' after a member name");
  advance();
  skip_space();
  return true;
}

bool Json_reader::next_item() { return next_in(']', "an item"); }

Json_value Json_reader::read_value() {
  Json_value v;
  value(&v);
  return v;
}

void Json_reader::skip_value() { value(nullptr); }

void Json_reader::finish() {
  skip_space();
  if (!at_end()) fail("unexpected text after the value");
}

void Json_reader::literal(std::string_view word) {
  if (!ensure(word.size()) || window_.substr(i_, word.size()) != word) fail("expected a value");
  i_ += word.size();
}

// Reads the next value into `out`, or only checks it when `out` is null.
void Json_reader::value(Json_value* out) {
  skip_space();
  if (at_end()) fail("the text ends where a value was expected");
  switch (peek_char()) {
    case '{': {
      begin_object();
      if (out) *out = Json_value::object();
      std::string name;
      while (next_member(name)) {
        if (!out) {
          value(nullptr);
          continue;
        }
        Json_value v;
        value(&v);
        out->set(name, std::move(v));
      }
      return;
    }
    case '[': {
      begin_array();
      if (out) *out = Json_value::array();
      while (next_item()) {
        if (!out) {
          value(nullptr);
          continue;
        }
        Json_value v;
        value(&v);
        out->push(std::move(v));
      }
      return;
    }
    case '"': {
      if (!out) {
        string(nullptr);
        return;
      }
      std::string text;
      string(&text);
      *out = Json_value::string(text);
      return;
    }
    case 't':
      literal("true");
      if (out) *out = Json_value::boolean(true);
      return;
    case 'f':
      literal("false");
      if (out) *out = Json_value::boolean(false);
      return;
    case 'n':
      literal("null");
      if (out) *out = Json_value();
      return;
    default:
      number(out);
  }
}

std::uint32_t Json_reader::hex4() {
  if (!ensure(4)) fail("a \\u escape needs four hexadecimal digits");
  std::uint32_t v = 0;
  for (int k = 0; k < 4; ++k) {
    const char c = window_[i_];
    advance();
    v <<= 4;
    if (c >= '0' && c <= '9')
      v |= static_cast<std::uint32_t>(c - '0');
    else if (c >= 'a' && c <= 'f')
      v |= static_cast<std::uint32_t>(c - 'a' + 10);
    else if (c >= 'A' && c <= 'F')
      v |= static_cast<std::uint32_t>(c - 'A' + 10);
    else
      fail("a \\u escape needs four hexadecimal digits");
  }
  return v;
}

// Reads a string into `out`, or only checks it when `out` is null.
void Json_reader::string(std::string* out) {
  advance();  // the opening quote
  for (;;) {
    if (!ensure(1)) fail("the text ends inside a string");
    // Plain ASCII goes over in one piece.
    std::size_t j = i_;
    while (j < window_.size()) {
      const unsigned char b = static_cast<unsigned char>(window_[j]);
      if (b == '"' || b == '\\' || b < 0x20 || b >= 0x80) break;
      ++j;
    }
    if (out) out->append(window_.data() + i_, j - i_);
    i_ = j;
    if (i_ == window_.size()) continue;
    const unsigned char c = static_cast<unsigned char>(window_[i_]);
    if (c == '"') {
      ++i_;
      return;
    }
    if (c < 0x20) fail("a control character inside a string must be escaped");
    if (c == '\\') {
      advance();
      if (!ensure(1)) fail("the text ends inside a string");
      const char e = window_[i_];
      advance();
      std::string ignored;
      std::string& o = out ? *out : ignored;
      switch (e) {
        case '"': o += '"'; break;
        case '\\': o += '\\'; break;
        case '/': o += '/'; break;
        case 'b': o += '\b'; break;
        case 'f': o += '\f'; break;
        case 'n': o += '\n'; break;
        case 'r': o += '\r'; break;
        case 't': o += '\t'; break;
        case 'u': {
          std::uint32_t v = hex4();
          if (v >= 0xDC00 && v <= 0xDFFF) fail("a \\u escape holds a lone low surrogate");
          if (v >= 0xD800 && v <= 0xDBFF) {
            if (!ensure(2) || window_[i_] != '\\' || window_[i_ + 1] != 'u')
              fail("a high surrogate must be followed by a low one");
            i_ += 2;
            const std::uint32_t low = hex4();
            if (low < 0xDC00 || low > 0xDFFF) fail("a high surrogate must be followed by a low one");
            v = 0x10000 + ((v - 0xD800) << 10) + (low - 0xDC00);
          }
          put_utf8(o, v);
          break;
        }
        default:
          fail(std::string("unknown escape '\\") + e + "'");
      }
      continue;
    }
    ensure(4);  // a whole sequence in the window, unless the text ends sooner
    const std::size_t n = utf8_sequence_length(window_, i_);
    if (n == 0) fail("a string holds bytes that are not UTF-8");
    if (out) out->append(window_.data() + i_, n);
    i_ += n;
  }
}

void Json_reader::number(Json_value* out) {
  std::string text;
  const auto digit = [&] { return ensure(1) && peek_char() >= '0' && peek_char() <= '9'; };
  const auto take = [&] {
    text += window_[i_];
    ++i_;
  };
  const auto digits = [&] {
    std::size_t n = 0;
    for (; digit(); ++n) take();
    return n;
  };
  bool whole = true;
  if (ensure(1) && peek_char() == '-') take();
  if (!digit()) fail("expected a value");
  if (peek_char() == '0') {
    take();
    if (digit()) fail("a number must not start with 0");
  } else {
    digits();
  }
  if (ensure(1) && peek_char() == '.') {
    take();
    whole = false;
    if (digits() == 0) fail("expected digits after the decimal point");
  }
  if (ensure(1) && (peek_char() == 'e' || peek_char() == 'E')) {
    take();
    whole = false;
    if (ensure(1) && (peek_char() == '+' || peek_char() == '-')) take();
    if (digits() == 0) fail("expected digits in the exponent");
  }
  if (!out) return;
  if (whole) {
    errno = 0;
    char* end = nullptr;
    const long long v = std::strtoll(text.c_str(), &end, 10);
    if (errno != ERANGE) {
      *out = Json_value::integer(v);
      return;
    }
  }
  *out = Json_value::real(std::strtod(text.c_str(), nullptr));
}

}  // namespace orvalis::exchange
