#include "exchange/feed_parser.h"

#include <expat.h>

#include <algorithm>
#include <cctype>
#include <ctime>
#include <strings.h>
#include <cstdio>
#include <cstdlib>

#include "exchange/json_value.h"
#include "exchange/xml_feeding.h"
#include "foundation/entities.h"
#include "foundation/page_encoding.h"
#include "foundation/url.h"

namespace orvalis::exchange {

namespace {

constexpr std::string_view atom_ns = "http://www.w3.org/2005/Atom";
constexpr std::string_view rss1_ns = "http://purl.org/rss/1.0/";
constexpr std::string_view rdf_ns = "http://www.w3.org/1999/02/22-rdf-syntax-ns#";
constexpr std::string_view dc_ns = "http://purl.org/dc/elements/1.1/";
constexpr const char* xml_base = "http://www.w3.org/XML/1998/namespace\x01" "base";

std::string trimmed(std::string_view s) {
  std::size_t a = 0, b = s.size();
  while (a < b && std::isspace(static_cast<unsigned char>(s[a]))) ++a;
  while (b > a && std::isspace(static_cast<unsigned char>(s[b - 1]))) --b;
  return std::string(s.substr(a, b - a));
}

// Whether the HTML tag starting at `at` ("<em>", "</b >") is of an inline element, whose edges
// do not part words.
bool inline_tag(std::string_view html, std::size_t at) {
  static constexpr std::string_view names[] = {"a", "abbr", "b", "big", "cite", "code", "em", "font", "i", "mark",
                                               "q", "s", "small", "span", "strong", "sub", "sup", "tt", "u"};
  std::size_t i = at + 1;
  if (i < html.size() && html[i] == '/') ++i;
  std::string name;
  while (i < html.size() && std::isalnum(static_cast<unsigned char>(html[i])) && name.size() < 8)
    name += static_cast<char>(std::tolower(static_cast<unsigned char>(html[i++])));
  return std::find(std::begin(names), std::end(names), name) != std::end(names);
}

// HTML as plain text: tags taken away (block edges part words, inline ones do not), white space
// made single blanks, then the character references read ("&#8217;", "&mdash;", "&amp;").
std::string plain_text(std::string_view html) {
  std::string out;
  bool in_tag = false, blank = false;
  for (std::size_t i = 0; i < html.size(); ++i) {
    const char c = html[i];
    if (in_tag) {
      if (c == '>') in_tag = false;
      continue;
    }
    if (c == '<') {
      in_tag = true;
      if (!inline_tag(html, i)) blank = true;
      continue;
    }
    if (std::isspace(static_cast<unsigned char>(c))) {
      blank = true;
      continue;
    }
    if (blank && !out.empty()) out += ' ';
    blank = false;
    out += c;
  }
  decode_entities(out.data());
  out.resize(std::char_traits<char>::length(out.c_str()));
  return out;
}


// The scheme a link names ("javascript" of "javascript:x"), lower case; empty for a relative one.
std::string scheme_of(std::string_view link) {
  std::size_t i = 0;
  while (i < link.size() && std::isspace(static_cast<unsigned char>(link[i]))) ++i;
  std::string scheme;
  for (; i < link.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(link[i]);
    if (c == ':') return scheme;
    if (!std::isalnum(c) && c != '+' && c != '-' && c != '.') return {};
    scheme += static_cast<char>(std::tolower(c));
  }
  return {};
}

// The address with the "." and ".." segments of its path taken away (RFC 3986, 5.2.4), as a
// browser reads "../a/3.html" against "https://x.example/posts/". The address resolver leaves
// them; generators that write relative links (Atom with xml:base) rely on them.
std::string without_dot_segments(const std::string& address) {
  const std::size_t authority = address.find("://");
  if (authority == std::string::npos) return address;
  const std::size_t path_at = address.find('/', authority + 3);
  if (path_at == std::string::npos) return address;
  const std::size_t path_end = std::min(address.find('?', path_at), address.find('#', path_at));
  const std::string path = address.substr(path_at, path_end == std::string::npos ? std::string::npos : path_end - path_at);
  if (path.find("/.") == std::string::npos) return address;
  std::string out = address.substr(0, path_at) + remove_dot_segments(path);
  if (path_end != std::string::npos) out += address.substr(path_end);
  return out;
}

std::string absolute(const std::string& base, const std::string& link) {
  if (link.empty()) return {};
  // The address resolver reads an unknown scheme as a relative path: such links are dropped here.
  const std::string scheme = scheme_of(link);
  if (!scheme.empty() && scheme != "http" && scheme != "https") return {};
  const std::string resolved = without_dot_segments(
      std::string(Url(Ref_string(std::string_view(base))).resolve(Ref_string(std::string_view(link))).view()));
  return is_web_address(resolved) ? resolved : std::string();
}

struct Xml_reader {
  XML_Parser parser = nullptr;
  Parsed_feed feed;
  std::string address;
  struct Frame {
    std::string name;  // "namespace\x01local" or "local"
    std::string base;  // the base address in force
  };
  std::vector<Frame> stack;
  bool in_entry = false;
  std::size_t entry_depth = 0;
  Feed_entry entry;
  std::string entry_base;
  std::string text;  // character data of the element being read
  // Atom content/summary of type xhtml (or any markup) read as text: the depth it started at.
  std::size_t capture_depth = 0;
  bool summary_from_content = false;

  void stop(const std::string& why) {
    if (feed.error.empty()) feed.error = why;
    XML_StopParser(parser, XML_FALSE);
  }

  static std::string_view local(std::string_view name) {
    const std::size_t sep = name.find('\x01');
    return sep == std::string_view::npos ? name : name.substr(sep + 1);
  }
  static std::string_view ns(std::string_view name) {
    const std::size_t sep = name.find('\x01');
    return sep == std::string_view::npos ? std::string_view() : name.substr(0, sep);
  }
  static const char* attribute(const XML_Char** atts, std::string_view name) {
    for (int i = 0; atts[i]; i += 2)
      if (name == atts[i]) return atts[i + 1];
    return nullptr;
  }

  void start(const XML_Char* name, const XML_Char** atts) {
    const std::string_view n(name);
    std::string base = stack.empty() ? address : stack.back().base;
    if (const char* b = attribute(atts, xml_base)) base = absolute_any(base, b);
    stack.push_back(Frame{std::string(n), base});
    if (capture_depth) return;  // markup inside xhtml content: its text is kept
    text.clear();
    const std::string_view l = local(n), space = ns(n);
    if (stack.size() == 1) {
      if (l == "rss") feed.kind = Parsed_feed::Kind::rss2;
      else if (l == "RDF" && space == rdf_ns) feed.kind = Parsed_feed::Kind::rss1;
      else if (l == "feed" && space == atom_ns) feed.kind = Parsed_feed::Kind::atom;
      else stop("the document is no RSS, RDF or Atom feed (its root is '" + std::string(l) + "')");
      return;
    }
    const bool is_entry = (l == "item" && (space.empty() || space == rss1_ns)) || (l == "entry" && space == atom_ns);
    if (is_entry && !in_entry) {
      in_entry = true;
      entry_depth = stack.size();
      entry = Feed_entry();
      entry_base = base;
      summary_from_content = false;
      if (const char* about = attribute(atts, std::string(rdf_ns) + "\x01" + "about")) entry.id = about;
      return;
    }
    if (space == atom_ns && l == "link") {
      const char* rel = attribute(atts, "rel");
      const char* href = attribute(atts, "href");
      if (href && (!rel || std::string_view(rel) == "alternate")) {
        std::string& target = in_entry ? entry.link : feed.link;
        if (target.empty()) target = absolute(base, href);
      }
    }
    if (space == atom_ns && (l == "content" || l == "summary")) {
      const char* type = attribute(atts, "type");
      if (type && std::string_view(type) == "xhtml") capture_depth = stack.size();
    }
  }

  std::string absolute_any(const std::string& base, const char* link) {
    return std::string(Url(Ref_string(std::string_view(base))).resolve(Ref_string(link)).view());
  }

  void end(const XML_Char* name) {
    const std::string_view n(name);
    if (stack.empty()) return;
    const std::string base = stack.back().base;
    const std::size_t depth = stack.size();
    stack.pop_back();
    if (capture_depth && depth > capture_depth) {
      // The end of a block of xhtml content separates words; that of an inline element does not.
      static constexpr std::string_view inline_elements[] = {"a", "b", "i", "em", "strong", "span", "code", "abbr", "sub", "sup"};
      const std::string_view l = local(n);
      if (std::find(std::begin(inline_elements), std::end(inline_elements), l) == std::end(inline_elements)) text += ' ';
      return;
    }
    if (capture_depth == depth) capture_depth = 0;
    const std::string_view l = local(n), space = ns(n);
    if (in_entry && depth == entry_depth) {
      in_entry = false;
      if (entry.id.empty()) entry.id = entry.link;
      if (entry.id.empty()) {
        ++feed.dropped;
      } else {
        feed.entries.push_back(std::move(entry));
      }
      entry = Feed_entry();
      return;
    }
    const std::string value = trimmed(text);
    text.clear();
    if (!in_entry) {
      if (depth <= 3 && l == "title" && feed.title.empty() && space != dc_ns) feed.title = plain_text(value);
      if (depth <= 3 && l == "link" && space != atom_ns && feed.link.empty()) feed.link = absolute(base, value);
      return;
    }
    if (depth != entry_depth + 1) return;  // only the entry's own fields
    if (l == "title") entry.title = plain_text(value);
    else if (l == "link" && space != atom_ns) entry.link = absolute(base, value);
    else if ((l == "guid" && space.empty()) || (l == "id" && space == atom_ns)) entry.id = value;
    else if ((l == "description" && space != dc_ns) || l == "summary") {
      entry.summary = plain_text(value);
      summary_from_content = false;
    } else if (l == "content" && space == atom_ns && (entry.summary.empty() || summary_from_content)) {
      entry.summary = plain_text(value);
      summary_from_content = true;
    } else if (l == "pubDate" || l == "published" || (l == "date" && space == dc_ns) ||
               (l == "updated" && !entry.date.is_valid())) {
      if (std::optional<Db_date> d = parse_feed_date(value)) entry.date = *d;
    }
    // A guid that is no link is an id only; one that is a link stands for the link as well.
    if (l == "guid" && entry.link.empty() && is_web_address(value)) entry.link = absolute(base, value);
  }
};

void XMLCALL on_start(void* data, const XML_Char* name, const XML_Char** atts) {
  static_cast<Xml_reader*>(data)->start(name, atts);
}
void XMLCALL on_end(void* data, const XML_Char* name) { static_cast<Xml_reader*>(data)->end(name); }
void XMLCALL on_text(void* data, const XML_Char* s, int len) {
  Xml_reader* r = static_cast<Xml_reader*>(data);
  // Feeds of 100 MB are read; one element's text is capped so a hostile one cannot hold it all.
  if (r->text.size() < (1u << 20)) r->text.append(s, static_cast<std::size_t>(len));
}
void XMLCALL on_entity_declaration(void* data, const XML_Char* name, int, const XML_Char*, int, const XML_Char*,
                                   const XML_Char*, const XML_Char*, const XML_Char*) {
  static_cast<Xml_reader*>(data)->stop(std::string("the feed declares the entity '") + name +
                                       "', and entity declarations are refused");
}
int XMLCALL on_external_entity(XML_Parser, const XML_Char*, const XML_Char*, const XML_Char*, const XML_Char*) {
  return XML_STATUS_ERROR;  // never resolved or fetched
}

// `encoding` set: it overrides what the document declares.
Parsed_feed parse_xml(std::string_view body, const std::string& address, const char* encoding) {
  Xml_reader r;
  r.address = address;
  r.parser = XML_ParserCreateNS(encoding, '\x01');
  if (!r.parser) {
    r.feed.error = "out of memory";
    return r.feed;
  }
  XML_SetUserData(r.parser, &r);
  XML_SetElementHandler(r.parser, on_start, on_end);
  XML_SetCharacterDataHandler(r.parser, on_text);
  XML_SetEntityDeclHandler(r.parser, on_entity_declaration);
  XML_SetParamEntityParsing(r.parser, XML_PARAM_ENTITY_PARSING_NEVER);
  XML_SetExternalEntityRefHandler(r.parser, on_external_entity);
  feed_xml(r.parser, body, r.feed.error);
  XML_ParserFree(r.parser);
  return r.feed;
}

Parsed_feed parse_json_feed(std::string_view body, const std::string& address) {
  Parsed_feed feed;
  feed.kind = Parsed_feed::Kind::json_feed;
  Json_parse_result r = parse_json(body);
  if (!r.ok()) {
    feed.error = r.error;
    return feed;
  }
  const Json_value& root = r.value;
  const Json_value* version = root.find("version");
  if (!root.is_object() || !version || !version->as_string().starts_with("https://jsonfeed.org/version/")) {
    feed.error = "the document is no JSON Feed (it has no jsonfeed.org version)";
    return feed;
  }
  if (const Json_value* t = root.find("title")) feed.title = t->as_string();
  if (const Json_value* l = root.find("home_page_url")) feed.link = absolute(address, l->as_string());
  const Json_value* items = root.find("items");
  if (!items || !items->is_array()) return feed;
  for (const Json_value& item : items->items()) {
    if (!item.is_object()) {
      ++feed.dropped;
      continue;
    }
    Feed_entry e;
    const auto text = [&](const char* key) {
      const Json_value* v = item.find(key);
      return v ? (v->is_number() ? std::to_string(v->as_integer()) : v->as_string()) : std::string();
    };
    e.link = absolute(address, text("url"));
    if (e.link.empty()) e.link = absolute(address, text("external_url"));
    e.id = text("id");
    if (e.id.empty()) e.id = e.link;
    e.title = text("title");
    e.summary = text("summary");
    if (e.summary.empty()) e.summary = text("content_text");
    if (e.summary.empty()) e.summary = plain_text(text("content_html"));
    std::string date = text("date_published");
    if (date.empty()) date = text("date_modified");
    if (std::optional<Db_date> d = parse_feed_date(date)) e.date = *d;
    if (e.id.empty()) {
      ++feed.dropped;
      continue;
    }
    feed.entries.push_back(std::move(e));
  }
  return feed;
}

}  // namespace

namespace {

Parsed_feed parse_any(std::string_view body, const std::string& feed_address, const char* encoding) {
  std::size_t first = 0;
  if (body.starts_with("\xEF\xBB\xBF")) first = 3;
  while (first < body.size() && std::isspace(static_cast<unsigned char>(body[first]))) ++first;
  if (first < body.size() && body[first] == '{') return parse_json_feed(body.substr(first), feed_address);
  return parse_xml(body, feed_address, encoding);
}

}  // namespace

Parsed_feed parse_feed(std::string_view body, const std::string& feed_address) {
  return parse_any(body, feed_address, nullptr);
}

Parsed_feed parse_feed_utf8(std::string_view text, const std::string& feed_address) {
  return parse_any(text, feed_address, "UTF-8");
}

std::string xml_declared_encoding(std::string_view bytes) {
  if (bytes.starts_with("\xEF\xBB\xBF")) bytes.remove_prefix(3);
  if (!bytes.starts_with("<?xml")) return {};
  const std::size_t end = bytes.substr(0, 256).find("?>");
  if (end == std::string_view::npos) return {};
  const std::string_view declaration = bytes.substr(0, end);
  const std::size_t at = declaration.find("encoding");
  if (at == std::string_view::npos) return {};
  std::size_t i = at + 8;
  while (i < declaration.size() && (declaration[i] == ' ' || declaration[i] == '=' || declaration[i] == '\t')) ++i;
  if (i >= declaration.size() || (declaration[i] != '"' && declaration[i] != '\'')) return {};
  const std::size_t close = declaration.find(declaration[i], i + 1);
  if (close == std::string_view::npos) return {};
  return std::string(declaration.substr(i + 1, close - i - 1));
}

std::string feed_to_utf8(std::string_view bytes, std::string_view content_type) {
  if (content_type_charset(content_type).empty()) {
    const std::string declared = xml_declared_encoding(bytes);
    // The declaration stands where a page's meta would; a label the converter does not know
    // is passed over as any other.
    if (!declared.empty() && !encoding_for_label(declared).empty())
      return page_to_utf8(bytes, "text/xml; charset=" + declared);
  }
  return page_to_utf8(bytes, content_type);
}

namespace {

std::string lower(std::string_view s) {
  std::string out(s);
  std::transform(out.begin(), out.end(), out.begin(), [](unsigned char c) { return std::tolower(c); });
  return out;
}

// The attributes of the tag that starts at html[at] ("<name ..."), lower-case names, values as
// written (the common entities read); `end` receives the index after the ">".
std::vector<std::pair<std::string, std::string>> tag_attributes(std::string_view html, std::size_t at, std::size_t& end) {
  std::vector<std::pair<std::string, std::string>> out;
  std::size_t i = at + 1;
  while (i < html.size() && !std::isspace(static_cast<unsigned char>(html[i])) && html[i] != '>') ++i;
  while (i < html.size() && html[i] != '>' && out.size() < 64) {
    while (i < html.size() && (std::isspace(static_cast<unsigned char>(html[i])) || html[i] == '/')) ++i;
    std::size_t name_start = i;
    while (i < html.size() && !std::isspace(static_cast<unsigned char>(html[i])) && html[i] != '=' && html[i] != '>') ++i;
    std::string name = lower(html.substr(name_start, i - name_start));
    std::string value;
    while (i < html.size() && std::isspace(static_cast<unsigned char>(html[i]))) ++i;
    if (i < html.size() && html[i] == '=') {
      ++i;
      while (i < html.size() && std::isspace(static_cast<unsigned char>(html[i]))) ++i;
      if (i < html.size() && (html[i] == '"' || html[i] == '\'')) {
        const char quote = html[i++];
        const std::size_t close = html.find(quote, i);
        const std::size_t stop = close == std::string_view::npos ? html.size() : close;
        value = plain_text(html.substr(i, stop - i));
        i = stop + 1;
      } else {
        std::size_t v = i;
        while (i < html.size() && !std::isspace(static_cast<unsigned char>(html[i])) && html[i] != '>') ++i;
        value = plain_text(html.substr(v, i - v));
      }
    }
    if (!name.empty()) out.emplace_back(std::move(name), std::move(value));
    if (i == name_start && i < html.size() && html[i] != '>') ++i;  // nothing read: step on
  }
  end = i < html.size() ? i + 1 : html.size();
  return out;
}

}  // namespace

std::vector<Announced_feed> find_feed_links(std::string_view html, const std::string& page_address) {
  static constexpr std::string_view feed_types[] = {"application/rss+xml", "application/atom+xml",
                                                    "application/rdf+xml", "application/feed+json",
                                                    "application/json"};
  std::vector<Announced_feed> out;
  std::vector<std::pair<std::string, std::string>> links;  // href, title, in page order
  std::string base = page_address;
  for (std::size_t at = html.find('<'); at != std::string_view::npos; at = html.find('<', at)) {
    const std::string head = lower(html.substr(at, 6));
    std::size_t end = at + 1;
    if (head.starts_with("<link") && head.size() > 5 && (std::isspace(static_cast<unsigned char>(head[5])))) {
      std::string rel, type, href, title;
      for (auto& [name, value] : tag_attributes(html, at, end)) {
        if (name == "rel") rel = lower(value);
        else if (name == "type") type = lower(trimmed(value));
        else if (name == "href") href = trimmed(value);
        else if (name == "title") title = value;
      }
      bool alternate = false;
      for (std::size_t p = 0; p < rel.size();) {
        std::size_t q = rel.find_first_of(" \t\n", p);
        if (rel.substr(p, q == std::string::npos ? std::string::npos : q - p) == "alternate") alternate = true;
        p = q == std::string::npos ? rel.size() : q + 1;
      }
      const bool feed_type = std::find(std::begin(feed_types), std::end(feed_types), type) != std::end(feed_types);
      if (alternate && feed_type && !href.empty()) links.emplace_back(href, title);
    } else if (head.starts_with("<base") && head.size() > 5 && std::isspace(static_cast<unsigned char>(head[5]))) {
      for (auto& [name, value] : tag_attributes(html, at, end))
        if (name == "href" && !value.empty() && base == page_address) {
          const std::string b = absolute(page_address, trimmed(value));
          if (!b.empty()) base = b;
        }
    }
    at = end;
  }
  for (const auto& [href, title] : links) {
    const std::string address = absolute(base, href);
    if (address.empty()) continue;
    bool seen = false;
    for (const Announced_feed& f : out) seen = seen || f.address == address;
    if (!seen) out.push_back(Announced_feed{address, title});
  }
  return out;
}

std::optional<Db_date> parse_feed_date(std::string_view raw) {
  const std::string s = trimmed(raw);
  if (s.empty()) return std::nullopt;
  std::tm tm{};
  long offset = 0;
  // RFC 3339: 2026-12-07T04:51:16Z, with fractions and offsets.
  if (s.size() >= 10 && std::isdigit(static_cast<unsigned char>(s[0])) && s[4] == '-') {
    int y = 0, mo = 0, d = 0, h = 0, mi = 0, sec = 0, used = 0;
    if (std::sscanf(s.c_str(), "%4d-%2d-%2d%n", &y, &mo, &d, &used) != 3) return std::nullopt;
    std::size_t at = static_cast<std::size_t>(used);
    if (at < s.size() && (s[at] == 'T' || s[at] == 't' || s[at] == ' ')) {
      int more = 0;
      if (std::sscanf(s.c_str() + at + 1, "%2d:%2d:%2d%n", &h, &mi, &sec, &more) != 3) return std::nullopt;
      at += 1 + static_cast<std::size_t>(more);
      if (at < s.size() && s[at] == '.')
        for (++at; at < s.size() && std::isdigit(static_cast<unsigned char>(s[at])); ++at) {
        }
      if (at < s.size() && (s[at] == '+' || s[at] == '-')) {
        int oh = 0, om = 0;
        if (std::sscanf(s.c_str() + at + 1, "%2d:%2d", &oh, &om) != 2) return std::nullopt;
        offset = (s[at] == '-' ? -1 : 1) * (oh * 3600L + om * 60L);
      } else if (at < s.size() && s[at] != 'Z' && s[at] != 'z') {
        return std::nullopt;
      }
    }
    if (mo < 1 || mo > 12 || d < 1 || d > 31 || h > 23 || mi > 59 || sec > 60) return std::nullopt;
    tm.tm_year = y - 1900;
    tm.tm_mon = mo - 1;
    tm.tm_mday = d;
    tm.tm_hour = h;
    tm.tm_min = mi;
    tm.tm_sec = sec;
    return Db_date::at(static_cast<std::int64_t>(timegm(&tm)) - offset);
  }
  // RFC 822: [Sat, ]07 Dec 2026 04:51[:16] +0000|GMT|EST|...
  std::string rest = s;
  if (const std::size_t comma = rest.find(','); comma != std::string::npos && comma <= 9) rest = rest.substr(comma + 1);
  char month[8] = {}, zone[16] = {};
  int d = 0, y = 0, h = 0, mi = 0, sec = 0;
  int n = std::sscanf(rest.c_str(), " %d %3s %d %d:%d:%d %15s", &d, month, &y, &h, &mi, &sec, zone);
  if (n < 6) {
    sec = 0;
    n = std::sscanf(rest.c_str(), " %d %3s %d %d:%d %15s", &d, month, &y, &h, &mi, zone);
    if (n < 5) return std::nullopt;
  }
  static const char* const months[] = {"jan", "feb", "mar", "apr", "may", "jun", "jul", "aug", "sep", "oct", "nov", "dec"};
  int mo = -1;
  for (int k = 0; k < 12; ++k)
    if (strncasecmp(month, months[k], 3) == 0) mo = k;
  if (mo < 0 || d < 1 || d > 31 || h > 23 || mi > 59 || sec > 60) return std::nullopt;
  if (y < 100) y += y < 50 ? 2000 : 1900;
  const std::string z = zone;
  if (!z.empty() && (z[0] == '+' || z[0] == '-') && z.size() == 5) {
    const long v = std::strtol(z.c_str() + 1, nullptr, 10);
    offset = (z[0] == '-' ? -1 : 1) * ((v / 100) * 3600 + (v % 100) * 60);
  } else {
    static const std::pair<const char*, int> zones[] = {{"EST", -5}, {"EDT", -4}, {"CST", -6}, {"CDT", -5},
                                                        {"MST", -7}, {"MDT", -6}, {"PST", -8}, {"PDT", -7}};
    for (const auto& [name, hours] : zones)
      if (z == name) offset = hours * 3600L;
  }
  tm.tm_year = y - 1900;
  tm.tm_mon = mo;
  tm.tm_mday = d;
  tm.tm_hour = h;
  tm.tm_min = mi;
  tm.tm_sec = sec;
  return Db_date::at(static_cast<std::int64_t>(timegm(&tm)) - offset);
}

}  // namespace orvalis::exchange
