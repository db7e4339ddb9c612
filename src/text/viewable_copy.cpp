#include "text/viewable_copy.h"

#include <algorithm>
#include <cctype>
#include <vector>

#include "foundation/entities.h"
#include "foundation/url.h"

namespace orvalis {

namespace {

constexpr std::string_view kCharset = "<meta charset=\"utf-8\">";

char lower(char c) { return static_cast<char>(std::tolower(static_cast<unsigned char>(c))); }

bool is_space(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f'; }

bool starts_with_ignoring_case(std::string_view s, std::string_view prefix) {
  if (s.size() < prefix.size()) return false;
  for (size_t i = 0; i < prefix.size(); ++i)
    if (lower(s[i]) != prefix[i]) return false;
  return true;
}

// Where `needle` (lower case) next occurs in `s` from `from`, in any case; npos when it does not.
size_t find_ignoring_case(std::string_view s, std::string_view needle, size_t from) {
  for (size_t i = from; i + needle.size() <= s.size(); ++i)
    if (lower(s[i]) == needle[0] && starts_with_ignoring_case(s.substr(i), needle)) return i;
  return std::string_view::npos;
}

// The scheme of an address, lower case, with the blanks and controls a browser drops from it;
// empty when it has none (a relative address).
std::string scheme_of(std::string_view value) {
  std::string scheme;
  for (char c : value) {
    if (static_cast<unsigned char>(c) <= 0x20) continue;
    if (c == ':') return scheme;
    if (!std::isalnum(static_cast<unsigned char>(c)) && c != '+' && c != '-' && c != '.') return {};
    if (scheme.empty() && !std::isalpha(static_cast<unsigned char>(c))) return {};
    scheme += lower(c);
  }
  return {};
}

std::string absolute(std::string_view value, const Url& base) {
  size_t start = 0, end = value.size();
  while (start < end && is_space(value[start])) ++start;
  while (end > start && is_space(value[end - 1])) --end;
  const std::string_view v = value.substr(start, end - start);
  const std::string scheme = scheme_of(v);
  if (scheme == "javascript" || scheme == "vbscript") return "about:blank";
  if (!scheme.empty() || v.empty() || v[0] == '#' || base.text().empty()) return std::string(v);
  return base.resolve(Ref_string(v)).str();
}

// "a.png 1x, b.png 2x": each candidate's address made absolute.
std::string absolute_srcset(std::string_view value, const Url& base) {
  std::string out;
  size_t i = 0;
  while (i < value.size()) {
    size_t comma = value.find(',', i);
    if (comma == std::string_view::npos) comma = value.size();
    std::string_view candidate = value.substr(i, comma - i);
    while (!candidate.empty() && is_space(candidate.front())) candidate.remove_prefix(1);
    const size_t blank = std::min(candidate.size(), static_cast<size_t>(std::find_if(candidate.begin(), candidate.end(), is_space) - candidate.begin()));
    if (!out.empty()) out += ", ";
    out += absolute(candidate.substr(0, blank), base);
    out += candidate.substr(blank);
    i = comma + 1;
  }
  return out;
}

bool is_address_attribute(std::string_view name) {
  static constexpr std::string_view names[] = {"href",       "src",  "action", "formaction", "poster",
                                               "background", "cite", "longdesc", "data"};
  return std::find(std::begin(names), std::end(names), name) != std::end(names);
}

struct Attribute {
  std::string name;  // lower case
  std::string_view value;
  bool has_value = false;
};

// Reads a tag's attributes from `s` (after its name, up to its ">"); returns false when the tag
// does not end (an unclosed quote or no ">"); `end` is the index after the ">".
bool read_attributes(std::string_view s, size_t i, std::vector<Attribute>& attributes, size_t& end,
                     bool& self_closing) {
  self_closing = false;
  while (i < s.size()) {
    while (i < s.size() && (is_space(s[i]) || s[i] == '/')) {
      self_closing = s[i] == '/';
      ++i;
    }
    if (i >= s.size()) return false;
    if (s[i] == '>') {
      end = i + 1;
      return true;
    }
    self_closing = false;
    Attribute a;
    while (i < s.size() && !is_space(s[i]) && s[i] != '=' && s[i] != '>' && s[i] != '/') a.name += lower(s[i++]);
    if (a.name.empty()) a.name += s[i++];  // a stray "=": read as a name of its own
    size_t j = i;
    while (j < s.size() && is_space(s[j])) ++j;
    if (j < s.size() && s[j] == '=') {
      i = j + 1;
      while (i < s.size() && is_space(s[i])) ++i;
      if (i >= s.size()) return false;
      a.has_value = true;
      if (s[i] == '"' || s[i] == '\'') {
        const size_t close = s.find(s[i], i + 1);
        if (close == std::string_view::npos) return false;
        a.value = s.substr(i + 1, close - i - 1);
        i = close + 1;
      } else {
        const size_t from = i;
        while (i < s.size() && !is_space(s[i]) && s[i] != '>') ++i;
        a.value = s.substr(from, i - from);
      }
    }
    attributes.push_back(std::move(a));
  }
  return false;
}

void write_value(std::string& out, std::string_view value) {
  out += '"';
  for (char c : value) {
    if (c == '"')
      out += "&quot;";
    else
      out += c;
  }
  out += '"';
}

}  // namespace

std::string viewable_copy_html(std::string_view html, std::string_view address) {
  const Url base{Ref_string(address)};
  std::string out;
  out.reserve(html.size() + kCharset.size());
  bool charset_written = false;
  std::vector<Attribute> attributes;
  size_t i = 0;
  while (i < html.size()) {
    const size_t lt = html.find('<', i);
    out.append(html.substr(i, (lt == std::string_view::npos ? html.size() : lt) - i));
    if (lt == std::string_view::npos) break;
    i = lt;
    const std::string_view rest = html.substr(i);
    if (rest.starts_with("<!--")) {  // comments go (old browsers ran markup hidden in some)
      const size_t close = html.find("-->", i + 4);
      i = close == std::string_view::npos ? html.size() : close + 3;
      continue;
    }
    if (rest.size() > 1 && (rest[1] == '!' || rest[1] == '?')) {  // doctype, processing instruction
      const size_t close = html.find('>', i);
      const size_t end = close == std::string_view::npos ? html.size() : close + 1;
      out.append(html.substr(i, end - i));
      i = end;
      continue;
    }
    const bool closing = rest.size() > 1 && rest[1] == '/';
    size_t n = i + (closing ? 2 : 1);
    if (n >= html.size() || !std::isalpha(static_cast<unsigned char>(html[n]))) {
      out += "&lt;";  // a "<" that opens no tag is text
      ++i;
      continue;
    }
    std::string name;
    while (n < html.size() && !is_space(html[n]) && html[n] != '>' && html[n] != '/') name += lower(html[n++]);
    attributes.clear();
    size_t end = 0;
    bool self_closing = false;
    if (!read_attributes(html, n, attributes, end, self_closing)) {
      // A tag that never ends (no ">", or a quote left open) takes the rest of the page, as in a
      // browser: it is shown as text, so the pass stays linear.
      append_escaped_html(out, html.substr(i));
      break;
    }
    i = end;
    if (name == "script") {
      if (!closing) {
        const size_t close = find_ignoring_case(html, "</script", i);
        const size_t gt = close == std::string_view::npos ? std::string_view::npos : html.find('>', close);
        i = gt == std::string_view::npos ? html.size() : gt + 1;
      }
      continue;
    }
    if (name == "base") continue;
    if (name == "meta" && !closing) {
      bool drop = false;
      for (const Attribute& a : attributes) {
        if (a.name == "charset") drop = true;
        if (a.name == "http-equiv") {
          const std::string_view v = a.value;
          drop = drop || starts_with_ignoring_case(v, "refresh") || starts_with_ignoring_case(v, "content-type");
        }
      }
      if (drop) continue;
    }
    if (!charset_written && !closing && name != "html" && name != "head") {
      out += kCharset;
      charset_written = true;
    }
    out += '<';
    if (closing) out += '/';
    out += name;
    for (const Attribute& a : attributes) {
      if (a.name.starts_with("on") || a.name == "srcdoc") continue;
      out += ' ';
      out += a.name;
      if (!a.has_value) continue;
      out += '=';
      if (a.name == "srcset")
        write_value(out, absolute_srcset(a.value, base));
      else if (is_address_attribute(a.name))
        write_value(out, absolute(a.value, base));
      else
        write_value(out, a.value);
    }
    if (self_closing) out += " /";
    out += '>';
    if (name == "head" && !closing && !charset_written) {
      out += kCharset;
      charset_written = true;
    }
  }
  if (!charset_written) out.insert(0, kCharset);
  return out;
}

std::string viewable_copy_text(std::string_view text, std::string_view title, std::string_view address,
                               std::string_view when) {
  std::string out = "<!DOCTYPE html>\n<html><head>";
  out += kCharset;
  out += "<title>";
  append_escaped_html(out, title.empty() ? address : title);
  out += "</title></head>\n<body>\n<p><small>Saved copy of <a href=\"";
  append_escaped_html(out, absolute(address, Url()));
  out += "\">";
  append_escaped_html(out, address);
  out += "</a>, ";
  append_escaped_html(out, when);
  out += "</small></p>\n";
  size_t i = 0;
  while (i <= text.size()) {
    size_t nl = text.find('\n', i);
    if (nl == std::string_view::npos) nl = text.size();
    if (nl > i) {
      out += "<p>";
      append_escaped_html(out, text.substr(i, nl - i));
      out += "</p>\n";
    }
    i = nl + 1;
  }
  out += "</body></html>\n";
  return out;
}

}  // namespace orvalis
