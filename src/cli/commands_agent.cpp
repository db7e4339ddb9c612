// The agent's commands: search, summarize, follow, agent run, resource test and demo.
// Each runs the engine's own agent on the command line's event loop: tasks are submitted as
// the window's commands submit them, and the one-second agent tick starts them, so what a
// command shows is what the program does. While the agent works its status text is the
// progress on standard error: rewritten in place on a terminal, one line per change elsewhere.
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <map>
#include <string>
#include <vector>

#include "agent/agent_controller.h"
#include "agent/agent_events.h"
#include "agent/application.h"
#include "agent/get_links_task.h"
#include "agent/scheduler.h"
#include "agent/search_resource_task.h"
#include "agent/search_topic_task.h"
#include "agent/summarize_task.h"
#include "agent/summarize_topic_task.h"
#include "agent/task_manager.h"
#include "cli/cli.h"
#include "cli/commands_agent.h"
#include "cli/json.h"
#include "database/engine_health_store.h"
#include "database/feed_store.h"
#include "platform/clock.h"
#include "database/document_store.h"
#include "database/resource_definitions.h"
#include "database/schema.h"
#include "database/topic_store.h"
#include "demo_web/demo_web.h"
#include "database/search_resource_store.h"
#include "foundation/control_text.h"
#include "foundation/error_handler.h"
#include "foundation/settings.h"
#include "net/http_connection.h"
#include "net/http_response.h"
#include "net/network.h"
#include "platform/event_loop.h"
#include "reports/advertisement_page.h"

namespace orvalis::cli {

namespace {

Ref_string rs(const std::string& s) { return Ref_string(std::string_view(s)); }

volatile std::sig_atomic_t stop_signal = 0;

void on_stop_signal(int signal) { stop_signal = signal; }

// SIGINT and SIGTERM end a waiting run_once instead of the process.
class Stop_signals {
 public:
  Stop_signals() {
    stop_signal = 0;
    struct sigaction action {};
    action.sa_handler = on_stop_signal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, &old_int_);
    sigaction(SIGTERM, &action, &old_term_);
  }
  ~Stop_signals() {
    sigaction(SIGINT, &old_int_, nullptr);
    sigaction(SIGTERM, &old_term_, nullptr);
  }

 private:
  struct sigaction old_int_ {};
  struct sigaction old_term_ {};
};

}  // namespace

// ---- Progress ----

Agent_progress::Agent_progress(std::ostream& err, bool terminal) : err_(err), terminal_(terminal) {}

Agent_progress::~Agent_progress() { clear(); }

void Agent_progress::update() {
  std::string text = without_controls(agent_status_text().view());
  if (text == last_) return;
  last_ = text;
  if (terminal_) {
    // One line, rewritten: cut to a terminal's usual width so it never wraps.
    if (text.size() > 79) text = text.substr(0, 76) + "...";
    err_ << "\r\033[K" << text << std::flush;
    shown_ = true;
  } else {
    err_ << text << "\n" << std::flush;
  }
}

void Agent_progress::clear() {
  if (terminal_ && shown_) err_ << "\r\033[K" << std::flush;
  shown_ = false;
}

// ---- What a run found ----

Run_record::Run_record() {
  Agent_events& events = agent_events();
  // Notices (an engine skipped) go where the progress goes.
  events.notice = [](const Ref_string& text) { std::cerr << text << "\n" << std::flush; };
  events.document_found = [this](std::int32_t concept_id, const Document& d, bool is_new, bool linked) {
    auto [it, inserted] = found.try_emplace(d.url_id);
    if (inserted) order.push_back(d.url_id);
    Found& f = it->second;
    f.concept_id = concept_id;
    f.new_to_database = f.new_to_database || is_new;
    f.added = f.added || linked;
  };
  events.document_summarized = [this](const Document& d, bool analysed) {
    auto [it, inserted] = summarized.try_emplace(d.url_id, analysed);
    if (!inserted) it->second = it->second || analysed;
    if (inserted) summary_order.push_back(d.url_id);
  };
  events.search_failed = [this](const Topic&, const Ref_string& why) { failed_searches.push_back(why.str()); };
}

Run_record::~Run_record() {
  agent_events().document_found = nullptr;
  agent_events().document_summarized = nullptr;
  agent_events().notice = nullptr;
  agent_events().search_failed = nullptr;
}

int Run_record::added_count() const {
  int n = 0;
  for (const auto& [id, f] : found) n += f.added ? 1 : 0;
  return n;
}

int Run_record::summarized_count(bool added_only) const {
  int n = 0;
  for (const auto& [id, ok] : summarized) {
    if (!ok) continue;
    auto f = found.find(id);
    if (!added_only || (f != found.end() && f->second.added)) ++n;
  }
  return n;
}

std::string plural(int n, const char* one, const char* many) {
  return std::to_string(n) + " " + (n == 1 ? one : many);
}

// ---- Running the agent ----

bool run_agent(Context& c, Run_mode mode, Run_statistics* statistics) {
  platform::Event_loop& loop = platform::current_event_loop();
  Stop_signals signals;
  Agent_progress progress(c.err, isatty(2) == 1);
  Task_manager& manager = Task_manager::instance();
  manager.set_recurrent_enabled(mode != Run_mode::until_idle);
  manager.set_fire_each_once(mode == Run_mode::until_idle_with_schedules);
  start_agent_timer(loop, 1000);
  // The first tick at once: what was submitted starts without waiting a second.
  agent_tick();
  bool stopped = false;
  auto last = std::chrono::steady_clock::now();
  for (;;) {
    progress.update();
    if (statistics) {
      // Nothing runs while tasks wait: every waiting task is due, so each waits for its host.
      auto now = std::chrono::steady_clock::now();
      if (manager.running_count() == 0 && manager.queued_count() > 0)
        statistics->spacing_wait_seconds += std::chrono::duration<double>(now - last).count();
      last = now;
    }
    if (stop_signal != 0) {
      stopped = true;
      break;
    }
    if (mode != Run_mode::with_schedules && manager.has_tasks() == 0) {
      // Before it ends, the schedules that came due since the last tick fire (once each).
      if (mode == Run_mode::until_idle_with_schedules) manager.fire_recurrent();
      if (manager.has_tasks() == 0) break;
    }
    if (!loop.run_once(250)) break;
  }
  stop_agent_timer();
  progress.clear();
  if (stopped) {
    manager.stop_all();
    c.err << "Stopped: every task was stopped.\n";
  }
  manager.set_recurrent_enabled(true);
  manager.set_fire_each_once(false);
  // Scheduled runs that ended after the last tick get their topic pages too.
  if (!stopped) publish_after_scheduled_runs();
  return !stopped;
}

void write_documents(Json_writer& j, const std::vector<std::int32_t>& ids, const Run_record& record) {
  Document_store store;
  j.begin_array();
  for (std::int32_t id : ids) {
    Document d;
    if (!store.load_document(d, id)) continue;
    auto f = record.found.find(id);
    auto s = record.summarized.find(id);
    j.begin_object().field("id", d.url_id).field("address", d.address.view())
        .field("title", d.title.view());
    if (f != record.found.end()) j.field("new_to_database", f->second.new_to_database);
    j.field("summarized", s != record.summarized.end() && s->second).field("size", d.size);
    j.key("key_terms").begin_array();
    for (const Ref_string& t : d.summary) j.value(t.view());
    j.end_array().key("extract").begin_array();
    for (const Ref_string& t : d.abstract) j.value(t.view());
    j.end_array().end_object();
  }
  j.end_array();
}

void print_documents(Context& c, const std::vector<std::int32_t>& ids, const Run_record& record) {
  if (c.json) {
    Json_writer j(c.out);
    write_documents(j, ids, record);
    j.finish();
    return;
  }
  Document_store store;
  for (std::int32_t id : ids) {
    Document d;
    if (!store.load_document(d, id)) continue;
    c.out << d.url_id << "  " << d.title << "\n    " << d.address << "\n";
    if (!d.summary.empty()) {
      Ref_list<Ref_string> terms;
      int n = 0;
      for (const Ref_string& t : d.summary)
        if (n++ < 12) terms.append(t);
      c.out << "    Key terms: " << join(terms, ", ") << "\n";
    }
    for (const Ref_string& sentence : d.abstract) c.out << "    | " << sentence << "\n";
    c.out << "\n";
  }
}

namespace {

// Opens the database and runs the command's body.
template <class Body>
int with_database(Context& c, Body body) {
  return c.open_database() ? body() : 1;
}

}  // namespace

std::vector<std::int32_t> added_documents(const Run_record& record) {
  std::vector<std::int32_t> added;
  for (std::int32_t id : record.order)
    if (record.found.at(id).added) added.push_back(id);
  return added;
}

void report_found(Context& c, const Run_record& record) {
  print_documents(c, added_documents(record), record);
  if (!c.json)
    c.out << plural(static_cast<int>(record.found.size()), "document found", "documents found") << ", "
          << record.added_count() << " new, " << record.summarized_count(true) << " summarized\n";
}

int cmd_search(Context& c) {
  const std::string& key = c.arg(0, "topic");
  c.no_more_args(1);
  return with_database(c, [&] {
    Topic_handle topic = lookup_topic(key);
    if (!topic) return 1;
    if (engines_for(*topic).empty() && Feed_store().feeds(topic->concept_id).empty()) {
      // Said rather than "0 documents found": nothing was asked.
      report_error(topic->category.empty()
                       ? rs("No engine was asked: no search resource is enabled.")
                       : concat("No engine was asked: no enabled search resource serves the category '",
                                topic->category.view(), "' (see 'resource list --by-category')."));
      return 1;
    }
    Run_record record;
    search_topic_now(topic, true);
    if (!run_agent(c, Run_mode::until_idle)) return 1;
    report_found(c, record);
    for (const std::string& why : record.failed_searches) c.err << without_controls(why) << "\n";
    return record.failed_searches.empty() ? 0 : 1;
  });
}

int cmd_summarize(Context& c) {
  std::string doc_key;
  bool one = c.take("--doc", doc_key);
  if (!one) c.arg(0, "topic or --doc DOC");
  c.no_more_args(one ? 0 : 1);
  return with_database(c, [&] {
    Run_record record;
    if (one) {
      Document_handle d = lookup_document(doc_key);
      if (!d) return 1;
      Task_manager::instance().submit(make_counted<Summarize_task>(make_counted<Topic>(), d));
    } else {
      Topic_handle topic = lookup_topic(c.args[0]);
      if (!topic) return 1;
      Task_manager::instance().submit(make_counted<Summarize_topic_task>(topic, true));
    }
    if (!run_agent(c, Run_mode::until_idle)) return 1;
    print_documents(c, record.summary_order, record);
    if (!c.json) {
      int ok = record.summarized_count(false);
      int tried = static_cast<int>(record.summarized.size());
      c.out << plural(ok, "document summarized", "documents summarized");
      if (tried > ok) c.out << ", " << (tried - ok) << " could not be fetched";
      c.out << "\n";
    }
    return 0;
  });
}

int cmd_follow(Context& c) {
  std::string topic_key, depth_text;
  if (!c.take("--topic", topic_key)) throw Usage_error{"follow needs --topic TOPIC"};
  int depth = 1;
  if (c.take("--depth", depth_text))
    depth = parse_int(depth_text, "--depth", Get_links_task::min_depth, Get_links_task::max_depth);
  const std::string& doc_key = c.arg(0, "document");
  c.no_more_args(1);
  return with_database(c, [&] {
    Topic_handle topic = lookup_topic(topic_key);
    Document_handle d = topic ? lookup_document(doc_key) : Document_handle();
    if (!d) return 1;
    Run_record record;
    Task_manager::instance().submit(make_counted<Get_links_task>(d, topic, depth));
    if (!run_agent(c, Run_mode::until_idle)) return 1;
    report_found(c, record);
    return 0;
  });
}

int cmd_agent(Context& c) {
  const std::string& verb = c.arg(0, "agent command");
  if (verb != "run") throw Usage_error{"unknown agent command '" + verb + "'"};
  bool once = c.take_flag("--once");
  c.no_more_args(1);
  return with_database(c, [&] {
    // The due-tasks check: every due task runs, and each is named.
    std::vector<Agent_task_handle> due = check_due_tasks();
    for (const Agent_task_handle& t : due) {
      c.out << "Due now: " << t->description() << "\n";
      Task_manager::instance().submit(t);
    }
    if (due.empty()) c.out << "No tasks are due now.\n";
    c.out.flush();
    run_agent(c, once ? Run_mode::until_idle_with_schedules : Run_mode::with_schedules);
    return 0;
  });
}

// ---- resource test ----

namespace {

class Probe_task final : public Network_task {
 public:
  void process_result() override { ended = true; }
  bool ended = false;
};

const char* outcome_text(int status) {
  switch (status) {
    case Network_task::succeeded: return "answered";
    case Network_task::failed: return "failed";
    case Network_task::timed_out: return "timed out";
    default: return "did not finish";
  }
}

}  // namespace

int resource_test(Context& c) {
  const std::string& name = c.arg(1, "resource name");
  const std::string& query = c.arg(2, "query");
  c.no_more_args(3);
  return with_database(c, [&] {
    Search_resource_handle r = Search_resource_store().resource(rs(name));
    if (!r) {
      report_error(rs("No search resource named '" + name + "'."));
      return 1;
    }
    // A test is a reason to try a suspended engine again; its outcome counts like a search's.
    Engine_health_store health;
    health.lift(r->name);
    auto task = make_counted<Probe_task>();
    build_request(*r, rs(query), *task);
    const std::int64_t started_ms = platform::tick_milliseconds();
    task->connection()->set_timeout(network_limits().search_timeout);
    std::string request;
    if (auto* http = dynamic_cast<Http_connection*>(task->connection())) request = http->request_text().str();
    if (!c.json) c.out << "Request to " << task->connection()->url() << ":\n" << request;
    activate_request(task);
    platform::Event_loop& loop = platform::current_event_loop();
    Stop_signals signals;
    while (!task->ended && stop_signal == 0)
      if (!loop.run_once(250)) break;
    if (!task->ended) cancel_requests(Ref_list<Network_task_handle>{Network_task_handle(task)});

    int http_status = 0;
    Byte_buffer_handle page = response_body(*task->connection(), false, &http_status);
    std::vector<Ref_string> dropped;
    Ref_list<Found_link> kept;
    std::vector<Ref_string> too_long;
    if (task->status() == Network_task::succeeded && page) {
      // The links the search would store, by the same rules: the ignore list, then the lengths.
      for (const Found_link& l : read_result_links(page, task->connection()->url(), r->ignore_substrings, &dropped))
        if (search_keeps_link(l)) kept.append(l);
        else too_long.push_back(l.url);
    }
    if (task->ended) {
      const Ref_string failure = engine_failure_reason(*task);
      if (failure.empty())
        health.record_answer(r->name, static_cast<int>(platform::tick_milliseconds() - started_ms), kept.count());
      else
        health.record_failure(r->name, failure);
    }

    if (c.json) {
      Json_writer j(c.out);
      j.begin_object().field("request", request).field("result", outcome_text(task->status()))
          .field("task_status", task->status()).field("status", http_status)
          .field("url", task->connection()->url().view());
      j.key("kept").begin_array();
      for (const Found_link& l : kept)
        j.begin_object().field("url", l.url.view()).field("title", result_link_title(l).view()).end_object();
      j.end_array().key("dropped").begin_array();
      for (const Ref_string& d : dropped) j.value(d.view());
      j.end_array().key("too_long").begin_array();
      for (const Ref_string& d : too_long) j.value(d.view());
      j.end_array().end_object().finish();
    } else {
      c.out << "\nResult: " << outcome_text(task->status());
      if (task->status() == Network_task::succeeded)
        c.out << ", HTTP status " << http_status << " from " << task->connection()->url();
      c.out << "\n\nLinks kept (" << kept.count() << "):\n";
      for (const Found_link& l : kept) c.out << "  " << l.url << "  " << result_link_title(l) << "\n";
      c.out << "\nLinks dropped by the ignore list (" << dropped.size() << "):\n";
      for (const Ref_string& d : dropped) c.out << "  " << d << "\n";
      c.out << "\nLinks dropped as too long to store (" << too_long.size() << "):\n";
      for (const Ref_string& d : too_long) c.out << "  " << d << "\n";
    }
    if (task->status() != Network_task::succeeded) {
      report_error(rs("The query to '" + name + "' " + outcome_text(task->status()) + "."));
      return 1;
    }
    // A page of another status (an error page, a redirect left) is no result page.
    if (http_status != 200) {
      report_error(rs("The engine '" + name + "' answered with HTTP status " + std::to_string(http_status) +
                      ", not 200."));
      return 1;
    }
    return 0;
  });
}

}  // namespace orvalis::cli

// ---- demo ----

namespace orvalis::cli {

namespace {

struct Demo_topic {
  const char* name;
  std::vector<const char*> terms;
};

// Two topics on the demo web's themes: each query is one request to the engine's host, so the
// spacing between two requests to one host shows in the demo as it would on the web.
const Demo_topic kDemo_topics[] = {
    {"solar sails", {}},
    {"tea oxidation", {}},
};

std::string make_demo_folder() {
  const char* tmp = std::getenv("TMPDIR");
  std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/orvalis-demo-XXXXXX";
  char* made = mkdtemp(pattern.data());
  return made ? std::string(made) : std::string();
}

}  // namespace

int cmd_demo(Context& c) {
  c.no_more_args(0);
  const auto began = std::chrono::steady_clock::now();
  auto seconds_since = [&] {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count();
  };
  demo::Demo_web web;
  std::string error;
  if (!web.start(error)) {
    report_error(rs("The demo web could not start: " + error));
    return 1;
  }
  c.err << "Demo web: a search engine at " << web.engine_form_page() << " and "
        << web.article_addresses().size() << " articles on " << web.article_hosts().size()
        << " hosts.\n";

  // A new database in a folder of its own, with one engine: the demo web's, imported from a
  // definitions file as "resource import" does.
  std::string folder = make_demo_folder();
  if (folder.empty()) {
    report_error("Could not make a folder for the demo database.");
    return 1;
  }
  const std::string db_path = folder + "/demo.ov2";
  const std::string ini_path = folder + "/demo-engine.ini";
  {
    std::ofstream ini(ini_path);
    ini << "[Demo Search]\nEnabled=1\nLocation=" << web.engine_location() << "\nSearchField="
        << demo::Demo_web::search_field << "\nRequestType=GET\nIgnoreSubstrings=" << web.ignore_list()
        << "\nCategory=\nFormURL=" << web.engine_form_page() << "\n";
  }
  Application& app = Application::instance();
  if (!create_database(rs(db_path)) || !app.open_database(rs(db_path))) return 1;
  Search_resource_store resources;
  for (const Search_resource_handle& r : read_definitions(rs(ini_path)))
    if (!resources.save_resource(*r)) return 1;

  // The engine shows a banner from its /ads/ folder beside its results; for this run the
  // advertisement configuration names it first (the settings file is not changed).
  Settings_cache& cache = Settings_cache::instance();
  const Ref_string user_ads = cache.get("advertisement_config");
  cache.set("advertisement_config", concat("127.0.0.2 /ads/", user_ads.empty() ? "" : ",", user_ads.view()));
  const bool show_ads = advertisements_shown();

  Topic_store& topics = Topic_store::shared();
  std::vector<Topic_handle> made;
  for (const Demo_topic& d : kDemo_topics) {
    Topic_handle t = topics.add_topic(d.name);
    if (!t) return 1;
    for (const char* term : d.terms) t->terms.append(term);
    t->is_user_topic = 1;
    t->is_user_top_level = 1;
    if (!topics.save_topic(*t)) return 1;
    made.push_back(t);
    c.err << "Topic '" << without_controls(t->name) << "' added.\n";
  }

  Run_record record;
  // The first document the first topic finds has its links followed as soon as it is stored,
  // so the follow's fetches share the wait for each host with the searches' own.
  Document_handle followed;
  auto record_found = agent_events().document_found;
  agent_events().document_found = [&, record_found](std::int32_t concept_id, const Document& d, bool is_new,
                                                     bool linked) {
    record_found(concept_id, d, is_new, linked);
    if (followed || concept_id != made.front()->concept_id) return;
    followed = make_counted<Document>(d);
    Task_manager::instance().submit(make_counted<Get_links_task>(followed, made.front(), 1));
  };
  for (const Topic_handle& t : made) search_topic_now(t, true);
  Run_statistics statistics;
  if (!run_agent(c, Run_mode::until_idle, &statistics)) return 1;
  if (followed) c.err << "Followed the links of '" << without_controls(followed->title) << "'.\n";
  web.stop();
  cache.set("advertisement_config", user_ads);
  const Ref_string ad_page = join_folder(engines_folder(), advertisement_page_name("Demo Search"));
  if (!show_ads)
    c.err << "Advertisements are off: 'orvalis-cli settings set ShowSRAd Yes' shows the engine's banner.\n";
  else if (access(ad_page.c_str(), R_OK) == 0)
    c.err << "The engine's advertisement is stored in " << ad_page << "\n";

  const double wall = seconds_since();
  const double spacing = statistics.spacing_wait_seconds;
  if (c.json) {
    // One document: where the database is, each topic with its documents, and the figures.
    Json_writer j(c.out);
    j.begin_object().field("database", db_path).key("topics").begin_array();
    for (const Topic_handle& t : made) {
      std::vector<std::int32_t> ids;
      for (const Topic_document& td : Document_store().documents_of_topic(t->concept_id, false))
        ids.push_back(td.document->url_id);
      j.begin_object().field("id", t->concept_id).field("name", t->name.view()).key("documents");
      write_documents(j, ids, record);
      j.end_object();
    }
    j.end_array()
        .field("found", static_cast<int>(record.found.size()))
        .field("summarized", record.summarized_count(false))
        .field("seconds", static_cast<long long>(wall + 0.5))
        .field("spacing_wait_seconds", static_cast<long long>(spacing + 0.5))
        .end_object()
        .finish();
    return 0;
  }
  for (const Topic_handle& t : made) {
    std::vector<std::int32_t> ids;
    for (const Topic_document& td : Document_store().documents_of_topic(t->concept_id, false))
      ids.push_back(td.document->url_id);
    c.out << "== " << t->name << ": " << plural(static_cast<int>(ids.size()), "document", "documents") << " ==\n\n";
    print_documents(c, ids, record);
  }
  {
    c.out << plural(static_cast<int>(record.found.size()), "document found", "documents found") << ", "
          << record.summarized_count(false) << " summarized, in " << static_cast<int>(wall + 0.5)
          << " s (" << static_cast<int>(spacing + 0.5)
          << " s of it waiting for the 30-second spacing between two requests to one host).\n"
          << "The demo database is kept at " << db_path << "\n"
          << "  look around:  orvalis-cli --db " << db_path << " doc list 'solar sails'\n";
  }
  return 0;
}

}  // namespace orvalis::cli
