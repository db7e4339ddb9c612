#include "foundation/ref_string.h"

#include <dirent.h>
#include <sys/stat.h>

#include <cctype>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <new>
#include <ostream>

#include "foundation/entities.h"
#include "platform/string_table.h"

namespace orvalis {

namespace {
constexpr int kSlack = 10;
thread_local std::uint64_t moves = 0;

bool is_white(unsigned char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }
}  // namespace

Ref_string::Rep* Ref_string::fresh(int length) {
  std::uint32_t capacity = static_cast<std::uint32_t>(length) + kSlack;
  void* p = std::malloc(offsetof(Rep, chars) + capacity);
  if (!p) throw std::bad_alloc();
  Rep* r = static_cast<Rep*>(p);
  r->length = length;
  r->capacity = capacity;
  r->refs = 1;
  r->chars[0] = 0;
  return r;
}

void Ref_string::drop(Rep* rep) noexcept {
  if (--rep->refs == 0) std::free(rep);
}

Ref_string::Ref_string() : rep_(fresh(0)) {}

Ref_string::Ref_string(const char* text) : Ref_string(std::string_view(text ? text : "")) {}

Ref_string::Ref_string(std::string_view text) : rep_(fresh(static_cast<int>(text.size()))) {
  if (!text.empty()) std::memcpy(rep_->chars, text.data(), text.size());
  rep_->chars[text.size()] = 0;
}

Ref_string::Ref_string(const char* buffer, int n)
    : Ref_string(std::string_view(buffer, n > 0 ? static_cast<size_t>(n) : 0)) {}

Ref_string::Ref_string(const char* text, int first, int last)
    : Ref_string(last < first ? std::string_view()
                              : std::string_view(text + first, static_cast<size_t>(last - first + 1))) {}

Ref_string Ref_string::fill(char ch, int n) {
  if (n < 0) n = 0;
  Rep* r = fresh(n);
  std::memset(r->chars, static_cast<unsigned char>(ch), static_cast<size_t>(n));
  r->chars[n] = 0;
  return Ref_string(r);
}

Ref_string Ref_string::number(long long value) {
  return Ref_string(std::string_view(std::to_string(value)));
}

Ref_string Ref_string::from_id(int id) { return Ref_string(platform::load_string(id)); }

Ref_string::Ref_string(const Ref_string& o) noexcept : rep_(o.rep_) { ++rep_->refs; }

Ref_string& Ref_string::operator=(const Ref_string& o) noexcept {
  ++o.rep_->refs;  // take the new block first: self-assignment is safe
  drop(rep_);
  rep_ = o.rep_;
  return *this;
}

Ref_string::~Ref_string() { drop(rep_); }

int Ref_string::to_int() const { return std::atoi(rep_->chars); }

bool Ref_string::is_blank() const {
  for (int i = 0; i < rep_->length; ++i)
    if (!is_white(static_cast<unsigned char>(rep_->chars[i]))) return false;
  return true;
}

Ref_string& Ref_string::operator+=(const char* text) {
  return append(text, text ? static_cast<int>(std::strlen(text)) : 0);
}

Ref_string& Ref_string::append(const char* bytes, int n) {
  if (n <= 0) return *this;
  std::int32_t len = rep_->length;
  if (rep_->refs < 2 && static_cast<std::int64_t>(rep_->capacity) >=
                            static_cast<std::int64_t>(len) + n + 1) {
    std::memmove(rep_->chars + len, bytes, static_cast<size_t>(n));
  } else {
    ++moves;
    if (rep_->refs < 2) {
      // The block is ours alone: let realloc grow it where it can (large blocks are remapped,
      // not copied). The capacity rule is the same as for a fresh block.
      std::uint32_t capacity = static_cast<std::uint32_t>(len + n) + kSlack;
      // `bytes` may point into our own block; keep its offset across the realloc.
      const char* base = rep_->chars;
      bool inside = bytes >= base && bytes < base + rep_->capacity;
      std::ptrdiff_t offset = bytes - base;
      void* p = std::realloc(rep_, offsetof(Rep, chars) + capacity);
      if (!p) throw std::bad_alloc();
      rep_ = static_cast<Rep*>(p);
      rep_->capacity = capacity;
      if (inside) bytes = rep_->chars + offset;
      std::memmove(rep_->chars + len, bytes, static_cast<size_t>(n));
    } else {
      Rep* r = fresh(len + n);
      std::memcpy(r->chars, rep_->chars, static_cast<size_t>(len));
      std::memcpy(r->chars + len, bytes, static_cast<size_t>(n));
      drop(rep_);
      rep_ = r;
    }
  }
  rep_->length = len + n;
  rep_->chars[len + n] = 0;
  return *this;
}

void Ref_string::make_private() {
  if (rep_->refs < 2) return;
  Rep* r = fresh(rep_->length);
  std::memcpy(r->chars, rep_->chars, static_cast<size_t>(rep_->length) + 1);
  drop(rep_);
  rep_ = r;
}

char Ref_string::set(int i, char ch) {
  make_private();
  rep_->chars[i] = ch;
  return ch;
}

Ref_string Ref_string::lower() const {
  int i = 0;
  while (i < rep_->length && !(rep_->chars[i] >= 'A' && rep_->chars[i] <= 'Z')) ++i;
  if (i == rep_->length) return *this;
  Ref_string r(view());
  for (; i < r.rep_->length; ++i) {
    char c = r.rep_->chars[i];
    if (c >= 'A' && c <= 'Z') r.rep_->chars[i] = static_cast<char>(c - 'A' + 'a');
  }
  return r;
}

Ref_string Ref_string::replace(char ch, char by) const {
  if (find(ch) < 0) return *this;
  Ref_string r(view());
  for (int i = 0; i < r.rep_->length; ++i)
    if (r.rep_->chars[i] == ch) r.rep_->chars[i] = by;
  return r;
}

Ref_string Ref_string::remove_chars(const char* set) const {
  std::string out;
  out.reserve(static_cast<size_t>(rep_->length));
  bool changed = false;
  for (int i = 0; i < rep_->length; ++i) {
    char c = rep_->chars[i];
    if (std::strchr(set, c) && c != 0)
      changed = true;
    else
      out.push_back(c);
  }
  return changed ? Ref_string(std::string_view(out)) : *this;
}

void Ref_string::double_ampersands() {
  int k = 0;
  for (int i = 0; i < rep_->length; ++i)
    if (rep_->chars[i] == '&') ++k;
  if (k == 0) return;
  int len = rep_->length;
  if (static_cast<std::int64_t>(rep_->capacity) - len <= k) {
    Rep* r = fresh(len + k);
    std::memcpy(r->chars, rep_->chars, static_cast<size_t>(len) + 1);
    r->length = len;
    drop(rep_);
    rep_ = r;
    ++moves;
  } else {
    make_private();
  }
  // Move the characters from the end backwards, writing each "&" twice.
  char* s = rep_->chars;
  int to = len + k;
  s[to] = 0;
  for (int from = len - 1; from >= 0; --from) {
    s[--to] = s[from];
    if (s[from] == '&') s[--to] = '&';
  }
  rep_->length = static_cast<std::int32_t>(std::strlen(s));
}

void Ref_string::decode_entities() {
  if (find('&') < 0) return;
  make_private();
  orvalis::decode_entities(rep_->chars);
  rep_->length = static_cast<std::int32_t>(std::strlen(rep_->chars));
}

int Ref_string::find(char ch, int from) const {
  if (from < 0) from = 0;
  if (from >= rep_->length) return -1;
  const void* p = std::memchr(rep_->chars + from, ch, static_cast<size_t>(rep_->length - from));
  return p ? static_cast<int>(static_cast<const char*>(p) - rep_->chars) : -1;
}

int Ref_string::find(const char* text, int from) const {
  if (from < 0) from = 0;
  if (from > rep_->length) return -1;
  size_t at = view().find(text, static_cast<size_t>(from));
  return at == std::string_view::npos ? -1 : static_cast<int>(at);
}

Ref_string Ref_string::mid(int first, int n) const {
  if (first < 0) first = 0;
  if (first >= rep_->length) return Ref_string();
  if (n < 0 || first + n > rep_->length) n = rep_->length - first;
  if (first == 0 && n == rep_->length) return *this;
  return Ref_string(rep_->chars + first, n);
}

std::uint64_t Ref_string::block_moves() noexcept { return moves; }

bool operator==(const Ref_string& a, const Ref_string& b) noexcept {
  return a.rep_ == b.rep_ ||
         (a.rep_->length == b.rep_->length &&
          std::memcmp(a.rep_->chars, b.rep_->chars, static_cast<size_t>(a.rep_->length)) == 0);
}

bool operator==(const Ref_string& a, const char* b) noexcept {
  return std::strcmp(a.rep_->chars, b ? b : "") == 0;
}

bool operator<(const Ref_string& a, const Ref_string& b) noexcept {
  // Unsigned byte order; a text sorts before any longer text that begins with it.
  return a.view() < b.view();
}

Ref_string concat(std::string_view a, std::string_view b, std::string_view c,
                  std::string_view d) {
  size_t n = a.size() + b.size() + c.size() + d.size();
  Ref_string::Rep* r = Ref_string::fresh(static_cast<int>(n));
  char* p = r->chars;
  for (std::string_view part : {a, b, c, d}) {
    if (!part.empty()) std::memcpy(p, part.data(), part.size());  // empty views may have no data
    p += part.size();
  }
  *p = 0;
  return Ref_string(r);
}

Ref_string operator+(const Ref_string& a, const Ref_string& b) { return concat(a.view(), b.view()); }
Ref_string operator+(const char* a, const Ref_string& b) { return concat(a ? a : "", b.view()); }
Ref_string operator+(const Ref_string& a, const char* b) { return concat(a.view(), b ? b : ""); }
Ref_string operator+(const Ref_string& a, char b) { return concat(a.view(), std::string_view(&b, 1)); }

std::ostream& operator<<(std::ostream& out, const Ref_string& s) { return out << s.view(); }

int hash_text(const char* text, int n) {
  std::uint32_t h = 0;
  for (const char* p = text; *p; ++p) {
    // The character counts as a signed byte: 128..255 are -128..-1.
    std::int32_t c = static_cast<signed char>(*p);
    h = (h << 3) ^ static_cast<std::uint32_t>(c);
  }
  return static_cast<int>((h & 0x7FFFFFFFu) % static_cast<std::uint32_t>(n));
}

int hash(const Ref_string& s, int n) { return hash_text(s.c_str(), n); }

Ref_list<Ref_string> split(const Ref_string& s, char ch) {
  Ref_list<Ref_string> out;
  if (s.empty()) return out;
  int start = 0;
  for (int at; (at = s.find(ch, start)) >= 0; start = at + 1)
    out.append(Ref_string(s.c_str() + start, at - start));
  out.append(Ref_string(s.c_str() + start, s.length() - start));
  return out;
}

Ref_string join(const Ref_list<Ref_string>& items, const Ref_string& separator) {
  if (items.count() == 1) return items.first();
  std::string out;
  bool first = true;
  for (const Ref_string& item : items) {
    if (!first) out.append(separator.view());
    out.append(item.view());
    first = false;
  }
  return Ref_string(std::string_view(out));
}

Ref_string format_args(const Ref_string& pattern, const Ref_list<Ref_string>& args) {
  std::string out;
  const char* p = pattern.c_str();
  int n = pattern.length();
  for (int i = 0; i < n; ++i) {
    if (p[i] == '%' && i + 1 < n && p[i + 1] >= '0' && p[i + 1] <= '9') {
      int d = p[i + 1] - '0';
      if (d < args.count()) out.append(args.at(d).view());
      ++i;
    } else {
      out.push_back(p[i]);
    }
  }
  return Ref_string(std::string_view(out));
}

Ref_string format_args(const Ref_string& pattern, const Ref_string& a0, const Ref_string& a1,
                       const Ref_string& a2) {
  Ref_list<Ref_string> args;
  args.append(a0);
  args.append(a1);
  args.append(a2);
  return format_args(pattern, args);
}

Ref_string find_file(const Ref_string& directory, const Ref_string& name, bool search_subfolders,
                     int match_mode) {
  Ref_string dir = directory;
  if (dir.length() > 1 && dir.ends_with("/")) dir = dir.mid(0, dir.length() - 1);
  Ref_string wanted = name.lower();
  DIR* d = opendir(dir.empty() ? "." : dir.c_str());
  if (!d) return Ref_string();
  Ref_string found;
  Ref_list<Ref_string> subfolders;
  while (dirent* e = readdir(d)) {
    if (std::strcmp(e->d_name, ".") == 0 || std::strcmp(e->d_name, "..") == 0) continue;
    Ref_string entry(e->d_name);
    Ref_string path = dir == "/" ? "/" + entry : concat(dir.view(), "/", entry.view());
    bool match = false;
    if (match_mode == 0) {
      match = entry.lower() == wanted;
    } else {
      // Compares entry characters 0..len-2 with the whole wanted name: never equal.
      Ref_string head = entry.mid(0, wanted.length() - 1).lower();
      match = head == wanted;
    }
    if (match) {
      found = path;
      break;
    }
    if (search_subfolders) {
      struct stat st;
      if (stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) subfolders.append(path);
    }
  }
  closedir(d);
  if (!found.empty() || !search_subfolders) return found;
  for (const Ref_string& sub : subfolders) {
    Ref_string r = find_file(sub, name, true, match_mode);
    if (!r.empty()) return r;
  }
  return Ref_string();
}

}  // namespace orvalis
