// Document_store keeps one url_master row per web document and links documents to topics
// through concept_urls. A document is found by its address, so the same address is stored once
// however many topics and searches find it. Removing a document from a topic only marks the
// link deleted (date_deleted), so a later search does not bring it back unasked; the link can
// be restored. Documents are never deleted here. The store also answers the text search over
// documents.
//
// Addresses are stored and matched with their scheme and host in lower case and the rest
// exactly (values are bound, never spliced into SQL; no pattern). The text search
// reads every "|" of the searched text as a blank, as searches here always have.
//
// Every operation catches Db_error, hands it to report_db_error and returns its empty or false
// result. Thread: the user-interface thread. REQUIRES: the database outlives the store.
#pragma once

#include <cstdint>
#include <string_view>
#include <unordered_map>

#include "database/database.h"
#include "database/document.h"

namespace orvalis {

class Document_store {
 public:
  explicit Document_store(Database& db = Database::shared()) : db_(db) {}

  // Fills `document` from the row of `url_id`; false (document unchanged) when there is none.
  bool load_document(Document& document, std::int32_t url_id);
  // The stored document of `address`, added first (with the title and counts given) when there
  // is none; an existing row is not changed. One transaction. Null on an error. `created`, when
  // given, tells whether the row was added now.
  Document_handle add_document(const Ref_string& address, const Ref_string& title,
                               std::int32_t num_anchors, std::int32_t num_images,
                               bool* created = nullptr);
  // The stored document of `address` (scheme and host in any case); null when there is none.
  Document_handle find_by_address(const Ref_string& address);
  // Writes every field of the document's row and notes it for the search index. One transaction.
  bool save_document(const Document& document);

  // The documents of a topic with their links, in link order; removed links only when asked.
  Ref_list<Topic_document> documents_of_topic(std::int32_t concept_id, bool include_removed);
  // The number of live documents of every topic that has one (what documents_of_topic would
  // return without removed links), by concept_id, in one query.
  std::unordered_map<std::int32_t, std::int32_t> live_document_counts();
  // Links a document to a topic; true when a live link was made:
  //   no link yet: one is added with link's query, search_resource and relevant;
  //   a live link: nothing changes (false);
  //   a removed link and `restore`: it becomes live with link's relevant;
  //   a removed link without `restore`: nothing changes (false).
  // `link` receives the ids and the stored date_created and date_deleted. One transaction.
  bool link_document(std::int32_t concept_id, std::int32_t url_id, Document_link& link,
                     bool restore);
  // Sets the relevance of a link; false when there is no such link.
  bool set_relevance(std::int32_t concept_id, std::int32_t url_id, std::int32_t value);
  // Marks a live link removed at the current time: true; a removed or missing link: false.
  bool remove_document_from_topic(std::int32_t concept_id, std::int32_t url_id);
  // Documents whose address, title, abstract or summary contains `text` (case-insensitive,
  // literally), by url_id.
  Ref_list<Document_handle> find_documents(const Ref_string& text);

 private:
  Database& db_;
};

}  // namespace orvalis
