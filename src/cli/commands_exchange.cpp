// Commands that bring feeds and topics in and out: feed add/list/remove, export and import.
// The formats themselves live in the exchange library; these commands only check their
// arguments, open the database and say what was done.
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>

#include "cli/cli.h"
#include "cli/json.h"
#include "database/database.h"
#include "database/feed_store.h"
#include "agent/feed_discovery.h"
#include "exchange/json_value.h"
#include "exchange/topic_exchange.h"
#include "exchange/topic_exchange_file.h"
#include "foundation/error_handler.h"
#include "foundation/url.h"

namespace orvalis::cli {

namespace {

Ref_string rs(const std::string& s) { return Ref_string(std::string_view(s)); }


int feed_add(Context& c) {
  std::string title;
  const bool titled = c.take("--title", title);
  const std::string& topic = c.arg(1, "topic");
  const std::string& address = c.arg(2, "feed address");
  c.no_more_args(3);
  if (!is_web_address(address)) throw Usage_error{"a feed address starts with http:// or https://"};
  if (!c.open_database()) return 1;
  Topic_handle t = lookup_topic(topic);
  if (!t) return 1;
  const Feed_choice choice = choose_feeds(address);
  if (!choice.error.empty()) {
    report_error(rs(choice.error));
    return 1;
  }
  if (!choice.unchecked.empty())
    c.err << "Could not look at " << address << " (" << choice.unchecked << "); it is added as given.\n";
  // A page may announce several feeds (posts and comments, RSS and Atom of the same): every one
  // is added, and listed, for the user to remove those not wanted.
  if (choice.from_page && !c.json)
    c.out << "The page " << address << " announces " << choice.feeds.size()
          << (choice.feeds.size() == 1 ? " feed" : " feeds") << "; adding " << (choice.feeds.size() == 1 ? "it" : "all")
          << ":\n";
  struct Done {
    std::string address, title;
    bool added;
  };
  std::vector<Done> done;
  for (const exchange::Announced_feed& a : choice.feeds) {
    Feed f;
    f.concept_id = t->concept_id;
    f.address = rs(a.address);
    f.title = rs(titled && choice.feeds.size() == 1 ? title : a.title);
    bool added = false;
    if (!Feed_store().add_feed(f, &added)) return 1;
    done.push_back({normalized_address(f.address).str(), f.title.str(), added});
  }
  if (c.json) {
    Json_writer j(c.out);
    j.begin_object().field("topic", t->concept_id).field("address", done.front().address)
        .field("added", done.front().added).field("from_page", choice.from_page);
    j.key("feeds").begin_array();
    for (const Done& d : done) j.begin_object().field("address", d.address).field("title", d.title).field("added", d.added).end_object();
    j.end_array().end_object().finish();
  } else {
    for (const Done& d : done) {
      c.out << (d.added ? "Added feed " : "The topic has the feed already: ") << d.address;
      if (!d.title.empty()) c.out << " (" << d.title << ")";
      c.out << " to topic " << t->concept_id << " '" << t->name << "'\n";
    }
  }
  return 0;
}

int feed_list(Context& c) {
  std::string topic;
  if (c.args.size() > 1) topic = c.args[1];
  c.no_more_args(topic.empty() ? 1 : 2);
  if (!c.open_database()) return 1;
  std::int32_t id = 0;
  if (!topic.empty()) {
    Topic_handle t = lookup_topic(topic);
    if (!t) return 1;
    id = t->concept_id;
  }
  const std::vector<Feed> feeds = Feed_store().feeds(id);
  if (c.json) {
    Json_writer j(c.out);
    j.begin_array();
    for (const Feed& f : feeds) {
      j.begin_object().field("topic", f.concept_id).field("address", f.address.view()).field("title", f.title.view());
      j.key("last_read");
      if (f.time_last_read.is_valid())
        j.value(static_cast<long long>(f.time_last_read.seconds));
      else
        j.null();
      j.end_object();
    }
    j.end_array().finish();
  } else {
    for (const Feed& f : feeds) {
      c.out << f.concept_id << "\t" << f.address;
      if (!f.title.empty()) c.out << "\t" << f.title;
      c.out << "\n";
    }
  }
  return c.errors() > 0 ? 1 : 0;
}

int feed_remove(Context& c) {
  const std::string& topic = c.arg(1, "topic");
  const std::string& address = c.arg(2, "feed address");
  c.no_more_args(3);
  if (!c.open_database()) return 1;
  Topic_handle t = lookup_topic(topic);
  if (!t) return 1;
  if (!Feed_store().remove_feed(t->concept_id, rs(address))) {
    if (c.errors() == 0)
      report_error(rs("Topic " + std::to_string(t->concept_id) + " has no feed " + address + "."));
    return 1;
  }
  if (!c.json) c.out << "Removed feed " << normalized_address(rs(address)) << " from topic " << t->concept_id << "\n";
  return 0;
}

void print_report(Context& c, const std::string& file, const exchange::Import_report& r) {
  if (c.json) {
    Json_writer j(c.out);
    j.begin_object().field("file", file).field("topics_added", static_cast<long long>(r.topics_added))
        .field("topics_merged", static_cast<long long>(r.topics_merged))
        .field("terms_added", static_cast<long long>(r.terms_added))
        .field("relations_added", static_cast<long long>(r.relations_added))
        .field("documents_added", static_cast<long long>(r.documents_added))
        .field("documents_skipped", static_cast<long long>(r.documents_skipped))
        .field("links_added", static_cast<long long>(r.links_added))
        .field("links_skipped", static_cast<long long>(r.links_skipped))
        .field("feeds_added", static_cast<long long>(r.feeds_added))
        .field("feeds_skipped", static_cast<long long>(r.feeds_skipped))
        .field("unknown_fields", static_cast<long long>(r.unknown_fields))
        .field("ids_renumbered", static_cast<long long>(r.ids_renumbered));
    j.key("refused").begin_array();
    for (const std::string& why : r.refused) j.value(why);
    j.end_array().end_object().finish();
    return;
  }
  c.out << "Imported " << file << ": " << r.summary() << "\n";
  for (const std::string& why : r.refused) c.out << "  refused: " << why << "\n";
}

}  // namespace

int cmd_feed(Context& c) {
  const std::string& verb = c.arg(0, "feed command");
  if (verb == "add") return feed_add(c);
  if (verb == "list") return feed_list(c);
  if (verb == "remove") return feed_remove(c);
  throw Usage_error{"unknown feed command '" + verb + "'"};
}

int cmd_export(Context& c) {
  std::string format = "json", output;
  c.take("--format", format);
  c.take("--output", output);
  if (!exchange::export_format_named(format))
    throw Usage_error{"--format is json, opml, markdown or csl-json, not '" + format + "'"};
  for (const std::string& a : c.args)
    if (a.starts_with("--")) throw Usage_error{"unknown option '" + a + "'"};
  if (!output.empty() && !usable_file(output)) return 1;
  if (!c.open_database()) return 1;
  std::vector<std::int32_t> ids;
  for (const std::string& key : c.args) {
    Topic_handle t = lookup_topic(key);
    if (!t) return 1;
    ids.push_back(t->concept_id);
  }
  try {
    if (output.empty()) {
      exchange::write_export(Database::shared(), ids, *exchange::export_format_named(format), c.out);
      return 0;
    }
    const std::string why = exchange::export_to_file(Database::shared(), ids, *exchange::export_format_named(format), output);
    if (!why.empty()) {
      report_error(rs(why));
      return 1;
    }
  } catch (const Db_error& e) {
    report_db_error(e);
    return 1;
  }
  if (!c.json) c.err << "Exported " << (ids.empty() ? std::string("every topic") : std::to_string(ids.size()) + " topic(s)")
                     << " as " << format << " to " << output << "\n";
  return 0;
}

int cmd_import(Context& c) {
  std::string format;
  c.take("--format", format);
  const std::string file = c.arg(0, "file to import");
  c.no_more_args(1);
  if (!format.empty() && format != "json" && format != "opml")
    throw Usage_error{"import reads json or opml, not '" + format + "'"};
  if (!usable_file(file)) return 1;
  if (!c.open_database()) return 1;
  const exchange::Import_report report = exchange::import_file(Database::shared(), file, format);
  if (!report.ok()) {
    report_error(rs(report.error));
    return 1;
  }
  print_report(c, file, report);
  return 0;
}

}  // namespace orvalis::cli
