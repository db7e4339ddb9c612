#include "foundation/entities.h"

#include <algorithm>
#include <cstring>
#include <string_view>

namespace orvalis {

namespace {

struct Entity {
  const char* name;
  const char* text;  // UTF-8
};

// HTML 4.01's named references (the Latin-1, symbol and special sets), "apos", and "hibar",
// an early name of the macron that old pages still use. In byte order of the names, so a
// lookup can bisect.
constexpr Entity kEntities[] = {
    {"AElig", "\303\206"}, {"Aacute", "\303\201"}, {"Acirc", "\303\202"}, {"Agrave", "\303\200"},
    {"Alpha", "\316\221"}, {"Aring", "\303\205"}, {"Atilde", "\303\203"}, {"Auml", "\303\204"},
    {"Beta", "\316\222"}, {"Ccedil", "\303\207"}, {"Chi", "\316\247"}, {"Dagger", "\342\200\241"},
    {"Delta", "\316\224"}, {"ETH", "\303\220"}, {"Eacute", "\303\211"}, {"Ecirc", "\303\212"},
    {"Egrave", "\303\210"}, {"Epsilon", "\316\225"}, {"Eta", "\316\227"}, {"Euml", "\303\213"},
    {"Gamma", "\316\223"}, {"Iacute", "\303\215"}, {"Icirc", "\303\216"}, {"Igrave", "\303\214"},
    {"Iota", "\316\231"}, {"Iuml", "\303\217"}, {"Kappa", "\316\232"}, {"Lambda", "\316\233"},
    {"Mu", "\316\234"}, {"Ntilde", "\303\221"}, {"Nu", "\316\235"}, {"OElig", "\305\222"},
    {"Oacute", "\303\223"}, {"Ocirc", "\303\224"}, {"Ograve", "\303\222"}, {"Omega", "\316\251"},
    {"Omicron", "\316\237"}, {"Oslash", "\303\230"}, {"Otilde", "\303\225"}, {"Ouml", "\303\226"},
    {"Phi", "\316\246"}, {"Pi", "\316\240"}, {"Prime", "\342\200\263"}, {"Psi", "\316\250"},
    {"Rho", "\316\241"}, {"Scaron", "\305\240"}, {"Sigma", "\316\243"}, {"THORN", "\303\236"},
    {"Tau", "\316\244"}, {"Theta", "\316\230"}, {"Uacute", "\303\232"}, {"Ucirc", "\303\233"},
    {"Ugrave", "\303\231"}, {"Upsilon", "\316\245"}, {"Uuml", "\303\234"}, {"Xi", "\316\236"},
    {"Yacute", "\303\235"}, {"Yuml", "\305\270"}, {"Zeta", "\316\226"}, {"aacute", "\303\241"},
    {"acirc", "\303\242"}, {"acute", "\302\264"}, {"aelig", "\303\246"}, {"agrave", "\303\240"},
    {"alefsym", "\342\204\265"}, {"alpha", "\316\261"}, {"amp", "&"}, {"and", "\342\210\247"},
    {"ang", "\342\210\240"}, {"apos", "'"}, {"aring", "\303\245"}, {"asymp", "\342\211\210"},
    {"atilde", "\303\243"}, {"auml", "\303\244"}, {"bdquo", "\342\200\236"}, {"beta", "\316\262"},
    {"brvbar", "\302\246"}, {"bull", "\342\200\242"}, {"cap", "\342\210\251"},
    {"ccedil", "\303\247"}, {"cedil", "\302\270"}, {"cent", "\302\242"}, {"chi", "\317\207"},
    {"circ", "\313\206"}, {"clubs", "\342\231\243"}, {"cong", "\342\211\205"}, {"copy", "\302\251"},
    {"crarr", "\342\206\265"}, {"cup", "\342\210\252"}, {"curren", "\302\244"},
    {"dArr", "\342\207\223"}, {"dagger", "\342\200\240"}, {"darr", "\342\206\223"},
    {"deg", "\302\260"}, {"delta", "\316\264"}, {"diams", "\342\231\246"}, {"divide", "\303\267"},
    {"eacute", "\303\251"}, {"ecirc", "\303\252"}, {"egrave", "\303\250"},
    {"empty", "\342\210\205"}, {"emsp", "\342\200\203"}, {"ensp", "\342\200\202"},
    {"epsilon", "\316\265"}, {"equiv", "\342\211\241"}, {"eta", "\316\267"}, {"eth", "\303\260"},
    {"euml", "\303\253"}, {"euro", "\342\202\254"}, {"exist", "\342\210\203"}, {"fnof", "\306\222"},
    {"forall", "\342\210\200"}, {"frac12", "\302\275"}, {"frac14", "\302\274"},
    {"frac34", "\302\276"}, {"frasl", "\342\201\204"}, {"gamma", "\316\263"},
    {"ge", "\342\211\245"}, {"gt", ">"}, {"hArr", "\342\207\224"}, {"harr", "\342\206\224"},
    {"hearts", "\342\231\245"}, {"hellip", "\342\200\246"}, {"hibar", "\302\257"},
    {"iacute", "\303\255"}, {"icirc", "\303\256"}, {"iexcl", "\302\241"}, {"igrave", "\303\254"},
    {"image", "\342\204\221"}, {"infin", "\342\210\236"}, {"int", "\342\210\253"},
    {"iota", "\316\271"}, {"iquest", "\302\277"}, {"isin", "\342\210\210"}, {"iuml", "\303\257"},
    {"kappa", "\316\272"}, {"lArr", "\342\207\220"}, {"lambda", "\316\273"},
    {"lang", "\342\214\251"}, {"laquo", "\302\253"}, {"larr", "\342\206\220"},
    {"lceil", "\342\214\210"}, {"ldquo", "\342\200\234"}, {"le", "\342\211\244"},
    {"lfloor", "\342\214\212"}, {"lowast", "\342\210\227"}, {"loz", "\342\227\212"},
    {"lrm", "\342\200\216"}, {"lsaquo", "\342\200\271"}, {"lsquo", "\342\200\230"}, {"lt", "<"},
    {"macr", "\302\257"}, {"mdash", "\342\200\224"}, {"micro", "\302\265"}, {"middot", "\302\267"},
    {"minus", "\342\210\222"}, {"mu", "\316\274"}, {"nabla", "\342\210\207"}, {"nbsp", "\302\240"},
    {"ndash", "\342\200\223"}, {"ne", "\342\211\240"}, {"ni", "\342\210\213"}, {"not", "\302\254"},
    {"notin", "\342\210\211"}, {"nsub", "\342\212\204"}, {"ntilde", "\303\261"}, {"nu", "\316\275"},
    {"oacute", "\303\263"}, {"ocirc", "\303\264"}, {"oelig", "\305\223"}, {"ograve", "\303\262"},
    {"oline", "\342\200\276"}, {"omega", "\317\211"}, {"omicron", "\316\277"},
    {"oplus", "\342\212\225"}, {"or", "\342\210\250"}, {"ordf", "\302\252"}, {"ordm", "\302\272"},
    {"oslash", "\303\270"}, {"otilde", "\303\265"}, {"otimes", "\342\212\227"},
    {"ouml", "\303\266"}, {"para", "\302\266"}, {"part", "\342\210\202"},
    {"permil", "\342\200\260"}, {"perp", "\342\212\245"}, {"phi", "\317\206"}, {"pi", "\317\200"},
    {"piv", "\317\226"}, {"plusmn", "\302\261"}, {"pound", "\302\243"}, {"prime", "\342\200\262"},
    {"prod", "\342\210\217"}, {"prop", "\342\210\235"}, {"psi", "\317\210"}, {"quot", "\""},
    {"rArr", "\342\207\222"}, {"radic", "\342\210\232"}, {"rang", "\342\214\252"},
    {"raquo", "\302\273"}, {"rarr", "\342\206\222"}, {"rceil", "\342\214\211"},
    {"rdquo", "\342\200\235"}, {"real", "\342\204\234"}, {"reg", "\302\256"},
    {"rfloor", "\342\214\213"}, {"rho", "\317\201"}, {"rlm", "\342\200\217"},
    {"rsaquo", "\342\200\272"}, {"rsquo", "\342\200\231"}, {"sbquo", "\342\200\232"},
    {"scaron", "\305\241"}, {"sdot", "\342\213\205"}, {"sect", "\302\247"}, {"shy", "\302\255"},
    {"sigma", "\317\203"}, {"sigmaf", "\317\202"}, {"sim", "\342\210\274"},
    {"spades", "\342\231\240"}, {"sub", "\342\212\202"}, {"sube", "\342\212\206"},
    {"sum", "\342\210\221"}, {"sup", "\342\212\203"}, {"sup1", "\302\271"}, {"sup2", "\302\262"},
    {"sup3", "\302\263"}, {"supe", "\342\212\207"}, {"szlig", "\303\237"}, {"tau", "\317\204"},
    {"there4", "\342\210\264"}, {"theta", "\316\270"}, {"thetasym", "\317\221"},
    {"thinsp", "\342\200\211"}, {"thorn", "\303\276"}, {"tilde", "\313\234"}, {"times", "\303\227"},
    {"trade", "\342\204\242"}, {"uArr", "\342\207\221"}, {"uacute", "\303\272"},
    {"uarr", "\342\206\221"}, {"ucirc", "\303\273"}, {"ugrave", "\303\271"}, {"uml", "\302\250"},
    {"upsih", "\317\222"}, {"upsilon", "\317\205"}, {"uuml", "\303\274"},
    {"weierp", "\342\204\230"}, {"xi", "\316\276"}, {"yacute", "\303\275"}, {"yen", "\302\245"},
    {"yuml", "\303\277"}, {"zeta", "\316\266"}, {"zwj", "\342\200\215"}, {"zwnj", "\342\200\214"},
};

constexpr int kEntity_count = sizeof kEntities / sizeof kEntities[0];
static_assert(kEntity_count == 254);

constexpr std::size_t length_of(const char* s) {
  std::size_t n = 0;
  while (s[n]) ++n;
  return n;
}

// The names are in byte order, and no character is longer in UTF-8 than "&" and its name:
// decoding in place can never overtake its input.
constexpr bool table_is_sound() {
  for (int i = 0; i < kEntity_count; ++i) {
    if (length_of(kEntities[i].text) > 1 + length_of(kEntities[i].name)) return false;
    if (i > 0 && std::string_view(kEntities[i - 1].name) >= std::string_view(kEntities[i].name))
      return false;
  }
  return true;
}
static_assert(table_is_sound());

constexpr std::size_t kLongest_name = 8;  // "thetasym"

bool is_name_char(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
}

// The row of the name at `text` (just after "&"), or -1. A name ended by ";" must be one of the
// table's; without ";" the longest name that the letters and digits begin with is taken:
// "&notin;" is the element sign, "&notin" too, "&copy2025" the copyright sign and "2025", while
// "&notanentity;" names nothing.
int find_row(const char* text) {
  std::size_t run = 0;
  while (is_name_char(text[run])) ++run;
  const std::size_t shortest = text[run] == ';' ? run : 2;
  for (std::size_t n = std::min(run, kLongest_name); n >= shortest && n >= 2; --n) {
    const std::string_view candidate(text, n);
    const Entity* end = kEntities + kEntity_count;
    const Entity* at = std::lower_bound(kEntities, end, candidate, [](const Entity& e, std::string_view c) {
      return std::string_view(e.name) < c;
    });
    if (at != end && std::string_view(at->name) == candidate) return static_cast<int>(at - kEntities);
  }
  return -1;
}

// Numeric references to 0x80-0x9F name the characters that windows-1252 has there, as
// browsers read them (pages written in that code page say "&#146;" for a right quote). The
// five positions it leaves empty are not characters.
constexpr unsigned short kWindows_1252[32] = {
    0x20AC, 0xFFFD, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0xFFFD, 0x017D, 0xFFFD, 0xFFFD, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0xFFFD, 0x017E, 0x0178};

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

int hex_value(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Reads the number of a numeric reference at `p` (just after "&#"): decimal digits, or "x"
// and hex digits. Returns the character after the number, or null when there is none.
const char* read_number(const char* p, unsigned long& cp) {
  const bool hex = *p == 'x' || *p == 'X';
  const int base = hex ? 16 : 10;
  if (hex) ++p;
  auto digit = [hex](char c) { return hex ? hex_value(c) : (c >= '0' && c <= '9' ? c - '0' : -1); };
  if (digit(*p) < 0) return nullptr;
  cp = 0;
  for (int d; (d = digit(*p)) >= 0; ++p)
    if (cp <= 0x10FFFF) cp = cp * static_cast<unsigned long>(base) + static_cast<unsigned long>(d);
  return p;
}

}  // namespace

void append_utf8(std::string& out, unsigned long cp) {
  char buf[4];
  out.append(buf, put_utf8(buf, cp));
}

void decode_entities(char* text) {
  const char* in = text;
  char* out = text;
  while (*in) {
    if (*in != '&') {
      *out++ = *in++;
      continue;
    }
    const char* after = in + 1;
    if (*after == '#') {
      unsigned long cp = 0;
      const char* p = read_number(after + 1, cp);
      if (!p) {
        // "&#" without a number stays as written.
        *out++ = *in++;
        continue;
      }
      if (*p == ';') ++p;
      if (cp >= 0x80 && cp <= 0x9F) cp = kWindows_1252[cp - 0x80];
      // A reference spends at least 3 bytes ("&#" and a digit) and a code point needs more
      // digits than UTF-8 bytes ("&#128" gives 3 bytes, "&#x10000" 4), so the output fits.
      char buf[4];
      size_t n = put_utf8(buf, cp);
      const size_t spent = static_cast<size_t>(p - in);
      if (n > spent) n = put_utf8(buf, 0xFFFD);  // cannot happen; stay inside the input
      std::memcpy(out, buf, n);
      out += n;
      in = p;
      continue;
    }
    const int row = find_row(after);
    if (row < 0) {
      *out++ = *in++;
      continue;
    }
    const char* p = after + std::strlen(kEntities[row].name);
    if (*p == ';') ++p;
    const size_t n = std::strlen(kEntities[row].text);
    std::memcpy(out, kEntities[row].text, n);
    out += n;
    in = p;
  }
  *out = 0;
}

void append_escaped_html(std::string& out, std::string_view text) {
  std::size_t start = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char* reference;
    switch (text[i]) {
      case '&': reference = "&amp;"; break;
      case '<': reference = "&lt;"; break;
      case '>': reference = "&gt;"; break;
      case '"': reference = "&quot;"; break;
      default: continue;
    }
    out.append(text.substr(start, i - start)).append(reference);
    start = i + 1;
  }
  out.append(text.substr(start));
}

}  // namespace orvalis
