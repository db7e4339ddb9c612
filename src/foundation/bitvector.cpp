#include "foundation/bitvector.h"

#include "foundation/error_handler.h"

namespace orvalis {

void Bitvector::check(int i) {
  if (i < 0 || i > 255) {
    report_error("Bitvector index too large.");
    throw Bitvector_exception{};
  }
}

void Bitvector::set(int i) {
  check(i);
  words_[i / 32] |= 1u << (i % 32);
}

void Bitvector::clear(int i) {
  check(i);
  words_[i / 32] &= ~(1u << (i % 32));
}

int Bitvector::test(int i) const {
  check(i);
  return (words_[i / 32] >> (i % 32)) & 1u;
}

int Bitvector::first() const {
  for (int w = 0; w < 8; ++w)
    if (words_[w]) return w * 32 + __builtin_ctz(words_[w]);
  return -1;
}

bool Bitvector::any() const { return first() >= 0; }

}  // namespace orvalis
