#include "text/term_table.h"

#include <cstdint>

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

const Term_weight* Term_table::find(std::string_view term) const {
  for (const Term_weight& e : buckets_[bucket_of(term)])
    if (e.term.view() == term) return &e;
  return nullptr;
}

Term_weight* Term_table::find(std::string_view term) {
  return const_cast<Term_weight*>(static_cast<const Term_table*>(this)->find(term));
}

void Term_table::set(const Ref_string& term, int weight) {
  if (Term_weight* e = find(term.view())) {
    e->weight = weight;
    return;
  }
  buckets_[bucket_of(term.view())].push_back({term, weight});
  ++count_;
}

void Term_table::add(std::string_view term, int delta) {
  if (Term_weight* e = find(term)) {
    e->weight += delta;
    return;
  }
  buckets_[bucket_of(term)].push_back({Ref_string(term), delta});
  ++count_;
}

int Term_table::weight(std::string_view term) const {
  const Term_weight* e = find(term);
  return e ? e->weight : 0;
}

std::vector<Term_weight> Term_table::pairs() const {
  std::vector<Term_weight> out;
  out.reserve(static_cast<size_t>(count_));
  for (const auto& bucket : buckets_)
    for (const Term_weight& e : bucket) out.push_back(e);
  return out;
}

}  // namespace orvalis
