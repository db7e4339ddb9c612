#include "foundation/entities.h"

#include <cstring>
#include <mutex>

#include "platform/string_table.h"

namespace orvalis {

namespace {

// In byte order, so the lookup can bisect. Row n's character is string 17001 + n.
const char* const kNames[kEntity_count] = {
    "AElig",  "Aacute", "Acirc",  "Agrave", "Aring",  "Atilde", "Auml",   "Ccedil", "ETH",
    "Eacute", "Ecirc",  "Egrave", "Euml",   "Iacute", "Icirc",  "Igrave", "Iuml",   "Ntilde",
    "Oacute", "Ocirc",  "Ograve", "Oslash", "Otilde", "Ouml",   "THORN",  "Uacute", "Ucirc",
    "Ugrave", "Uuml",   "Yacute", "aacute", "acirc",  "acute",  "aelig",  "agrave", "amp",
    "aring",  "atilde", "auml",   "brvbar", "ccedil", "cedil",  "cent",   "copy",   "curren",
    "deg",    "divide", "eacute", "ecirc",  "egrave", "eth",    "euml",   "frac12", "frac14",
    "frac34", "gt",     "hibar",  "iacute", "icirc",  "iexcl",  "igrave", "iquest", "iuml",
    "laquo",  "lt",     "micro",  "middot", "nbsp",   "not",    "ntilde", "oacute", "ocirc",
    "ograve", "ordf",   "ordm",   "oslash", "otilde", "ouml",   "para",   "plusmn", "pound",
    "quot",   "raquo",  "reg",    "sect",   "shy",    "sup1",   "sup2",   "sup3",   "szlig",
    "thorn",  "times",  "trade",  "uacute", "ucirc",  "ugrave", "uml",    "uuml",   "yacute",
    "yen",    "yuml"};

struct Row {
  size_t name_length;
  const char* text;
  size_t text_length;
};

Row rows[kEntity_count];
std::once_flag filled;

void fill_rows() {
  for (int i = 0; i < kEntity_count; ++i) {
    const char* t = platform::load_string(17001 + i);
    rows[i] = Row{std::strlen(kNames[i]), t ? t : "", t ? std::strlen(t) : 0};
  }
}

// The row whose name is a prefix of `text`, or -1.
int find_row(const char* text) {
  int low = 0, high = kEntity_count;
  while (low < high) {
    int middle = low + (high - low) / 2;
    int c = std::strncmp(kNames[middle], text, rows[middle].name_length);
    if (c == 0) return middle;
    if (c > 0)
      high = middle;
    else
      low = middle + 1;
  }
  return -1;
}

size_t put_utf8(char* out, unsigned long cp) {
  if (cp == 0 || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) cp = 0xFFFD;
  if (cp < 0x80) {
    out[0] = static_cast<char>(cp);
    return 1;
  }
  if (cp < 0x800) {
    out[0] = static_cast<char>(0xC0 | (cp >> 6));
    out[1] = static_cast<char>(0x80 | (cp & 0x3F));
    return 2;
  }
  if (cp < 0x10000) {
    out[0] = static_cast<char>(0xE0 | (cp >> 12));
    out[1] = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out[2] = static_cast<char>(0x80 | (cp & 0x3F));
    return 3;
  }
  out[0] = static_cast<char>(0xF0 | (cp >> 18));
  out[1] = static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
  out[2] = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
  out[3] = static_cast<char>(0x80 | (cp & 0x3F));
  return 4;
}

}  // namespace

const char* entity_name(int row) { return row >= 0 && row < kEntity_count ? kNames[row] : ""; }

const char* entity_text(int row) {
  std::call_once(filled, fill_rows);
  return row >= 0 && row < kEntity_count ? rows[row].text : "";
}

void append_utf8(std::string& out, unsigned long cp) {
  char buf[4];
  out.append(buf, put_utf8(buf, cp));
}

void decode_entities(char* text) {
  std::call_once(filled, fill_rows);
  const char* in = text;
  char* out = text;
  while (*in) {
    if (*in != '&') {
      *out++ = *in++;
      continue;
    }
    const char* after = in + 1;
    if (*after == '#') {
      const char* p = after + 1;
      if (*p < '0' || *p > '9') {
        // "&#" without a number stays as written.
        *out++ = *in++;
        continue;
      }
      unsigned long cp = 0;
      while (*p >= '0' && *p <= '9') {
        if (cp <= 0x10FFFF) cp = cp * 10 + static_cast<unsigned long>(*p - '0');
        ++p;
      }
      if (*p == ';') ++p;
      // A reference spends at least 3 bytes ("&#" and a digit) and UTF-8 needs at most 4;
      // a short reference with a large value (such as "&#99999") still fits, because a code
      // point needs more decimal digits than UTF-8 bytes.
      char buf[4];
      size_t n = put_utf8(buf, cp);
      size_t spent = static_cast<size_t>(p - in);
      if (n > spent) n = put_utf8(buf, 0xFFFD);  // cannot happen for valid lengths; stay safe
      std::memcpy(out, buf, n);
      out += n;
      in = p;
      continue;
    }
    int row = find_row(after);
    if (row < 0) {
      *out++ = *in++;
      continue;
    }
    const char* p = after + rows[row].name_length;
    if (*p == ';') ++p;
    // Every entity character is shorter in UTF-8 than "&" plus its name.
    std::memcpy(out, rows[row].text, rows[row].text_length);
    out += rows[row].text_length;
    in = p;
  }
  *out = 0;
}

}  // namespace orvalis
