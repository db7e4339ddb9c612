// Ref_list<T> is the engine's shared doubly linked list. Copies of a Ref_list value share one
// list header (reference semantics: an item appended through one copy is seen through all);
// the nodes are freed, items destroyed first, when the last copy lets go. Items are held by
// value. Reading item i walks i links from the front; a bad index throws LIST_BOUNDS_ERROR.
// Not thread-safe: a list and its copies belong to one thread, or are guarded by a lock.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <iterator>
#include <utility>

namespace orvalis {

// Thrown, with no message, for an index outside a Ref_list.
struct LIST_BOUNDS_ERROR {};

template <class T>
class Ref_list {
  struct Node {
    T item;
    Node* prev;
    Node* next;
  };
  struct Header {
    Node* first = nullptr;
    Node* last = nullptr;
    std::int32_t count = 0;
    std::int32_t refs = 1;
  };

 public:
  class iterator {
   public:
    using iterator_category = std::bidirectional_iterator_tag;
    using value_type = T;
    using difference_type = std::ptrdiff_t;
    using pointer = T*;
    using reference = T&;

    iterator() = default;
    T& operator*() const { return node_->item; }
    T* operator->() const { return &node_->item; }
    iterator& operator++() {
      node_ = node_->next;
      return *this;
    }
    iterator operator++(int) {
      iterator old = *this;
      node_ = node_->next;
      return old;
    }
    iterator& operator--() {
      node_ = node_ ? node_->prev : header_->last;
      return *this;
    }
    bool operator==(const iterator& o) const { return node_ == o.node_; }

   private:
    friend class Ref_list;
    iterator(Header* h, Node* n) : header_(h), node_(n) {}
    Header* header_ = nullptr;
    Node* node_ = nullptr;
  };
  using const_iterator = iterator;

  Ref_list() : h_(new Header) {}
  Ref_list(std::initializer_list<T> items) : h_(new Header) {
    for (const T& item : items) append(item);
  }
  Ref_list(const Ref_list& o) noexcept : h_(o.h_) { ++h_->refs; }
  Ref_list& operator=(const Ref_list& o) noexcept {
    // Take the new header first, then let go of the old one: self-assignment is safe.
    Header* old = h_;
    h_ = o.h_;
    ++h_->refs;
    release(old);
    return *this;
  }
  ~Ref_list() { release(h_); }

  void append(const T& item) { link_back(new Node{item, nullptr, nullptr}); }
  void append(T&& item) { link_back(new Node{std::move(item), nullptr, nullptr}); }
  // Inserts before `pos` (at the end when pos is end()); returns the new item's position.
  iterator insert(iterator pos, T item) {
    if (!pos.node_) {
      append(std::move(item));
      return iterator(h_, h_->last);
    }
    Node* at = pos.node_;
    Node* n = new Node{std::move(item), at->prev, at};
    if (at->prev)
      at->prev->next = n;
    else
      h_->first = n;
    at->prev = n;
    ++h_->count;
    return iterator(h_, n);
  }
  void prepend(T item) { insert(begin(), std::move(item)); }

  std::int32_t count() const noexcept { return h_->count; }
  bool empty() const noexcept { return h_->count == 0; }

  // Item i (0 <= i < count), found by walking from the first node.
  T& at(std::int32_t i) const {
    if (i < 0) throw LIST_BOUNDS_ERROR{};
    Node* n = h_->first;
    while (n && i > 0) {
      n = n->next;
      --i;
    }
    if (!n) throw LIST_BOUNDS_ERROR{};
    return n->item;
  }
  T& operator[](std::int32_t i) const { return at(i); }
  T& first() const { return at(0); }
  T& last() const {
    if (!h_->last) throw LIST_BOUNDS_ERROR{};
    return h_->last->item;
  }

  iterator begin() const noexcept { return iterator(h_, h_->first); }
  iterator end() const noexcept { return iterator(h_, nullptr); }

  // Unlinks and frees the node at `pos`; the walk continues at the returned successor.
  iterator remove(iterator pos) {
    Node* n = pos.node_;
    if (!n) throw LIST_BOUNDS_ERROR{};
    Node* next = n->next;
    unlink(n);
    delete n;
    return iterator(h_, next);
  }
  // Removes the first item equal to `item`; true when one was found.
  bool remove_item(const T& item) {
    for (auto it = begin(); it != end(); ++it)
      if (*it == item) {
        remove(it);
        return true;
      }
    return false;
  }
  // Moves the first item out of the list and frees its node. REQUIRES: !empty().
  T take_first() {
    Node* n = h_->first;
    if (!n) throw LIST_BOUNDS_ERROR{};
    T item = std::move(n->item);
    unlink(n);
    delete n;
    return item;
  }
  bool contains(const T& item) const {
    for (const T& x : *this)
      if (x == item) return true;
    return false;
  }
  // Frees every node; the header (and so every copy) stays, now empty.
  void clear() { free_nodes(h_); }
  // True when both values share one header.
  bool same_list(const Ref_list& o) const noexcept { return h_ == o.h_; }

 private:
  void link_back(Node* n) {
    n->prev = h_->last;
    if (h_->last)
      h_->last->next = n;
    else
      h_->first = n;
    h_->last = n;
    ++h_->count;
  }
  void unlink(Node* n) {
    if (n->prev)
      n->prev->next = n->next;
    else
      h_->first = n->next;
    if (n->next)
      n->next->prev = n->prev;
    else
      h_->last = n->prev;
    --h_->count;
  }
  static void free_nodes(Header* h) {
    Node* n = h->first;
    h->first = h->last = nullptr;
    h->count = 0;
    while (n) {
      Node* next = n->next;
      delete n;
      n = next;
    }
  }
  static void release(Header* h) noexcept {
    if (--h->refs == 0) {
      free_nodes(h);
      delete h;
    }
  }

  Header* h_;
};

}  // namespace orvalis
