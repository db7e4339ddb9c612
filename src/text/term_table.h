// Term_table maps a term (a word or a phrase, lower-case) to a whole-number weight: the
// summarizer counts noun phrases in it and scores sentences against it, and organizing by
// content compares pages through it. 37 buckets, chained; a bucket is chosen by the engine's
// string hash (hash_text).
// A plain value owned by one analysis; one thread.
#pragma once

#include <string_view>
#include <vector>

#include "foundation/ref_string.h"

namespace orvalis {

struct Term_weight {
  Ref_string term;
  int weight;
};

class Term_table {
 public:
  static constexpr int bucket_count = 37;

  // Sets the term's weight, adding the term when absent.
  void set(const Ref_string& term, int weight);
  // Adds `delta` to the term's weight; a new term starts at `delta`.
  void add(std::string_view term, int delta = 1);
  bool contains(std::string_view term) const { return find(term) != nullptr; }
  // The term's weight, 0 when absent.
  int weight(std::string_view term) const;
  int count() const { return count_; }
  // Every (term, weight) pair, bucket by bucket.
  std::vector<Term_weight> pairs() const;

 private:
  static int bucket_of(std::string_view term);
  const Term_weight* find(std::string_view term) const;
  Term_weight* find(std::string_view term);

  std::vector<Term_weight> buckets_[bucket_count];
  int count_ = 0;
};

}  // namespace orvalis
