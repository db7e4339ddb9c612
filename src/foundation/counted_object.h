// Counted_object is the base of engine objects shared through Counted_handle values: a virtual
// destructor and a plain reference count that starts at 0. A handle adds one reference when it
// takes the object and, when it lets go of the last one, deletes the object through the virtual
// destructor. Counts are not atomic: an object and its handles belong to one thread at a time.
// The one hand-over between threads (the background job queue) moves handles without touching
// the count. REQUIRES: objects are made on the heap (make_counted) and only handles delete them.
#pragma once

#include <cstdint>
#include <utility>

namespace orvalis {

class Counted_object {
 public:
  Counted_object() = default;
  Counted_object(const Counted_object&) : refs_(0) {}
  Counted_object& operator=(const Counted_object&) { return *this; }
  virtual ~Counted_object() = default;

  void add_ref() noexcept { ++refs_; }
  // Drops one reference; deletes the object when it was the last.
  void release() noexcept {
    if (--refs_ == 0) delete this;
  }
  std::int32_t ref_count() const noexcept { return refs_; }

 private:
  std::int32_t refs_ = 0;
};

template <class T>
class Counted_handle {
 public:
  Counted_handle() noexcept = default;
  Counted_handle(std::nullptr_t) noexcept {}
  explicit Counted_handle(T* p) noexcept : p_(p) {
    if (p_) p_->add_ref();
  }
  Counted_handle(const Counted_handle& o) noexcept : p_(o.p_) {
    if (p_) p_->add_ref();
  }
  Counted_handle(Counted_handle&& o) noexcept : p_(std::exchange(o.p_, nullptr)) {}
  template <class U>
  Counted_handle(const Counted_handle<U>& o) noexcept : p_(o.get()) {
    if (p_) p_->add_ref();
  }
  template <class U>
  Counted_handle(Counted_handle<U>&& o) noexcept : p_(o.detach()) {}
  ~Counted_handle() {
    if (p_) p_->release();
  }

  Counted_handle& operator=(const Counted_handle& o) noexcept {
    // Take the new object first, then let go of the old one: self-assignment is safe.
    if (o.p_) o.p_->add_ref();
    T* old = std::exchange(p_, o.p_);
    if (old) old->release();
    return *this;
  }
  Counted_handle& operator=(Counted_handle&& o) noexcept {
    if (this != &o) {
      T* old = std::exchange(p_, std::exchange(o.p_, nullptr));
      if (old) old->release();
    }
    return *this;
  }
  Counted_handle& operator=(std::nullptr_t) noexcept {
    reset();
    return *this;
  }

  void reset() noexcept {
    if (T* old = std::exchange(p_, nullptr)) old->release();
  }
  // Gives up the pointer without releasing it (the caller now owns that reference).
  T* detach() noexcept { return std::exchange(p_, nullptr); }

  T* get() const noexcept { return p_; }
  T* operator->() const noexcept { return p_; }
  T& operator*() const noexcept { return *p_; }
  explicit operator bool() const noexcept { return p_ != nullptr; }

  template <class U>
  bool operator==(const Counted_handle<U>& o) const noexcept {
    return p_ == o.get();
  }
  bool operator==(std::nullptr_t) const noexcept { return p_ == nullptr; }
  bool operator==(const T* p) const noexcept { return p_ == p; }

 private:
  T* p_ = nullptr;
};

template <class T, class... Args>
Counted_handle<T> make_counted(Args&&... args) {
  return Counted_handle<T>(new T(std::forward<Args>(args)...));
}

// A handle of a derived type from a handle of a base type; null when the object is not a T.
template <class T, class U>
Counted_handle<T> handle_cast(const Counted_handle<U>& h) {
  return Counted_handle<T>(dynamic_cast<T*>(h.get()));
}

}  // namespace orvalis
