// Bitvector is a set of the numbers 0..255 in eight 32-bit words (bit i in word i / 32 at
// position i % 32). An index outside 0..255 reports "Bitvector index too large." and throws
// Bitvector_exception.
#pragma once

#include <cstdint>

namespace orvalis {

// Thrown, with no message, for a bit number outside 0..255.
struct Bitvector_exception {};

class Bitvector {
 public:
  Bitvector() = default;
  void set(int i);
  void clear(int i);
  // 1 when bit i is on, else 0.
  int test(int i) const;
  // The lowest bit that is on, or -1.
  int first() const;
  bool any() const;
  std::uint32_t word(int w) const { return words_[w & 7]; }

 private:
  static void check(int i);
  std::uint32_t words_[8] = {};
};

}  // namespace orvalis
