// Term_table maps a term (a word or a phrase, lower-case) to a whole-number weight: the
// summarizer counts noun phrases in it and scores sentences against it, and organizing by
// content compares pages through it. Terms are found through an open-addressing index that
// grows with them; pairs() lists them as 37 buckets chosen by the engine's string hash
// (hash_text) would, bucket by bucket and in the order they came within a bucket, an order
// that breaks ties between equal weights.
// A plain value owned by one analysis; one thread.
#pragma once

#include <cstdint>
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
  int count() const { return static_cast<int>(entries_.size()); }
  // Every (term, weight) pair, bucket by bucket.
  std::vector<Term_weight> pairs() const;

 private:
  static int bucket_of(std::string_view term);
  static std::uint32_t hash_of(std::string_view term);
  const Term_weight* find(std::string_view term) const;
  const Term_weight* find(std::string_view term, std::uint32_t hash) const;  // hash: hash_of(term)
  Term_weight* find(std::string_view term);
  void insert(Ref_string term, std::uint32_t hash, int weight);

  std::vector<Term_weight> entries_;    // in the order they came
  std::vector<std::uint32_t> hashes_;   // hash_of each entry
  std::vector<std::uint32_t> slots_;    // index in entries_ + 1, or 0
};

}  // namespace orvalis
