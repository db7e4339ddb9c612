// Ref_vector<T> is a shared array whose element count is fixed when it is made. Copies share
// the block; to grow, make a larger vector and copy the elements over. A bad index throws
// Vector_index_out_of_range. Not thread-safe, like every shared engine value.
#pragma once

#include <cstdint>
#include <memory>

#include "foundation/counted_object.h"

namespace orvalis {

// Thrown, with no message, for an index outside a Ref_vector.
struct Vector_index_out_of_range {};

template <class T>
class Ref_vector {
  struct Block : Counted_object {
    explicit Block(std::int32_t n)
        : items(new T[n > 1 ? n : 1]()), count(n > 0 ? n : 0) {}
    std::unique_ptr<T[]> items;
    std::int32_t count;
  };

 public:
  explicit Ref_vector(std::int32_t count = 0) : b_(make_counted<Block>(count)) {}

  std::int32_t count() const noexcept { return b_->count; }
  T& operator[](std::int32_t i) const {
    if (i < 0 || i >= b_->count) throw Vector_index_out_of_range{};
    return b_->items[i];
  }
  T& at(std::int32_t i) const { return (*this)[i]; }
  void set(std::int32_t i, T value) const { (*this)[i] = std::move(value); }

  T* begin() const noexcept { return b_->items.get(); }
  T* end() const noexcept { return b_->items.get() + b_->count; }

 private:
  Counted_handle<Block> b_;
};

}  // namespace orvalis
