#include "text/page_text.h"

#include <algorithm>
#include <cstring>
#include <optional>
#include <string>

#include "text/html_chars.h"
#include "text/html_scanner.h"
#include "text/html_tag.h"
#include "text/page_readers.h"

namespace orvalis {

namespace {

using namespace html_chars;

// Elements that are page furniture wherever they stand: the name as a static string, or empty.
std::string_view furniture_element(std::string_view n) {
  if (n.size() < 3 || n.size() > 8) return {};
  const auto is = [n](std::string_view name) { return n == name ? name : std::string_view(); };
  switch (n[0]) {
    case 'a': return is("aside");
    case 'b': return is("button");
    case 'c': return is("canvas");
    case 'd': return is("dialog");
    case 'f': return is("form");
    case 'i': return is("iframe");
    case 'm': return is("menu");
    case 'n': { const std::string_view v = is("nav"); return v.empty() ? is("noscript") : v; }
    case 'o': return is("object");
    case 's': { const std::string_view v = is("select"); return v.empty() ? is("svg") : v; }
    case 't': { const std::string_view v = is("template"); return v.empty() ? is("textarea") : v; }
    default: return {};
  }
}

// Landmark roles of furniture.
constexpr std::string_view furniture_roles[] = {
    "navigation", "banner", "contentinfo", "complementary", "search", "menu",
    "menubar",    "toolbar", "tablist",    "dialog",        "alert",  "alertdialog"};

// Words in class and id values that name furniture, as Readability reads them. A part of the
// value (split at anything but letters and digits) that begins or ends with one of these is a
// hint ("navbar", "topnav", "sitefooter", "comments"), unless a part names content.
constexpr std::string_view hint_words[] = {
    "nav",      "menu",    "sidebar",  "footer",     "header",    "masthead", "comment",
    "breadcrumb", "cookie", "consent", "gdpr",       "related",   "share",    "sharing",
    "social",   "sponsor", "promo",    "advert",     "banner",    "pagination", "pager",
    "newsletter", "subscribe", "signup", "toolbar",  "widget",    "tagcloud", "skip",
    "toc",      "popup",   "modal",    "login",      "byline",    "dateline", "meta",
    "tags",     "jump",    "hidden",   "breadcrumbs"};
// Parts that name content: a hint beside one of these does not count.
constexpr std::string_view content_words[] = {"content", "article", "body", "column",
                                              "story"};

// Elements without an end tag: they open nothing.
bool is_void_element(std::string_view n) {
  if (n.size() < 2 || n.size() > 6) return false;
  switch (n[0]) {
    case 'a': return n == "area";
    case 'b': return n == "br" || n == "base";
    case 'c': return n == "col";
    case 'e': return n == "embed";
    case 'h': return n == "hr";
    case 'i': return n == "img" || n == "input";
    case 'k': return n == "keygen";
    case 'l': return n == "link";
    case 'm': return n == "meta";
    case 'p': return n == "param";
    case 's': return n == "source";
    case 't': return n == "track";
    case 'w': return n == "wbr";
    default: return false;
  }
}


// The attributes of a tag that tell furniture, read without building an Html_tag.
struct Tag_attributes {
  std::string_view role, cls, id, style, aria_hidden;
  bool hidden = false;
  bool href = false;
};

void read_attributes(const char* t, int n, Tag_attributes& a) {
  int i = 1;
  while (i < n && !is_space(static_cast<unsigned char>(t[i])) && t[i] != '>') ++i;
  while (i < n && t[i] != '>') {
    while (i < n && (is_space(static_cast<unsigned char>(t[i])) || t[i] == '/' || t[i] == '"' ||
                     t[i] == '\''))
      ++i;
    if (i >= n || t[i] == '>') break;
    const int name_start = i;
    while (i < n && !is_space(static_cast<unsigned char>(t[i])) && t[i] != '=' && t[i] != '>' &&
           t[i] != '"' && t[i] != '\'')
      ++i;
    const std::string_view name(t + name_start, static_cast<size_t>(i - name_start));
    while (i < n && is_space(static_cast<unsigned char>(t[i]))) ++i;
    std::string_view value;
    if (i < n && t[i] == '=') {
      ++i;
      while (i < n && is_space(static_cast<unsigned char>(t[i]))) ++i;
      if (i < n && (t[i] == '"' || t[i] == '\'')) {
        const char q = t[i++];
        const int v = i;
        const void* close = std::memchr(t + i, q, static_cast<size_t>(n - i));
        i = close ? static_cast<int>(static_cast<const char*>(close) - t) : n;
        value = {t + v, static_cast<size_t>(i - v)};
        if (i < n) ++i;
      } else {
        const int v = i;
        while (i < n && !is_space(static_cast<unsigned char>(t[i])) && t[i] != '>') ++i;
        value = {t + v, static_cast<size_t>(i - v)};
      }
    }
    const auto is = [&name](std::string_view s) {
      if (name.size() != s.size()) return false;
      for (size_t k = 0; k < s.size(); ++k)
        if (lower(name[k]) != s[k]) return false;
      return true;
    };
    switch (name.empty() ? 0 : lower(name[0])) {
      case 'r': if (is("role")) a.role = value; break;
      case 'c': if (is("class")) a.cls = value; break;
      case 'i': if (is("id")) a.id = value; break;
      case 's': if (is("style")) a.style = value; break;
      case 'h':
        if (is("hidden")) a.hidden = true;
        else if (is("href")) a.href = true;
        break;
      case 'a': if (is("aria-hidden")) a.aria_hidden = value; break;
      default: break;
    }
  }
}

std::string lower_string(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = lower(c);
  return out;
}

// "display:none" or "visibility:hidden" in an inline style, blanks ignored.
bool style_hides(std::string_view style) {
  std::string s;
  for (char c : style)
    if (!is_space(static_cast<unsigned char>(c))) s += lower(c);
  return s.find("display:none") != std::string::npos ||
         s.find("visibility:hidden") != std::string::npos;
}

// The furniture word in a class or id value, or empty. Looks at the first 32 parts of the
// first 256 bytes.
std::string_view furniture_hint(std::string_view value) {
  if (value.empty()) return {};
  char v[256];
  const size_t size = std::min<size_t>(value.size(), sizeof v);
  for (size_t i = 0; i < size; ++i) v[i] = lower(value[i]);
  std::string_view parts[32];
  int count = 0;
  for (size_t i = 0; i < size && count < 32;) {
    while (i < size && !is_alnum(static_cast<unsigned char>(v[i]))) ++i;
    const size_t start = i;
    while (i < size && is_alnum(static_cast<unsigned char>(v[i]))) ++i;
    if (i > start) parts[count++] = std::string_view(v + start, i - start);
  }
  // "sr-only" and "screen-reader-text" are the visually hidden texts of screen readers.
  for (int k = 0; k + 1 < count; ++k)
    if ((parts[k] == "sr" && parts[k + 1] == "only") ||
        (parts[k] == "screen" && parts[k + 1] == "reader"))
      return "screen reader";
  for (int k = 0; k < count; ++k)
    for (std::string_view c : content_words)
      if (parts[k] == c) return {};
  for (int k = 0; k < count; ++k) {
    const std::string_view p = parts[k];
    for (std::string_view hint : hint_words) {
      if (p.size() < hint.size()) continue;
      if ((p[0] == hint[0] && p.starts_with(hint)) || (p.back() == hint.back() && p.ends_with(hint)))
        return hint;
    }
  }
  return {};
}

// What the markup says at a point of the page.
struct Markup_state {
  Block_reason furniture = Block_reason::none;
  std::string_view detail;  // a static name, or a part of the page text
  bool in_main = false;
  std::int32_t article = -1;
  int sections = 0;  // article, main, section, aside, nav around: their header and footer are theirs
  bool code = false;  // inside an API signature line: code, read no more than a pre element

  bool operator==(const Markup_state& o) const {
    return furniture == o.furniture && in_main == o.in_main && article == o.article &&
           sections == o.sections && code == o.code;
  }
};

struct Open_element {
  char name[12];
  int length;
  int nested;  // same-name elements opened inside it and not yet closed
  Markup_state saved;
  std::string_view view() const { return {name, static_cast<size_t>(length)}; }
};

// Heading text as the title rule compares it: words joined by single blanks.
void append_heading(std::string& heading, const char* text, int n) {
  if (heading.size() < 1024) heading.append(text, static_cast<size_t>(n));
}

void append_blank(std::string& heading) {
  if (!heading.empty() && heading.back() != ' ') heading += ' ';
}

class Page_text_reader : public Html_scanner {
 public:
  explicit Page_text_reader(Byte_buffer_handle page, Page_text& out)
      : Html_scanner(std::move(page), 0), out_(out) {
    out_.chars.reserve(static_cast<size_t>(page_length() / 2));
    out_.tokens.reserve(static_cast<size_t>(page_length() / 6));
    out_.blocks.reserve(static_cast<size_t>(page_length() / 128));
  }

  int on_tag(const char* token, int n, Ref_string&) override {
    read_tag(token, n);
    // What every text token until the next tag shares.
    skip_ = in_head_ || in_title_ || in_pre() || state_.code;
    flags_ = Text_token::after_tag;
    if (in_anchor_) flags_ |= Text_token::in_anchor;
    if (in_emphasis_) flags_ |= Text_token::in_emphasis;
    if (in_sup_ && in_anchor_) flags_ |= Text_token::footnote;
    return 0;
  }
  int on_word(const char* token, int n, Ref_string&) override {
    if (!skip_) add_word(token, n);
    return 0;
  }
  int on_punct(char ch, Ref_string&) override {
    if (!skip_) add(token_text(), token_length(), Text_token::punct, ch);
    return 0;
  }
  // A blank inside a block is kept with the token after it (and dropped at the block's end).
  int on_space(const char*, int, Ref_string&) override {
    if (!skip_ && block_open_ && !blank_) {
      blank_ = Text_token::blank | flags_;
      flags_ &= static_cast<std::uint8_t>(~Text_token::after_tag);
      if (h1_state_ == 1) append_blank(out_.first_h1);
      if (heading_state_ == 1) append_blank(out_.main_heading);
    }
    return 0;
  }

  void finish() {
    end_block();
    if (h1_state_ == 1) h1_state_ = 2;
    if (heading_state_ == 1) heading_state_ = 2;
  }

 private:
  void read_tag(const char* token, int n);
  // Appends a token to the open block (opening one when none is), with the blank before it.
  void add(const char* text, int n, Text_token::Kind kind, char ascii);
  void add_word(const char* text, int n);
  std::uint32_t intern(const char* text, int n, std::uint32_t offset);
  void end_block();
  void enter(std::string_view name, const Markup_state& next);
  void leave(std::string_view name);
  // `read`: the tag's attributes when they have been read already.
  Markup_state state_for(std::string_view name, const char* token, int n,
                         const Tag_attributes* read);

  std::string_view hint_of(std::string_view value);

  Page_text& out_;
  // The hints of the class and id values seen last, by a hash of the value: pages repeat
  // their classes on every element of a kind.
  struct Hint_memo {
    std::string value;
    std::string_view hint;
    bool used = false;
  };
  Hint_memo hint_memo_[64];
  // Open addressing over the page's words: index in out_.words + 1 (0: empty), and the hash.
  struct Word_slot {
    std::uint32_t index = 0;
    std::uint32_t hash = 0;
  };
  std::vector<Word_slot> word_slots_;
  Markup_state state_;
  std::vector<Open_element> stack_;
  bool block_open_ = false;
  bool skip_ = false;             // text not read: head, title, pre, an API signature line
  std::uint8_t blank_ = 0;        // a blank waits for the next token: its blank_before
  std::uint8_t flags_ = 0;        // the flags of the next token (Text_token::Flag)
  bool in_head_ = false;
  bool in_title_ = false;
  bool in_anchor_ = false;
  bool in_emphasis_ = false;
  bool heading_ = false;
  bool in_sup_ = false;
  bool title_done_ = false;
  int h1_state_ = 0;       // 0 before the first h1, 1 inside it, 2 after
  int heading_state_ = 0;  // the same for the first heading inside main or an article
};

// A class value with the word "sig": the signature line of an API entry as documentation
// generators write it ("sig sig-object py"), a line of code rather than prose.
bool names_signature(std::string_view cls) {
  for (size_t i = 0; i < cls.size();) {
    while (i < cls.size() && is_space(static_cast<unsigned char>(cls[i]))) ++i;
    const size_t start = i;
    while (i < cls.size() && !is_space(static_cast<unsigned char>(cls[i]))) ++i;
    if (cls.substr(start, i - start) == "sig") return true;
  }
  return false;
}

void Page_text_reader::add(const char* text, int n, Text_token::Kind kind, char ascii) {
  if (!block_open_) {
    Text_block b;
    b.first = b.end = static_cast<std::uint32_t>(out_.tokens.size());
    b.heading = heading_;
    b.in_main = state_.in_main;
    b.article = state_.article;
    b.markup = state_.furniture;
    b.detail = std::string(state_.detail);
    out_.blocks.push_back(std::move(b));
    block_open_ = true;
  }
  Text_block& b = out_.blocks.back();
  if (blank_) {
    out_.chars += ' ';
    ++b.chars;
  }
  Text_token& t = out_.tokens.emplace_back();
  t.blank_before = blank_;
  blank_ = 0;
  t.offset = static_cast<std::uint32_t>(out_.chars.size());
  t.length = static_cast<std::uint32_t>(n);
  t.kind = kind;
  t.ascii = ascii;
  t.flags = flags_;
  if (kind == Text_token::punct &&
      (ascii == '.' || ascii == '!' || ascii == '?' || ascii == '|' || ascii == '*') && n == 1)
    t.flags |= Text_token::sentence_end;
  flags_ &= static_cast<std::uint8_t>(~Text_token::after_tag);
  out_.chars.append(text, static_cast<size_t>(n));
  b.end = static_cast<std::uint32_t>(out_.tokens.size());
  b.chars += static_cast<std::uint32_t>(n);
  if (h1_state_ == 1) append_heading(out_.first_h1, text, n);
  if (heading_state_ == 1) append_heading(out_.main_heading, text, n);
}

void Page_text_reader::add_word(const char* text, int n) {
  add(text, n, Text_token::word, 0);
  const std::uint32_t index = intern(text, n, out_.tokens.back().offset);
  out_.tokens.back().word_index = index;
  Text_block& b = out_.blocks.back();
  ++b.words;
  if (flags_ & Text_token::in_anchor) ++b.link_words;
  if (out_.words[index].function_word) ++b.function_words;
}

// A hash of a word eight bytes at a time, for the page's word index. The last one to eight
// bytes are read as two overlapping loads (or three single bytes), not byte by byte: most
// words are shorter than eight bytes.
std::uint32_t quick_hash(const char* w, size_t n) {
  std::uint64_t h = 0x9E3779B97F4A7C15ull * (n + 1);
  for (; n > 8; w += 8, n -= 8) {
    std::uint64_t v;
    std::memcpy(&v, w, 8);
    h = (h ^ v) * 0xFF51AFD7ED558CCDull;
    h ^= h >> 32;
  }
  std::uint64_t v = 0;
  if (n >= 4) {
    std::uint32_t a, b;
    std::memcpy(&a, w, 4);
    std::memcpy(&b, w + n - 4, 4);
    v = (static_cast<std::uint64_t>(a) << 32) | b;
  } else if (n > 0) {
    const auto byte = [w](size_t i) { return static_cast<std::uint64_t>(static_cast<unsigned char>(w[i])); };
    v = (byte(0) << 16) | (byte(n >> 1) << 8) | byte(n - 1);
  }
  h = (h ^ v) * 0xC4CEB9FE1A85EC53ull;
  return static_cast<std::uint32_t>(h ^ (h >> 29));
}

std::string_view Page_text_reader::hint_of(std::string_view value) {
  if (value.empty()) return {};
  Hint_memo& m = hint_memo_[quick_hash(value.data(), value.size()) & 63];
  if (!m.used || m.value != value) {
    m.value.assign(value);
    m.hint = furniture_hint(value);
    m.used = true;
  }
  return m.hint;
}

// The same bytes (words are short: compared eight bytes at a time).
bool same_bytes(const char* a, const char* b, size_t n) {
  for (; n >= 8; a += 8, b += 8, n -= 8) {
    std::uint64_t x, y;
    std::memcpy(&x, a, 8);
    std::memcpy(&y, b, 8);
    if (x != y) return false;
  }
  for (size_t i = 0; i < n; ++i)
    if (a[i] != b[i]) return false;
  return true;
}

std::uint32_t Page_text_reader::intern(const char* text, int n, std::uint32_t offset) {
  if (out_.words.size() * 2 >= word_slots_.size()) {
    std::vector<Word_slot> slots(word_slots_.empty() ? 1024 : word_slots_.size() * 2);
    const size_t mask = slots.size() - 1;
    for (const Word_slot& old : word_slots_) {
      if (old.index == 0) continue;
      size_t i = old.hash & mask;
      while (slots[i].index != 0) i = (i + 1) & mask;
      slots[i] = old;
    }
    word_slots_.swap(slots);
  }
  const size_t mask = word_slots_.size() - 1;
  const size_t length = static_cast<size_t>(n);
  const std::uint32_t hash = quick_hash(text, length);
  for (size_t i = hash & mask;; i = (i + 1) & mask) {
    Word_slot& slot = word_slots_[i];
    if (slot.index == 0) {
      Page_word w;
      w.offset = offset;
      w.length = static_cast<std::uint32_t>(n);
      w.function_word = is_function_word({text, length});
      out_.words.push_back(w);
      slot.index = static_cast<std::uint32_t>(out_.words.size());
      slot.hash = hash;
      return slot.index - 1;
    }
    if (slot.hash != hash) continue;
    const Page_word& w = out_.words[slot.index - 1];
    if (w.length == length && same_bytes(out_.chars.data() + w.offset, text, length))
      return slot.index - 1;
  }
}

void Page_text_reader::end_block() {
  if (!block_open_) return;
  block_open_ = false;
  blank_ = 0;  // a trailing blank is no part of the block
}

Markup_state Page_text_reader::state_for(std::string_view name, const char* token, int n,
                                         const Tag_attributes* read) {
  Markup_state next = state_;
  const bool sectioning = name == "article" || name == "main" || name == "section" ||
                          name == "aside" || name == "nav";
  if (name == "main") {
    next.in_main = true;
    ++out_.main_elements;
  } else if (name == "article") {
    next.article = out_.article_elements++;
  }
  if (next.furniture == Block_reason::none) {
    if (const std::string_view f = furniture_element(name); !f.empty()) {
      next.furniture = Block_reason::element;
      next.detail = f;
    }
    if (next.furniture == Block_reason::none && (name == "header" || name == "footer") &&
        state_.sections == 0) {
      next.furniture = Block_reason::element;
      next.detail = name == "header" ? "header" : "footer";
    }
  }
  // Attributes: only tags that have any.
  bool has_attributes = read != nullptr;
  for (int i = 1; i < n && !has_attributes; ++i)
    if (is_space(static_cast<unsigned char>(token[i]))) has_attributes = true;
  if (has_attributes) {
    Tag_attributes own;
    if (!read) read_attributes(token, n, own);
    const Tag_attributes& a = read ? *read : own;
    const std::string role = lower_string(a.role);
    if (role == "main") next.in_main = true;
    if (name == "dt" && names_signature(a.cls)) next.code = true;
    if (next.furniture != Block_reason::hidden) {
      if (a.hidden || lower_string(a.aria_hidden) == "true" ||
          (!a.style.empty() && style_hides(a.style))) {
        next.furniture = Block_reason::hidden;
        next.detail = a.hidden ? "hidden" : a.aria_hidden.empty() ? "style" : "aria-hidden";
      }
    }
    if (next.furniture == Block_reason::none && !role.empty()) {
      for (std::string_view r : furniture_roles)
        if (r == role) {
          next.furniture = Block_reason::role;
          next.detail = r;
          break;
        }
    }
    if (next.furniture == Block_reason::none && name != "html" && name != "body" &&
        name != "main" && name != "article") {
      std::string_view hint = hint_of(a.cls);
      if (hint.empty()) hint = hint_of(a.id);
      // Inside the main element or an article, a header or a line of post data is the
      // article's own (its title, its author and date).
      if ((next.in_main || next.article >= 0) &&
          (hint == "header" || hint == "meta" || hint == "byline" || hint == "dateline"))
        hint = {};
      if (!hint.empty()) {
        next.furniture = Block_reason::hint;
        next.detail = hint;
      }
    }
  }
  if (sectioning) ++next.sections;
  return next;
}

void Page_text_reader::enter(std::string_view name, const Markup_state& next) {
  // A list item, a table cell or a paragraph is closed by the next one of its kind.
  const bool closes_same = name == "li" || name == "p" || name == "td" || name == "th" ||
                           name == "tr" || name == "dt" || name == "dd" || name == "option";
  for (int i = static_cast<int>(stack_.size()) - 1; i >= 0; --i) {
    Open_element& e = stack_[static_cast<size_t>(i)];
    if (e.view() != name) continue;
    if (closes_same && e.nested == 0) {
      state_ = e.saved;
      stack_.resize(static_cast<size_t>(i));
      end_block();
    } else {
      ++e.nested;
    }
    break;
  }
  if (next == state_ && next.furniture == state_.furniture) return;
  if (static_cast<int>(stack_.size()) >= Page_text::max_depth || name.size() > 11) return;
  Open_element e;
  std::memcpy(e.name, name.data(), name.size());
  e.length = static_cast<int>(name.size());
  e.nested = 0;
  e.saved = state_;
  stack_.push_back(e);
  if (next.furniture != state_.furniture) end_block();
  state_ = next;
}

void Page_text_reader::leave(std::string_view name) {
  for (int i = static_cast<int>(stack_.size()) - 1; i >= 0; --i) {
    Open_element& e = stack_[static_cast<size_t>(i)];
    if (e.view() != name) continue;
    if (e.nested > 0) {
      --e.nested;
      return;
    }
    if (e.saved.furniture != state_.furniture) end_block();
    state_ = e.saved;
    stack_.resize(static_cast<size_t>(i));
    return;
  }
}

void Page_text_reader::read_tag(const char* token, int n) {
  char buffer[Html_tag::max_name];
  const int length = Html_tag::name_of(token, n, buffer);
  std::string_view name(buffer, static_cast<size_t>(length));
  if (name.empty() || name[0] == '!' || name[0] == '?') return;
  const bool end = name[0] == '/';
  const std::string_view base = end ? name.substr(1) : name;
  if (base.empty()) return;
  std::optional<Tag_attributes> attributes;  // read when the tag needs them
  if (!end) {
    if (base == "img") {
      ++out_.images;
    } else if (base == "a") {
      read_attributes(token, n, attributes.emplace());
      if (attributes->href) ++out_.anchors;
    } else if (base == "title" && !title_done_) {
      // A title holds text only: everything up to its end tag is the title as written.
      const std::int64_t close = end_of_raw_text("title", 5);
      out_.title = title_text(page_text() + position(), close - position());
      title_done_ = !out_.title.empty();
    }
  }
  const bool block = Html_tag::name_is_block(base);
  if (block) end_block();
  switch (base[0]) {
    case 'a':
      if (base.size() == 1) in_anchor_ = !end;
      break;
    case 'b':
      if (base == "body" && !end) in_head_ = false;
      else if (base == "b") in_emphasis_ = !end;
      break;
    case 'e':
      if (base == "em") in_emphasis_ = !end;
      break;
    case 'h':
      if (base == "head") {
        in_head_ = !end;
      } else if (base.size() == 2 && base[1] >= '1' && base[1] <= '6') {
        heading_ = !end;
        if (base[1] == '1') {
          // The first h1 of the page's own text (a site name in the banner is none).
          if (!end && h1_state_ == 0 && state_.furniture == Block_reason::none) h1_state_ = 1;
          else if (end && h1_state_ == 1) h1_state_ = out_.first_h1.empty() ? 0 : 2;
        }
        if (!end && heading_state_ == 0 && state_.furniture == Block_reason::none &&
            (state_.in_main || state_.article >= 0))
          heading_state_ = 1;
        else if (end && heading_state_ == 1)
          heading_state_ = out_.main_heading.empty() ? 0 : 2;
      }
      break;
    case 'i':
      if (base == "i") in_emphasis_ = !end;
      break;
    case 's':
      if (base == "strong") in_emphasis_ = !end;
      else if (base == "sup") in_sup_ = !end;
      break;
    case 't':
      if (base == "title") in_title_ = !end;
      break;
    default:
      break;
  }
  if (end) {
    leave(base);
    return;
  }
  if (is_void_element(base) || (n >= 2 && token[n - 2] == '/' && token[n - 1] == '>'))
    return;
  const Markup_state next = state_for(base, token, n, attributes ? &*attributes : nullptr);
  // A paragraph ends where another block begins.
  if (block && !stack_.empty() && stack_.back().view() == "p" &&
      base != "p")
    leave("p");
  enter(base, next);
  return;
}

}  // namespace

void Page_text::append_block_text(const Text_block& b, std::string& out) const {
  const std::size_t start = out.size();
  for (std::uint32_t i = b.first; i < b.end; ++i) {
    const Text_token& t = tokens[i];
    if (t.blank_before && out.size() > start && out.back() != ' ') out += ' ';
    out.append(text(t));
  }
  while (out.size() > start && out.back() == ' ') out.pop_back();
}

std::string Page_text::block_text(const Text_block& b) const {
  std::string out;
  append_block_text(b, out);
  return out;
}

std::string readable_text(const Page_text& text) {
  // Written in place, a line after the other: a copy of every page is made of this.
  std::string out;
  out.reserve(text.chars.size());
  for (const Text_block& b : text.blocks) {
    if (!b.kept) continue;
    const std::size_t line_break = out.size();
    if (!out.empty()) out += '\n';
    const std::size_t start = out.size();
    text.append_block_text(b, out);
    // A heading's header link is no part of what the heading says.
    if (b.heading)
      out.resize(start + without_header_link(std::string_view(out).substr(start)).size());
    if (out.size() == start) out.resize(line_break);
  }
  return out;
}

Page_text read_page_text(const Byte_buffer_handle& page) {
  Page_text text;
  Page_text_reader reader(page, text);
  reader.run();
  reader.finish();
  for (std::string* h : {&text.first_h1, &text.main_heading})
    while (!h->empty() && h->back() == ' ') h->pop_back();
  return text;
}

namespace {

constexpr std::string_view function_words[] = {
      "a", "about", "above", "after", "again", "against", "all", "also", "although", "am",
      "an", "and", "any", "are", "as", "at", "be", "because", "been", "before", "being",
      "below", "between", "both", "but", "by", "can", "could", "did", "do", "does", "doing",
      "down", "during", "each", "either", "even", "ever", "every", "few", "for", "from",
      "further", "had", "has", "have", "having", "he", "her", "here", "hers", "herself", "him",
      "himself", "his", "how", "however", "i", "if", "in", "into", "is", "it", "its", "itself",
      "just", "may", "me", "might", "more", "most", "must", "my", "myself", "neither", "no",
      "nor", "not", "now", "of", "off", "on", "once", "only", "or", "other", "our", "ours",
      "ourselves", "out", "over", "own", "same", "shall", "she", "should", "since", "so",
      "some", "such", "than", "that", "the", "their", "theirs", "them", "themselves", "then",
      "there", "these", "they", "this", "those", "though", "through", "thus", "to", "too",
      "under", "unless", "until", "up", "upon", "us", "very", "was", "we", "were", "what",
      "when", "where", "whether", "which", "while", "who", "whom", "whose", "why", "will",
      "with", "within", "without", "would", "yet", "you", "your", "yours", "yourself",
      "it's", "don't", "doesn't", "didn't", "can't", "won't", "isn't", "aren't", "wasn't",
      "i'm", "you're", "we're", "they're", "i've", "you've", "we've", "they've", "i'll",
      "you'll", "we'll", "they'll", "let's", "that's", "there's", "what's", "he's", "she's"};

std::uint32_t word_hash(const char* w, size_t n) {
  std::uint32_t h = 2166136261u;
  for (size_t i = 0; i < n; ++i) h = (h ^ static_cast<unsigned char>(w[i])) * 16777619u;
  return h;
}

// The function words in an open-addressing table of 512 slots (about 190 words), and for each
// first letter the byte lengths its function words have as written (a typographic apostrophe
// adds two bytes): most words are told apart by these before any hashing.
struct Function_word_table {
  std::string_view slots[512];
  std::uint16_t lengths[26] = {};
  Function_word_table() {
    for (std::string_view w : function_words) {
      size_t i = word_hash(w.data(), w.size()) & 511;
      while (!slots[i].empty()) i = (i + 1) & 511;
      slots[i] = w;
      lengths[w[0] - 'a'] |= static_cast<std::uint16_t>(1u << w.size());
      if (w.find('\'') != std::string_view::npos)
        lengths[w[0] - 'a'] |= static_cast<std::uint16_t>(1u << (w.size() + 2));
    }
  }
  bool contains(const char* w, size_t n, std::uint32_t hash) const {
    for (size_t i = hash & 511; !slots[i].empty(); i = (i + 1) & 511)
      if (slots[i].size() == n && std::memcmp(slots[i].data(), w, n) == 0) return true;
    return false;
  }
};

}  // namespace

bool is_function_word(std::string_view word) {
  static const Function_word_table table;
  // The longest function word has ten bytes ("themselves"; "doesn’t" nine).
  if (word.empty() || word.size() > 10) return false;
  const char first = lower(word[0]);
  if (first < 'a' || first > 'z' || !((table.lengths[first - 'a'] >> word.size()) & 1)) return false;
  char buffer[16];
  size_t n = 0;
  std::uint32_t hash = 2166136261u;  // word_hash of the lower-case form, as it is made
  for (size_t i = 0; i < word.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(word[i]);
    char plain;
    // A typographic apostrophe reads as "'".
    if (c == 0xE2 && i + 2 < word.size() && word[i + 1] == '\x80' &&
        (word[i + 2] == '\x98' || word[i + 2] == '\x99')) {
      plain = '\'';
      i += 2;
    } else if (c >= 0x80) {
      return false;
    } else {
      plain = lower(static_cast<char>(c));
    }
    buffer[n++] = plain;
    hash = (hash ^ static_cast<unsigned char>(plain)) * 16777619u;
  }
  return table.contains(buffer, n, hash);
}

const char* block_reason_name(Block_reason reason) {
  switch (reason) {
    case Block_reason::none: return "kept";
    case Block_reason::element: return "element";
    case Block_reason::role: return "role";
    case Block_reason::hidden: return "hidden";
    case Block_reason::hint: return "class or id";
    case Block_reason::outside_main: return "outside main";
    case Block_reason::links: return "links";
    case Block_reason::legal: return "copyright or cookie line";
    case Block_reason::boilerplate: return "short text among furniture";
  }
  return "kept";
}

}  // namespace orvalis
