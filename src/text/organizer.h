// Organizer proposes subtopics for a topic from what its documents are about, and plans the
// subtopics the user picks. It works only on stored data: the key terms the summarizer kept for
// each document (its summary, one term per line); a document never summarized contributes
// nothing.
//
// Proposals: every word of more than 3 characters in the key terms is counted; of the 24 most
// frequent (ties by byte order), each counted at least 3 times becomes a candidate. A candidate
// is refined into the longest phrase its documents share often enough: the words just before and
// just after each occurrence of the label in a key term are counted, and the label grows by the
// most frequent one while that occurs at least twice; a longer label is kept only when it still
// counts 3 or more, or as many as the step before it. Labels that begin or end with "of", that
// repeat an earlier proposal, or that equal the topic's own name (lower-cased) are dropped; the
// rest are listed in byte order of their labels.
//
// A label covers a document when one of the document's key terms holds the label's words in
// sequence. A picked label becomes a subtopic named by the label, or "<topic> and <label>" when
// the new topics inherit the parent's search terms; its terms are then each parent term followed
// by the label, else the label alone.
//
// Words are interned once, so the refine walks (up to 24 candidates, each a few levels deep) are
// scans over integer arrays: a topic of 10,000 documents is organized well within a second.
// A plain value; one thread.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "foundation/ref_list.h"
#include "foundation/ref_string.h"

namespace orvalis {

// One document of the organized topic with its stored key terms.
struct Organizer_document {
  std::int32_t url_id = 0;
  Ref_list<Ref_string> key_terms;
};

struct Organize_proposal {
  Ref_string label;  // one or more words, lower-case as the key terms are
  int count = 0;     // occurrences of the label in the key terms
  bool operator==(const Organize_proposal& o) const { return label == o.label && count == o.count; }
};

// One subtopic to make: its name and search terms, and the documents it takes.
struct Subtopic_plan {
  Ref_string label;
  Ref_string name;
  Ref_list<Ref_string> terms;
  std::vector<std::int32_t> url_ids;
};

class Organizer {
 public:
  // At most this many of the most frequent words become candidates.
  static constexpr int max_candidates = 24;
  // A word counted fewer times ends the candidates.
  static constexpr int min_candidate_count = 3;

  explicit Organizer(const std::vector<Organizer_document>& documents);

  // The proposals for a topic called `topic_name`, by label in byte order.
  std::vector<Organize_proposal> proposals(const Ref_string& topic_name) const;
  // The documents whose key terms hold the label's words in sequence, in document order.
  std::vector<std::int32_t> documents_covered(const Ref_string& label) const;
  // The subtopics for the picked labels (a label picked twice counts once), in the order given.
  std::vector<Subtopic_plan> plan(const std::vector<Ref_string>& labels, bool inherit,
                                  const Ref_string& parent_name,
                                  const Ref_list<Ref_string>& parent_terms) const;

 private:
  using Label = std::vector<int>;
  struct Scored {
    Label label;
    int count;
  };

  int intern(std::string_view word);
  // The label's word ids; empty when one of its words never occurs.
  Label words_of(const Ref_string& label) const;
  Ref_string text_of(const Label& label) const;
  Scored refine(const Label& label, int count) const;
  // Calls found(position) for each occurrence of `label` inside one key term.
  template <class Found>
  void for_each_occurrence(const Label& label, Found found) const;

  std::unordered_map<std::string, int> ids_;
  std::vector<const std::string*> words_;  // by id: the map's keys, which stay where they are
  // Every key term's word ids, terms separated by -1 (so no occurrence spans two terms).
  std::vector<int> tokens_;
  // Document i's terms are tokens_[doc_start_[i], doc_start_[i + 1]).
  std::vector<std::size_t> doc_start_;
  std::vector<std::int32_t> url_ids_;
};

}  // namespace orvalis
