#include <algorithm>
#include <initializer_list>
#include <istream>
#include <limits>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "database/document.h"
#include "database/feed_store.h"
#include "database/page_search_index.h"
#include "exchange/exchange_dates.h"
#include "exchange/json_reader.h"
#include "exchange/topic_exchange.h"

namespace orvalis::exchange {

namespace {

using Id_map = std::unordered_map<std::int64_t, std::int64_t>;

// Why a well-formed file cannot be imported.
struct Not_topics_file {
  std::string why = "the file is not a topics file of this program (an object with a \"topics\" list)";
};
struct Import_cancelled {};


class Importer {
 public:
  Importer(Database& db, Import_report& report, const Exchange_progress& progress, std::uint64_t file_bytes)
      : db_(db), report_(report), progress_(progress), file_bytes_(file_bytes) {}

  // The file is read three times: for its documents (and to learn whether it is a topics
  // file at all, and well formed), for its topics without their document links, and for the
  // links topic by topic. At most one document, one topic's fields or one link is held at a
  // time, besides the maps from the file's ids to the database's.
  void run(std::istream& in) {
    remove_orphan_feeds(db_);  // a topic made with a freed id must not find old feeds
    documents_pass(in);
    topics_pass(rewound(in));
    links_pass(rewound(in));
    // Kept ids may lie below what the search index has covered: the added documents are noted
    // for it, and their rows are written with the index's next catch-up.
    Page_search_index(db_).update_documents(added_);
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
    // -1 anchors and images: a search result the agent has not fetched yet.
    add.bind(7, number(d, "anchors", -1, std::numeric_limits<std::int32_t>::max()));
    add.bind(8, number(d, "images", -1, std::numeric_limits<std::int32_t>::max()));
    bind_text(add, 9, sentences(d, "extract"));
    bind_text(add, 10, sentences(d, "key_terms"));
    bind_text(add, 11, text(d, "note"));
    add.run();
    added_.push_back(db_.last_insert_rowid());
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

  std::istream& rewound(std::istream& in) {
    in.clear();
    in.seekg(0);
    if (!in) throw Not_topics_file{"the file cannot be read again from its start"};
    passes_done_ += 1;
    return in;
  }

  void tell(const Json_reader& r) {
    if (progress_ && !progress_(passes_done_ * file_bytes_ + r.offset(), 3 * file_bytes_)) throw Import_cancelled{};
  }

  bool known(const std::string& name, std::initializer_list<const char*> names) {
    for (const char* k : names)
      if (name == k) return true;
    return false;
  }

  // An item of an array read whole when it is an object, passed over (and null) otherwise.
  static Json_value object_item(Json_reader& r) {
    if (r.peek_kind() == Json_value::Kind::object) return r.read_value();
    r.skip_value();
    return Json_value();
  }

  void documents_pass(std::istream& in) {
    Json_reader r(in);
    if (r.peek_kind() != Json_value::Kind::object) {
      r.skip_value();
      r.finish();
      throw Not_topics_file{};
    }
    bool topics = false, topics_seen = false, format_seen = false, documents_seen = false, format_ok = true;
    std::string name;
    r.begin_object();
    while (r.next_member(name)) {
      if (name == "documents" && !documents_seen) {
        documents_seen = true;
        if (r.peek_kind() != Json_value::Kind::array) {
          r.skip_value();
          continue;
        }
        r.begin_array();
        for (std::size_t k = 0; r.next_item(); ++k) {
          document(object_item(r), k);
          if (k % 256 == 0) tell(r);
        }
      } else if (name == "topics" && !topics_seen) {
        topics_seen = true;
        topics = r.peek_kind() == Json_value::Kind::array;
        r.skip_value();
      } else if (name == "format" && !format_seen) {
        format_seen = true;
        format_ok = r.read_value().as_string() == topics_format_name;
      } else {
        if (!known(name, {"format", "version", "exported", "topics", "documents"})) ++report_.unknown_fields;
        r.skip_value();
      }
    }
    r.finish();
    if (!topics || !format_ok) throw Not_topics_file{};
  }

  // Calls `each(k)` with the reader at the k-th item of the file's (first) "topics" list. The
  // first pass has checked the whole text, so the rest of the file is not read again.
  template <class Each>
  void walk_topics(Json_reader& r, Each each) {
    std::string name;
    r.begin_object();
    while (r.next_member(name)) {
      if (name != "topics") {
        r.skip_value();
        continue;
      }
      r.begin_array();
      for (std::size_t k = 0; r.next_item(); ++k) each(k);
      return;
    }
  }

  void topics_pass(std::istream& in) {
    Json_reader r(in);
    walk_topics(r, [&](std::size_t k) {
      held_.push_back(topic_fields(r));
      topic(held_.back(), k);
      if (!accepted_.count(k)) held_.back() = Json_value();
      tell(r);
    });
  }

  // A topic of the file without its document links (read in the last pass, one at a time);
  // null for an item that is no object.
  static Json_value topic_fields(Json_reader& r) {
    if (r.peek_kind() != Json_value::Kind::object) {
      r.skip_value();
      return Json_value();
    }
    Json_value t = Json_value::object();
    std::string name;
    r.begin_object();
    while (r.next_member(name)) {
      if (name == "documents") {
        r.skip_value();
        t.set(name, Json_value());
      } else {
        t.set(name, r.read_value());
      }
    }
    return t;
  }

  void links_pass(std::istream& in) {
    Json_reader r(in);
    walk_topics(r, [&](std::size_t k) {
      if (accepted_.count(k))
        contents(held_[k], k, r);
      else
        r.skip_value();
    });
  }

  // Terms, feeds, document links and relations of a topic taken in (new or merged); `r` is at
  // the topic's object in the file, for its links.
  void contents(const Json_value& t, std::size_t index, Json_reader& r) {
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
    bool links_seen = false;
    std::string member;
    r.begin_object();
    while (r.next_member(member)) {
      const bool links = member == "documents" && !links_seen;
      links_seen = links_seen || member == "documents";
      if (!links || r.peek_kind() != Json_value::Kind::array) {
        r.skip_value();
        continue;
      }
      r.begin_array();
      for (std::size_t k = 0; r.next_item(); ++k) {
        link(topic, name, object_item(r));
        if (k % 256 == 0) tell(r);
      }
    }
    if (const Json_value* relations = t.find("relations"); relations && relations->is_array())
      for (const Json_value& rel : relations->items()) relation(topic, name, rel);
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
  const Exchange_progress& progress_;
  std::uint64_t file_bytes_;
  std::uint64_t passes_done_ = 0;
  std::vector<Json_value> held_;  // the topics taken in, without their links; null for others
  Id_map documents_, topic_ids_;
  std::vector<std::int64_t> added_;  // documents stored, to index at the end
  std::set<std::size_t> accepted_;  // the topics of the file taken in, by place
};

}  // namespace

Import_report import_topics(Database& db, std::istream& in, const Exchange_progress& progress) {
  Import_report report;
  if (db.is_read_only()) {
    report.error = "the database cannot be written: " + db.read_only_reason();
    return report;
  }
  in.seekg(0, std::ios::end);
  const std::streamoff end = in.tellg();
  in.seekg(0);
  const std::uint64_t bytes = end > 0 ? static_cast<std::uint64_t>(end) : 0;
  const Import_report empty;
  try {
    Db_transaction t(db);
    Importer(db, report, progress, bytes).run(in);
    t.commit();
  } catch (const Db_error& e) {
    report = empty;
    report.error = e.what();
  } catch (const Json_syntax_error& e) {
    report = empty;
    report.error = e.what();
    report.unreadable = true;
  } catch (const Not_topics_file& e) {
    report = empty;
    report.error = e.why;
  } catch (const Import_cancelled&) {
    report = empty;
    report.error = "the import was cancelled";
  }
  return report;
}

Import_report import_topics(Database& db, const Json_value& file) {
  std::istringstream in(to_json_text(file));
  return import_topics(db, in);
}

}  // namespace orvalis::exchange
