// Commands over the Topic database: new, check, topic, doc, find, resource.
// Arguments are checked before anything is written, so a command that fails on its usage
// leaves the database as it was; each store operation is one transaction of its own.
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <ctime>
#include <filesystem>
#include <iostream>
#include <limits>
#include <sstream>

#include "agent/application.h"
#include "cli/cli.h"
#include "cli/json.h"
#include "database/document_store.h"
#include "database/resource_definitions.h"
#include "database/schema.h"
#include "database/search_resource_store.h"
#include "database/topic_store.h"
#include "foundation/character_count.h"
#include "foundation/error_handler.h"
#include "foundation/settings.h"
#include "foundation/time_spec.h"
#include "platform/clock.h"
#include "platform/profile_file.h"
#include "platform/registry_store.h"

namespace orvalis::cli {

namespace {

Ref_string rs(const std::string& s) { return Ref_string(std::string_view(s)); }

// The longest topic name, term or search resource name, as the window's fields hold them.
constexpr std::size_t max_name_characters = max_field_characters;

bool all_digits(const std::string& s) {
  return !s.empty() && std::all_of(s.begin(), s.end(), [](unsigned char c) { return std::isdigit(c); });
}

std::string date_text(const Db_date& d) {
  if (!d.is_valid()) return "";
  std::time_t t = static_cast<std::time_t>(d.seconds);
  std::tm tm{};
  localtime_r(&t, &tm);
  char buf[32];
  std::strftime(buf, sizeof buf, "%Y-%m-%d %H:%M:%S", &tm);
  return buf;
}

// Failure of a command after the usage was right: reported as "Error: ...", status 1.
struct Command_failure {
  std::string message;
};

// The topic of `id` read afresh, terms included.
Topic_handle load_topic(std::int32_t id) {
  auto t = make_counted<Topic>();
  if (!Topic_store::shared().load_topic(*t, id)) return Topic_handle();
  return t;
}

// The id written in `key` (all digits), or 0 when it is beyond any id the database can give.
std::int32_t id_of(const std::string& key) {
  std::size_t first = key.find_first_not_of('0');
  if (first == std::string::npos) return 0;
  if (key.size() - first > 10) return 0;
  long long v = std::stoll(key.substr(first));
  return v <= std::numeric_limits<std::int32_t>::max() ? static_cast<std::int32_t>(v) : 0;
}

std::size_t characters(const std::string& s) { return character_count(s); }

// Names fit the window's fields: 255 characters.
void check_name(const std::string& name, const char* what) {
  if (rs(name).is_blank()) throw Usage_error{std::string("a ") + what + " needs a name"};
  if (characters(name) > max_name_characters)
    throw Usage_error{std::string("a ") + what + " name has at most " + std::to_string(max_name_characters) +
                      " characters; this one has " + std::to_string(characters(name))};
}

// A document's address and title fit the same fields.
void check_field(const std::string& text, const char* what) {
  if (characters(text) > max_name_characters)
    throw Usage_error{std::string("a document's ") + what + " has at most " + std::to_string(max_name_characters) +
                      " characters; this one has " + std::to_string(characters(text))};
}

void check_terms(const std::vector<std::string>& terms) {
  for (const std::string& term : terms) {
    if (rs(term).is_blank()) throw Usage_error{"a term cannot be empty"};
    if (characters(term) > max_name_characters)
      throw Usage_error{"a term has at most " + std::to_string(max_name_characters) + " characters"};
  }
}

// The topics called `name` (without regard to case) other than `except`.
std::string topics_named_text(const std::string& name, std::int32_t except) {
  std::string ids;
  for (const Topic_handle& t : Topic_store::shared().topics_named(rs(name)))
    if (t->concept_id != except) ids += (ids.empty() ? "" : ", ") + std::to_string(t->concept_id);
  return ids;
}

// TOPIC is an id (digits), "name:" followed by a name, or a name. Names are compared whole and
// without regard to case.
Topic_handle find_topic(const std::string& key) {
  std::string name = key;
  if (key.rfind("name:", 0) == 0) {
    name = key.substr(5);
  } else if (all_digits(key)) {
    std::int32_t id = id_of(key);
    Topic_handle t = id > 0 ? load_topic(id) : Topic_handle();
    if (t) return t;
    std::string hint;
    if (!Topic_store::shared().topics_named(rs(key)).empty())
      hint = " A topic is named '" + key + "': write name:" + key + " to name it.";
    throw Command_failure{"No topic with id " + key + "." + hint};
  }
  Ref_list<Topic_handle> found = Topic_store::shared().topics_named(rs(name));
  if (found.empty()) throw Command_failure{"No topic named '" + name + "'."};
  if (found.count() > 1)
    throw Command_failure{"Several topics are named '" + name + "' (ids " + topics_named_text(name, 0) +
                          "): name one by its id."};
  // Query rows carry no terms: read the whole topic.
  return load_topic(found.first()->concept_id);
}

// DOC is an id (digits) or an address (its scheme and host in any case).
Document_handle find_document(const std::string& key) {
  Document_store store;
  if (all_digits(key)) {
    auto d = make_counted<Document>();
    std::int32_t id = id_of(key);
    if (id <= 0 || !store.load_document(*d, id)) throw Command_failure{"No document with id " + key + "."};
    return d;
  }
  Document_handle d = store.find_by_address(rs(key));
  if (!d) throw Command_failure{"No document with the address '" + key + "'."};
  return d;
}

void write_topic_json(Json_writer& j, const Topic& t, bool full) {
  j.begin_object().field("id", t.concept_id).field("name", t.name.view()).field("category", t.category.view());
  if (full) {
    j.field("definition", t.definition.view())
        .field("facet", static_cast<int>(t.facet))
        .field("time_last_modified", date_text(t.time_last_modified))
        .field("time_last_queried", date_text(t.time_last_queried))
        .field("time_last_summarized", date_text(t.time_last_summarized))
        .field("query_time_spec", t.query_time_spec.view())
        .field("summarize_time_spec", t.summarize_time_spec.view())
        .field("query_enabled", static_cast<int>(t.query_enabled))
        .field("summary_enabled", static_cast<int>(t.summary_enabled))
        .field("is_top_level", static_cast<int>(t.is_top_level))
        .field("is_user_topic", static_cast<int>(t.is_user_topic))
        .field("is_user_top_level", static_cast<int>(t.is_user_top_level));
  }
  j.key("terms").begin_array();
  for (const Ref_string& term : t.terms) j.value(term.view());
  j.end_array().end_object();
}

void print_topics(Context& c, const Ref_list<Topic_handle>& topics) {
  if (c.json) {
    Json_writer j(c.out);
    j.begin_array();
    for (const Topic_handle& t : topics) write_topic_json(j, *t, false);
    j.end_array().finish();
    return;
  }
  std::string text;
  for (const Topic_handle& t : topics) {
    text += std::to_string(t->concept_id);
    text += '\t';
    text += t->name.view();
    if (!t->category.empty()) {
      text += "\t[";
      text += t->category.view();
      text += ']';
    }
    text += '\n';
  }
  c.out << text;
}

}  // namespace

void print_documents(Context& c, const Ref_list<Document_handle>& docs) {
  if (c.json) {
    Json_writer j(c.out);
    j.begin_array();
    for (const Document_handle& d : docs)
      j.begin_object().field("id", d->url_id).field("address", d->address.view()).field("title", d->title.view()).end_object();
    j.end_array().finish();
    return;
  }
  for (const Document_handle& d : docs) c.out << d->url_id << '\t' << d->address << '\t' << d->title << '\n';
}

namespace {

int check_spec(const std::string& text, const char* option) {
  if (std::string problem = schedule_problem(text); !problem.empty())
    throw Usage_error{std::string(option) + ": " + problem};
  return 0;
}

int flag_value(const std::string& text, const char* option) {
  if (text != "0" && text != "1") throw Usage_error{std::string(option) + " must be 0 or 1"};
  return text == "1";
}

// Runs a database command body: opens the database, turns failures into status 1.
template <class Body>
int with_database(Context& c, Body body) {
  if (!c.open_database()) return 1;
  try {
    return body();
  } catch (const Command_failure& f) {
    report_error(rs(f.message));
    return 1;
  }
}

int topic_add(Context& c) {
  std::vector<std::string> terms = c.take_all("--term");
  std::string category, definition;
  c.take("--category", category);
  c.take("--definition", definition);
  const std::string& name = c.arg(1, "topic name");
  c.no_more_args(2);
  check_name(name, "topic");
  check_terms(terms);
  return with_database(c, [&] {
    Topic_store& store = Topic_store::shared();
    std::string same = topics_named_text(name, 0);
    if (!same.empty()) throw Command_failure{"A topic named '" + name + "' exists already (id " + same + ")."};
    Topic_handle t = store.add_topic(rs(name));
    if (!t) return 1;
    t->category = rs(category);
    t->definition = rs(definition);
    for (const std::string& term : terms) t->terms.append(rs(term));
    t->is_user_topic = 1;
    t->is_user_top_level = 1;
    t->time_last_modified = Db_date::at(platform::now());
    if (!store.save_topic(*t)) {
      store.delete_topic(t->concept_id);  // do not leave half a topic behind
      return 1;
    }
    if (c.json) {
      Json_writer j(c.out);
      write_topic_json(j, *t, true);
      j.finish();
    } else {
      c.out << "Added topic " << t->concept_id << " '" << t->name << "'\n";
    }
    return 0;
  });
}

int topic_list(Context& c) {
  bool scheduled = c.take_flag("--scheduled"), top = c.take_flag("--top"),
       user = c.take_flag("--user"), recent = c.take_flag("--recent");
  c.no_more_args(1);
  if (scheduled + top + user + recent > 1) throw Usage_error{"choose one of --scheduled, --top, --user, --recent"};
  return with_database(c, [&] {
    Topic_store& store = Topic_store::shared();
    Ref_list<Topic_handle> topics = scheduled ? store.scheduled_topics()
                                    : top     ? store.top_level_topics()
                                    : user    ? store.user_top_level_topics()
                                    : recent  ? store.recently_modified_topics()
                                              : store.topics_matching("");
    print_topics(c, topics);
    return 0;
  });
}

int topic_show(Context& c) {
  const std::string& key = c.arg(1, "topic");
  c.no_more_args(2);
  return with_database(c, [&] {
    Topic_handle t = find_topic(key);
    Ref_list<Related_topic> related = Topic_store::shared().related_topics(t->concept_id);
    Ref_list<Topic_document> docs = Document_store().documents_of_topic(t->concept_id, false);
    if (c.json) {
      Json_writer j(c.out);
      j.begin_object().key("topic");
      write_topic_json(j, *t, true);
      j.key("related").begin_array();
      for (const Related_topic& r : related)
        j.begin_object().field("code", r.code.view()).field("label", relationship_label(r.code).view())
            .field("id", r.topic->concept_id).field("name", r.topic->name.view()).end_object();
      j.end_array().field("documents", docs.count()).end_object().finish();
      return 0;
    }
    c.out << "Topic " << t->concept_id << ": " << t->name << "\n";
    if (!t->definition.empty()) c.out << "Definition: " << t->definition << "\n";
    if (!t->category.empty()) c.out << "Category: " << t->category << "\n";
    c.out << "Terms:";
    for (const Ref_string& term : t->terms) c.out << " \"" << term << "\"";
    c.out << "\nSearch schedule: " << t->query_time_spec << (t->query_enabled ? " (on)" : " (off)")
          << "\nSummary schedule: " << t->summarize_time_spec << (t->summary_enabled ? " (on)" : " (off)")
          << "\nLast searched: " << date_text(t->time_last_queried)
          << "\nLast summarized: " << date_text(t->time_last_summarized)
          << "\nModified: " << date_text(t->time_last_modified) << "\nDocuments: " << docs.count() << "\n";
    for (const Related_topic& r : related)
      c.out << relationship_label(r.code) << ": " << r.topic->name << " (" << r.topic->concept_id << ")\n";
    return 0;
  });
}

int topic_set(Context& c) {
  std::vector<std::string> terms = c.take_all("--term");
  std::string name, category, definition, qspec, sspec, qon, son;
  bool has_name = c.take("--name", name), has_category = c.take("--category", category),
       has_definition = c.take("--definition", definition), has_q = c.take("--query-spec", qspec),
       has_s = c.take("--summarize-spec", sspec), has_qon = c.take("--query-enabled", qon),
       has_son = c.take("--summary-enabled", son);
  const std::string& key = c.arg(1, "topic");
  c.no_more_args(2);
  if (has_name) check_name(name, "topic");
  check_terms(terms);
  if (has_q) check_spec(qspec, "--query-spec");
  if (has_s) check_spec(sspec, "--summarize-spec");
  int qflag = has_qon ? flag_value(qon, "--query-enabled") : 0;
  int sflag = has_son ? flag_value(son, "--summary-enabled") : 0;
  return with_database(c, [&] {
    Topic_handle t = find_topic(key);
    std::string same = has_name ? topics_named_text(name, t->concept_id) : "";
    if (!same.empty()) throw Command_failure{"A topic named '" + name + "' exists already (id " + same + ")."};
    if (has_name) t->name = rs(name);
    if (has_category) t->category = rs(category);
    if (has_definition) t->definition = rs(definition);
    if (has_q) t->query_time_spec = rs(qspec);
    if (has_s) t->summarize_time_spec = rs(sspec);
    if (has_qon) t->query_enabled = static_cast<std::uint8_t>(qflag);
    if (has_son) t->summary_enabled = static_cast<std::uint8_t>(sflag);
    if (!terms.empty()) {
      t->terms = Ref_list<Ref_string>();
      for (const std::string& term : terms) t->terms.append(rs(term));
    }
    t->time_last_modified = Db_date::at(platform::now());
    if (!Topic_store::shared().save_topic(*t)) return 1;
    if (!c.json) c.out << "Saved topic " << t->concept_id << "\n";
    return 0;
  });
}

int topic_delete(Context& c) {
  const std::string& key = c.arg(1, "topic");
  c.no_more_args(2);
  return with_database(c, [&] {
    Topic_handle t = find_topic(key);
    if (!Topic_store::shared().delete_topic(t->concept_id)) return 1;
    if (!c.json) c.out << "Deleted topic " << t->concept_id << " '" << t->name << "'\n";
    return 0;
  });
}

int topic_relate(Context& c, bool relate) {
  const std::string& a = c.arg(1, "first topic");
  const std::string& b = c.arg(2, "second topic");
  std::string code;
  if (relate) {
    code = c.arg(3, "relationship code");
    c.no_more_args(4);
    if (relationship_rank(rs(code)) >= static_cast<int>(std::size(relationships))) {
      std::string codes;
      for (const Relationship& r : relationships)
        codes += std::string(" ") + r.code + " (" + Ref_string::from_id(r.label_id).str() + ")";
      throw Usage_error{"unknown relationship code '" + code + "'; the codes are:" + codes};
    }
  } else {
    c.no_more_args(3);
  }
  return with_database(c, [&] {
    Topic_handle ta = find_topic(a), tb = find_topic(b);
    if (ta->concept_id == tb->concept_id) throw Command_failure{"A topic cannot be related to itself."};
    Topic_store& store = Topic_store::shared();
    bool ok = relate ? store.relate(ta->concept_id, tb->concept_id, rs(code))
                     : store.unrelate(ta->concept_id, tb->concept_id);
    return ok ? 0 : 1;
  });
}

int doc_add(Context& c) {
  std::string title;
  c.take("--title", title);
  const std::string& topic = c.arg(1, "topic");
  const std::string& address = c.arg(2, "address");
  c.no_more_args(3);
  if (rs(address).is_blank()) throw Usage_error{"a document needs an address"};
  check_field(address, "address");
  check_field(title, "title");
  return with_database(c, [&] {
    Topic_handle t = find_topic(topic);
    Document_store store;
    Document_handle d = store.add_document(rs(address), rs(title), 0, 0);
    if (!d) return 1;
    Document_link link;
    link.relevant = 1;
    const int errors_before = c.errors();
    bool linked = store.link_document(t->concept_id, d->url_id, link, true);
    if (!linked && c.errors() > errors_before) return 1;  // not stored: the error says why
    if (c.json) {
      Json_writer j(c.out);
      j.begin_object().field("id", d->url_id).field("address", d->address.view()).field("linked", linked).end_object().finish();
    } else {
      c.out << (linked ? "Added document " : "Document already in the topic: ") << d->url_id << " "
            << d->address << "\n";
    }
    return 0;
  });
}

int doc_list(Context& c) {
  bool all = c.take_flag("--all");
  const std::string& topic = c.arg(1, "topic");
  c.no_more_args(2);
  return with_database(c, [&] {
    Topic_handle t = find_topic(topic);
    Ref_list<Topic_document> docs = Document_store().documents_of_topic(t->concept_id, all);
    if (c.json) {
      Json_writer j(c.out);
      j.begin_array();
      for (const Topic_document& td : docs)
        j.begin_object().field("id", td.document->url_id).field("address", td.document->address.view())
            .field("title", td.document->title.view()).field("relevant", td.link.relevant)
            .field("removed", td.link.is_removed()).field("query", td.link.query.view())
            .field("search_resource", td.link.search_resource.view())
            .field("date_created", date_text(td.link.date_created)).end_object();
      j.end_array().finish();
      return 0;
    }
    for (const Topic_document& td : docs)
      c.out << td.document->url_id << '\t' << (td.link.is_removed() ? "removed\t" : "") << td.document->address
            << '\t' << td.document->title << '\n';
    return 0;
  });
}

int doc_show(Context& c) {
  const std::string& key = c.arg(1, "document");
  c.no_more_args(2);
  return with_database(c, [&] {
    Document_handle d = find_document(key);
    if (c.json) {
      Json_writer j(c.out);
      j.begin_object().field("id", d->url_id).field("address", d->address.view()).field("title", d->title.view())
          .field("size", d->size).field("time_last_retrieved", date_text(d->time_last_retrieved))
          .field("timeout_count", static_cast<int>(d->timeout_count)).field("num_anchors", d->num_anchors)
          .field("num_images", d->num_images).field("annotation", d->annotation.view());
      j.key("abstract").begin_array();
      for (const Ref_string& s : d->abstract) j.value(s.view());
      j.end_array().key("summary").begin_array();
      for (const Ref_string& s : d->summary) j.value(s.view());
      j.end_array().end_object().finish();
      return 0;
    }
    c.out << "Document " << d->url_id << ": " << d->address << "\nTitle: " << d->title << "\nSize: " << d->size
          << "  Links: " << d->num_anchors << "  Images: " << d->num_images
          << "\nRetrieved: " << date_text(d->time_last_retrieved) << "\n";
    if (d->summary.count()) {
      c.out << "Key terms: " << join(d->summary, ", ") << "\n";
    }
    if (d->abstract.count()) {
      c.out << "Extract:\n";
      for (const Ref_string& s : d->abstract) c.out << "  " << s << "\n";
    }
    if (!d->annotation.empty()) c.out << "Note: " << d->annotation << "\n";
    return 0;
  });
}

int doc_link_change(Context& c, const std::string& verb) {
  const std::string& topic = c.arg(1, "topic");
  const std::string& doc = c.arg(2, "document");
  int value = 0;
  if (verb == "relevance") {
    value = parse_int(c.arg(3, "relevance value"), "the relevance value", std::numeric_limits<std::int32_t>::min(),
                      std::numeric_limits<std::int32_t>::max());
    c.no_more_args(4);
  } else {
    c.no_more_args(3);
  }
  return with_database(c, [&] {
    Topic_handle t = find_topic(topic);
    Document_handle d = find_document(doc);
    Document_store store;
    if (verb == "remove") {
      if (!store.remove_document_from_topic(t->concept_id, d->url_id))
        throw Command_failure{"Document " + std::to_string(d->url_id) + " is not a live document of topic " +
                              std::to_string(t->concept_id) + "."};
    } else if (verb == "restore") {
      Document_link link;
      link.relevant = 1;
      if (!store.link_document(t->concept_id, d->url_id, link, true))
        throw Command_failure{"Document " + std::to_string(d->url_id) + " is already a live document of topic " +
                              std::to_string(t->concept_id) + "."};
    } else if (!store.set_relevance(t->concept_id, d->url_id, value)) {
      throw Command_failure{"Document " + std::to_string(d->url_id) + " does not belong to topic " +
                            std::to_string(t->concept_id) + "."};
    }
    return 0;
  });
}

int doc_note(Context& c) {
  const std::string& key = c.arg(1, "document");
  const std::string& text = c.arg(2, "note text");
  c.no_more_args(3);
  return with_database(c, [&] {
    Document_handle d = find_document(key);
    d->annotation = rs(text);
    return Document_store().save_document(*d) ? 0 : 1;
  });
}

void print_resource(Context& c, const Search_resource& r, bool full) {
  const std::int64_t now = platform::now();
  const Engine_health health = Engine_health_store().health(r.name);
  if (c.json) {
    Json_writer j(c.out);
    j.begin_object().field("name", r.name.view()).field("location", r.location.text().view())
        .field("category", r.category.view()).field("enabled", r.enabled != 0)
        .field("request_type", request_type_text(r.request_kind));
    j.key("health");
    write_health(j, health, now);
    if (full) {
      j.field("search_field", r.search_field.view()).field("form_url", r.form_url.view())
          .field("username", r.username.view());
      j.key("field_values").begin_object();
      for (const Name_value& nv : r.field_values) j.field(nv.name.view(), nv.value.view());
      j.end_object().key("ignore_substrings").begin_array();
      for (const Ref_string& s : r.ignore_substrings) j.value(s.view());
      j.end_array();
    }
    j.end_object().finish();
    return;
  }
  if (!full) {
    c.out << r.name << '\t' << (r.enabled ? "enabled" : "disabled") << '\t' << r.category << '\t'
          << r.location.text() << '\t' << health_summary(health, now) << '\n';
    return;
  }
  c.out << "Name: " << r.name << "\nLocation: " << r.location.text() << "\nRequest: "
        << request_type_text(r.request_kind) << "\nSearch field: " << r.search_field << "\nFields:";
  for (const Name_value& nv : r.field_values) c.out << " " << nv.name << "=" << nv.value;
  c.out << "\nIgnore: " << join(r.ignore_substrings, ",") << "\nCategory: " << r.category
        << "\nEnabled: " << (r.enabled ? "yes" : "no") << "\nForm: " << r.form_url << "\n";
  if (!r.username.empty()) c.out << "User name: " << r.username << "\n";
  c.out << "Health: " << health_summary(health, now) << "\n";
}

}  // namespace

int cmd_new(Context& c) {
  bool force = c.take_flag("--force");
  const std::string& file = c.arg(0, "database file");
  c.no_more_args(1);
  std::error_code ec;
  if (std::filesystem::exists(file, ec) && !force) {
    report_error(rs(file + " exists already: add --force to replace it."));
    return 1;
  }
  Application& app = Application::instance();
  if (app.database_open()) app.close_database();
  if (std::filesystem::exists(file, ec)) {
    std::filesystem::remove(file, ec);
    for (const char* suffix : {"-wal", "-shm"}) std::filesystem::remove(file + suffix, ec);
  }
  if (!create_database(rs(file))) return 1;
  if (!app.open_database(rs(file))) return 1;
  // The definitions file is read straight from the settings store, as a new database is made.
  Ref_string definitions = rs(platform::Registry_store::instance().read("SearchResources"));
  int seeded = seed_search_resources(definitions);
  if (c.json) {
    Json_writer j(c.out);
    j.begin_object().field("database", file).field("search_resources", seeded).end_object().finish();
  } else {
    c.out << "Created " << file << " with " << seeded << " search resource" << (seeded == 1 ? "" : "s") << "\n";
  }
  return 0;
}

int cmd_check(Context& c) {
  const std::string& file = c.arg(0, "database file");
  c.no_more_args(1);
  if (!usable_file(file)) return 1;
  std::string refusal;
  Database_format f = check_database_format(rs(file), &refusal);
  const char* text = !refusal.empty()          ? "refused"
                     : f == format_current     ? "current"
                     : f == format_other       ? "earlier or foreign"
                                               : "unreadable";
  if (c.json) {
    Json_writer j(c.out);
    j.begin_object().field("format", static_cast<int>(f)).field("text", text);
    if (!refusal.empty()) j.field("reason", refusal);
    j.end_object().finish();
  } else {
    c.out << file << ": " << text << (refusal.empty() ? "" : ": " + refusal) << "\n";
  }
  if (!refusal.empty()) report_error(rs(file + " is refused: " + refusal + "."));
  return f == format_failed || !refusal.empty() ? 1 : 0;
}

Topic_handle lookup_topic(const std::string& key) {
  try {
    return find_topic(key);
  } catch (const Command_failure& f) {
    report_error(rs(f.message));
    return Topic_handle();
  }
}

Document_handle lookup_document(const std::string& key) {
  try {
    return find_document(key);
  } catch (const Command_failure& f) {
    report_error(rs(f.message));
    return Document_handle();
  }
}

int cmd_topic(Context& c) {
  const std::string& verb = c.arg(0, "topic command");
  if (verb == "add") return topic_add(c);
  if (verb == "list") return topic_list(c);
  if (verb == "show") return c.take_flag("--html") ? topic_show_html(c) : topic_show(c);
  if (verb == "set") return topic_set(c);
  if (verb == "delete") return topic_delete(c);
  if (verb == "relate") return topic_relate(c, true);
  if (verb == "unrelate") return topic_relate(c, false);
  throw Usage_error{"unknown topic command '" + verb + "'"};
}

int cmd_doc(Context& c) {
  const std::string& verb = c.arg(0, "doc command");
  if (verb == "add") return doc_add(c);
  if (verb == "list") return doc_list(c);
  if (verb == "show") return c.take_flag("--html") ? doc_show_html(c) : doc_show(c);
  if (verb == "remove" || verb == "restore" || verb == "relevance") return doc_link_change(c, verb);
  if (verb == "note") return doc_note(c);
  if (verb == "text") return doc_text(c);
  if (verb == "changes") return doc_changes(c);
  throw Usage_error{"unknown doc command '" + verb + "'"};
}

int cmd_find(Context& c) {
  std::string topic;
  const bool in_topic = c.take("--topic", topic);
  const std::string& what = c.arg(0, "what to find (documents or topics)");
  const std::string& text = c.arg(1, "text");
  c.no_more_args(2);
  if (what != "documents" && what != "topics")
    throw Usage_error{"find documents QUERY [--topic TOPIC] or find topics TEXT"};
  if (in_topic && what != "documents") throw Usage_error{"--topic limits find documents only"};
  return with_database(c, [&] {
    if (what == "documents")
      return find_documents(c, text, in_topic ? find_topic(topic)->concept_id : 0);
    else
      print_topics(c, Topic_store::shared().topics_matching(rs(text)));
    return 0;
  });
}

int cmd_resource(Context& c) {
  const std::string& verb = c.arg(0, "resource command");
  if (verb == "list") {
    bool by_category = c.take_flag("--by-category");
    c.no_more_args(1);
    return with_database(c, [&] {
      Ref_list<Search_resource_handle> list = Search_resource_store().list_resources(by_category);
      if (c.json) {
        c.out << "[";
        bool first = true;
        for (const Search_resource_handle& r : list) {
          if (!first) c.out << ",";
          first = false;
          std::ostringstream one;
          Context inner(one, c.err);
          inner.json = true;
          print_resource(inner, *r, false);
          std::string s = one.str();
          if (!s.empty() && s.back() == '\n') s.pop_back();
          c.out << s;
        }
        c.out << "]\n";
      } else {
        for (const Search_resource_handle& r : list) print_resource(c, *r, false);
      }
      return 0;
    });
  }
  if (verb == "show" || verb == "delete") {
    const std::string& name = c.arg(1, "resource name");
    c.no_more_args(2);
    return with_database(c, [&] {
      Search_resource_store store;
      Search_resource_handle r = store.resource(rs(name));
      if (!r) throw Command_failure{"No search resource named '" + name + "'."};
      if (verb == "show") {
        print_resource(c, *r, true);
        return 0;
      }
      return store.delete_resource(rs(name)) ? 0 : 1;
    });
  }
  if (verb == "import") {
    const std::string& file = c.arg(1, "definitions file");
    c.no_more_args(2);
    if (!usable_file(file)) return 1;
    struct stat st {};
    if (::stat(file.c_str(), &st) == 0 && static_cast<std::uint64_t>(st.st_size) > platform::Profile_file::max_file_size) {
      report_error(rs("The definitions file " + file + " is too large: " + std::to_string(st.st_size) +
                      " bytes, where a definitions file holds at most " +
                      std::to_string(platform::Profile_file::max_file_size / (1024 * 1024)) + " MiB."));
      return 1;
    }
    if (access(file.c_str(), R_OK) != 0) {
      report_error(rs("Cannot read the definitions file " + file + "."));
      return 1;
    }
    return with_database(c, [&] {
      Definitions_import r = import_definitions(rs(file));
      if (!r.readable) throw Command_failure{"Cannot read the definitions file " + file + "."};
      if (!r.is_definitions_file())
        throw Command_failure{file + " is not a definitions file: it has no [section] lines."};
      for (const auto& [section, reason] : r.refused)
        report_error(rs("Section [" + section + "] refused: " + reason + "."));
      if (c.json) {
        Json_writer j(c.out);
        j.begin_object().field("imported", r.saved).field("sections", r.sections).key("refused").begin_array();
        for (const auto& [section, reason] : r.refused)
          j.begin_object().field("section", section).field("reason", reason).end_object();
        j.end_array().end_object().finish();
      } else {
        c.out << "Imported " << r.saved << " of " << r.sections << " search resources\n";
      }
      return r.saved == r.sections ? 0 : 1;
    });
  }
  if (verb == "test") return resource_test(c);
  if (verb == "stats") return resource_stats(c);
  if (verb == "categories") {
    c.no_more_args(1);
    return with_database(c, [&] {
      Ref_list<Ref_string> cats = Search_resource_store().list_categories();
      if (c.json) {
        Json_writer j(c.out);
        j.begin_array();
        for (const Ref_string& s : cats) j.value(s.view());
        j.end_array().finish();
      } else {
        for (const Ref_string& s : cats) c.out << s << "\n";
      }
      return 0;
    });
  }
  throw Usage_error{"unknown resource command '" + verb + "'"};
}

}  // namespace orvalis::cli
