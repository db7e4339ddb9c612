#include "text/html_tag.h"

#include <algorithm>
#include <cstring>
#include <initializer_list>
#include <string>

#include "text/html_chars.h"

namespace orvalis {

namespace {

using namespace html_chars;

bool is_quote(char c) { return c == '"' || c == '\''; }

// Ends a name or an unquoted value.
bool ends_name(char c) {
  return is_space(static_cast<unsigned char>(c)) || c == '>' || is_quote(c);
}

std::string_view lower_into(const char* p, int n, char* out) {
  for (int i = 0; i < n; ++i) out[i] = lower(p[i]);
  return {out, static_cast<size_t>(n)};
}

bool is_heading_start_name(std::string_view n) {
  return n.size() == 2 && n[0] == 'h' && n[1] >= '0' && n[1] <= '9';
}
bool is_heading_end_name(std::string_view n) {
  return n.size() == 3 && n[0] == '/' && n[1] == 'h' && n[2] >= '0' && n[2] <= '9';
}

}  // namespace

Html_tag::Html_tag(const char* token, int n) {
  if (n <= 0) return;
  if (std::memchr(token, 0, static_cast<size_t>(n))) {
    std::string copy(token, static_cast<size_t>(n));
    for (char& c : copy)
      if (c == 0) c = ' ';
    text_ = Ref_string(copy);
  } else {
    text_ = Ref_string(std::string_view(token, static_cast<size_t>(n)));
  }
}

int Html_tag::name_of(const char* text, int n, char* out) {
  int i = 1;
  const int stop = std::min(n, 1 + max_name + 1);
  while (i < stop && !ends_name(text[i])) ++i;
  int len = i > 1 ? utf8_cut(text + 1, i - 1, max_name) : 0;
  lower_into(text + 1, len, out);
  return len;
}

Ref_string Html_tag::name() const {
  char buffer[max_name];
  int n = name_of(text_.c_str(), text_.length(), buffer);
  return Ref_string(std::string_view(buffer, static_cast<size_t>(n)));
}

bool Html_tag::name_breaks_sentence(std::string_view n) { return name_is_block(n); }

bool Html_tag::name_is_block(std::string_view n) {
  if (!n.empty() && n[0] == '/') n.remove_prefix(1);
  if (n.empty() || n.size() > 10) return false;
  const auto any = [n](std::initializer_list<std::string_view> names) {
    for (std::string_view b : names)
      if (b == n) return true;
    return false;
  };
  // Told apart by the first letter, then compared with the few names that share it.
  switch (n[0]) {
    case 'a': return any({"address", "article", "aside", "audio"});
    case 'b': return any({"blockquote", "body", "br", "button"});
    case 'c': return any({"canvas", "caption", "center"});
    case 'd': return any({"dd", "details", "dialog", "dir", "div", "dl", "dt"});
    case 'e': return n == "embed";
    case 'f': return any({"fieldset", "figcaption", "figure", "footer", "form", "frameset"});
    case 'h':
      if (n.size() == 2 && n[1] >= '1' && n[1] <= '6') return true;
      return any({"head", "header", "hgroup", "hr", "html"});
    case 'i': return n == "iframe";
    case 'l': return n == "li" || n == "legend";
    case 'm': return n == "main" || n == "menu";
    case 'n': return n == "nav" || n == "noscript";
    case 'o': return any({"object", "ol", "optgroup", "option"});
    case 'p': return n == "p" || n == "pre";
    case 's': return any({"section", "select", "summary", "svg"});
    case 't': return any({"table", "tbody", "td", "template", "textarea", "tfoot", "th", "thead", "title", "tr"});
    case 'u': return n == "ul";
    case 'v': return n == "video";
    default: return false;
  }
}

bool Html_tag::name_is_emphasis_start(std::string_view n) {
  return n == "i" || n == "b" || n == "em" || n == "strong";
}

bool Html_tag::name_is_emphasis_end(std::string_view n) {
  return n == "/i" || n == "/b" || n == "/em" || n == "/strong";
}

bool Html_tag::is(std::string_view n) const { return equal_ignoring_case(name().view(), n); }
bool Html_tag::is_emphasis_start() const { return name_is_emphasis_start(name().view()); }
bool Html_tag::is_emphasis_end() const { return name_is_emphasis_end(name().view()); }
bool Html_tag::is_heading_start() const { return is_heading_start_name(name().view()); }
bool Html_tag::is_heading_end() const { return is_heading_end_name(name().view()); }
bool Html_tag::breaks_sentence() const { return name_breaks_sentence(name().view()); }

void Html_tag::parse_attributes() const {
  if (parsed_) return;
  parsed_ = true;
  const char* t = text_.c_str();
  const int n = text_.length();
  const bool anchor = name() == "a";
  char buffer[max_quoted_value];
  int i = 0;
  // The "<" and the name, then the white space after them.
  while (i < n && !is_space(static_cast<unsigned char>(t[i]))) ++i;
  while (i < n && is_space(static_cast<unsigned char>(t[i]))) ++i;
  int kept = 0;
  while (i < n && t[i] != '>' && kept < max_attributes) {
    // Scans stop one byte past a limit: enough to know that the text must be cut there.
    int start = i;
    int stop = std::min(n, start + max_name + 1);
    while (i < stop && !ends_name(t[i]) && t[i] != '=') ++i;
    int len = utf8_cut(t + start, i - start, max_name);
    i = start + len;
    Ref_string name(lower_into(t + start, len, buffer));
    while (i < n && is_space(static_cast<unsigned char>(t[i]))) ++i;
    Ref_string value;
    if (i < n && t[i] == '=') {
      ++i;
      while (i < n && is_space(static_cast<unsigned char>(t[i]))) ++i;
      if (i < n && is_quote(t[i])) {
        char quote = t[i++];
        int vstart = i;
        stop = std::min(n, vstart + max_quoted_value + 1);
        while (i < stop && t[i] != quote) ++i;
        int vlen = utf8_cut(t + vstart, i - vstart, max_quoted_value);
        bool closed = vlen == i - vstart && i < n && t[i] == quote;
        value = Ref_string(std::string_view(t + vstart, static_cast<size_t>(vlen)));
        i = vstart + vlen + (closed ? 1 : 0);
      } else {
        int vstart = i;
        stop = std::min(n, vstart + max_name + 1);
        while (i < stop && !ends_name(t[i])) ++i;
        int vlen = utf8_cut(t + vstart, i - vstart, max_name);
        value = Ref_string(lower_into(t + vstart, vlen, buffer));
        i = vstart + vlen;
      }
    }
    if (anchor && name == "href" && (value.find('\r') >= 0 || value.find('\n') >= 0))
      value = value.remove_chars("\r\n");
    // A stray quotation mark or "=" gives no name; such a pair is not kept.
    if (!name.empty()) {
      attributes_.set(name, value);
      ++kept;
    }
    while (i < n && (is_space(static_cast<unsigned char>(t[i])) || t[i] == '>' || is_quote(t[i])))
      ++i;
  }
}

const Name_value_list& Html_tag::attributes() const {
  parse_attributes();
  return attributes_;
}

Ref_string Html_tag::attribute(const Ref_string& name) const {
  parse_attributes();
  return attributes_.get(name);
}

bool Html_tag::has_attribute(const Ref_string& name) const {
  parse_attributes();
  return attributes_.has(name);
}

void Html_tag::set_attribute(const Ref_string& name, const Ref_string& value) {
  parse_attributes();
  attributes_.set(name, value);
  modified_ = true;
}

Ref_string Html_tag::text() const {
  if (!modified_) return text_;
  std::string out = "<";
  out += name().view();
  for (const Name_value& a : attributes_) {
    out += ' ';
    out += a.name.view();
    if (a.value.empty()) continue;
    out += '=';
    bool plain = true;
    for (char c : a.value.view()) {
      unsigned char u = static_cast<unsigned char>(c);
      if (!(u < 0x80 && is_alnum(u))) plain = false;
    }
    if (!plain) out += '"';
    out += a.value.view();
    if (!plain) out += '"';
  }
  out += '>';
  return Ref_string(out);
}

}  // namespace orvalis
