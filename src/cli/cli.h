// The command-line front-end: global options, the command table and the run loop shared by
// every command. Exit status: 0 success, 1 an error was reported, 2 bad usage.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

#include "database/document.h"
#include "database/engine_health_store.h"
#include "database/topic.h"
#include "foundation/ref_string.h"

namespace orvalis::cli {

class Json_writer;

// Thrown for bad usage: the message is printed as "Error: <message>" and the status is 2.
struct Usage_error {
  std::string message;
};

class Context {
 public:
  Context(std::ostream& out, std::ostream& err) : out(out), err(err) {}

  std::ostream& out;
  std::ostream& err;
  bool json = false;
  std::string db_path;            // --db FILE
  std::string command;            // the command name
  std::vector<std::string> args;  // everything after the command name

  // Argument i, or a usage error naming what is missing.
  const std::string& arg(size_t i, const char* what) const;
  // Opens --db FILE, else the last database. Reports and returns false when none opens.
  bool open_database();
  // Values of a repeatable option ("--term T"), removed from args; and a single one.
  std::vector<std::string> take_all(const std::string& option);
  bool take(const std::string& option, std::string& value);
  bool take_flag(const std::string& flag);
  // Fails with a usage error when arguments are left that no one took.
  void no_more_args(size_t expected) const;
  // Number of errors reported so far.
  int errors() const;
};

int run(int argc, char** argv);

// Commands (one function each; they return the exit status).
int cmd_install(Context& c);
int cmd_settings(Context& c);
int cmd_new(Context& c);
int cmd_check(Context& c);
int cmd_topic(Context& c);
int cmd_doc(Context& c);
int cmd_find(Context& c);
int cmd_resource(Context& c);
int cmd_fetch(Context& c);
int cmd_analyze(Context& c);
int cmd_publish(Context& c);
int cmd_capture(Context& c);
int topic_show_html(Context& c);
int doc_show_html(Context& c);
// doc text DOC [--html] [--at TIME]; doc changes DOC (the saved copies of a document's page).
int doc_text(Context& c);
int doc_changes(Context& c);
int cmd_organize(Context& c);
int cmd_compact(Context& c);
int cmd_convert(Context& c);
int cmd_feed(Context& c);
int cmd_export(Context& c);
int cmd_import(Context& c);

// TOPIC and DOC arguments, for commands whose database is open: the topic or document named,
// or null after reporting that none (or several) is.
Topic_handle lookup_topic(const std::string& key);
Document_handle lookup_document(const std::string& key);

// find documents QUERY: the full-text search (topic_id > 0 keeps one topic's documents), or
// the old literal search when the file has no complete index. A query that cannot be read is a
// usage error.
int find_documents(Context& c, const std::string& query, std::int32_t topic_id);
// Indexes the documents of the open database that the search index does not cover yet, with
// progress on `err`.
void catch_up_search_index(std::ostream& err);
// The documents, one a line (id, address, title), or as JSON.
void print_documents(Context& c, const Ref_list<Document_handle>& docs);

int cmd_search(Context& c);
int cmd_summarize(Context& c);
int cmd_follow(Context& c);
int cmd_agent(Context& c);
int cmd_demo(Context& c);
// resource test NAME QUERY
int resource_test(Context& c);
// resource stats: each engine's health figures.
int resource_stats(Context& c);
// One engine's health in words ("working, last answer ...", "suspended until ..."), and as JSON.
std::string health_summary(const Engine_health& h, std::int64_t now);
void write_health(Json_writer& j, const Engine_health& h, std::int64_t now);

// Parses a whole number argument from `min` to `max`, or throws a usage error naming it.
int parse_int(const std::string& text, const char* what, long long min = -2147483647LL - 1,
              long long max = 2147483647LL);

// False, with the reason reported, when `path` names a directory, a device, a FIFO or another
// file that is not a regular one; a missing file passes (the command says what it does then).
bool usable_file(const std::string& path);

}  // namespace orvalis::cli
