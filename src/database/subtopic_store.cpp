#include "database/subtopic_store.h"

#include <cstring>
#include <string>
#include <unordered_set>

#include "database/document.h"
#include "platform/clock.h"

namespace orvalis {

namespace {

// Raised inside the transaction when a store operation has failed (and reported already).
struct Store_failed {};

// The document's link to a topic; the "+" keeps SQLite on the url_id index, as the document
// store does.
constexpr const char* live_link =
    "SELECT query, search_resource, relevant FROM concept_urls"
    " WHERE +concept_id = ?1 AND url_id = ?2 AND date_deleted IS NULL";

}  // namespace

std::vector<Document_key_terms> Subtopic_store::key_terms_of_topic(std::int32_t concept_id,
                                                                 bool& ok) {
  std::vector<Document_key_terms> result;
  ok = true;
  try {
    Db_statement s(db_,
                   "SELECT url_master.url_id, url_master.summary"
                   " FROM concept_urls, url_master"
                   " WHERE concept_urls.concept_id = ?1"
                   " AND concept_urls.url_id = url_master.url_id"
                   " AND concept_urls.date_deleted IS NULL"
                   " AND length(url_master.summary) > 0"
                   " ORDER BY concept_urls.rowid");
    s.bind(1, concept_id);
    while (s.step()) {
      result.push_back({s.number(0), split_sentences(s.text_view(1))});
    }
  } catch (const Db_error& e) {
    report_db_error(e);
    result.clear();
    ok = false;
  }
  return result;
}

std::vector<Topic_handle> Subtopic_store::make_subtopics(Topic& parent,
                                                         const std::vector<New_subtopic>& subtopics) {
  std::vector<Topic_handle> made;
  const Db_date now = Db_date::at(platform::now());
  try {
    Db_transaction transaction(db_);
    std::unordered_set<std::int32_t> taken;
    for (const New_subtopic& spec : subtopics) {
      Topic_handle child = topics_.add_topic(spec.name);
      if (!child) throw Store_failed{};
      made.push_back(child);
      child->terms = spec.terms;
      child->category = parent.category;
      child->query_time_spec = parent.query_time_spec;
      child->summarize_time_spec = parent.summarize_time_spec;
      child->query_enabled = parent.query_enabled;
      child->summary_enabled = parent.summary_enabled;
      child->is_user_topic = 1;
      child->time_last_modified = now;
      if (!topics_.save_topic(*child)) throw Store_failed{};
      if (!topics_.relate(parent.concept_id, child->concept_id, "~")) throw Store_failed{};

      Db_statement link(db_, live_link);
      Db_statement add(db_,
                       "INSERT INTO concept_urls (concept_id, url_id, query, search_resource,"
                       " relevant) VALUES (?1, ?2, ?3, ?4, ?5)");
      for (std::int32_t url_id : spec.url_ids) {
        link.bind(1, parent.concept_id).bind(2, url_id);
        if (link.step()) {
          add.bind(1, child->concept_id).bind(2, url_id);
          add.bind(3, link.text_view(0)).bind(4, link.text_view(1)).bind(5, link.integer(2));
          add.run();
          add.reset();
          taken.insert(url_id);
        }
        link.reset();
      }
    }
    // Each taken document leaves the parent once, in the order the subtopics took them.
    Db_statement remove(db_,
                        "UPDATE concept_urls SET date_deleted = ?3"
                        " WHERE +concept_id = ?1 AND url_id = ?2 AND date_deleted IS NULL");
    std::unordered_set<std::int32_t> removed;
    for (const New_subtopic& spec : subtopics)
      for (std::int32_t url_id : spec.url_ids) {
        if (!taken.count(url_id) || !removed.insert(url_id).second) continue;
        remove.bind(1, parent.concept_id).bind(2, url_id).bind(3, now);
        remove.run();
        remove.reset();
      }
    Db_date before = parent.time_last_modified;
    parent.time_last_modified = now;
    if (!topics_.save_topic(parent)) {
      parent.time_last_modified = before;
      throw Store_failed{};
    }
    transaction.commit();
    return made;
  } catch (const Db_error& e) {
    report_db_error(e);
  } catch (const Store_failed&) {
  }
  // Nothing was written: the topics handed out for rows that no longer exist are forgotten.
  for (const Topic_handle& t : made) topics_.drop_cached(t->concept_id);
  topics_.drop_cached(parent.concept_id);
  return {};
}

}  // namespace orvalis
