// Subtopic_store is the database side of organizing a topic by content: it reads the key terms
// of a topic's documents, and makes the subtopics the user picked, moving their documents.
//
// Making subtopics is all or nothing, in one transaction: each new topic is added with its
// name and search terms, the parent's category and schedules (so it is searched and summarized
// as its parent was), marked as a topic of the user's own, and related to the parent ("~" from
// the parent, "@" back: a specific kind of it). Each document it takes is linked to it with the
// finder and relevance of the document's link to the parent. Then every document that some new
// subtopic took is removed from the parent once (its link marked removed, not deleted), and the
// parent is saved as modified. A document whose link to the parent was removed meanwhile is
// neither taken nor removed again.
//
// Errors are handed to report_db_error; the operation then changes nothing and returns its
// empty result. Thread: the user-interface thread. REQUIRES: the database and the topic store
// outlive this store.
#pragma once

#include <cstdint>
#include <vector>

#include "database/database.h"
#include "database/topic_store.h"

namespace orvalis {

// A document of a topic with the key terms stored in its summary.
struct Document_key_terms {
  std::int32_t url_id = 0;
  Ref_list<Ref_string> key_terms;
};

// A subtopic to make, with the documents it takes from its parent.
struct New_subtopic {
  Ref_string name;
  Ref_list<Ref_string> terms;
  std::vector<std::int32_t> url_ids;
};

class Subtopic_store {
 public:
  explicit Subtopic_store(Database& db = Database::shared(),
                          Topic_store& topics = Topic_store::shared())
      : db_(db), topics_(topics) {}

  // The documents linked live to the topic that have key terms, in link order. `ok` is false
  // after an error (reported).
  std::vector<Document_key_terms> key_terms_of_topic(std::int32_t concept_id, bool& ok);

  // Makes the subtopics of `parent` in the order given (see above); returns them, or nothing
  // after an error. `parent` is saved with time_last_modified set to now.
  std::vector<Topic_handle> make_subtopics(Topic& parent, const std::vector<New_subtopic>& subtopics);

 private:
  Database& db_;
  Topic_store& topics_;
};

}  // namespace orvalis
