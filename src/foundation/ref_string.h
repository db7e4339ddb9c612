// Ref_string is the engine's 8-bit text: one pointer to a heap block holding the length, the
// capacity, a reference count and the zero-terminated characters. Copies share the block; a
// block that is shared is never written, every change first makes a private block (copy on
// write). A fresh block always has exactly 10 bytes of slack (capacity = length + 10), and a
// string that outgrows its block moves to a fresh block of exactly new length + 10: short
// appends stay in place, and capacities are predictable.
// Text is bytes (UTF-8 in practice); a string cannot usefully hold a zero byte.
// Reference counts are plain integers: a string and its copies belong to one thread.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <string>
#include <string_view>

#include "foundation/ref_list.h"

namespace orvalis {

class Ref_string {
 public:
  // Empty string: length 0, capacity 10.
  Ref_string();
  // A copy of a zero-terminated text (null gives the empty string).
  Ref_string(const char* text);
  // The first n bytes of `buffer`. REQUIRES: they hold no zero byte.
  Ref_string(const char* buffer, int n);
  // Characters first..last of `text` inclusive; empty when last < first.
  Ref_string(const char* text, int first, int last);
  explicit Ref_string(std::string_view text);
  explicit Ref_string(const std::string& text) : Ref_string(std::string_view(text)) {}

  // n copies of ch.
  static Ref_string fill(char ch, int n);
  // Decimal text of a whole number, "-" first for negatives.
  static Ref_string number(long long value);
  // The string table's text under `id`; empty when there is none.
  static Ref_string from_id(int id);

  Ref_string(const Ref_string& o) noexcept;
  Ref_string& operator=(const Ref_string& o) noexcept;
  ~Ref_string();

  const char* c_str() const noexcept { return rep_->chars; }
  int length() const noexcept { return rep_->length; }
  bool empty() const noexcept { return rep_->length == 0; }
  int capacity() const noexcept { return static_cast<int>(rep_->capacity); }
  int share_count() const noexcept { return static_cast<int>(rep_->refs); }
  std::string_view view() const noexcept { return {rep_->chars, static_cast<size_t>(rep_->length)}; }
  std::string str() const { return std::string(view()); }
  char operator[](int i) const noexcept { return rep_->chars[i]; }

  // Leading white space, an optional sign and the decimal digits after it; 0 when none.
  int to_int() const;
  // True when empty or made only of white space.
  bool is_blank() const;

  // Appends in place when the block is unshared and has room, else moves to a fresh block.
  Ref_string& operator+=(const Ref_string& s) { return append(s.c_str(), s.length()); }
  Ref_string& operator+=(const char* text);
  Ref_string& operator+=(char ch) { return append(&ch, 1); }
  Ref_string& append(const char* bytes, int n);

  // Stores ch at index i (0 <= i < length), copying a shared block first. Returns ch.
  char set(int i, char ch);

  // Derived strings: a new value; the operand is unchanged and shared when nothing changes.
  Ref_string lower() const;
  Ref_string replace(char ch, char by) const;
  Ref_string remove_chars(const char* set) const;

  // In place: every "&" becomes "&&" (for menus and labels, where "&" marks a shortcut).
  void double_ampersands();
  // In place: HTML character references are replaced by their characters (UTF-8).
  void decode_entities();

  // Index of the first occurrence of ch or of text at or after `from`; -1 when none.
  int find(char ch, int from = 0) const;
  int find(const char* text, int from = 0) const;
  bool starts_with(std::string_view prefix) const { return view().starts_with(prefix); }
  bool ends_with(std::string_view suffix) const { return view().ends_with(suffix); }
  // Characters [first, first + n) clipped to the string.
  Ref_string mid(int first, int n = -1) const;

  // Number of times, on this thread, that a string outgrew its block and moved to a fresh one.
  static std::uint64_t block_moves() noexcept;

  friend bool operator==(const Ref_string& a, const Ref_string& b) noexcept;
  friend bool operator==(const Ref_string& a, const char* b) noexcept;
  friend bool operator<(const Ref_string& a, const Ref_string& b) noexcept;
  friend bool operator>(const Ref_string& a, const Ref_string& b) noexcept { return b < a; }

 private:
  struct Rep {
    std::int32_t length;
    std::uint32_t capacity;
    std::uint32_t refs;
    char chars[];  // capacity bytes, zero-terminated
  };
  explicit Ref_string(Rep* rep) noexcept : rep_(rep) {}
  static Rep* fresh(int length);
  static void drop(Rep* rep) noexcept;
  // Makes the block private (copy of the same length, fresh slack) when it is shared.
  void make_private();
  friend Ref_string concat(std::string_view a, std::string_view b, std::string_view c,
                           std::string_view d);

  Rep* rep_;
};

// a + b always builds a fresh block of the summed length and leaves both operands untouched.
Ref_string operator+(const Ref_string& a, const Ref_string& b);
Ref_string operator+(const char* a, const Ref_string& b);
Ref_string operator+(const Ref_string& a, const char* b);
Ref_string operator+(const Ref_string& a, char b);
// Chains of up to four texts built in one fresh block.
Ref_string concat(std::string_view a, std::string_view b, std::string_view c = {},
                  std::string_view d = {});

std::ostream& operator<<(std::ostream& out, const Ref_string& s);

// Bucket of `s` in a table of n buckets (n > 0): h = (h << 3) ^ c over signed bytes.
int hash(const Ref_string& s, int n);
int hash_text(const char* text, int n);

// The pieces of s between occurrences of ch, empty ones included; the empty string gives none.
Ref_list<Ref_string> split(const Ref_string& s, char ch);
// The items with `separator` between neighbours.
Ref_string join(const Ref_list<Ref_string>& items, const Ref_string& separator);

// Fills "%0".."%9" in `pattern` with items of `args` (nothing for a missing item).
Ref_string format_args(const Ref_string& pattern, const Ref_list<Ref_string>& args);
Ref_string format_args(const Ref_string& pattern, const Ref_string& a0,
                       const Ref_string& a1 = Ref_string(), const Ref_string& a2 = Ref_string());

// Looks for a file called `name` in `directory` (and, when asked, its subfolders, depth first).
// Match mode 0 compares whole lower-cased names. Match mode 1 compares the first
// (length of name - 1) lower-cased characters of each entry with the whole name, which never
// holds, so mode 1 finds nothing; its one caller then takes its "not found" path.
// Returns directory + "/" + entry name, or the empty string.
Ref_string find_file(const Ref_string& directory, const Ref_string& name, bool search_subfolders,
                     int match_mode);

}  // namespace orvalis
