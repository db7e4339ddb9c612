// Document is one row of url_master in memory: a web document found for one or more topics,
// known by its address, with what the summarizer learned of it and the user's note.
// Document_link is one row of concept_urls: a document's membership of a topic, who found it,
// whether it is relevant, and whether the user removed it (date_deleted set).
// Documents are shared through Counted_handle values. Thread: the user-interface thread, or the
// background worker while a summarize job holds the document (never both at once).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "database/db_date.h"
#include "foundation/counted_object.h"
#include "foundation/ref_list.h"
#include "foundation/ref_string.h"

namespace orvalis {

class Document : public Counted_object {
 public:
  Document() = default;
  // Every field at once: a list of 10,000 documents is built without first making each field's
  // empty value.
  Document(std::int32_t url_id, Ref_string address, Ref_string title, std::int32_t size,
           Db_date time_last_retrieved, std::uint8_t timeout_count, std::int32_t num_anchors,
           std::int32_t num_images, Ref_list<Ref_string> abstract, Ref_list<Ref_string> summary,
           Ref_string annotation)
      : url_id(url_id),
        address(address),
        title(title),
        size(size),
        time_last_retrieved(time_last_retrieved),
        timeout_count(timeout_count),
        num_anchors(num_anchors),
        num_images(num_images),
        abstract(abstract),
        summary(summary),
        annotation(annotation) {}

  std::int32_t url_id = 0;  // 0 until the document is filled from a row
  Ref_string address;
  Ref_string title;
  std::int32_t size = 0;
  Db_date time_last_retrieved;
  std::uint8_t timeout_count = 0;
  std::int32_t num_anchors = 0;
  std::int32_t num_images = 0;
  Ref_list<Ref_string> abstract;  // sentences
  Ref_list<Ref_string> summary;   // sentences
  Ref_string annotation;

  bool is_filled() const { return url_id != 0; }
};

using Document_handle = Counted_handle<Document>;

struct Document_link {
  std::int32_t concept_id = 0;
  std::int32_t url_id = 0;
  Ref_string query;            // the query text that found the document
  Ref_string search_resource;  // the name of the search resource that found it
  std::int32_t relevant = 0;   // 0: not relevant
  Db_date date_created;        // set by the database when the link is made
  Db_date date_deleted;        // null while the link is live
  std::int32_t rating = 0;
  std::int32_t num_votes = 0;

  bool is_removed() const { return !date_deleted.is_null(); }
};

// One document of a topic, with its link; relevant when the link is live and marked relevant.
struct Topic_document {
  Document_handle document;
  Document_link link;
  bool relevant = false;
  bool operator==(const Topic_document& o) const { return document == o.document; }
};

// The stored form of a list of sentences: joined with a line feed between neighbours.
Ref_string join_sentences(const Ref_list<Ref_string>& sentences);
// Back from the stored form: split at every line feed (empty text: no sentences).
Ref_list<Ref_string> split_sentences(std::string_view stored);
// The stored form of sentences written with a page's character references ("AT&amp;T"), as
// text: each sentence decoded once, a line break or other control character that a reference
// gave ("&#10;") made a blank so that the sentences stay apart.
std::string decoded_sentences(std::string_view stored);

}  // namespace orvalis
