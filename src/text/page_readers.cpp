#include "text/page_readers.h"

#include <cstring>
#include <string_view>

#include "foundation/character_count.h"
#include "foundation/entities.h"
#include "text/html_chars.h"

namespace orvalis {

namespace {

// The lower-case name of a tag token, in a buffer of the scan's own.
struct Tag_name {
  char chars[Html_tag::max_name];
  int length;
  Tag_name(const char* token, int n) : length(Html_tag::name_of(token, n, chars)) {}
  std::string_view view() const { return {chars, static_cast<size_t>(length)}; }
  bool operator==(std::string_view s) const { return view() == s; }
};

// `text` with "&", "<", ">" and '"' written as references: in a double-quoted attribute value
// it stays text and cannot add markup.
std::string escaped_html(std::string_view text) {
  std::string out;
  append_escaped_html(out, text);
  return out;
}

}  // namespace

Ref_string title_text(const char* raw, std::int64_t n) {
  std::string text;
  text.reserve(static_cast<size_t>(n));
  // Zero bytes would end the decoding: like every control character, they are white space.
  for (std::int64_t i = 0; i < n; ++i)
    text += html_chars::is_space(static_cast<unsigned char>(raw[i])) ? ' ' : raw[i];
  decode_entities(text.data());
  text.resize(std::strlen(text.c_str()));
  std::string title;
  bool blank = false;
  for (char c : text) {
    if (html_chars::is_space(static_cast<unsigned char>(c))) {
      blank = !title.empty();
      continue;
    }
    if (blank) title += ' ';
    blank = false;
    title += c;
    if (title.size() > 4 * static_cast<size_t>(max_title_length)) break;
  }
  int keep = static_cast<int>(character_prefix(title, static_cast<size_t>(max_title_length)));
  while (keep > 0 && title[static_cast<size_t>(keep) - 1] == ' ') --keep;
  return Ref_string(title.data(), keep);
}

namespace {

// The title, and when asked the link and image counts, in one pass.
class Title_reader : public Html_scanner {
 public:
  Title_reader(Byte_buffer_handle page, bool count) : Html_scanner(std::move(page), 0), count_(count) {}

  int on_tag(const char* token, int n, Ref_string&) override {
    if (done_ && !count_) return 0;
    Tag_name name(token, n);
    if (count_) {
      if (name == "img") {
        ++images;
      } else if (name == "a") {
        if (Html_tag(token, n).has_attribute("href")) ++anchors;
      }
    }
    // A title holds text only: everything up to its end tag is the title as written.
    if (!done_ && name == "title") {
      const std::int64_t end = end_of_raw_text("title", 5);
      title_ = title_text(page_text() + position(), end - position());
      done_ = !title_.empty();
    }
    return 0;
  }

  Ref_string title_;
  int images = 0;
  int anchors = 0;

 private:
  bool count_;
  bool done_ = false;
};

class Tag_collector : public Html_scanner {
 public:
  explicit Tag_collector(Byte_buffer_handle page) : Html_scanner(std::move(page), 0) {}

  int on_tag(const char* token, int n, Ref_string&) override {
    auto tag = make_counted<Html_tag>(token, n);
    tag->offset = static_cast<int>(token_start());
    tags.append(std::move(tag));
    return 0;
  }

  Html_tag_list tags;
};

// "name:" before any "/", "?" or "#", where the name is not one that Url knows.
bool has_unknown_scheme(const Ref_string& href) {
  const char* t = href.c_str();
  int i = 0;
  if (!html_chars::is_letter(static_cast<unsigned char>(t[0])) || static_cast<unsigned char>(t[0]) >= 0x80)
    return false;
  while (t[i] && (html_chars::is_alnum(static_cast<unsigned char>(t[i])) || t[i] == '+' ||
                  t[i] == '-' || t[i] == '.') &&
         static_cast<unsigned char>(t[i]) < 0x80)
    ++i;
  if (t[i] != ':') return false;
  return Url(href).scheme_code() == Url::other;
}

Ref_string replace_all(const Ref_string& text, std::string_view what, std::string_view by) {
  std::string out;
  std::string_view rest = text.view();
  for (size_t at; (at = rest.find(what)) != std::string_view::npos;) {
    out.append(rest.substr(0, at));
    out.append(by);
    rest.remove_prefix(at + what.size());
  }
  out.append(rest);
  return Ref_string(out);
}

}  // namespace

Ref_string page_title(const Byte_buffer_handle& page) {
  Title_reader reader(page, false);
  reader.run();
  return reader.title_;
}

void count_links_and_images(const Byte_buffer_handle& page, int& images, int& anchors) {
  Ref_string title;
  read_title_and_counts(page, title, images, anchors);
}

void read_title_and_counts(const Byte_buffer_handle& page, Ref_string& title, int& images,
                           int& anchors) {
  Title_reader reader(page, true);
  reader.run();
  title = reader.title_;
  images = reader.images;
  anchors = reader.anchors;
}

namespace {

// The text with white space folded to single blanks, trimmed, ASCII letters lower-cased.
std::string folded(std::string_view text) {
  std::string out;
  bool blank = false;
  for (char c : text) {
    if (html_chars::is_space(static_cast<unsigned char>(c))) {
      blank = !out.empty();
      continue;
    }
    if (blank) out += ' ';
    blank = false;
    out += html_chars::lower(c);
  }
  return out;
}

}  // namespace

std::string_view without_header_link(std::string_view heading, bool hash) {
  for (bool more = true; more;) {
    more = false;
    for (std::string_view mark : {"\xC2\xB6", "\xC2\xA7", "#", " "})
      if ((hash || mark != "#") && heading.ends_with(mark)) {
        heading.remove_suffix(mark.size());
        more = true;
      }
  }
  return heading;
}

Ref_string title_without_site_name(const Ref_string& title, std::string_view first_h1) {
  const std::string folded_h1 = folded(first_h1);
  const std::string_view h1 = without_header_link(folded_h1, true);
  if (h1.empty()) return title;
  static constexpr std::string_view separators[] = {" - ", " | ", " \xE2\x80\x93 ",
                                                    " \xE2\x80\x94 ", " \xC2\xB7 ", " :: "};
  const std::string_view t = title.view();
  for (std::string_view sep : separators) {
    for (size_t at = t.find(sep); at != std::string_view::npos; at = t.find(sep, at + 1)) {
      const std::string_view before = t.substr(0, at), after = t.substr(at + sep.size());
      if (folded(before) == h1) return Ref_string(before);
      if (folded(after) == h1) return Ref_string(after);
    }
  }
  return title;
}

Html_tag_list collect_tags(const Byte_buffer_handle& page) {
  Tag_collector collector(page);
  collector.run();
  return collector.tags;
}

// ---- Anchor reader ----

Anchor_reader::Anchor_reader(Byte_buffer_handle page, const Url& page_url, Ignore_test ignore)
    : Html_scanner(std::move(page), 0), base_(page_url), ignore_(std::move(ignore)) {}

int Anchor_reader::on_tag(const char* token, int n, Ref_string&) {
  Tag_name name(token, n);
  if (name == "a") {
    Html_tag tag(token, n);
    Ref_string href = tag.attribute("href");
    // A link to a place on this same page ("#name") is no document.
    if (href.empty() || href[0] == '#') return 0;
    // An address the tag reader had to cut is not the one the page links to.
    if (href.length() >= Html_tag::max_quoted_value) return 0;
    // Addresses of schemes this program cannot fetch (javascript:, tel:, data:, ...) would
    // otherwise resolve as relative paths.
    if (has_unknown_scheme(href)) return 0;
    // Pages write "&" in attribute values as "&amp;"; the address has the plain character.
    if (href.find("&amp;") >= 0) href = replace_all(href, "&amp;", "&");
    // "//host/path" takes the scheme of the page.
    if (href.starts_with("//") && base_.scheme_code() != Url::other)
      href = concat(Url::scheme_name(base_.scheme_code()).view(), ":", href.view());
    Ref_string absolute = base_.resolve(href);
    int hash_at = absolute.find('#');
    if (hash_at == 0) return 0;
    if (hash_at > 0) absolute = absolute.mid(0, hash_at);
    Url url(absolute);
    if (ignore_ && ignore_(url)) return 0;
    switch (url.scheme_code()) {
      case Url::http:
      case Url::https:
      case Url::gopher:
      case Url::ftp:
        break;
      default:
        return 0;
    }
    if (taken_.count(absolute.str())) return 0;
    current_ = url;
    in_anchor_ = true;
  } else if (name == "/a") {
    if (in_anchor_) {
      on_link(current_, Ref_string(anchor_text_));
      taken_.insert(current_.text().str());
    }
    in_anchor_ = false;
    anchor_text_.clear();
  }
  return 0;
}

// An anchor's text is kept up to this many bytes: far more than the title its link is given,
// and a bound on what an anchor left open over a whole page costs.
constexpr std::size_t kMax_anchor_text = 16384;

int Anchor_reader::on_word(const char* token, int n, Ref_string&) {
  if (in_anchor_ && anchor_text_.size() < kMax_anchor_text) {
    if (!anchor_text_.empty()) anchor_text_ += ' ';
    anchor_text_.append(token, static_cast<size_t>(n));
  }
  space_before_ = false;
  return 0;
}

// Punctuation joins the word before it ("Hello,"), unless white space stands between them
// ("salt & pepper"). The text is the character as the page meant it (a reference decoded).
int Anchor_reader::on_punct(char, Ref_string&) {
  if (in_anchor_ && anchor_text_.size() < kMax_anchor_text) {
    if (space_before_ && !anchor_text_.empty()) anchor_text_ += ' ';
    anchor_text_.append(token_text(), static_cast<size_t>(token_length()));
  }
  space_before_ = false;
  return 0;
}

int Anchor_reader::on_space(const char*, int, Ref_string&) {
  space_before_ = true;
  return 0;
}

void Anchor_reader::on_link(const Url& url, const Ref_string& text) {
  links_.append(Found_link{url.text(), text});
}

// ---- Base-reference insertion ----

namespace {

struct Structure {
  bool html = false, head = false, head_end = false, body = false, body_end = false, base = false;
};

class Base_inserter : public Html_scanner {
 public:
  Base_inserter(Byte_buffer_handle page, const Structure& s, Ref_string base_element,
                Ref_string top, Ref_string bottom)
      : Html_scanner(std::move(page), 0),
        s_(s),
        base_element_(std::move(base_element)),
        top_(std::move(top)),
        bottom_(std::move(bottom)) {}

  int on_tag(const char* token, int n, Ref_string& r) override {
    Tag_name name(token, n);
    const std::string_view tag(token, static_cast<size_t>(n));
    const std::string_view top_point = s_.body ? "body" : s_.head_end ? "/head" : "html";
    const std::string_view bottom_point = s_.body_end ? "/body" : "/html";
    if (!top_placed && name == top_point) {
      r = concat(tag, top_.view());
      top_placed = true;
      if (!s_.base && !s_.head && !base_placed) {
        r += base_element_;
        base_placed = true;
      }
      return 1;
    }
    if (!s_.base && !base_placed && name == "head") {
      r = concat(tag, base_element_.view());
      base_placed = true;
      return 1;
    }
    if (!bottom_placed && name == bottom_point) {
      r = concat(bottom_.view(), tag);
      bottom_placed = true;
      return 1;
    }
    return 0;
  }

  bool top_placed = false, base_placed = false, bottom_placed = false;

 private:
  Structure s_;
  Ref_string base_element_;
  Ref_string top_;
  Ref_string bottom_;
};

}  // namespace

Byte_buffer_handle insert_base_reference(const Byte_buffer_handle& page, const Ref_string& base_url,
                                         const Ref_string& top, const Ref_string& bottom) {
  Structure s;
  for (const Html_tag_handle& tag : collect_tags(page)) {
    Ref_string name = tag->name();
    if (name == "html") s.html = true;
    else if (name == "head") s.head = true;
    else if (name == "/head") s.head_end = true;
    else if (name == "body") s.body = true;
    else if (name == "/body") s.body_end = true;
    else if (name == "base") s.base = true;
  }
  // The address comes from outside (a page's own address, a form's action): escaped, it stays
  // inside the attribute value.
  const Ref_string base_element(concat("<base href=\"", escaped_html(base_url.view()), "\">"));
  Base_inserter inserter(page, s, base_element, top, bottom);
  Ref_string rewritten;
  inserter.run(1, &rewritten);

  auto out = make_counted<Byte_buffer>();
  if (!inserter.base_placed && !s.base) out->append(base_element.c_str(), base_element.length());
  if (!inserter.top_placed && !top.empty()) out->append(top.c_str(), top.length());
  out->append(rewritten.c_str(), rewritten.length());
  if (!inserter.bottom_placed) out->append(bottom.c_str(), bottom.length());
  return out;
}

}  // namespace orvalis
