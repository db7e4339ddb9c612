// Topic_store reads and writes topics: rows of concept_master, each topic's query terms in
// concept_terms and the typed relations between topics in concept_relations. It deletes a topic
// with every row that refers to it, and answers the fixed topic queries of the agent, the
// scheduler and the reports.
//
// The store keeps one Topic object per concept_id it has handed out through topic(id) (its
// cache); queries return those objects, refreshed from the row, when they are cached, and new
// ones otherwise. relate and unrelate drop both topics from the cache when they fail, so the
// next topic(id) reads them again; a failed save_topic reads the cached topic again. The cache is emptied when the connection opens another file.
//
// Every operation catches Db_error, hands it to report_db_error and returns its empty result: an
// unfilled topic or null handle, an empty list, false.
// Thread: the user-interface thread. REQUIRES: the database outlives the store.
#pragma once

#include <cstdint>
#include <unordered_map>
#include <unordered_set>

#include "database/database.h"
#include "database/topic.h"

namespace orvalis {

class Topic_store {
 public:
  enum class Order { by_name, unordered, by_name_descending };

  explicit Topic_store(Database& db = Database::shared()) : db_(db) {}
  // The store over the shared connection.
  static Topic_store& shared();

  // Fills `topic` and its terms from the row of `id`; false (topic left as it was) when there
  // is no such row or on an error.
  bool load_topic(Topic& topic, std::int32_t id);
  // The cached topic of `id`, loaded on first use; null when there is no such row.
  Topic_handle topic(std::int32_t id);
  // Adds a row with only the name set and returns the loaded topic; null on an error.
  Topic_handle add_topic(const Ref_string& name);
  // Writes the fields and the terms (replacing the stored ones), in one transaction. When it
  // fails, the cached topic of that id is read again, so it stays as the database holds it.
  bool save_topic(const Topic& topic);
  // Deletes the topic's rows from concept_master, concept_terms, concept_relations (both sides)
  // and concept_urls, in one transaction. Its documents stay in url_master.
  bool delete_topic(std::int32_t id);

  // The topics related to `id` with the codes that lead to them, in relationship-table order.
  Ref_list<Related_topic> related_topics(std::int32_t id);
  // The ids of the topics that related_topics would find something for, in one query (the
  // tree asks it instead of one query a topic).
  std::unordered_set<std::int32_t> topics_with_related();
  // Adds or overwrites the relation row (from, to). One transaction.
  bool set_relation(std::int32_t from, std::int32_t to, const Ref_string& code);
  // Deletes every relation row (from, to). One transaction.
  bool remove_relation(std::int32_t from, std::int32_t to);
  // Relates a to b with `code` and b to a with its converse, all or nothing.
  bool relate(std::int32_t a, std::int32_t b, const Ref_string& code);
  // Removes the relations both ways, all or nothing.
  bool unrelate(std::int32_t a, std::int32_t b);

  // Topics with scheduled searching or summarizing on.
  Ref_list<Topic_handle> scheduled_topics(Order order = Order::by_name);
  Ref_list<Topic_handle> top_level_topics();
  // The user's top-level topics, by concept_id.
  Ref_list<Topic_handle> user_top_level_topics();
  // Topics modified in the last day by the clock, newest first.
  Ref_list<Topic_handle> recently_modified_topics();
  // Topics whose name or one of whose terms contains `text` (case-insensitive, literally), each
  // once, by concept_id.
  Ref_list<Topic_handle> topics_matching(const Ref_string& text);
  // Topics whose name is `name` without regard to case (ASCII letters), by concept_id. Names are
  // compared whole: "|", "%" and quotes are characters like any other.
  Ref_list<Topic_handle> topics_named(const Ref_string& name);

  // Reloads the topic; true when it was modified no more than one day before now.
  bool is_new(Topic& topic);

  void drop_cached(std::int32_t id) { cache_.erase(id); }
  void clear_cache() { cache_.clear(); }
  bool is_cached(std::int32_t id) const {
    return generation_ == db_.generation() && cache_.count(id) != 0;
  }

 private:
  // Empties the cache when its topics came from a file that is no longer the open one.
  void check_generation();
  bool load_into(Topic& topic, std::int32_t id);
  void refresh_cached(std::int32_t id);
  void write_relation(std::int32_t from, std::int32_t to, const Ref_string& code);
  void delete_relation(std::int32_t from, std::int32_t to);
  Topic_handle from_row(const Db_statement& row, int id_column);
  template <class Bind>
  Ref_list<Topic_handle> query(const char* sql, Bind bind);

  Database& db_;
  std::unordered_map<std::int32_t, Topic_handle> cache_;
  std::uint64_t generation_ = 0;
};

}  // namespace orvalis
