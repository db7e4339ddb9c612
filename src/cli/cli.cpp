#include "cli/cli.h"

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <iostream>

#include "agent/agent_controller.h"
#include "agent/application.h"
#include "cli/clean_output.h"
#include "database/database.h"
#include "database/db_error.h"
#include "database/page_search_index.h"
#include "foundation/error_handler.h"
#include "foundation/settings.h"
#include "platform/message_sink.h"
#include "platform/user_file.h"
#include "platform/version.h"

namespace orvalis::cli {

namespace {

struct Command_entry {
  const char* name;
  int (*run)(Context&);
  const char* usage;
};

const Command_entry kCommands[] = {
    {"install", cmd_install, "install"},
    {"new", cmd_new, "new FILE"},
    {"check", cmd_check, "check FILE"},
    {"settings", cmd_settings, "settings list | get NAME | set NAME VALUE"},
    {"topic", cmd_topic,
     "topic add NAME [--term T]... [--category C] [--definition D] | list [--scheduled|--top|"
     "--user|--recent] | show TOPIC [--html] | set TOPIC [options] | delete TOPIC | relate A B CODE | "
     "unrelate A B"},
    {"doc", cmd_doc,
     "doc add TOPIC URL [--title T] | list TOPIC [--all] | show DOC [--html [--topic TOPIC]] | remove TOPIC DOC | "
     "restore TOPIC DOC | note DOC TEXT | relevance TOPIC DOC VALUE | text DOC [--html] [--at TIME] | "
     "changes DOC"},
    {"find", cmd_find, "find documents QUERY [--topic TOPIC] | find topics TEXT"},
    {"resource", cmd_resource,
     "resource list [--by-category] | show NAME | import INI-FILE | delete NAME | categories | "
     "test NAME QUERY | stats [--json]"},
    {"search", cmd_search, "search TOPIC"},
    {"summarize", cmd_summarize, "summarize TOPIC | summarize --doc DOC"},
    {"follow", cmd_follow, "follow DOC --topic TOPIC [--depth N]"},
    {"agent", cmd_agent, "agent run [--once]"},
    {"demo", cmd_demo, "demo"},
    {"publish", cmd_publish, "publish [TOPIC]"},
    {"capture", cmd_capture, "capture NAME FORM-URL [--category C] [--user U] [--password P]"},
    {"fetch", cmd_fetch, "fetch URL [--timeout SECONDS]"},
    {"analyze", cmd_analyze, "analyze [--blocks] FILE|ADDRESS|- ..."},
    {"organize", cmd_organize, "organize TOPIC [--pick LABEL]... [--inherit]"},
    {"compact", cmd_compact, "compact FILE [--yes]"},
    {"convert", cmd_convert, "convert OLD-FILE NEW-FILE [--yes]"},
    {"feed", cmd_feed, "feed add TOPIC URL [--title T] | list [TOPIC] | remove TOPIC URL"},
    {"export", cmd_export, "export [TOPIC]... [--format json|opml|markdown|csl-json] [--output FILE]"},
    {"import", cmd_import, "import FILE [--format json|opml]"},
};

void print_usage(std::ostream& out) {
  out << "usage: orvalis-cli [--db FILE] [--json] [--verbose] COMMAND ...   (or --version, --help)\n";
  for (const Command_entry& e : kCommands) out << "  " << e.usage << "\n";
  out << "TOPIC is a topic's id or its name (in any case); name:TEXT is always a name, for a topic\n"
         "named with digits only ('name:2024'). DOC is a document's id or its address.\n";
}

}  // namespace

const std::string& Context::arg(size_t i, const char* what) const {
  if (i >= args.size()) throw Usage_error{std::string("missing ") + what};
  return args[i];
}

std::vector<std::string> Context::take_all(const std::string& option) {
  std::vector<std::string> values;
  for (size_t i = 0; i < args.size();) {
    if (args[i] == option) {
      if (i + 1 >= args.size()) throw Usage_error{option + " needs a value"};
      values.push_back(args[i + 1]);
      args.erase(args.begin() + static_cast<long>(i), args.begin() + static_cast<long>(i) + 2);
    } else {
      ++i;
    }
  }
  return values;
}

bool Context::take(const std::string& option, std::string& value) {
  std::vector<std::string> all = take_all(option);
  if (all.empty()) return false;
  if (all.size() > 1) throw Usage_error{option + " given more than once"};
  value = all.front();
  return true;
}

bool Context::take_flag(const std::string& flag) {
  for (size_t i = 0; i < args.size(); ++i)
    if (args[i] == flag) {
      args.erase(args.begin() + static_cast<long>(i));
      return true;
    }
  return false;
}

void Context::no_more_args(size_t expected) const {
  if (args.size() > expected) throw Usage_error{"unexpected argument '" + args[expected] + "'"};
}

bool Context::open_database() {
  Application& app = Application::instance();
  if (!db_path.empty() && !usable_file(db_path)) return false;
  Ref_string path(std::string_view{db_path});
  if (db_path.empty()) {
    if (app.database_open()) return true;
    path = Settings_cache::instance().get("LastDatabase");
    if (path.empty()) {
      report_error("No database: name one with --db FILE or create one with 'new FILE'.");
      return false;
    }
  }
  if (!app.open_database(path)) return false;
  catch_up_search_index(err);
  return true;
}

int Context::errors() const {
  Application_error_handler* h = Application::instance().error_handler();
  return h ? h->count() : 0;
}

bool usable_file(const std::string& path) {
  const std::string problem = platform::regular_file_problem(path, true);
  if (problem.empty()) return true;
  report_error(Ref_string(std::string_view(problem)));
  return false;
}

int parse_int(const std::string& text, const char* what, long long min, long long max) {
  char* end = nullptr;
  errno = 0;
  long long v = std::strtoll(text.c_str(), &end, 10);
  if (text.empty() || *end != 0 || std::isspace(static_cast<unsigned char>(text[0])))
    throw Usage_error{std::string(what) + " must be a whole number, not '" + text + "'"};
  if (errno == ERANGE || v < min || v > max)
    throw Usage_error{std::string(what) + " must be a whole number from " + std::to_string(min) + " to " +
                      std::to_string(max) + ", not '" + text + "'"};
  return static_cast<int>(v);
}

int run(int argc, char** argv) {
  // Nothing printed carries control characters (text from the web may hold ESC and BEL).
  Clean_output clean_out(std::cout);
  Clean_message_sink clean_messages;
  struct Sink_guard {
    explicit Sink_guard(platform::Message_sink* sink) { platform::set_message_sink(sink); }
    ~Sink_guard() { platform::set_message_sink(nullptr); }
  } sink_guard(&clean_messages);
  Context c(std::cout, std::cerr);
  int i = 1;
  try {
    for (; i < argc && argv[i][0] == '-' && argv[i][1] == '-'; ++i) {
      std::string opt = argv[i];
      if (opt == "--json") {
        c.json = true;
      } else if (opt == "--db") {
        if (i + 1 >= argc) throw Usage_error{"--db needs a file"};
        c.db_path = argv[++i];
      } else if (opt == "--help") {
        print_usage(std::cout);
        return 0;
      } else if (opt == "--version") {
        std::cout << "orvalis-cli " << ORVALIS_VERSION << "\n";
        return 0;
      } else if (opt == "--verbose") {
        set_warnings_enabled(true);
      } else {
        throw Usage_error{"unknown option '" + opt + "'"};
      }
    }
    if (i >= argc) throw Usage_error{"missing command"};
    c.command = argv[i++];
    for (; i < argc; ++i) c.args.push_back(argv[i]);
  } catch (const Usage_error& e) {
    std::cerr << "Error: " << without_controls(e.message) << "\n";
    print_usage(std::cerr);
    return 2;
  }

  const Command_entry* entry = nullptr;
  for (const Command_entry& e : kCommands)
    if (c.command == e.name) entry = &e;
  if (!entry) {
    std::cerr << "Error: unknown command '" << without_controls(c.command) << "'\n";
    print_usage(std::cerr);
    return 2;
  }

  Application& app = Application::instance();
  Application::Start_options options;
  options.open_last_database = false;  // each command opens what it needs
  options.load_settings = c.command != "install";
  install_agent_hooks();
  if (!app.start(options)) return 1;
  int status;
  try {
    status = entry->run(c);
  } catch (const Usage_error& e) {
    std::cerr << "Error: " << without_controls(e.message) << "\n"
              << "usage: orvalis-cli " << entry->usage << "\n";
    status = 2;
  }
  // The documents the command stored get their rows of the search index before the file is
  // left (the window and the agent write them while idle; a command ends first).
  if (Database::shared().is_open() && !Database::shared().is_read_only()) {
    try {
      Page_search_index(Database::shared()).build();
    } catch (const Db_error& e) {
      report_db_error(e);  // the next open catches up
    }
  }
  if (status == 0 && c.errors() > 0) status = 1;
  app.exit();
  std::cout.flush();
  return status;
}

}  // namespace orvalis::cli
