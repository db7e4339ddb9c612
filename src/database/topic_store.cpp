#include "database/topic_store.h"

#include <algorithm>
#include <vector>

#include "database/record_set.h"
#include "foundation/control_text.h"
#include "platform/clock.h"

namespace orvalis {

namespace {

constexpr std::int64_t one_day = 24 * 60 * 60;

// Where each concept_master field is in a result, looked up once per query.
struct Topic_columns {
  int concept_id, name, definition, time_last_modified, facet, category, time_last_queried,
      time_last_summarized, query_time_spec, summarize_time_spec, query_enabled, summary_enabled,
      is_top_level, is_user_topic, is_user_top_level;

  explicit Topic_columns(const Db_statement& s)
      : concept_id(s.column("concept_id")),
        name(s.column("name")),
        definition(s.column("definition")),
        time_last_modified(s.column("time_last_modified")),
        facet(s.column("facet")),
        category(s.column("category")),
        time_last_queried(s.column("time_last_queried")),
        time_last_summarized(s.column("time_last_summarized")),
        query_time_spec(s.column("query_time_spec")),
        summarize_time_spec(s.column("summarize_time_spec")),
        query_enabled(s.column("query_enabled")),
        summary_enabled(s.column("summary_enabled")),
        is_top_level(s.column("is_top_level")),
        is_user_topic(s.column("is_user_topic")),
        is_user_top_level(s.column("is_user_top_level")) {}
};

Ref_string time_spec_of(const Db_statement& s, int column) {
  Ref_string spec = s.text(column);
  return spec.empty() ? Ref_string(Topic::default_time_spec) : spec;
}

std::uint8_t byte_of(const Db_statement& s, int column) {
  return static_cast<std::uint8_t>(s.number(column));
}

void fill(Topic& t, const Db_statement& s, const Topic_columns& c) {
  t.concept_id = s.number(c.concept_id);
  t.name = s.text(c.name);
  t.definition = s.text(c.definition);
  t.time_last_modified = s.date(c.time_last_modified);
  t.facet = byte_of(s, c.facet);
  t.category = s.text(c.category);
  t.time_last_queried = s.date(c.time_last_queried);
  t.time_last_summarized = s.date(c.time_last_summarized);
  t.query_time_spec = time_spec_of(s, c.query_time_spec);
  t.summarize_time_spec = time_spec_of(s, c.summarize_time_spec);
  t.query_enabled = byte_of(s, c.query_enabled);
  t.summary_enabled = byte_of(s, c.summary_enabled);
  t.is_top_level = byte_of(s, c.is_top_level);
  t.is_user_topic = byte_of(s, c.is_user_topic);
  t.is_user_top_level = byte_of(s, c.is_user_top_level);
}

}  // namespace

Topic_store& Topic_store::shared() {
  static Topic_store store(Database::shared());
  return store;
}

bool Topic_store::load_into(Topic& topic, std::int32_t id) {
  Db_statement s(db_, "SELECT * FROM concept_master WHERE concept_id = ?1");
  s.bind(1, id);
  if (!s.step()) return false;
  Topic_columns columns(s);
  fill(topic, s, columns);
  Ref_list<Ref_string> terms;
  Db_statement t(db_, "SELECT term FROM concept_terms WHERE concept_id = ?1 ORDER BY rowid");
  t.bind(1, id);
  while (t.step()) terms.append(t.text(0));
  topic.terms = terms;
  return true;
}

bool Topic_store::load_topic(Topic& topic, std::int32_t id) {
  try {
    return load_into(topic, id);
  } catch (const Db_error& e) {
    report_db_error(e);
    return false;
  }
}

void Topic_store::check_generation() {
  if (generation_ != db_.generation()) {
    cache_.clear();
    generation_ = db_.generation();
  }
}

Topic_handle Topic_store::topic(std::int32_t id) {
  check_generation();
  auto it = cache_.find(id);
  if (it != cache_.end()) return it->second;
  Topic_handle t = make_counted<Topic>();
  if (!load_topic(*t, id)) return nullptr;
  cache_[id] = t;
  return t;
}

void Topic_store::refresh_cached(std::int32_t id) {
  check_generation();
  auto it = cache_.find(id);
  if (it != cache_.end()) load_into(*it->second, id);
}

Topic_handle Topic_store::add_topic(const Ref_string& name) {
  std::int32_t id = 0;
  try {
    Record_set rs = Record_set::for_append(db_, "concept_master");
    rs.add_new();
    rs.set_field("name", without_controls(name));
    rs.update();
    rs.move_last_modified();
    id = rs.number("concept_id");
  } catch (const Db_error& e) {
    report_db_error(e);
    return nullptr;
  }
  drop_cached(id);
  return topic(id);
}

bool Topic_store::save_topic(const Topic& topic) {
  try {
    Db_transaction transaction(db_);
    Record_set rs(db_, "concept_master", "concept_id = ?1", {topic.concept_id});
    if (!rs.eof()) {
      rs.edit();
      rs.set_field("name", without_controls(topic.name));
      rs.set_field("definition", without_controls(topic.definition));
      rs.set_field("facet", topic.facet);
      rs.set_field("category", without_controls(topic.category));
      rs.set_field("time_last_modified", topic.time_last_modified);
      rs.set_field("time_last_queried", topic.time_last_queried);
      rs.set_field("time_last_summarized", topic.time_last_summarized);
      rs.set_field("query_time_spec", topic.query_time_spec);
      rs.set_field("summarize_time_spec", topic.summarize_time_spec);
      rs.set_field("query_enabled", topic.query_enabled);
      rs.set_field("summary_enabled", topic.summary_enabled);
      rs.set_field("is_top_level", topic.is_top_level);
      rs.set_field("is_user_topic", topic.is_user_topic);
      rs.set_field("is_user_top_level", topic.is_user_top_level);
      rs.update();
    }
    Record_set terms(db_, "concept_terms", "concept_id = ?1", {topic.concept_id});
    while (!terms.eof()) terms.delete_current();
    for (const Ref_string& term : topic.terms) {
      terms.add_new();
      terms.set_field("concept_id", topic.concept_id);
      terms.set_field("term", without_controls(term));
      terms.update();
    }
    transaction.commit();
    return true;
  } catch (const Db_error& e) {
    report_db_error(e);
    // The caller may have changed the cached object before saving: it must not keep values
    // that the database does not hold.
    try {
      refresh_cached(topic.concept_id);
    } catch (const Db_error&) {
      drop_cached(topic.concept_id);
    }
    return false;
  }
}

bool Topic_store::delete_topic(std::int32_t id) {
  try {
    Db_transaction transaction(db_);
    for (const char* sql :
         {"DELETE FROM concept_master WHERE concept_id = ?1",
          "DELETE FROM concept_terms WHERE concept_id = ?1",
          "DELETE FROM concept_relations WHERE concept_id = ?1 OR related_id = ?1",
          "DELETE FROM concept_urls WHERE concept_id = ?1"}) {
      Db_statement s(db_, sql);
      s.bind(1, id);
      s.run();
    }
    transaction.commit();
    drop_cached(id);
    return true;
  } catch (const Db_error& e) {
    report_db_error(e);
    return false;
  }
}

Topic_handle Topic_store::from_row(const Db_statement& row, int id_column) {
  check_generation();
  std::int32_t id = row.number(id_column);
  auto it = cache_.find(id);
  Topic_handle t = it != cache_.end() ? it->second : make_counted<Topic>();
  fill(*t, row, Topic_columns(row));
  return t;
}

Ref_list<Related_topic> Topic_store::related_topics(std::int32_t id) {
  Ref_list<Related_topic> result;
  try {
    Db_statement s(db_,
                   "SELECT concept_master.*, concept_relations.relationship_type"
                   " FROM concept_master, concept_relations"
                   " WHERE concept_relations.concept_id = ?1"
                   " AND concept_relations.related_id = concept_master.concept_id"
                   " ORDER BY concept_relations.rowid");
    s.bind(1, id);
    std::vector<Related_topic> pairs;
    int id_column = -1, code_column = -1;
    while (s.step()) {
      if (id_column < 0) {
        id_column = s.column("concept_id");
        code_column = s.column("relationship_type");
      }
      pairs.push_back(Related_topic{s.text(code_column), from_row(s, id_column)});
    }
    std::stable_sort(pairs.begin(), pairs.end(),
                     [](const Related_topic& a, const Related_topic& b) {
                       return relationship_rank(a.code) < relationship_rank(b.code);
                     });
    for (Related_topic& p : pairs) result.append(std::move(p));
  } catch (const Db_error& e) {
    report_db_error(e);
    result.clear();
  }
  return result;
}

void Topic_store::write_relation(std::int32_t from, std::int32_t to, const Ref_string& code) {
  Db_transaction transaction(db_);
  Record_set rs(db_, "concept_relations", "concept_id = ?1 AND related_id = ?2", {from, to});
  if (rs.eof())
    rs.add_new();
  else
    rs.edit();
  rs.set_field("concept_id", from);
  rs.set_field("related_id", to);
  rs.set_field("relationship_type", code);
  rs.update();
  transaction.commit();
}

void Topic_store::delete_relation(std::int32_t from, std::int32_t to) {
  Db_transaction transaction(db_);
  Record_set rs(db_, "concept_relations", "concept_id = ?1 AND related_id = ?2", {from, to});
  while (!rs.eof()) rs.delete_current();
  transaction.commit();
}

bool Topic_store::set_relation(std::int32_t from, std::int32_t to, const Ref_string& code) {
  try {
    write_relation(from, to, code);
    return true;
  } catch (const Db_error& e) {
    report_db_error(e);
    return false;
  }
}

bool Topic_store::remove_relation(std::int32_t from, std::int32_t to) {
  try {
    delete_relation(from, to);
    return true;
  } catch (const Db_error& e) {
    report_db_error(e);
    return false;
  }
}

std::unordered_set<std::int32_t> Topic_store::topics_with_related() {
  std::unordered_set<std::int32_t> ids;
  try {
    Db_statement s(db_,
                   "SELECT DISTINCT concept_relations.concept_id FROM concept_relations, concept_master"
                   " WHERE concept_relations.related_id = concept_master.concept_id");
    while (s.step()) ids.insert(s.number(0));
  } catch (const Db_error& e) {
    report_db_error(e);
    ids.clear();
  }
  return ids;
}

bool Topic_store::relate(std::int32_t a, std::int32_t b, const Ref_string& code) {
  try {
    Db_transaction transaction(db_);
    refresh_cached(a);
    refresh_cached(b);
    write_relation(a, b, code);
    refresh_cached(a);
    refresh_cached(b);
    write_relation(b, a, converse_relationship(code));
    transaction.commit();
    return true;
  } catch (const Db_error& e) {
    drop_cached(a);
    drop_cached(b);
    report_db_error(e);
    return false;
  }
}

bool Topic_store::unrelate(std::int32_t a, std::int32_t b) {
  try {
    Db_transaction transaction(db_);
    delete_relation(a, b);
    delete_relation(b, a);
    transaction.commit();
    return true;
  } catch (const Db_error& e) {
    drop_cached(a);
    drop_cached(b);
    report_db_error(e);
    return false;
  }
}

template <class Bind>
Ref_list<Topic_handle> Topic_store::query(const char* sql, Bind bind) {
  Ref_list<Topic_handle> result;
  try {
    Db_statement s(db_, sql);
    bind(s);
    int id_column = -1;
    while (s.step()) {
      if (id_column < 0) id_column = s.column("concept_id");
      result.append(from_row(s, id_column));
    }
  } catch (const Db_error& e) {
    report_db_error(e);
    result.clear();
  }
  return result;
}

Ref_list<Topic_handle> Topic_store::scheduled_topics(Order order) {
  auto none = [](Db_statement&) {};
  switch (order) {
    case Order::unordered:
      return query("SELECT * FROM concept_master WHERE query_enabled <> 0 OR summary_enabled <> 0",
                   none);
    case Order::by_name_descending:
      return query(
          "SELECT * FROM concept_master WHERE query_enabled <> 0 OR summary_enabled <> 0"
          " ORDER BY name DESC",
          none);
    case Order::by_name:
    default:
      return query(
          "SELECT * FROM concept_master WHERE query_enabled <> 0 OR summary_enabled <> 0"
          " ORDER BY name",
          none);
  }
}

Ref_list<Topic_handle> Topic_store::top_level_topics() {
  return query("SELECT * FROM concept_master WHERE is_top_level <> 0", [](Db_statement&) {});
}

Ref_list<Topic_handle> Topic_store::user_top_level_topics() {
  return query("SELECT * FROM concept_master WHERE is_user_top_level <> 0 ORDER BY concept_id",
               [](Db_statement&) {});
}

Ref_list<Topic_handle> Topic_store::recently_modified_topics() {
  std::int64_t cutoff = platform::now() - one_day;
  return query(
      "SELECT * FROM concept_master WHERE time_last_modified > ?1"
      " ORDER BY time_last_modified DESC",
      [cutoff](Db_statement& s) { s.bind(1, cutoff); });
}

Ref_list<Topic_handle> Topic_store::topics_matching(const Ref_string& text) {
  std::string pattern = contains_pattern(text);
  return query(
      "SELECT DISTINCT concept_master.* FROM concept_master"
      " LEFT OUTER JOIN concept_terms ON concept_terms.concept_id = concept_master.concept_id"
      " WHERE concept_terms.term LIKE ?1 ESCAPE '\\' OR concept_master.name LIKE ?1 ESCAPE '\\'"
      " ORDER BY concept_master.concept_id",
      [&pattern](Db_statement& s) { s.bind(1, std::string_view(pattern)); });
}

Ref_list<Topic_handle> Topic_store::topics_named(const Ref_string& name) {
  return query("SELECT * FROM concept_master WHERE name = ?1 COLLATE NOCASE ORDER BY concept_id",
               [&name](Db_statement& s) { s.bind(1, name); });
}

bool Topic_store::is_new(Topic& topic) {
  if (!load_topic(topic, topic.concept_id)) return false;
  return topic.time_last_modified.is_valid() &&
         topic.time_last_modified.seconds >= platform::now() - one_day;
}

}  // namespace orvalis
