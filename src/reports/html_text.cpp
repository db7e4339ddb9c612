#include "reports/html_text.h"

#include <cctype>

namespace orvalis {

namespace {

bool needs_html_escape(char c) { return c == '&' || c == '<' || c == '>' || c == '"'; }

char lower(char c) { return static_cast<char>(std::tolower(static_cast<unsigned char>(c))); }

}  // namespace

Ref_string escape_html(const Ref_string& text) {
  std::string_view v = text.view();
  bool plain = true;
  for (char c : v)
    if (needs_html_escape(c)) {
      plain = false;
      break;
    }
  if (plain) return text;
  std::string out;
  out.reserve(v.size() + 16);
  append_escaped_html(out, v);
  return Ref_string(out);
}

Ref_string escape_js_string(std::string_view text) {
  static constexpr char hex[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(text.size() + 8);
  for (std::size_t i = 0; i < text.size(); ++i) {
    auto c = static_cast<unsigned char>(text[i]);
    // U+2028 and U+2029 end a line inside a literal for older engines.
    if (c == 0xE2 && i + 2 < text.size() && static_cast<unsigned char>(text[i + 1]) == 0x80 &&
        (static_cast<unsigned char>(text[i + 2]) == 0xA8 || static_cast<unsigned char>(text[i + 2]) == 0xA9)) {
      out.append(static_cast<unsigned char>(text[i + 2]) == 0xA8 ? "\\u2028" : "\\u2029");
      i += 2;
      continue;
    }
    if (c < 0x20 || c == 0x7F || c == '\\' || c == '\'' || c == '"' || c == '<' || c == '>' || c == '&') {
      out += "\\x";
      out += hex[c >> 4];
      out += hex[c & 15];
    } else {
      out += static_cast<char>(c);
    }
  }
  return Ref_string(out);
}

Ref_string safe_address(const Ref_string& address) {
  // The scheme as a browser reads it: leading blanks and control characters skipped, tabs and
  // line breaks inside dropped.
  std::string scheme;
  std::string_view v = address.view();
  std::size_t i = 0;
  while (i < v.size() && static_cast<unsigned char>(v[i]) <= 0x20) ++i;
  for (; i < v.size(); ++i) {
    char c = v[i];
    if (c == '\t' || c == '\n' || c == '\r') continue;
    if (c == ':') break;
    if (!std::isalnum(static_cast<unsigned char>(c)) && c != '+' && c != '-' && c != '.')
      return address;  // "/", "?", "#" or anything else before a colon: a relative reference
    scheme += lower(c);
  }
  if (i == v.size()) return address;  // no colon: relative
  static constexpr std::string_view allowed[] = {"http", "https", "ftp", "gopher", "news", "mailto", "file"};
  for (std::string_view a : allowed)
    if (scheme == a) return address;
  return "about:blank";
}

Ref_string safe_file_name(std::string_view text) {
  std::string out;
  for (char c : text) {
    bool keep = std::isalnum(static_cast<unsigned char>(c)) || c == '-' || c == '_' ||
                (c == '.' && !out.empty());
    if (keep) out += c;
  }
  return out.empty() ? Ref_string("_") : Ref_string(out);
}

}  // namespace orvalis
