#include "foundation/url.h"

#include <cctype>
#include <cstdlib>
#include <cstring>
#include <string>

#include "foundation/name_value_list.h"

namespace orvalis {

namespace {

struct Scheme_row {
  const char* prefix;
  const char* name;
  int port;
};

// In the order of the checks; the index + 1 is the scheme code.
const Scheme_row kSchemes[] = {
    {"http://", "http", 80},  {"gopher://", "gopher", 70}, {"ftp://", "ftp", 21},
    {"news://", "news", 0},   {"file://", "file", 0},      {"mailto:", "mailto", 0},
    {"https://", "https", 443},
};
constexpr int kScheme_count = sizeof(kSchemes) / sizeof(kSchemes[0]);

int scheme_of(const char* text) {
  char head[10];
  int n = 0;
  for (; n < 9 && text[n]; ++n) head[n] = static_cast<char>(std::tolower(static_cast<unsigned char>(text[n])));
  head[n] = 0;
  for (int i = 0; i < kScheme_count; ++i) {
    size_t len = std::strlen(kSchemes[i].prefix);
    if (static_cast<size_t>(n) >= len && std::memcmp(head, kSchemes[i].prefix, len) == 0) return i + 1;
  }
  return 0;
}

}  // namespace

int Url::scheme_code() const { return scheme_of(text_.c_str()); }

Ref_string Url::scheme_name(int code) {
  return code >= 1 && code <= kScheme_count ? Ref_string(kSchemes[code - 1].name) : Ref_string();
}

int Url::default_port(int code) {
  return code >= 1 && code <= kScheme_count ? kSchemes[code - 1].port : 0;
}

bool Url::host_span(int& first, int& last) const {
  int code = scheme_code();
  if (code == other || code == mailto) return false;
  const char* t = text_.c_str();
  int n = text_.length();
  int s = static_cast<int>(std::strlen(kSchemes[code - 1].name)) + 3;
  if (s > n) s = n;
  if (s < n && t[s] == '/') {
    first = s;
    last = s - 1;
    return true;
  }
  int colon = -1;
  int i = s;
  for (; i < n && t[i] != '/'; ++i) {
    if (t[i] == ':') colon = i;
    else if (t[i] == '@' && code == ftp) colon = -1;
  }
  first = s;
  last = (colon >= 0 ? colon : i) - 1;
  return true;
}

bool Url::port_span(int& first, int& last) const {
  int hf, hl;
  if (!host_span(hf, hl)) return false;
  const char* t = text_.c_str();
  int k = hl + 1;
  if (k >= text_.length() || t[k] != ':') return false;
  int i = k + 1;
  while (i < text_.length() && t[i] >= '0' && t[i] <= '9') ++i;
  if (i == k + 1) return false;
  first = k + 1;
  last = i - 1;
  return true;
}

int Url::path_start() const {
  int hf, hl;
  if (!host_span(hf, hl)) return 0;
  int k = hl + 1;
  if (k < text_.length() && text_[k] == '/') return k;
  int pf, pl;
  if (port_span(pf, pl)) return pl + 1;
  return k;
}

Ref_string Url::host() const {
  int f, l;
  if (!host_span(f, l)) return Ref_string();
  return Ref_string(text_.c_str(), f, l);
}

int Url::port() const {
  int f, l;
  if (port_span(f, l)) return std::atoi(text_.c_str() + f);
  return default_port(scheme_code());
}

Ref_string Url::path() const {
  int p = path_start();
  if (p >= text_.length()) return Ref_string("/");
  return text_.mid(p);
}

bool Url::ftp_credentials(Ref_string& user, Ref_string& password) const {
  if (scheme_code() != ftp) return false;
  Ref_string h = host();
  const char* t = h.c_str();
  int colon = -1, at = -1;
  for (int i = 0; i < h.length(); ++i) {
    if (t[i] == ':') colon = i;
    else if (t[i] == '@') {
      at = i;
      break;
    }
  }
  if (at < 0) return false;
  if (colon > 0) {
    user = Ref_string(t, colon);
    password = Ref_string(t + colon + 1, at - colon - 1);
  } else {
    user = Ref_string(t, at);
    password = Ref_string();
  }
  return true;
}

Ref_string Url::resolve(const Ref_string& link) const {
  if (scheme_of(link.c_str()) != other) return link;
  int p = path_start();
  if (p > text_.length()) p = text_.length();
  const char* t = text_.c_str();
  if (link.length() > 0 && link[0] == '/') return concat(std::string_view(t, p), link.view());
  for (int i = text_.length() - 1; i >= p && i >= 0; --i)
    if (t[i] == '/') return concat(std::string_view(t, i + 1), link.view());
  return concat(std::string_view(t, p), "/", link.view());
}

namespace {

struct Encode_table {
  bool safe[256] = {};
  Encode_table() {
    for (int c = 0; c < 256; ++c) safe[c] = std::isalnum(c) && c < 128;
    for (const char* p = "$-_@.&!*=%"; *p; ++p) safe[static_cast<unsigned char>(*p)] = true;
  }
};
const Encode_table kEncode;
const char kHex[] = "0123456789ABCDEF";

int hex_value(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// The value strtol(.., 16) gives for exactly the two characters a, b: leading white space and
// a sign are taken, digits are read until the first that is not hexadecimal.
long two_char_hex(char a, char b) {
  char s[2] = {a, b};
  int i = 0;
  while (i < 2 && std::isspace(static_cast<unsigned char>(s[i]))) ++i;
  bool negative = false;
  if (i < 2 && (s[i] == '+' || s[i] == '-')) negative = s[i++] == '-';
  long v = 0;
  for (; i < 2; ++i) {
    int d = hex_value(s[i]);
    if (d < 0) break;
    v = v * 16 + d;
  }
  return negative ? -v : v;
}

}  // namespace

Ref_string url_encode(const Ref_string& text) {
  const unsigned char* in = reinterpret_cast<const unsigned char*>(text.c_str());
  int n = text.length();
  std::string out;
  out.resize(static_cast<size_t>(n) * 3);
  char* o = out.data();
  for (int i = 0; i < n; ++i) {
    unsigned char c = in[i];
    if (c == ' ') {
      *o++ = '+';
    } else if (kEncode.safe[c]) {
      *o++ = static_cast<char>(c);
    } else {
      o[0] = '%';
      o[1] = kHex[c >> 4];
      o[2] = kHex[c & 15];
      o += 3;
    }
  }
  return Ref_string(out.data(), static_cast<int>(o - out.data()));
}

Ref_string form_value_encode(const Ref_string& text) {
  std::string out;
  out.reserve(static_cast<size_t>(text.length()));
  for (unsigned char c : text.view()) {
    if (c == ' ') {
      out += '+';
    } else if ((c < 128 && std::isalnum(c)) || c == '*' || c == '-' || c == '.' || c == '_') {
      out += static_cast<char>(c);
    } else {
      out += '%';
      out += kHex[c >> 4];
      out += kHex[c & 15];
    }
  }
  return Ref_string(std::string_view(out));
}

Ref_string request_target(const Ref_string& target) {
  std::string_view in = target.view();
  in = in.substr(0, in.find('#'));
  std::string out;
  out.reserve(in.size());
  bool in_query = false;
  for (unsigned char c : in) {
    in_query = in_query || c == '?';
    const bool escaped = c <= 0x20 || c >= 0x7f || c == '"' || c == '<' || c == '>' ||
                         (!in_query && (c == '`' || c == '{' || c == '}'));
    if (escaped) {
      out += '%';
      out += kHex[c >> 4];
      out += kHex[c & 15];
    } else {
      out += static_cast<char>(c);
    }
  }
  return Ref_string(std::string_view(out));
}

Ref_string url_decode(const Ref_string& text) {
  const char* in = text.c_str();
  int n = text.length();
  std::string out;
  out.resize(static_cast<size_t>(n));
  char* o = out.data();
  for (int i = 0; i < n;) {
    char c = in[i];
    if (c != '%') {
      *o++ = c;
      ++i;
      continue;
    }
    if (i + 2 >= n) break;  // one of the two characters is missing: decoding stops
    int hi = hex_value(in[i + 1]), lo = hex_value(in[i + 2]);
    long v = (hi >= 0 && lo >= 0) ? hi * 16 + lo : two_char_hex(in[i + 1], in[i + 2]);
    char byte = static_cast<char>(static_cast<unsigned char>(v));
    if (byte == 0) break;  // the text ends at the first zero byte written
    *o++ = byte;
    i += 3;
  }
  return Ref_string(out.data(), static_cast<int>(o - out.data()));
}

Ref_string form_decode(const Ref_string& text) {
  // The blanks first: a "+" that was sent as "%2B" is not a "+" yet at this point.
  return url_decode(text.replace('+', ' '));
}

Ref_string file_url(const Ref_string& path) {
  // Local paths are absolute "/" paths here; bytes that cannot stand in an address are
  // percent-encoded so that a browser opens exactly this file.
  std::string out = "file://";
  if (path.empty() || path[0] != '/') out += '/';
  for (int i = 0; i < path.length(); ++i) {
    unsigned char c = static_cast<unsigned char>(path[i]);
    if (c == '\\') c = '/';
    if (std::isalnum(c) && c < 128) out += static_cast<char>(c);
    else if (std::strchr("/-_.~", c) && c) out += static_cast<char>(c);
    else {
      out += '%';
      out += kHex[c >> 4];
      out += kHex[c & 15];
    }
  }
  return Ref_string(std::string_view(out));
}

bool is_web_address(std::string_view address) {
  for (std::string_view scheme : {"http://", "https://"})
    if (address.size() >= scheme.size() && equal_ignoring_case(address.substr(0, scheme.size()), scheme)) return true;
  return false;
}

std::string remove_dot_segments(std::string_view in) {
  std::string out;
  while (!in.empty()) {
    if (in.starts_with("../")) {
      in.remove_prefix(3);
    } else if (in.starts_with("./")) {
      in.remove_prefix(2);
    } else if (in.starts_with("/./")) {
      in.remove_prefix(2);
    } else if (in == "/.") {
      in = "/";
    } else if (in.starts_with("/../") || in == "/..") {
      in = in.size() == 3 ? std::string_view("/") : in.substr(3);
      size_t last = out.rfind('/');
      out.erase(last == std::string::npos ? 0 : last);
    } else if (in == "." || in == "..") {
      in = {};
    } else {
      size_t next = in.find('/', 1);
      if (next == std::string_view::npos) next = in.size();
      out.append(in.substr(0, next));
      in.remove_prefix(next);
    }
  }
  return out;
}

}  // namespace orvalis
