#include "exchange/topic_exchange.h"

#include <algorithm>
#include <ostream>
#include <set>
#include <sstream>
#include <string>

#include "database/document.h"
#include "database/feed_store.h"
#include "exchange/exchange_dates.h"

namespace orvalis::exchange {

namespace {

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

// Writes the items of an array one by one, as write_json writes an array at nesting `level`.
class Array_writer {
 public:
  Array_writer(std::ostream& out, int level) : out_(out), level_(level) {}
  void item(const Json_value& v) {
    out_ << (first_ ? "[" : ",") << '\n' << std::string(2 * (level_ + 1), ' ');
    first_ = false;
    write_json_at(out_, v, level_ + 1);
  }
  void end() {
    if (first_)
      out_ << "[]";
    else
      out_ << '\n' << std::string(2 * level_, ' ') << ']';
  }

 private:
  std::ostream& out_;
  int level_;
  bool first_ = true;
};

// A topic without its document links (see write_links).
Json_value topic_json(Database& db, std::int32_t id, const std::set<std::int32_t>& chosen) {
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

  return o;
}

// Writes the document links of topic `id` as the array at nesting `level`, adding the
// documents they link to `documents`.
void write_links(Database& db, std::int32_t id, std::set<std::int64_t>& documents, std::ostream& out, int level) {
  Array_writer links(out, level);
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
      links.item(l);
    }
  }
  links.end();
}

// Writes topic `id` (its fields `t`) as an item at nesting `level` of the topics array, with
// its links last.
void write_topic(Database& db, std::int32_t id, const Json_value& t, std::set<std::int64_t>& documents,
                 std::ostream& out, int level) {
  const std::string indent = '\n' + std::string(2 * (level + 1), ' ');
  out << '{';
  for (const Json_value::Member& m : t.members()) {
    out << indent;
    write_json_string(out, m.first);
    out << ": ";
    write_json_at(out, m.second, level + 1);
    out << ',';
  }
  out << indent << "\"documents\": ";
  write_links(db, id, documents, out, level + 1);
  out << '\n' << std::string(2 * level, ' ') << '}';
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

}  // namespace

std::vector<std::int32_t> all_topic_ids(Database& db) {
  std::vector<std::int32_t> ids;
  Db_statement s(db, "SELECT concept_id FROM concept_master ORDER BY concept_id");
  while (s.step()) ids.push_back(s.number(0));
  return ids;
}

bool write_topics_json(Database& db, const std::vector<std::int32_t>& topic_ids, std::ostream& out,
                       const Exchange_progress& progress) {
  std::vector<std::int32_t> ids = topic_ids.empty() ? all_topic_ids(db) : topic_ids;
  std::sort(ids.begin(), ids.end());
  ids.erase(std::unique(ids.begin(), ids.end()), ids.end());
  const std::set<std::int32_t> chosen(ids.begin(), ids.end());
  std::set<std::int64_t> documents;
  out << "{\n  \"format\": ";
  write_json_string(out, topics_format_name);
  out << ",\n  \"version\": 1,\n  \"topics\": ";
  bool first = true;
  for (std::int32_t id : ids) {
    const Json_value t = topic_json(db, id, chosen);
    if (t.is_null()) continue;
    out << (first ? "[\n    " : ",\n    ");
    first = false;
    write_topic(db, id, t, documents, out, 2);
  }
  out << (first ? "[]" : "\n  ]");
  out << ",\n  \"documents\": ";
  Array_writer docs(out, 1);
  std::uint64_t done = 0;
  for (std::int64_t id : documents) {
    const Json_value d = document_json(db, id);
    if (!d.is_null()) docs.item(d);
    ++done;
    if (progress && (done % 256 == 0 || done == documents.size()) && !progress(done, documents.size())) return false;
  }
  docs.end();
  out << "\n}\n";
  return true;
}

Json_value export_topics(Database& db, const std::vector<std::int32_t>& topic_ids) {
  std::ostringstream text;
  write_topics_json(db, topic_ids, text);
  return parse_json(text.str()).value;
}

}  // namespace orvalis::exchange
