#include "exchange/topic_exchange.h"

#include <algorithm>
#include <initializer_list>
#include <limits>
#include <optional>
#include <set>
#include <string>
#include <unordered_map>

#include "database/document.h"
#include "database/feed_store.h"
#include "exchange/exchange_dates.h"

namespace orvalis::exchange {

namespace {

using Id_map = std::unordered_map<std::int64_t, std::int64_t>;

Json_value text_of(const Db_statement& s, int column) { return Json_value::string(s.text_view(column)); }

Json_value date_of(const Db_statement& s, int column) {
  const std::string text = iso_date(s.date(column));
  return text.empty() ? Json_value() : Json_value::string(text);
}

Json_value sentences_of(const Db_statement& s, int column) {
  Json_value list = Json_value::array();
  for (const Ref_string& sentence : split_sentences(s.text_view(column))) list.push(Json_value::string(sentence.view()));
  return list;
}

Json_value topic_json(Database& db, std::int32_t id, const std::set<std::int32_t>& chosen,
                      std::set<std::int64_t>& documents) {
  Db_statement t(db,
                 "SELECT concept_id, name, definition, category, facet, query_time_spec, query_enabled,"
                 " summarize_time_spec, summary_enabled, time_last_modified, time_last_queried,"
                 " time_last_summarized, is_top_level, is_user_topic, is_user_top_level"
                 " FROM concept_master WHERE concept_id = ?1");
  t.bind(1, id);
  if (!t.step()) return Json_value();
  Json_value o = Json_value::object();
  o.set("id", Json_value::integer(t.integer(0)));
  o.set("name", text_of(t, 1));
  o.set("definition", text_of(t, 2));
  o.set("category", text_of(t, 3));
  o.set("facet", Json_value::integer(t.integer(4)));
  Json_value terms = Json_value::array();
  {
    Db_statement q(db, "SELECT term FROM concept_terms WHERE concept_id = ?1 ORDER BY rowid");
    q.bind(1, id);
    while (q.step()) terms.push(text_of(q, 0));
  }
  o.set("terms", std::move(terms));
  Json_value schedule = Json_value::object();
  schedule.set("search", text_of(t, 5));
  schedule.set("search_enabled", Json_value::boolean(t.integer(6) != 0));
  schedule.set("summarize", text_of(t, 7));
  schedule.set("summarize_enabled", Json_value::boolean(t.integer(8) != 0));
  o.set("schedule", std::move(schedule));
  o.set("modified", date_of(t, 9));
  o.set("last_searched", date_of(t, 10));
  o.set("last_summarized", date_of(t, 11));
  o.set("top_level", Json_value::boolean(t.integer(12) != 0));
  o.set("user_topic", Json_value::boolean(t.integer(13) != 0));
  o.set("user_top_level", Json_value::boolean(t.integer(14) != 0));

  Json_value relations = Json_value::array();
  {
    Db_statement q(db,
                   "SELECT related_id, relationship_type FROM concept_relations WHERE concept_id = ?1"
                   " ORDER BY related_id, relationship_type");
    q.bind(1, id);
    while (q.step()) {
      if (!chosen.count(q.number(0))) continue;  // a relation leaves with both its topics
      Json_value r = Json_value::object();
      r.set("topic", Json_value::integer(q.integer(0)));
      r.set("type", text_of(q, 1));
      relations.push(std::move(r));
    }
  }
  o.set("relations", std::move(relations));

  Json_value feeds = Json_value::array();
  for (const Feed& f : Feed_store(db).feeds(id)) {
    Json_value j = Json_value::object();
    j.set("address", Json_value::string(f.address.view()));
    j.set("title", Json_value::string(f.title.view()));
    j.set("etag", Json_value::string(f.etag.view()));
    j.set("last_modified", Json_value::string(f.last_modified.view()));
    const std::string read = iso_date(f.time_last_read);
    j.set("last_read", read.empty() ? Json_value() : Json_value::string(read));
    feeds.push(std::move(j));
  }
  o.set("feeds", std::move(feeds));

  Json_value links = Json_value::array();
  {
    Db_statement q(db,
                   "SELECT u.url_id, u.search_resource, u.query, u.relevant, u.rating, u.num_votes,"
                   " u.date_created, u.date_deleted FROM concept_urls u"
                   " JOIN url_master m ON m.url_id = u.url_id WHERE u.concept_id = ?1"
                   " ORDER BY u.url_id, u.rowid");
    q.bind(1, id);
    std::int64_t last = -1;
    while (q.step()) {
      if (q.integer(0) == last) continue;  // one link a document
      last = q.integer(0);
      documents.insert(last);
      Json_value l = Json_value::object();
      l.set("document", Json_value::integer(last));
      l.set("found_by", text_of(q, 1));
      l.set("query", text_of(q, 2));
      l.set("relevant", Json_value::integer(q.integer(3)));
      l.set("rating", Json_value::integer(q.integer(4)));
      l.set("votes", Json_value::integer(q.integer(5)));
      l.set("added", date_of(q, 6));
      l.set("removed", date_of(q, 7));
      links.push(std::move(l));
    }
  }
  o.set("documents", std::move(links));
  return o;
}

Json_value document_json(Database& db, std::int64_t id) {
  Db_statement d(db,
                 "SELECT url_id, address, title, size, time_last_retrieved, timeout_count, num_anchors,"
                 " num_images, abstract, summary, annotation FROM url_master WHERE url_id = ?1");
  d.bind(1, id);
  if (!d.step()) return Json_value();
  Json_value o = Json_value::object();
  o.set("id", Json_value::integer(d.integer(0)));
  o.set("address", text_of(d, 1));
  o.set("title", text_of(d, 2));
  o.set("size", Json_value::integer(d.integer(3)));
  o.set("retrieved", date_of(d, 4));
  o.set("timeouts", Json_value::integer(d.integer(5)));
  o.set("anchors", Json_value::integer(d.integer(6)));
  o.set("images", Json_value::integer(d.integer(7)));
  o.set("extract", sentences_of(d, 8));
  o.set("key_terms", sentences_of(d, 9));
  o.set("note", text_of(d, 10));
  return o;
}

// ---- import ----

class Importer {
 public:
  Importer(Database& db, Import_report& report) : db_(db), report_(report) {}

  void run(const Json_value& file) {
    count_unknown(file, {"format", "version", "exported", "topics", "documents"});
    remove_orphan_feeds(db_);  // a topic made with a freed id must not find old feeds
    if (const Json_value* docs = file.find("documents"); docs && docs->is_array())
      for (std::size_t k = 0; k < docs->items().size(); ++k) document(docs->items()[k], k);
    const Json_value* topics = file.find("topics");
    for (std::size_t k = 0; k < topics->items().size(); ++k) topic(topics->items()[k], k);
    for (std::size_t k = 0; k < topics->items().size(); ++k)
      if (accepted_.count(k)) contents(topics->items()[k], k);
  }

 private:
  void count_unknown(const Json_value& o, std::initializer_list<const char*> known) {
    for (const auto& m : o.members()) {
      bool ours = false;
      for (const char* k : known) ours = ours || m.first == k;
      if (!ours) ++report_.unknown_fields;
    }
  }

  // A topic's id in the file; one of its own for a topic without an id.
  static std::int64_t key_of(const Json_value& t, std::size_t index) {
    const Json_value* id = t.find("id");
    if (id && id->is_number()) return id->as_integer();
    return std::numeric_limits<std::int64_t>::min() + static_cast<std::int64_t>(index);
  }

  static std::string text(const Json_value& o, const char* key) {
    const Json_value* v = o.find(key);
    return v && v->is_string() ? v->as_string() : std::string();
  }

  static std::int64_t number(const Json_value& o, const char* key, std::int64_t lo, std::int64_t hi) {
    const Json_value* v = o.find(key);
    if (!v || !v->is_number()) return 0;
    return std::clamp(v->as_integer(), lo, hi);
  }

  static bool flag(const Json_value& o, const char* key) {
    const Json_value* v = o.find(key);
    return v && (v->as_bool() || (v->is_number() && v->as_integer() != 0));
  }

  static void bind_text(Db_statement& s, int index, const std::string& t) {
    if (t.empty())
      s.bind_null(index);
    else
      s.bind(index, std::string_view(t));
  }

  static void bind_date(Db_statement& s, int index, const Json_value& o, const char* key) {
    std::optional<Db_date> d = parse_iso_date(text(o, key));
    if (d)
      s.bind(index, *d);
    else
      s.bind_null(index);
  }

  static std::string sentences(const Json_value& o, const char* key) {
    Ref_list<Ref_string> list;
    if (const Json_value* v = o.find(key); v && v->is_array())
      for (const Json_value& s : v->items())
        if (s.is_string() && !s.as_string().empty()) {
          // A line feed separates stored sentences, so none may hold one.
          std::string line = s.as_string();
          std::replace(line.begin(), line.end(), '\n', ' ');
          list.append(Ref_string(std::string_view(line)));
        }
    return std::string(join_sentences(list).view());
  }

  bool id_free(const char* table, const char* column, std::int64_t id) {
    if (id <= 0 || id > std::numeric_limits<std::int32_t>::max()) return false;
    Db_statement s(db_, std::string("SELECT 1 FROM ") + table + " WHERE " + column + " = ?1");
    s.bind(1, id);
    return !s.step();
  }

  void document(const Json_value& d, std::size_t index) {
    if (!d.is_object()) {
      report_.refused.push_back("document " + std::to_string(index + 1) + " is not an object");
      return;
    }
    count_unknown(d, {"id", "address", "title", "size", "retrieved", "timeouts", "anchors", "images",
                      "extract", "key_terms", "note"});
    const Ref_string address = normalized_address(Ref_string(std::string_view(text(d, "address"))));
    const Json_value* id = d.find("id");
    const std::int64_t file_id = id && id->is_number() ? id->as_integer() : 0;
    if (address.is_blank()) {
      report_.refused.push_back("document " + std::to_string(index + 1) + " has no address");
      return;
    }
    Db_statement find(db_, "SELECT url_id FROM url_master WHERE address = ?1 ORDER BY url_id LIMIT 1");
    find.bind(1, address);
    if (find.step()) {
      documents_.try_emplace(file_id, find.integer(0));
      ++report_.documents_skipped;
      return;
    }
    const bool keep_id = id_free("url_master", "url_id", file_id);
    if (!keep_id && file_id != 0) ++report_.ids_renumbered;
    Db_statement add(db_,
                     "INSERT INTO url_master (url_id, address, title, size, time_last_retrieved,"
                     " timeout_count, num_anchors, num_images, abstract, summary, annotation)"
                     " VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10, ?11)");
    if (keep_id)
      add.bind(1, file_id);
    else
      add.bind_null(1);
    add.bind(2, address);
    bind_text(add, 3, text(d, "title"));
    add.bind(4, number(d, "size", 0, std::numeric_limits<std::int32_t>::max()));
    bind_date(add, 5, d, "retrieved");
    add.bind(6, number(d, "timeouts", 0, 255));
    add.bind(7, number(d, "anchors", 0, std::numeric_limits<std::int32_t>::max()));
    add.bind(8, number(d, "images", 0, std::numeric_limits<std::int32_t>::max()));
    bind_text(add, 9, sentences(d, "extract"));
    bind_text(add, 10, sentences(d, "key_terms"));
    bind_text(add, 11, text(d, "note"));
    add.run();
    documents_.try_emplace(file_id, db_.last_insert_rowid());
    ++report_.documents_added;
  }

  void topic(const Json_value& t, std::size_t index) {
    if (!t.is_object()) {
      report_.refused.push_back("topic " + std::to_string(index + 1) + " is not an object");
      return;
    }
    count_unknown(t, {"id", "name", "definition", "category", "facet", "terms", "schedule", "modified",
                      "last_searched", "last_summarized", "top_level", "user_topic", "user_top_level",
                      "relations", "feeds", "documents"});
    const std::string name = text(t, "name");
    const std::int64_t file_id = key_of(t, index);
    if (Ref_string(std::string_view(name)).is_blank()) {
      report_.refused.push_back("topic " + std::to_string(index + 1) + " has no name");
      return;
    }
    if (topic_ids_.count(file_id)) {
      report_.refused.push_back("topic '" + name + "' repeats the id " + std::to_string(file_id));
      return;
    }
    Db_statement find(db_, "SELECT concept_id FROM concept_master WHERE name = ?1 ORDER BY concept_id LIMIT 1");
    find.bind(1, std::string_view(name));
    if (find.step()) {
      topic_ids_[file_id] = find.integer(0);
      accepted_.insert(index);
      ++report_.topics_merged;
      return;
    }
    const bool keep_id = id_free("concept_master", "concept_id", file_id);
    if (!keep_id && t.find("id")) ++report_.ids_renumbered;
    const Json_value no_schedule = Json_value::object();
    const Json_value* schedule = t.find("schedule");
    if (!schedule || !schedule->is_object()) schedule = &no_schedule;
    count_unknown(*schedule, {"search", "search_enabled", "summarize", "summarize_enabled"});
    Db_statement add(db_,
                     "INSERT INTO concept_master (concept_id, name, definition, category, facet,"
                     " query_time_spec, query_enabled, summarize_time_spec, summary_enabled,"
                     " time_last_modified, time_last_queried, time_last_summarized, is_top_level,"
                     " is_user_topic, is_user_top_level)"
                     " VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10, ?11, ?12, ?13, ?14, ?15)");
    if (keep_id)
      add.bind(1, file_id);
    else
      add.bind_null(1);
    add.bind(2, std::string_view(name));
    bind_text(add, 3, text(t, "definition"));
    bind_text(add, 4, text(t, "category"));
    add.bind(5, number(t, "facet", 0, 255));
    bind_text(add, 6, text(*schedule, "search"));
    add.bind(7, flag(*schedule, "search_enabled") ? 1 : 0);
    bind_text(add, 8, text(*schedule, "summarize"));
    add.bind(9, flag(*schedule, "summarize_enabled") ? 1 : 0);
    bind_date(add, 10, t, "modified");
    bind_date(add, 11, t, "last_searched");
    bind_date(add, 12, t, "last_summarized");
    add.bind(13, flag(t, "top_level") ? 1 : 0);
    add.bind(14, flag(t, "user_topic") ? 1 : 0);
    add.bind(15, flag(t, "user_top_level") ? 1 : 0);
    add.run();
    topic_ids_[file_id] = db_.last_insert_rowid();
    accepted_.insert(index);
    ++report_.topics_added;
  }

  // Terms, feeds, document links and relations of a topic taken in (new or merged).
  void contents(const Json_value& t, std::size_t index) {
    const std::int64_t topic = topic_ids_.at(key_of(t, index));
    const std::string name = text(t, "name");
    if (const Json_value* terms = t.find("terms"); terms && terms->is_array())
      for (const Json_value& term : terms->items()) {
        if (!term.is_string() || Ref_string(std::string_view(term.as_string())).is_blank()) continue;
        Db_statement has(db_, "SELECT 1 FROM concept_terms WHERE concept_id = ?1 AND term = ?2");
        has.bind(1, topic).bind(2, std::string_view(term.as_string()));
        if (has.step()) continue;
        Db_statement add(db_, "INSERT INTO concept_terms (concept_id, term) VALUES (?1, ?2)");
        add.bind(1, topic).bind(2, std::string_view(term.as_string()));
        add.run();
        ++report_.terms_added;
      }
    if (const Json_value* feeds = t.find("feeds"); feeds && feeds->is_array())
      for (const Json_value& f : feeds->items()) feed(topic, name, f);
    if (const Json_value* links = t.find("documents"); links && links->is_array())
      for (const Json_value& l : links->items()) link(topic, name, l);
    if (const Json_value* relations = t.find("relations"); relations && relations->is_array())
      for (const Json_value& r : relations->items()) relation(topic, name, r);
  }

  void feed(std::int64_t topic, const std::string& name, const Json_value& f) {
    if (!f.is_object()) return;
    count_unknown(f, {"address", "title", "etag", "last_modified", "last_read"});
    const Ref_string address = normalized_address(Ref_string(std::string_view(text(f, "address"))));
    if (address.is_blank()) {
      report_.refused.push_back("a feed of topic '" + name + "' has no address");
      return;
    }
    Feed_store::ensure_table(db_);
    Db_statement add(db_,
                     "INSERT OR IGNORE INTO page_feeds (concept_id, address, title, etag, last_modified,"
                     " time_last_read) VALUES (?1, ?2, ?3, ?4, ?5, ?6)");
    add.bind(1, topic).bind(2, address);
    bind_text(add, 3, text(f, "title"));
    bind_text(add, 4, text(f, "etag"));
    bind_text(add, 5, text(f, "last_modified"));
    bind_date(add, 6, f, "last_read");
    add.run();
    Db_statement changed(db_, "SELECT changes()");
    changed.step();
    if (changed.integer(0) > 0)
      ++report_.feeds_added;
    else
      ++report_.feeds_skipped;
  }

  void link(std::int64_t topic, const std::string& name, const Json_value& l) {
    if (!l.is_object()) return;
    count_unknown(l, {"document", "found_by", "query", "relevant", "rating", "votes", "added", "removed"});
    const Json_value* ref = l.find("document");
    auto it = ref && ref->is_number() ? documents_.find(ref->as_integer()) : documents_.end();
    if (it == documents_.end()) {
      report_.refused.push_back("topic '" + name + "' links a document the file does not hold");
      return;
    }
    Db_statement has(db_, "SELECT 1 FROM concept_urls WHERE concept_id = ?1 AND url_id = ?2");
    has.bind(1, topic).bind(2, it->second);
    if (has.step()) {
      ++report_.links_skipped;
      return;
    }
    Db_statement add(db_,
                     "INSERT INTO concept_urls (concept_id, url_id, search_resource, query, relevant,"
                     " rating, num_votes, date_created, date_deleted)"
                     " VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9)");
    add.bind(1, topic).bind(2, it->second);
    bind_text(add, 3, text(l, "found_by"));
    bind_text(add, 4, text(l, "query"));
    add.bind(5, number(l, "relevant", std::numeric_limits<std::int32_t>::min(), std::numeric_limits<std::int32_t>::max()));
    add.bind(6, number(l, "rating", std::numeric_limits<std::int32_t>::min(), std::numeric_limits<std::int32_t>::max()));
    add.bind(7, number(l, "votes", std::numeric_limits<std::int32_t>::min(), std::numeric_limits<std::int32_t>::max()));
    bind_date(add, 8, l, "added");
    bind_date(add, 9, l, "removed");
    add.run();
    ++report_.links_added;
  }

  void relation(std::int64_t topic, const std::string& name, const Json_value& r) {
    if (!r.is_object()) return;
    count_unknown(r, {"topic", "type"});
    const Json_value* other = r.find("topic");
    auto it = other && other->is_number() ? topic_ids_.find(other->as_integer()) : topic_ids_.end();
    const std::string type = text(r, "type");
    if (it == topic_ids_.end() || type.empty() || type.size() > 2) {
      report_.refused.push_back("a relation of topic '" + name + "' names no topic of the file or no type");
      return;
    }
    if (it->second == topic) return;  // two topics of the file merged into one
    Db_statement has(db_, "SELECT 1 FROM concept_relations WHERE concept_id = ?1 AND related_id = ?2");
    has.bind(1, topic).bind(2, it->second);
    if (has.step()) return;
    Db_statement add(db_,
                     "INSERT INTO concept_relations (concept_id, related_id, relationship_type) VALUES (?1, ?2, ?3)");
    add.bind(1, topic).bind(2, it->second).bind(3, std::string_view(type));
    add.run();
    ++report_.relations_added;
  }

  Database& db_;
  Import_report& report_;
  Id_map documents_, topic_ids_;
  std::set<std::size_t> accepted_;  // the topics of the file taken in, by place
};

}  // namespace

std::vector<std::int32_t> all_topic_ids(Database& db) {
  std::vector<std::int32_t> ids;
  Db_statement s(db, "SELECT concept_id FROM concept_master ORDER BY concept_id");
  while (s.step()) ids.push_back(s.number(0));
  return ids;
}

Json_value export_topics(Database& db, const std::vector<std::int32_t>& topic_ids) {
  std::vector<std::int32_t> ids = topic_ids.empty() ? all_topic_ids(db) : topic_ids;
  std::sort(ids.begin(), ids.end());
  ids.erase(std::unique(ids.begin(), ids.end()), ids.end());
  const std::set<std::int32_t> chosen(ids.begin(), ids.end());
  std::set<std::int64_t> documents;
  Json_value root = Json_value::object();
  root.set("format", Json_value::string(topics_format_name));
  root.set("version", Json_value::integer(1));
  Json_value topics = Json_value::array();
  for (std::int32_t id : ids) {
    Json_value t = topic_json(db, id, chosen, documents);
    if (!t.is_null()) topics.push(std::move(t));
  }
  root.set("topics", std::move(topics));
  Json_value docs = Json_value::array();
  for (std::int64_t id : documents) {
    Json_value d = document_json(db, id);
    if (!d.is_null()) docs.push(std::move(d));
  }
  root.set("documents", std::move(docs));
  return root;
}

Import_report import_topics(Database& db, const Json_value& file) {
  Import_report report;
  const Json_value* topics = file.find("topics");
  const Json_value* format = file.find("format");
  if (!file.is_object() || !topics || !topics->is_array() ||
      (format && format->as_string() != topics_format_name)) {
    report.error = "the file is not a topics file of this program (an object with a \"topics\" list)";
    return report;
  }
  if (db.is_read_only()) {
    report.error = "the database cannot be written: " + db.read_only_reason();
    return report;
  }
  try {
    Db_transaction t(db);
    Importer(db, report).run(file);
    t.commit();
  } catch (const Db_error& e) {
    const Import_report empty;
    report = empty;
    report.error = e.what();
  }
  return report;
}

}  // namespace orvalis::exchange
