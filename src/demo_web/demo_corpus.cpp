#include "demo_web/demo_corpus.h"

#include <algorithm>
#include <cctype>
#include <cstring>

#include "demo_web/text_words.h"

namespace orvalis::demo {

namespace {

char lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool starts_with_nocase(std::string_view text, size_t at, std::string_view prefix) {
  if (text.size() - at < prefix.size()) return false;
  for (size_t i = 0; i < prefix.size(); ++i)
    if (lower(text[at + i]) != prefix[i]) return false;
  return true;
}

size_t find_nocase(std::string_view text, std::string_view needle, size_t from = 0) {
  for (size_t i = from; i + needle.size() <= text.size(); ++i)
    if (starts_with_nocase(text, i, needle)) return i;
  return std::string_view::npos;
}

void append_utf8(std::string& out, unsigned long cp) {
  if (cp == 0 || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) cp = 0xFFFD;
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

// The code point of a named reference the articles may use; 0 for one we do not know.
unsigned long named_reference(std::string_view name) {
  static const struct {
    const char* name;
    unsigned long cp;
  } names[] = {{"amp", '&'},       {"lt", '<'},         {"gt", '>'},         {"quot", '"'},
               {"apos", '\''},     {"nbsp", 0xA0},      {"deg", 0xB0},       {"middot", 0xB7},
               {"times", 0xD7},    {"eacute", 0xE9},    {"ndash", 0x2013},   {"mdash", 0x2014},
               {"lsquo", 0x2018},  {"rsquo", 0x2019},   {"ldquo", 0x201C},   {"rdquo", 0x201D},
               {"hellip", 0x2026}, {"minus", 0x2212},   {"micro", 0xB5},     {"copy", 0xA9}};
  for (const auto& n : names)
    if (name == n.name) return n.cp;
  return 0;
}

// Character references decoded to UTF-8: the named ones above and numeric ones; a reference
// we do not know stays as written.
std::string decoded(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    size_t semi = text[i] == '&' ? text.find(';', i) : std::string_view::npos;
    if (semi == std::string_view::npos || semi - i > 10) {
      out += text[i];
      continue;
    }
    std::string_view name = text.substr(i + 1, semi - i - 1);
    unsigned long cp = 0;
    if (name.size() > 1 && name[0] == '#') {
      bool hex = name[1] == 'x' || name[1] == 'X';
      for (char c : name.substr(hex ? 2 : 1)) {
        int d = (c >= '0' && c <= '9') ? c - '0'
                : (hex && c >= 'a' && c <= 'f') ? c - 'a' + 10
                : (hex && c >= 'A' && c <= 'F') ? c - 'A' + 10 : -1;
        if (d < 0) {
          cp = 0;
          break;
        }
        cp = cp * (hex ? 16 : 10) + static_cast<unsigned long>(d);
        if (cp > 0x10FFFF) cp = 0x110000;
      }
    } else {
      cp = named_reference(name);
    }
    if (cp == 0) {
      out += text[i];
      continue;
    }
    append_utf8(out, cp);
    i = semi;
  }
  return out;
}

std::string collapse_white(std::string_view text) {
  std::string out;
  bool blank = false;
  for (char c : text) {
    if (c == ' ' || c == '\t' || c == '\r' || c == '\n') {
      blank = !out.empty();
      continue;
    }
    if (blank) out += ' ';
    blank = false;
    out += c;
  }
  return out;
}

// The lower-cased name of the tag that starts at `lt` ("/p" for an end tag).
std::string tag_name(std::string_view html, size_t lt) {
  std::string name;
  size_t i = lt + 1;
  if (i < html.size() && html[i] == '/') name += html[i++];
  while (i < html.size() && (std::isalnum(static_cast<unsigned char>(html[i])))) name += lower(html[i++]);
  return name;
}

bool ends_block(const std::string& name) {
  static const char* const blocks[] = {"p", "h1", "h2", "h3", "h4", "li", "pre", "div",
                                       "br", "tr", "dt", "dd", "blockquote", "section", "table"};
  std::string_view bare = name;
  if (!bare.empty() && bare[0] == '/') bare.remove_prefix(1);
  for (const char* b : blocks)
    if (bare == b) return true;
  return false;
}

// The body's text: tags dropped, a line break at the end of each block, white space collapsed
// inside blocks (kept as written inside a listing), references decoded.
std::string body_text(std::string_view html) {
  size_t body = find_nocase(html, "<body");
  if (body == std::string_view::npos) body = 0;
  std::string raw;
  bool in_pre = false;
  for (size_t i = body; i < html.size();) {
    if (html[i] == '<') {
      size_t gt = html.find('>', i);
      if (gt == std::string_view::npos) break;
      std::string name = tag_name(html, i);
      if (name == "pre") in_pre = true;
      if (name == "/pre") in_pre = false;
      if (ends_block(name)) raw += '\n';
      i = gt + 1;
      continue;
    }
    char c = html[i++];
    if (c == '\r' || c == '\t' || (c == '\n' && !in_pre)) c = ' ';
    raw += c;
  }
  // Collapse runs of blanks and empty lines.
  std::string out;
  for (size_t i = 0; i < raw.size(); ++i) {
    char c = raw[i];
    if (c == ' ' && (out.empty() || out.back() == ' ' || out.back() == '\n')) continue;
    if (c == '\n') {
      while (!out.empty() && out.back() == ' ') out.pop_back();
      if (out.empty() || out.back() == '\n') continue;
    }
    out += c;
  }
  while (!out.empty() && (out.back() == ' ' || out.back() == '\n')) out.pop_back();
  if (!out.empty()) out += '\n';
  return decoded(out);
}

std::string title_of(std::string_view html) {
  size_t open = find_nocase(html, "<title");
  if (open == std::string_view::npos) return {};
  size_t gt = html.find('>', open);
  size_t close = find_nocase(html, "</title", gt == std::string_view::npos ? open : gt);
  if (gt == std::string_view::npos || close == std::string_view::npos) return {};
  return decoded(collapse_white(html.substr(gt + 1, close - gt - 1)));
}

std::string theme_of(std::string_view html) {
  size_t meta = find_nocase(html, "<meta name=\"theme\" content=\"");
  if (meta == std::string_view::npos) return {};
  size_t from = meta + std::strlen("<meta name=\"theme\" content=\"");
  size_t end = html.find('"', from);
  return end == std::string_view::npos ? std::string() : std::string(html.substr(from, end - from));
}

}  // namespace

Article read_article(std::string slug, std::string_view html) {
  Article a;
  a.slug = std::move(slug);
  a.html = std::string(html);
  a.title = title_of(html);
  a.theme = theme_of(html);
  a.text = body_text(html);
  resolve_placeholders(html, [&a](std::string_view target) {
    a.links.emplace_back(target);
    return std::string();
  });
  return a;
}

const std::vector<Article>& corpus() {
  static const std::vector<Article> articles = [] {
    std::vector<Article> list;
    for (int i = 0; i < embedded_page_count; ++i)
      list.push_back(read_article(embedded_pages[i].slug, embedded_pages[i].html));
    std::sort(list.begin(), list.end(),
              [](const Article& a, const Article& b) { return a.slug < b.slug; });
    return list;
  }();
  return articles;
}

std::string resolve_placeholders(std::string_view html,
                                 const std::function<std::string(std::string_view slug)>& address) {
  std::string out;
  out.reserve(html.size() + 1024);
  size_t at = 0;
  for (;;) {
    size_t open = html.find("{{", at);
    size_t close = open == std::string_view::npos ? open : html.find("}}", open + 2);
    if (close == std::string_view::npos) break;
    out.append(html, at, open - at);
    out += address(html.substr(open + 2, close - open - 2));
    at = close + 2;
  }
  out.append(html, at);
  return out;
}

int count_words(std::string_view text) {
  int n = 0;
  for_each_word(text, [&n](size_t, size_t) { ++n; });
  return n;
}

}  // namespace orvalis::demo
