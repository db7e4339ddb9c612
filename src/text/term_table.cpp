#include "text/term_table.h"

namespace orvalis {

// The same function as hash_text, over a view (terms are built without a terminating zero).
int Term_table::bucket_of(std::string_view term) {
  std::uint32_t h = 0;
  for (char ch : term) {
    if (ch == 0) break;
    h = (h << 3) ^ static_cast<std::uint32_t>(static_cast<std::int32_t>(static_cast<signed char>(ch)));
  }
  return static_cast<int>((h & 0x7FFFFFFFu) % bucket_count);
}

std::uint32_t Term_table::hash_of(std::string_view term) {
  std::uint32_t h = 2166136261u;
  for (char ch : term) h = (h ^ static_cast<unsigned char>(ch)) * 16777619u;
  return h;
}

const Term_weight* Term_table::find(std::string_view term) const {
  return find(term, hash_of(term));
}

const Term_weight* Term_table::find(std::string_view term, std::uint32_t h) const {
  if (slots_.empty()) return nullptr;
  const size_t mask = slots_.size() - 1;
  for (size_t i = h & mask; slots_[i] != 0; i = (i + 1) & mask) {
    const std::uint32_t k = slots_[i] - 1;
    if (hashes_[k] == h && entries_[k].term.view() == term) return &entries_[k];
  }
  return nullptr;
}

Term_weight* Term_table::find(std::string_view term) {
  return const_cast<Term_weight*>(static_cast<const Term_table*>(this)->find(term));
}

void Term_table::insert(Ref_string term, std::uint32_t hash, int weight) {
  if ((entries_.size() + 1) * 2 > slots_.size()) {
    std::vector<std::uint32_t> slots(slots_.empty() ? 64 : slots_.size() * 2, 0);
    const size_t mask = slots.size() - 1;
    for (std::uint32_t k = 0; k < entries_.size(); ++k) {
      size_t i = hashes_[k] & mask;
      while (slots[i] != 0) i = (i + 1) & mask;
      slots[i] = k + 1;
    }
    slots_.swap(slots);
  }
  const size_t mask = slots_.size() - 1;
  size_t i = hash & mask;
  while (slots_[i] != 0) i = (i + 1) & mask;
  entries_.push_back({std::move(term), weight});
  hashes_.push_back(hash);
  slots_[i] = static_cast<std::uint32_t>(entries_.size());
}

void Term_table::set(const Ref_string& term, int weight) {
  if (Term_weight* e = find(term.view())) {
    e->weight = weight;
    return;
  }
  insert(term, hash_of(term.view()), weight);
}

void Term_table::add(std::string_view term, int delta) {
  const std::uint32_t h = hash_of(term);
  if (const Term_weight* e = find(term, h)) {
    const_cast<Term_weight*>(e)->weight += delta;
    return;
  }
  insert(Ref_string(term), h, delta);
}

int Term_table::weight(std::string_view term) const {
  const Term_weight* e = find(term);
  return e ? e->weight : 0;
}

std::vector<Term_weight> Term_table::pairs() const {
  // Bucket by bucket, in the order the terms came within each.
  std::vector<std::uint8_t> bucket(entries_.size());
  size_t start[bucket_count + 1] = {};
  for (size_t k = 0; k < entries_.size(); ++k) {
    bucket[k] = static_cast<std::uint8_t>(bucket_of(entries_[k].term.view()));
    ++start[bucket[k] + 1];
  }
  for (int b = 0; b < bucket_count; ++b) start[b + 1] += start[b];
  std::vector<Term_weight> out(entries_.size());
  for (size_t k = 0; k < entries_.size(); ++k) out[start[bucket[k]]++] = entries_[k];
  return out;
}

}  // namespace orvalis
