#include "text/lexicon.h"

#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <initializer_list>
#include <mutex>
#include <string>
#include <string_view>

#include "foundation/error_handler.h"

namespace orvalis {

namespace {

constexpr std::size_t header_bytes = 8;
constexpr std::uint8_t no_entry = 255;

// Classes of one-character words, by character code; no_entry sends the word to the hash table.
constexpr std::array<std::uint8_t, 128> make_single_char_table() {
  std::array<std::uint8_t, 128> t{};
  for (auto& e : t) e = no_entry;
  for (int c = 'a'; c <= 'z'; ++c) t[c] = 20;
  t['$'] = 0;
  t[':'] = 6;
  t[','] = 7;
  t['-'] = 7;
  t['&'] = 8;
  t['+'] = 8;
  t['a'] = 10;
  t['!'] = 14;
  t['.'] = 14;
  t[';'] = 14;
  t['?'] = 14;
  t['"'] = 24;
  t['('] = 24;
  t['<'] = 24;
  t['['] = 24;
  t['{'] = 24;
  t['i'] = 29;
  t[')'] = 35;
  t['>'] = 35;
  t[']'] = 35;
  t['}'] = 35;
  return t;
}
constexpr std::array<std::uint8_t, 128> single_char_table = make_single_char_table();

std::uint32_t read_u32(const unsigned char* p) {
  return std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16 |
         std::uint32_t(p[3]) << 24;
}

std::uint32_t read_u24(const unsigned char* p) {
  return std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16;
}

std::uint32_t hash_word(const char* word, int length) {
  std::uint32_t h = 0;
  for (int i = 0; i < length; ++i) h = static_cast<unsigned char>(word[i]) ^ (h << 3);
  return h;
}

bool is_punctuation(char ch) {
  unsigned char c = static_cast<unsigned char>(ch);
  return (c >= '!' && c <= '/') || (c >= ':' && c <= '@') || (c >= '[' && c <= '`') ||
         (c >= '{' && c <= '~');
}

bool is_lower(char c) { return c >= 'a' && c <= 'z'; }

// True when c is one of the characters of `set` (a NUL is never one of them).
bool one_of(const char* set, char c) { return c != 0 && std::strchr(set, c) != nullptr; }

// The one process-wide copy of LEXICON.DAT.
struct Static_lexicon {
  std::mutex lock;
  bool filled = false;
  std::size_t size = 0;
  unsigned char bytes[lexicon_buffer_size];
};

Static_lexicon& static_lexicon() {
  static Static_lexicon s;
  return s;
}

}  // namespace

namespace {

// The outcome of reading the file, to be reported once no lock is held (a handler that shows a
// dialog may run other work on this thread meanwhile).
struct Read_outcome {
  int ok = 0;
  Ref_string error;    // error level
  Ref_string warning;  // warning level

  int report() const {
    if (!error.empty()) report_error(error);
    if (!warning.empty()) report_warning(warning);
    return ok;
  }
};

Read_outcome read_file(const char* path, unsigned char* buffer, std::size_t capacity,
                       std::size_t& size) {
  Read_outcome outcome;
  size = 0;
  std::FILE* file = std::fopen(path, "rb");
  if (!file) {
    outcome.error =
        Ref_string(std::string("Error while opening lexicon:\n") + std::strerror(errno));
    return outcome;
  }
  std::size_t got = std::fread(buffer, 1, capacity, file);
  int read_errno = errno;
  bool failed = std::ferror(file) != 0;
  bool too_large = !failed && got == capacity && std::fgetc(file) != EOF;
  std::fclose(file);
  if (failed) {
    outcome.error =
        Ref_string(std::string("Error while opening lexicon:\n") + std::strerror(read_errno));
  } else if (too_large) {
    outcome.warning = Ref_string("Lexicon too large for static buffer of " +
                                 std::to_string(capacity) + " bytes.");
  } else {
    size = got;
    outcome.ok = 1;
  }
  return outcome;
}

}  // namespace

int read_lexicon_file(const char* path, unsigned char* buffer, std::size_t capacity,
                      std::size_t& size) {
  return read_file(path, buffer, capacity, size).report();
}

int Lexicon::load_lexicon(const char* folder) {
  Static_lexicon& s = static_lexicon();
  std::unique_lock<std::mutex> hold(s.lock);
  if (!s.filled) {
    const std::string path = std::string(folder ? folder : "") + "/LEXICON.DAT";
    Read_outcome outcome = read_file(path.c_str(), s.bytes, sizeof s.bytes, s.size);
    s.filled = outcome.ok != 0;
    hold.unlock();
    if (!outcome.report()) {
      data_ = nullptr;
      size_ = 0;
      buckets_ = 0;
      return 0;
    }
  } else {
    hold.unlock();
  }
  // Filled once and never written again: reading it needs no lock.
  return load_lexicon_bytes(s.bytes, s.size);
}

int Lexicon::load_lexicon_bytes(const unsigned char* data, std::size_t size) {
  forget_words();
  data_ = nullptr;
  size_ = 0;
  buckets_ = 0;
  if (size < header_bytes) {
    report_warning(Ref_string("Lexicon is " + std::to_string(size) +
                              " bytes long, shorter than its 8-byte header."));
    return 0;
  }
  std::uint32_t format = read_u32(data);
  if (format != 1) {
    report_warning(
        Ref_string("Lexicon format number is " + std::to_string(format) + ", expected 1."));
    return 0;
  }
  std::uint32_t buckets = read_u32(data + 4);
  if (buckets == 0 || buckets > (size - header_bytes) / 3) {
    report_warning(Ref_string("Lexicon bucket table of " + std::to_string(buckets) +
                              " buckets does not fit in its " + std::to_string(size) + " bytes."));
    return 0;
  }
  data_ = data;
  size_ = size;
  buckets_ = buckets;
  return 1;
}

int Lexicon::lookup(const char* word, int length, Class_list& out) const {
  out.count = 0;
  if (length == 1) {
    unsigned char c = static_cast<unsigned char>(word[0]);
    if (c < 128 && single_char_table[c] != no_entry) {
      out.add(single_char_table[c]);
      return 1;
    }
  }
  if (buckets_ == 0 || length < 0) return 0;
  const std::size_t n = static_cast<std::size_t>(length);
  std::size_t at = read_u24(data_ + header_bytes + 3 * (hash_word(word, length) % buckets_));
  // A chained entry takes at least 5 bytes (NUL, class byte, offset), so a longer chain than
  // this has a loop in it.
  for (std::size_t steps = size_ / 5 + 1; at != 0 && steps != 0; --steps) {
    if (at >= size_) return 0;
    const unsigned char* entry = data_ + at;
    const std::size_t room = size_ - at;
    std::size_t i;
    if (room > n && std::memcmp(entry, word, n) == 0 && entry[n] == 0) {
      // Found: up to seven plain class bytes, then the next byte's low six bits.
      i = n + 1;
      while (out.count < Class_list::max_codes - 1 && i < room && entry[i] < 128)
        out.add(entry[i++]);
      if (i >= room) {
        out.count = 0;
        return 0;
      }
      out.add(entry[i] & 0x3f);
      return 1;
    }
    // Not this word: past its NUL and class bytes to the link, if the chain goes on.
    const void* nul = std::memchr(entry, 0, room);
    if (!nul) return 0;
    i = static_cast<std::size_t>(static_cast<const unsigned char*>(nul) - entry) + 1;
    while (i < room && entry[i] < 128) ++i;
    if (i >= room || !(entry[i] & 0x40)) return 0;
    ++i;
    if (room - i < 3) return 0;
    at = read_u24(entry + i);
  }
  return 0;
}

void Lexicon::guess_classes(char* w, int& length, Class_list& out) const {
  int& L = length;
  out.count = 0;
  auto set = [&out](std::initializer_list<int> codes) {
    out.count = 0;
    for (int c : codes) out.add(c);
  };
  auto ends = [&](std::string_view s) {
    return L >= static_cast<int>(s.size()) && std::string_view(w + L - s.size(), s.size()) == s;
  };
  // Cuts `cut` characters off the copy and looks up what remains.
  auto stem = [&](int cut) {
    L -= cut;
    return lookup(w, L, out) != 0;
  };
  // The character `back` places before the end of the copy, or NUL.
  auto before = [&](int back) { return L > back ? w[L - 1 - back] : '\0'; };

  if (L <= 0) {
    set({20});
    return;
  }

  // Punctuation first: the class of its last character.
  if (is_punctuation(w[0])) {
    switch (w[L - 1]) {
      case '!':
      case '?':
      case '.':
        set({14});
        break;
      case ';':
        set({6});
        break;
      case ',':
      case ':':
        set({7});
        break;
      default:
        set({11});
    }
    return;
  }

  bool digits = true;
  for (int i = 0; i < L && digits; ++i) digits = w[i] >= '0' && w[i] <= '9';
  if (digits) {
    set({9});
    return;
  }

  switch (w[L - 1]) {
    case 'c':
      if (ends("ic")) set({0});
      break;

    case 'd':
      if (ends("'d"))
        set({2, 17});
      else if (ends("ed"))
        set({38, 0, 46});
      else if (ends("rd"))
        set({20});
      break;

    case 'e': {
      const char p = before(1);
      const char b = before(2);
      if (!is_lower(p)) {
        set({20});
        break;
      }
      switch (p) {
        case 'a':
          --L;
          set({20});
          break;
        case 'c':
          if (one_of("ein", b)) set({20});
          break;
        case 'k':
          set({b == 'i' ? 0 : 20});
          break;
        case 'l':
          set({b == 'b' ? 0 : 20});
          break;
        case 'r':
          if (one_of("atu", b)) set({20});
          break;
        case 't':
          if (b == 'a') set({38});
          break;
        case 'v':
          if (b == 'i') set({0});
          break;
        case 'z':
          set({38});
          break;
        default:
          set({20});
      }
      break;
    }

    case 'g':
      if (ends("ing")) set({30});
      break;

    case 'l':
      if (ends("al")) set({25, 30});
      break;

    case 'm':
      if (ends("ism")) set({20});
      break;

    case 'n':
      if (ends("an")) {
        set({one_of("iy", before(2)) ? 0 : 20});
      } else if (ends("en")) {
        if (stem(2) && out.contains(38)) set({38, 0, 46});
      } else if (ends("in")) {
        set({20});
      } else if (ends("ion")) {
        set({20, 30});
      }
      break;

    case 'r':
      if (ends("er")) {
        if (stem(2)) {
          const Class_list stem_codes = out;
          for (int i = 0; i < stem_codes.count; ++i) {
            if (stem_codes.codes[i] == 38) out.codes[0] = 20;
            if (stem_codes.codes[i] == 0) out.codes[0] = 0;
          }
          if (out.codes[0] == 20 || out.codes[0] == 0) out.count = 1;
        } else {
          set({20, 0});
        }
      } else if (ends("tor")) {
        set({20});
      }
      break;

    case 's': {
      if (ends("'s")) {
        set({16});
        break;
      }
      if (stem(1)) break;
      const char s1 = before(0);  // the letter the s followed
      if (s1 == 'e') {
        const char s2 = before(1);  // the letter before "es"
        if (one_of("cklr", s2)) {
          set({20});
        } else if (s2 == 'z') {
          set({38});
        } else if (!stem(1)) {
          if (s2 == 'i') {
            w[L - 1] = 'y';
            if (!lookup(w, L, out)) set({20, 38});
          } else {
            if (!one_of("shzx", s2)) ++L;
            set({20});
          }
        }
      } else if (one_of("mdnrkt", s1)) {
        set({20});
      } else if (one_of("aiou", s1)) {
        ++L;
        set({20});
      } else if (s1 == 's' && before(1) == 'e') {
        set({20});
      } else {
        ++L;
      }
      break;
    }

    case 't':
      if (ends("ent"))
        set({20, 30});
      else if (ends("ught"))
        set({38, 46});
      break;

    case 'y':
      if (ends("cy") || ends("gy") || ends("ty"))
        set({20});
      else if (ends("ify"))
        set({38});
      else if (ends("ly") && before(2) != 'u')
        set({1});
      break;

    case '.':
      stem(1);
      break;

    case '\'':
      // A plural's possessive ("parents'"); other words ending in an apostrophe stay nouns.
      if (ends("s'")) set({16});
      break;
  }

  if (out.count == 0) set({20});
}

void Lexicon::forget_words() {
  if (memo_used_ == 0) return;
  memo_used_ = 0;
  if (++generation_ == 0) {  // after 2^32 pages: start the slots afresh
    for (std::size_t i = 0; i < memo_slots; ++i) memo_[i].generation = 0;
    generation_ = 1;
  }
}

int Lexicon::classify(const char* word, int length, Class_list& out) {
  const int found = codes_of(word, length, out);
  if (!found) ++unknown_;
  return found;
}

int Lexicon::codes_of(const char* word, int length, Class_list& out) {
  if (length < 0) length = 0;
  if (length == 0 || length > memo_word) return classify_now(word, length, out);
  if (!memo_) memo_ = std::make_unique<Memo_entry[]>(memo_slots);
  std::uint32_t h = 2166136261u;
  for (int i = 0; i < length; ++i) h = (h ^ static_cast<unsigned char>(word[i])) * 16777619u;
  for (std::size_t i = h & (memo_slots - 1);; i = (i + 1) & (memo_slots - 1)) {
    Memo_entry& e = memo_[i];
    if (e.generation != generation_) {
      const int found = classify_now(word, length, out);
      if (memo_used_ < memo_slots / 2) {
        e.generation = generation_;
        e.length = static_cast<std::uint8_t>(length);
        e.found = static_cast<std::uint8_t>(found);
        std::memcpy(e.word, word, static_cast<std::size_t>(length));
        e.codes = out;
        ++memo_used_;
      }
      return found;
    }
    if (e.length == length && std::memcmp(e.word, word, static_cast<std::size_t>(length)) == 0) {
      out = e.codes;
      return e.found;
    }
  }
}

int Lexicon::classify_now(const char* word, int length, Class_list& out) {
  if (lookup(word, length, out)) return 1;
  char local[64];
  std::string heap;
  char* copy = local;
  if (static_cast<std::size_t>(length) > sizeof local) {
    heap.assign(word, static_cast<std::size_t>(length));
    copy = heap.data();
  } else if (length > 0) {
    std::memcpy(local, word, static_cast<std::size_t>(length));
  }
  int n = length;
  guess_classes(copy, n, out);
  return 0;
}

}  // namespace orvalis
