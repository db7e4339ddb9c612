#include "foundation/page_encoding.h"

#include "foundation/character_count.h"

#include <iconv.h>

#include <cerrno>
#include <cstdint>
#include <cstring>

namespace orvalis {

namespace {

constexpr std::string_view kReplacement = "\xEF\xBF\xBD";  // U+FFFD
constexpr size_t kPrescan_bytes = 1024;

bool is_space(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\f' || c == '\r'; }
char lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }
bool is_letter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

bool starts_with_nocase(std::string_view text, size_t at, std::string_view prefix) {
  if (text.size() - at < prefix.size() || at > text.size()) return false;
  for (size_t i = 0; i < prefix.size(); ++i)
    if (lower(text[at + i]) != prefix[i]) return false;
  return true;
}

std::string trimmed_lower(std::string_view label) {
  while (!label.empty() && is_space(label.front())) label.remove_prefix(1);
  while (!label.empty() && is_space(label.back())) label.remove_suffix(1);
  std::string out;
  out.reserve(label.size());
  for (char c : label) out += lower(c);
  return out;
}

// Labels that browsers read as another encoding than their name says, or that the converter
// spells otherwise.
struct Label_alias {
  const char* label;
  const char* encoding;
};
constexpr Label_alias kAliases[] = {
    {"utf-8", "UTF-8"}, {"utf8", "UTF-8"}, {"unicode-1-1-utf-8", "UTF-8"},
    {"unicode11utf8", "UTF-8"}, {"unicode20utf8", "UTF-8"}, {"x-unicode20utf8", "UTF-8"},
    {"iso-8859-1", "WINDOWS-1252"}, {"iso8859-1", "WINDOWS-1252"}, {"iso88591", "WINDOWS-1252"},
    {"iso_8859-1", "WINDOWS-1252"}, {"iso_8859-1:1987", "WINDOWS-1252"}, {"latin1", "WINDOWS-1252"},
    {"l1", "WINDOWS-1252"}, {"us-ascii", "WINDOWS-1252"}, {"ascii", "WINDOWS-1252"},
    {"ansi_x3.4-1968", "WINDOWS-1252"}, {"cp1252", "WINDOWS-1252"}, {"windows-1252", "WINDOWS-1252"},
    {"x-cp1252", "WINDOWS-1252"}, {"iso-ir-100", "WINDOWS-1252"}, {"csisolatin1", "WINDOWS-1252"},
    {"ibm819", "WINDOWS-1252"}, {"cp819", "WINDOWS-1252"}, {"x-user-defined", "WINDOWS-1252"},
    {"iso-8859-9", "WINDOWS-1254"}, {"latin5", "WINDOWS-1254"}, {"iso-8859-11", "WINDOWS-874"},
    {"tis-620", "WINDOWS-874"},
    {"shift_jis", "CP932"}, {"shift-jis", "CP932"}, {"sjis", "CP932"}, {"x-sjis", "CP932"},
    {"ms_kanji", "CP932"}, {"csshiftjis", "CP932"}, {"windows-31j", "CP932"}, {"ms932", "CP932"},
    {"cp932", "CP932"},
    {"gb2312", "GB18030"}, {"gbk", "GB18030"}, {"x-gbk", "GB18030"}, {"gb18030", "GB18030"},
    {"cp936", "GB18030"}, {"csgb2312", "GB18030"}, {"chinese", "GB18030"}, {"gb_2312-80", "GB18030"},
    {"euc-kr", "CP949"}, {"cseuckr", "CP949"}, {"ks_c_5601-1987", "CP949"}, {"ksc5601", "CP949"},
    {"ks_c_5601-1989", "CP949"}, {"korean", "CP949"}, {"windows-949", "CP949"},
    {"big5", "BIG5-HKSCS"}, {"big5-hkscs", "BIG5-HKSCS"}, {"cn-big5", "BIG5-HKSCS"},
    {"x-x-big5", "BIG5-HKSCS"}, {"csbig5", "BIG5-HKSCS"},
    {"euc-jp", "EUC-JP"}, {"x-euc-jp", "EUC-JP"},
    {"utf-16", "UTF-16LE"}, {"utf-16le", "UTF-16LE"}, {"utf-16be", "UTF-16BE"},
};

bool converter_knows(const std::string& name) {
  iconv_t cd = iconv_open("UTF-8", name.c_str());
  if (cd == reinterpret_cast<iconv_t>(-1)) return false;
  iconv_close(cd);
  return true;
}

// ---- The meta prescan ----

struct Prescan {
  std::string_view text;
  size_t at = 0;

  bool ended() const { return at >= text.size(); }

  // One attribute of a tag: false at the tag's end (at stays on the '>') or the text's.
  bool attribute(std::string& name, std::string& value) {
    name.clear();
    value.clear();
    while (!ended() && (is_space(text[at]) || text[at] == '/')) ++at;
    if (ended() || text[at] == '>') return false;
    for (;; ++at) {
      if (ended()) return !name.empty();
      char c = text[at];
      if (c == '=' && !name.empty()) {
        ++at;
        break;
      }
      if (is_space(c)) {
        while (!ended() && is_space(text[at])) ++at;
        if (ended() || text[at] != '=') return true;
        ++at;
        break;
      }
      if (c == '/' || c == '>') return true;
      name += lower(c);
    }
    while (!ended() && is_space(text[at])) ++at;
    if (ended()) return true;
    if (char quote = text[at]; quote == '"' || quote == '\'') {
      for (++at; !ended(); ++at) {
        if (text[at] == quote) {
          ++at;
          return true;
        }
        value += lower(text[at]);
      }
      return true;
    }
    if (text[at] == '>') return true;
    for (; !ended() && !is_space(text[at]) && text[at] != '>'; ++at) value += lower(text[at]);
    return true;
  }

  void skip_past(char c) {
    while (!ended() && text[at] != c) ++at;
    if (!ended()) ++at;
  }
};

// The charset named in a meta element's content ("text/html; charset=koi8-r").
std::string charset_in_content(std::string_view content) {
  for (size_t at = 0;;) {
    size_t found = content.find("charset", at);
    if (found == std::string_view::npos) return std::string();
    at = found + 7;
    while (at < content.size() && is_space(content[at])) ++at;
    if (at >= content.size() || content[at] != '=') continue;
    ++at;
    while (at < content.size() && is_space(content[at])) ++at;
    if (at >= content.size()) return std::string();
    if (char quote = content[at]; quote == '"' || quote == '\'') {
      size_t end = content.find(quote, at + 1);
      if (end == std::string_view::npos) return std::string();
      return std::string(content.substr(at + 1, end - at - 1));
    }
    size_t end = at;
    while (end < content.size() && !is_space(content[end]) && content[end] != ';') ++end;
    return std::string(content.substr(at, end - at));
  }
}

// A meta element's charset, when it declares one the way the prescan accepts.
std::string meta_charset(Prescan& p) {
  bool got_pragma = false;
  int need_pragma = -1;  // -1: not known yet
  std::string charset, name, value;
  bool seen_http_equiv = false, seen_content = false, seen_charset = false;
  while (p.attribute(name, value)) {
    if (name == "http-equiv" && !seen_http_equiv) {
      seen_http_equiv = true;
      if (value == "content-type") got_pragma = true;
    } else if (name == "content" && !seen_content) {
      seen_content = true;
      if (charset.empty()) {
        std::string found = charset_in_content(value);
        if (!found.empty()) {
          charset = found;
          need_pragma = 1;
        }
      }
    } else if (name == "charset" && !seen_charset) {
      seen_charset = true;
      charset = value;
      need_pragma = 0;
    }
  }
  if (need_pragma < 0 || (need_pragma == 1 && !got_pragma)) return std::string();
  return charset;
}

}  // namespace

const char* encoding_source_text(Page_encoding::Source source) {
  switch (source) {
    case Page_encoding::byte_order_mark: return "byte-order mark";
    case Page_encoding::header: return "Content-Type header";
    case Page_encoding::meta: return "meta declaration";
    case Page_encoding::valid_utf8: return "valid UTF-8";
    case Page_encoding::fallback: return "default";
  }
  return "default";
}

std::string encoding_for_label(std::string_view label) {
  const std::string key = trimmed_lower(label);
  if (key.empty() || key.size() > 40) return std::string();
  for (const Label_alias& a : kAliases)
    if (key == a.label) return a.encoding;
  // Only plain names reach the converter: a "//" would ask it for a conversion mode.
  for (char c : key)
    if (!((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '_' || c == '.' ||
          c == ':'))
      return std::string();
  std::string name;
  for (char c : key) name += c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
  return converter_knows(name) ? name : std::string();
}

std::string content_type_charset(std::string_view content_type) {
  // The parameters after the media type, each "name=value" or name="value".
  size_t at = content_type.find(';');
  while (at != std::string_view::npos) {
    std::string_view rest = content_type.substr(at + 1);
    size_t equals = rest.find('=');
    size_t next = rest.find(';');
    if (equals != std::string_view::npos && (next == std::string_view::npos || equals < next) &&
        trimmed_lower(rest.substr(0, equals)) == "charset") {
      std::string_view value = rest.substr(equals + 1);
      while (!value.empty() && is_space(value.front())) value.remove_prefix(1);
      if (!value.empty() && value.front() == '"') {
        size_t end = value.find('"', 1);
        return std::string(value.substr(1, end == std::string_view::npos ? value.size() - 1 : end - 1));
      }
      value = value.substr(0, value.find(';'));
      while (!value.empty() && is_space(value.back())) value.remove_suffix(1);
      return std::string(value);
    }
    at = next == std::string_view::npos ? next : at + 1 + next;
  }
  return std::string();
}

std::string prescan_meta_charset(std::string_view bytes) {
  Prescan p{bytes.substr(0, kPrescan_bytes)};
  std::string name, value;
  while (!p.ended()) {
    if (starts_with_nocase(p.text, p.at, "<!--")) {
      size_t end = p.text.find("-->", p.at + 2);
      if (end == std::string_view::npos) return std::string();
      p.at = end + 3;
    } else if (starts_with_nocase(p.text, p.at, "<meta") && p.at + 5 < p.text.size() &&
               (is_space(p.text[p.at + 5]) || p.text[p.at + 5] == '/')) {
      p.at += 5;
      std::string charset = meta_charset(p);
      if (!charset.empty()) {
        std::string key = trimmed_lower(charset);
        // A page read byte by byte cannot be UTF-16: such a claim means UTF-8.
        if (key == "utf-16" || key == "utf-16le" || key == "utf-16be") return "utf-8";
        if (!encoding_for_label(key).empty()) return charset;
      }
      p.skip_past('>');
    } else if (p.text[p.at] == '<' && p.at + 1 < p.text.size() &&
               (is_letter(p.text[p.at + 1]) ||
                (p.text[p.at + 1] == '/' && p.at + 2 < p.text.size() && is_letter(p.text[p.at + 2])))) {
      // Another tag: its attributes are read so a ">" inside a quoted value does not end it.
      while (!p.ended() && !is_space(p.text[p.at]) && p.text[p.at] != '>') ++p.at;
      while (p.attribute(name, value)) {
      }
      if (!p.ended()) ++p.at;
    } else if (starts_with_nocase(p.text, p.at, "<!") || starts_with_nocase(p.text, p.at, "</") ||
               starts_with_nocase(p.text, p.at, "<?")) {
      p.skip_past('>');
    } else {
      ++p.at;
    }
  }
  return std::string();
}

bool is_valid_utf8(std::string_view bytes) {
  const auto* s = reinterpret_cast<const unsigned char*>(bytes.data());
  const size_t n = bytes.size();
  size_t i = 0;
  while (i < n) {
    // Runs of ASCII eight bytes at a time.
    while (i + 8 <= n) {
      std::uint64_t block;
      std::memcpy(&block, s + i, 8);
      if (block & 0x8080808080808080ull) break;
      i += 8;
    }
    if (i >= n) break;
    const size_t len = utf8_sequence_length(bytes, i);
    if (len == 0) return false;
    i += len;
  }
  return true;
}

std::string repair_utf8(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size());
  const auto* s = reinterpret_cast<const unsigned char*>(bytes.data());
  const size_t n = bytes.size();
  size_t i = 0;
  while (i < n) {
    unsigned char c = s[i];
    if (c < 0x80) {
      out += static_cast<char>(c);
      ++i;
      continue;
    }
    size_t len = 0;
    unsigned char lo = 0x80, hi = 0xBF;
    if (c >= 0xC2 && c <= 0xDF) {
      len = 2;
    } else if (c >= 0xE0 && c <= 0xEF) {
      len = 3;
      if (c == 0xE0) lo = 0xA0;
      if (c == 0xED) hi = 0x9F;
    } else if (c >= 0xF0 && c <= 0xF4) {
      len = 4;
      if (c == 0xF0) lo = 0x90;
      if (c == 0xF4) hi = 0x8F;
    }
    // The longest start of a valid sequence is one bad sequence, as browsers count them.
    size_t good = 0;
    if (len > 0) {
      good = 1;
      if (i + 1 < n && s[i + 1] >= lo && s[i + 1] <= hi) {
        good = 2;
        while (good < len && i + good < n && (s[i + good] & 0xC0) == 0x80) ++good;
      }
    }
    if (len > 0 && good == len) {
      out.append(bytes.substr(i, len));
      i += len;
    } else {
      out += kReplacement;
      i += good > 0 ? good : 1;
    }
  }
  return out;
}

std::string convert_to_utf8(std::string_view bytes, const std::string& encoding) {
  if (encoding == "UTF-8") return is_valid_utf8(bytes) ? std::string(bytes) : repair_utf8(bytes);
  iconv_t cd = iconv_open("UTF-8", encoding.c_str());
  if (cd == reinterpret_cast<iconv_t>(-1)) cd = iconv_open("UTF-8", "WINDOWS-1252");
  if (cd == reinterpret_cast<iconv_t>(-1)) return repair_utf8(bytes);
  std::string out;
  out.reserve(bytes.size() + bytes.size() / 2);
  char block[16384];
  char* in = const_cast<char*>(bytes.data());
  size_t in_left = bytes.size();
  while (in_left > 0) {
    char* to = block;
    size_t to_left = sizeof block;
    const size_t r = iconv(cd, &in, &in_left, &to, &to_left);
    const int error = errno;
    out.append(block, static_cast<size_t>(to - block));
    if (r != static_cast<size_t>(-1) || error == E2BIG) continue;
    // A byte that cannot start or continue a character (EILSEQ), or a character cut at the
    // end (EINVAL): one replacement, then on after the byte.
    out += kReplacement;
    if (error != EILSEQ) break;
    ++in;
    --in_left;
  }
  // The end of a stateful encoding's shift sequence.
  char* to = block;
  size_t to_left = sizeof block;
  iconv(cd, nullptr, nullptr, &to, &to_left);
  out.append(block, static_cast<size_t>(to - block));
  iconv_close(cd);
  return out;
}

Page_encoding detect_page_encoding(std::string_view bytes, std::string_view content_type) {
  Page_encoding found;
  auto take = [&found](Page_encoding::Source source, std::string name) {
    found.source = source;
    found.name = std::move(name);
    return found;
  };
  if (bytes.starts_with("\xEF\xBB\xBF")) {
    found.mark_length = 3;
    return take(Page_encoding::byte_order_mark, "UTF-8");
  }
  if (bytes.starts_with("\xFF\xFE")) {
    found.mark_length = 2;
    return take(Page_encoding::byte_order_mark, "UTF-16LE");
  }
  if (bytes.starts_with("\xFE\xFF")) {
    found.mark_length = 2;
    return take(Page_encoding::byte_order_mark, "UTF-16BE");
  }
  if (std::string label = content_type_charset(content_type); !label.empty()) {
    if (std::string name = encoding_for_label(label); !name.empty()) return take(Page_encoding::header, name);
    found.ignored_label = label;
  }
  if (std::string label = prescan_meta_charset(bytes); !label.empty()) {
    if (std::string name = encoding_for_label(label); !name.empty()) return take(Page_encoding::meta, name);
  }
  if (is_valid_utf8(bytes)) return take(Page_encoding::valid_utf8, "UTF-8");
  return take(Page_encoding::fallback, "WINDOWS-1252");
}

std::string page_to_utf8(std::string_view bytes, std::string_view content_type, Page_encoding* found) {
  Page_encoding e = detect_page_encoding(bytes, content_type);
  std::string text = e.source == Page_encoding::valid_utf8
                         ? std::string(bytes)
                         : convert_to_utf8(bytes.substr(static_cast<size_t>(e.mark_length)), e.name);
  if (found) *found = std::move(e);
  return text;
}

}  // namespace orvalis
