// Searching a topic through the real network layer against engines the test serves itself on
// loopback: the forms the engines get, what a result page gives, engines that fail (an error
// status, a refusal, silence) while another answers, and a database that fills in the middle of
// a search. Time is a hand-moved clock: each step of the drive is one second of agent time.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "../database/database_test_support.h"
#include "../reports/reports_test_support.h"
#include "test_support.h"
#include "test_servers.h"
#include "agent/agent_controller.h"
#include "agent/agent_events.h"
#include "agent/application.h"
#include "agent/get_ad_task.h"
#include "agent/get_links_task.h"
#include "agent/robots_gate.h"
#include "agent/scheduler.h"
#include "agent/search_resource_task.h"
#include "agent/search_topic_task.h"
#include "agent/summarize_task.h"
#include "agent/summarize_topic_task.h"
#include "agent/task_manager.h"
#include "database/document_store.h"
#include "database/engine_health_store.h"
#include "database/search_resource_store.h"
#include "database/topic_store.h"
#include "foundation/job_queue.h"
#include "foundation/settings.h"
#include "net/host_table.h"
#include "net/http_connection.h"
#include "net/network.h"
#include "net/robots_cache.h"
#include "platform/clock.h"
#include "platform/event_loop.h"

namespace orvalis {
namespace {

using testing::Scripted_server;

Ref_string rs(const std::string& s) { return Ref_string(std::string_view(s)); }

std::string reply(const std::string& status, const std::string& body) {
  return "HTTP/1.0 " + status + "\r\nContent-Type: text/html\r\nContent-Length: " +
         std::to_string(body.size()) + "\r\n\r\n" + body;
}

Byte_buffer_handle buffer(const std::string& text) {
  auto b = make_counted<Byte_buffer>();
  b->append(text.data(), static_cast<std::int64_t>(text.size()));
  return b;
}

Search_resource engine(const std::string& name, const std::string& location) {
  Search_resource r;
  r.name = rs(name);
  r.location = Url(rs(location));
  r.search_field = "q";
  r.enabled = 1;
  return r;
}

std::string request_text(Search_resource r, const char* query) {
  Search_resource_task task(make_counted<Topic>(), r, rs(query));
  build_request(r, rs(query), task);
  return static_cast<Http_connection*>(task.connection())->request_text().str();
}

TEST(SearchRequest, TheFormIsFilledAsTheEngineWantsIt) {
  Settings_cache::instance().set("query_transformation_config", "and.example 1,plus.example 2,PLUS.example 1,odd.example 7");
  Search_resource get = engine("G", "http://and.example/s");
  get.field_values = Ref_list<Name_value>{{"hl", "en"}, {"num", "50"}};
  Search_resource post = get;
  post.location = Url("http://plus.example/find");
  post.request_kind = Search_resource::post;
  post.username = "ann";
  post.password = "secret";
  Search_resource isindex = engine("I", "http://other.example/cgi");
  isindex.search_field = "isindex_search_field";
  isindex.username = "NONE";
  Search_resource odd = engine("O", "http://odd.example/s");

  struct Case {
    Search_resource* resource;
    const char* query;
    const char* request_start;  // the request line and, for POST, what follows
    const char* contains;
  } cases[] = {
      {&get, "green tea", "GET /s?q=green+AND+tea&hl=en&num=50 HTTP/1.0\r\n", "\r\nHost: and.example\r\n"},
      {&get, "=green tea", "GET /s?q=green+tea&hl=en&num=50 HTTP/1.0\r\n", "\r\nAccept: text/html\r\n"},
      {&get, "tea", "GET /s?q=tea&hl=en&num=50 HTTP/1.0\r\n", "\r\nHost: and.example\r\nAccept: text/html\r\n"},
      {&get, "a  b", "GET /s?q=a+AND++AND+b&hl=en&num=50 HTTP/1.0\r\n", "\r\nHost: and.example\r\n"},
      // The later of two matching entries decides (mode 1), Basic authorization is sent.
      {&post, "green tea", "POST /find HTTP/1.0\r\n", "\r\n\r\nq=green+AND+tea&hl=en&num=50"},
      {&post, "tea", "POST /find HTTP/1.0\r\n", "Authorization: Basic YW5uOnNlY3JldA==\r\n"},
      {&isindex, "cats", "GET /cgi?cats HTTP/1.0\r\n", "\r\nHost: other.example\r\n"},
      // One form value: a space as "+", the query's own "#", "&" and "+" encoded.
      {&isindex, "green tea", "GET /cgi?green+tea HTTP/1.0\r\n", ""},
      {&isindex, "=c# & c++ 100%", "GET /cgi?c%23+%26+c%2B%2B+100%25 HTTP/1.0\r\n", ""},
      {&odd, "green tea", "GET /s?q= HTTP/1.0\r\n", "\r\nHost: odd.example\r\n"},
  };
  for (const Case& c : cases) {
    c.resource->query_transformation_mode = -1;
    std::string text = request_text(*c.resource, c.query);
    EXPECT_EQ(text.rfind(c.request_start, 0), 0u) << c.query << "\n" << text;
    EXPECT_NE(text.find(c.contains), std::string::npos) << c.query << "\n" << text;
    EXPECT_EQ(text.ends_with("\r\n\r\n"), c.resource != &post) << text;  // no body after a GET
    EXPECT_EQ(text.find("Authorization") != std::string::npos, c.resource == &post) << text;
  }
}

TEST(SearchRequest, ResultLinksKeepFetchableAddressesOnceAndDropIgnoredOnes) {
  std::string page =
      "<a href='/help'>Help</a> <a href='http://x.example/a#part'>First, <b>title</b>!</a>"
      "<a href='http://x.example/a'>Again</a> <a href='mailto:me@x.example'>mail</a>"
      "<a href='news:comp.lang'>news</a> <a href='ftp://f.example/file'>file</a>"
      "<a href='https://y.example/ad?sponsor=1'>ad</a>";
  struct Case {
    Ref_list<Ref_string> ignore;
    const char* kept;
    int dropped;
  } cases[] = {
      {{"/help", "sponsor="}, "http://x.example/a=First, title!|ftp://f.example/file=file|", 2},
      {{}, "http://e.example/help=Help|http://x.example/a=First, title!|ftp://f.example/file=file|"
           "https://y.example/ad?sponsor=1=ad|", 0},
      {{"x", ""}, "", 4},  // an empty entry drops everything
  };
  for (const Case& c : cases) {
    std::vector<Ref_string> dropped;
    std::string kept;
    for (const Found_link& l : read_result_links(buffer(page), "http://e.example/search", c.ignore, &dropped))
      kept += l.url.str() + "=" + l.text.str() + "|";
    EXPECT_EQ(kept, c.kept);
    EXPECT_EQ(static_cast<int>(dropped.size()), c.dropped);
  }
}

// What a result page gives: at most MaxResultsPerPage links in page order (after the ignore
// list), addresses up to 2,048 characters, and every title cut at 254 characters, not dropped.
TEST(SearchRequest, ResultLinksAreCappedLongTitlesCutLongAddressesKept) {
  const std::string e = "\xc3\xa9", base = "http://e.example/", p = std::string(2048 - base.size(), 'p');
  std::string many, e300;
  for (int i = 0; i < 300; ++i) many += "<a href='/" + std::to_string(i) + "'>R" + std::to_string(i) + "</a>", e300 += e;
  const struct {
    std::string page;
    int max_links;
    Ref_list<Ref_string> ignore;
    int kept;
    std::string first, last;  // "address title" of the first and last link kept
  } cases[] = {
      {many, 200, {}, 200, "0 R0", "199 R199"},
      {many, 150, {"/1"}, 150, "0 R0", "260 R260"},  // 111 ignored, then the first 150
      {"<a href='/" + p + "q'>long</a><a href='/" + p + "'></a><a href='/x'>x</a>", 1, {}, 2, p + "q long",
       p + " " + (base + p).substr(0, 254)},
      {"<a href='/t'>" + e300 + "</a><a href='/u'>" + std::string(300, 'x') + "</a>", 200, {}, 2,
       "t " + e300.substr(0, 254 * 2), "u " + std::string(254, 'x')},
      {"<a href='/c'>Caf&eacute; &amp; tea</a>", 200, {}, 1, "c Caf" + e + " & tea", ""},
  };
  for (const auto& c : cases) {
    Ref_list<Found_link> links = read_result_links(buffer(c.page), rs(base), c.ignore, nullptr, c.max_links);
    ASSERT_EQ(links.count(), c.kept) << c.page.substr(0, 80);
    auto shown = [&](const Found_link& l) { return l.url.str().substr(base.size()) + " " + result_link_title(l).str(); };
    EXPECT_EQ(shown(links[0]), c.first);
    EXPECT_EQ(c.last.empty() ? "" : shown(links[links.count() - 1]), c.last);
  }
  // A link is stored when its address has at most 2,048 characters.
  EXPECT_TRUE(search_keeps_link(Found_link{rs(base + p), {}}));
  EXPECT_FALSE(search_keeps_link(Found_link{rs(base + p + "q"), {}}));
}

TEST(SearchAdvertisement, TheFirstConfiguredImageOnThePageWithItsAnchor) {
  Search_resource r = engine("E", "http://search.example/find");
  struct Case {
    const char* config;
    const char* page;
    const char* found;
  } cases[] = {
      {"other.example ads,search.example /ads/,search.example /img/",
       "<img src='/img/logo.gif'><a href='/go?1'><IMG SRC='/ads/b1.gif' alt=Hi></a><a href='/go?2'><img src='/ads/b2.gif'></a>",
       "<a href=\"http://search.example/go?1\"><img src=\"http://search.example/ads/b1.gif\" alt=hi></a>"},
      {"search.example /ads/", "<a href='/go'>x</a><input type=image src='ads/b.png'>",
       "<input type=image src=\"http://search.example/ads/b.png\">"},
      {"search.example /ads/", "<a name=top><img src='/ads/b.gif?a=1&amp;b=2'></a>",
       "<img src=\"http://search.example/ads/b.gif?a=1&b=2\">"},
      {"search.example /ads/", "<input type=text src='/ads/b.gif'><img src=''><img alt='/ads/'>", ""},
      {"", "<a href='/go'><img src='/ads/b.gif'></a>", ""},
  };
  for (const Case& c : cases) {
    Settings_cache::instance().set("advertisement_config", c.config);
    EXPECT_EQ(find_advertisement(r, buffer(c.page), "http://search.example/find?q=x").str(), c.found) << c.page;
  }
}

// A database open as the program's own, the agent's hooks, a worker and a hand-moved clock.
class AgentSearch : public ::testing::Test {
 protected:
  void SetUp() override {
    const std::string path = dir_.file("search.ov2");
    ASSERT_TRUE(create_database(rs(path)) && Database::shared().open(rs(path)));
    reset_db_error_reporter();
    install_agent_hooks();
    Settings_cache::instance().set("lexicon_path", ORVALIS_DATA_DIR);
    network_limits().search_timeout = 60;
    network_limits().max_results_per_page = Network_limits{}.max_results_per_page;
    Host_table::instance().clear();
    set_host_spacing_enabled(false);  // every engine here is on 127.0.0.1
    ASSERT_TRUE(net_startup());
    Job_queue::instance().start_worker();
  }
  void TearDown() override {
    Task_manager::instance().stop_all();
    Job_queue::instance().stop_worker();
    cancel_requests(active_requests());
    Application::instance().hooks() = Application::Hooks{};
    set_db_recovery_hook(nullptr);
    Database::shared().close();
    set_host_spacing_enabled(true);
  }

  Topic_handle topic(const char* name) {
    Topic_handle t = Topic_store::shared().add_topic(name);
    EXPECT_TRUE(t);
    return t;
  }
  void add_engine(const std::string& name, const std::string& location, const char* ignore = "") {
    Search_resource r = engine(name, location);
    for (const Ref_string& s : split(ignore, ',')) r.ignore_substrings.append(s);
    ASSERT_TRUE(Search_resource_store().save_resource(r));
  }
  // Starts the topic's search and returns its engine tasks, not yet started.
  std::vector<Counted_handle<Search_resource_task>> start_search(const Topic_handle& t) {
    search_topic_now(t, true);
    clock_.advance(1);
    agent_tick();
    std::vector<Counted_handle<Search_resource_task>> tasks;
    for (const Agent_task_handle& q : Task_manager::instance().queue())
      if (auto s = handle_cast<Search_resource_task>(q)) tasks.push_back(s);
    return tasks;
  }
  // Agent time moves (step_clock) until `done`; false after `seconds` of real time.
  template <typename Done>
  bool drive_until(Done done, double seconds) {
    return testing::run_loop_until([&] { step_clock(); agent_tick(); net_timer_tick(); return done(); }, seconds);
  }
  bool drive_until_idle() { return drive_until([] { return Task_manager::instance().has_tasks() == 0; }, 20); }
  // One second of agent time per 25 ms of real time, so that a loaded machine's peers still
  // answer well inside the agent's time-outs.
  void step_clock() {
    auto now = std::chrono::steady_clock::now();
    if (now - last_step_ < std::chrono::milliseconds(25)) return;
    last_step_ = now;
    clock_.advance(1);
  }
  std::chrono::steady_clock::time_point last_step_{};
  int count(const char* sql) { return static_cast<int>(testing::scalar(Database::shared(), sql)); }

  testing::Temp_dir dir_;
  testing::Message_recorder errors_;
  platform::Manual_clock clock_{1'700'000'000};
  platform::Scoped_clock installed_{clock_};
};

TEST_F(AgentSearch, FailingEnginesEndWithTheirStatusWhileTheOtherOneDelivers) {
  Scripted_server articles;
  ASSERT_TRUE(articles.start([](Scripted_server::Peer& p) {
    if (p.request.find("GET /missing") == 0) {
      p.write(reply("404 Not Found", "gone"));
      return;
    }
    // The title gives no key terms; the heading does.
    p.write(reply("200 OK", "<title>Leaf notes</title><h1>Leaf notes</h1><p>The tea plant grows on hills. "
                            "Pickers take the young leaves early.</p>"));
  }));
  const std::string refused = "http://127.0.0.1:" + std::to_string(testing::free_port()) + "/gone";
  std::string long_link = articles.url("/" + std::string(2100, 'x'));
  Scripted_server good, failing, silent;
  ASSERT_TRUE(good.start([&](Scripted_server::Peer& p) {
    std::string links;
    for (int i = 0; i < 3; ++i) links += "<a href='" + articles.url("/a" + std::to_string(i)) + "'>Tea " + std::to_string(i) + "</a>";
    links += "<a href='" + articles.url("/a0") + "'>again</a><a href='" + long_link + "'>long</a>";
    links += "<a href='" + articles.url("/missing") + "'>404</a><a href='" + refused + "'>refused &amp; gone</a>";
    links += "<a href='mailto:x@y.example'>m</a><a href='news:alt.tea'>n</a><a href='/prefs'>Preferences</a>";
    p.write(reply("200 OK", links));
  }));
  ASSERT_TRUE(failing.start([](Scripted_server::Peer& p) { p.write(reply("500 Internal Server Error", "oops")); }));
  ASSERT_TRUE(silent.start([](Scripted_server::Peer& p) {
    while (!p.stopping()) usleep(10000);
  }));
  add_engine("Good", good.url("/search"), "/prefs");
  add_engine("Failing", failing.url("/search"));
  add_engine("Refusing", "http://127.0.0.1:" + std::to_string(testing::free_port()) + "/search");
  add_engine("Silent", silent.url("/search"));

  std::vector<Counted_handle<Search_resource_task>> tasks = start_search(topic("tea"));
  ASSERT_EQ(tasks.size(), 4u);
  ASSERT_TRUE(drive_until_idle());
  std::map<std::string, int> statuses;
  for (const auto& t : tasks) statuses[t->resource().name.str()] = t->status();
  // A 500 is a delivered reply (status 0). Garbage replies and redirect loops end the transfer
  // failed as any other failure does (misbehaving_server_test.cpp, http_fetch_test.cpp).
  std::map<std::string, int> expected{{"Good", 0}, {"Failing", 0}, {"Refusing", 2}, {"Silent", 3}};
  EXPECT_EQ(statuses, expected);

  // Five documents (the duplicate, the long link, mail, news and the ignored link left out),
  // each linked to the topic; three summarized, the others with the reason in their extract.
  EXPECT_EQ(count("SELECT count(*) FROM url_master"), 5);
  EXPECT_EQ(count("SELECT count(*) FROM concept_urls WHERE search_resource = 'Good'"), 5);
  EXPECT_EQ(count("SELECT count(*) FROM url_master WHERE title = 'Leaf notes' AND summary <> ''"), 3);
  EXPECT_EQ(testing::scalar_text(Database::shared(), "SELECT abstract FROM url_master WHERE title = '404'"),
            Ref_string::from_id(10203).str());
  EXPECT_EQ(testing::scalar_text(Database::shared(), "SELECT abstract FROM url_master WHERE title = 'refused & gone'"),
            "[NO TEXT: Request did not complete successfully]");
  EXPECT_EQ(count("SELECT count(*) FROM concept_master WHERE time_last_queried IS NOT NULL "
                  "AND time_last_modified IS NOT NULL"), 1);
  // Idle, the agent writes the search index's rows of what it stored, pages' text included.
  agent_tick();
  EXPECT_EQ(count("SELECT count(*) FROM page_text_index_pending"), 0);
  EXPECT_EQ(count("SELECT count(*) FROM page_text_index WHERE page_text_index MATCH 'pickers'"), 3);
}

TEST_F(AgentSearch, EveryEngineFailingIsToldWithReasonsAndOneEngineCanBeChosen) {
  Scripted_server failing, good;
  ASSERT_TRUE(failing.start([](Scripted_server::Peer& p) { p.write(reply("503 Service Unavailable", "busy")); }));
  ASSERT_TRUE(good.start([](Scripted_server::Peer& p) { p.write(reply("200 OK", "<a href='http://127.0.0.1/x'>x</a>")); }));
  add_engine("Failing", failing.url("/search"));
  add_engine("Refusing", "http://127.0.0.1:" + std::to_string(testing::free_port()) + "/search");
  std::vector<std::string> told;
  agent_events().search_failed = [&told](const Topic&, const Ref_string& why) { told.push_back(why.str()); };
  Topic_handle tea = topic("tea");
  tea->terms.append(Ref_string("oolong"));  // two queries on each engine: each engine is named once
  Topic_store::shared().save_topic(*tea);
  ASSERT_EQ(start_search(tea).size(), 4u);
  ASSERT_TRUE(drive_until_idle());
  ASSERT_EQ(told.size(), 1u);
  EXPECT_EQ(told[0].rfind("No search engine answered for 'tea': ", 0), 0u) << told[0];
  EXPECT_NE(told[0].find("Failing (HTTP status 503)"), std::string::npos) << told[0];
  EXPECT_NE(told[0].find("Refusing ("), std::string::npos) << told[0];
  EXPECT_EQ(told[0].find("Failing", told[0].find("Failing") + 1), std::string::npos) << told[0];

  // One engine picked: only it is asked; one engine answering is no failure.
  add_engine("Good", good.url("/search"));
  told.clear();
  search_topic_now(tea, true, Ref_string("Good"));
  clock_.advance(1);
  agent_tick();
  std::vector<std::string> asked;
  for (const Agent_task_handle& q : Task_manager::instance().queue())
    if (auto s = handle_cast<Search_resource_task>(q)) asked.push_back(s->resource().name.str());
  EXPECT_EQ(asked, (std::vector<std::string>{"Good", "Good"}));
  ASSERT_TRUE(drive_until_idle());
  EXPECT_TRUE(told.empty());
  agent_events().search_failed = nullptr;
}

TEST_F(AgentSearch, ADatabaseThatFillsMidSearchStopsTheAgentAndKeepsWhatWasStored) {
  Document_store().add_document("http://kept.example/", "Kept", 0, 0);
  Scripted_server engine_server;
  ASSERT_TRUE(engine_server.start([&](Scripted_server::Peer& p) {
    std::string page;
    for (int i = 0; i < 2000; ++i)
      page += "<a href='http://127.0.0.9:1/" + std::string(200, 'p') + std::to_string(i) + "'>T</a>";
    p.write(reply("200 OK", page));
  }));
  add_engine("Engine", engine_server.url("/search"));
  network_limits().max_results_per_page = 2000;
  std::vector<Counted_handle<Search_resource_task>> tasks = start_search(topic("full"));
  ASSERT_EQ(tasks.size(), 1u);
  std::int64_t pages = testing::scalar(Database::shared(), "PRAGMA page_count");
  Database::shared().execute("PRAGMA max_page_count = " + std::to_string(pages + 80));

  ASSERT_TRUE(drive_until_idle());  // the recovery stopped every task
  EXPECT_EQ(tasks[0]->state(), Agent_task::done);
  EXPECT_TRUE(errors_.has("database or disk is full")) << errors_.all();
  int stored = count("SELECT count(*) FROM url_master");
  EXPECT_GT(stored, 1);
  EXPECT_LT(stored, 2001);
  EXPECT_EQ(testing::scalar_text(Database::shared(), "SELECT title FROM url_master WHERE url_id = 1"), "Kept");
  EXPECT_EQ(testing::scalar_text(Database::shared(), "PRAGMA integrity_check"), "ok");

  // With room again the program goes on: the next search stores the rest.
  Database::shared().execute("PRAGMA max_page_count = 1000000");
  reset_db_error_reporter();
  start_search(topic("roomy"));
  ASSERT_TRUE(drive_until([&] { return count("SELECT count(*) FROM url_master") == 2001; }, 30));
}

// The table's rule through the agent's clock: an engine's first banner is fetched at once; a
// different one only when more than 15 whole minutes passed since the last fetch; a banner seen
// again is never fetched again, even when it came in between.
TEST_F(AgentSearch, AdvertisementsAreFetchedFirstThenOnlyWhenChangedAfter15Minutes) {
  Settings_cache::instance().set("advertisement_config", "127.0.0.1 /ads/");
  Search_resource r = engine("Ads", "http://127.0.0.1:9/search");
  struct Step {
    int advance;
    int banner;
    bool fetched;
  } steps[] = {{0, 1, true}, {60, 1, false}, {60, 2, false}, {839, 3, false}, {1, 4, true},
               {0, 4, false}, {2000, 4, false}, {1, 5, true}};
  int submitted = 0;
  for (const Step& s : steps) {
    clock_.advance(s.advance);
    std::string html = "<a href=/go><img src=/ads/" + std::to_string(s.banner) + ".gif></a>";
    take_advertisement(r, buffer(html), "http://127.0.0.1:9/search");
    int now = Task_manager::instance().queued_count();
    EXPECT_EQ(now - submitted, s.fetched ? 1 : 0) << "banner " << s.banner;
    submitted = now;
  }
  Counted_handle<Get_ad_task> last;
  for (const Agent_task_handle& t : Task_manager::instance().queue()) last = handle_cast<Get_ad_task>(t);
  ASSERT_TRUE(last);
  EXPECT_EQ(last->image_address(), "http://127.0.0.1:9/ads/5.gif");
  EXPECT_EQ(last->anchor_text(), "<a href=\"http://127.0.0.1:9/go\" target=\"_top\">");
}

// Each engine's result page shows a banner (among many images that are no advertisement); the
// banners answer in every bad way. Only a whole GIF, JPEG, PNG, WebP or SVG is stored, under a
// name that stays in the engines folder; an old image stays when its replacement fails, and
// nothing is said.
TEST_F(AgentSearch, OnlyAWholeImageIsStoredWithItsPage) {
  const std::string gif = std::string("GIF89a\x01\x00\x01\x00\x00\x00\x00;", 13);
  network_limits().max_document_bytes = 65536;
  Settings_cache::instance().set("advertisement_config", "127.0.0.1 /ads/");
  Settings_cache::instance().set("ShowSRAd", "Yes");
  Settings_cache::instance().set("InstallDir", Ref_string(dir_.str()));
  const std::string engines = dir_.file("engines/");
  testing::write_file(engines + "Cut.gif", "old");
  const std::string ok = "HTTP/1.0 200 OK\r\n", whole = ok + "Content-Length: 13\r\n\r\n" + gif;
  const std::map<std::string, std::string> replies{
      {"Good", whole}, {"Page", reply("200 OK", "<html>not an image</html>")},
      {"Cut", ok + "Content-Length: 5000\r\n\r\n" + gif}, {"Unsized", ok + "\r\n" + gif},
      {"Missing", reply("404 Not Found", "no")}, {"Endless", ok + "Content-Length: 100000000\r\n\r\n" + gif},
      {"Webp", ok + "Content-Length: 16\r\n\r\n" + std::string("RIFF\x08\0\0\0WEBPVP8 ", 16)},
      {"Svg", ok + "Content-Length: 42\r\n\r\n\n<svg xmlns='http://www.w3.org/2000/svg'/>"}};
  set_warnings_enabled(true);  // a failed advertisement says nothing, even then
  Scripted_server server;
  ASSERT_TRUE(server.start([&](Scripted_server::Peer& p) {
    std::string path = p.request.substr(4, p.request.find_first_of(" .?", 4) - 4);
    std::string kind = path.substr(path.rfind('/') + 1);
    if (path.rfind("/search/", 0) == 0) {
      std::string page;
      for (int i = 0; i < 500; ++i) page += "<img src='/pics/" + std::to_string(i) + ".gif'>";
      page += "<a href='javascript:alert(\"x\")'><img src='/ads/" + kind + ".gif?v=1' alt='x\" onerror=\"alert(1)'></a>";
      for (int i = 0; i < 500; ++i) page += "<a href='/sponsor'><img src='/ads/other" + std::to_string(i) + ".gif'></a>";
      p.write(reply("200 OK", page));
      return;
    }
    p.write(kind == "Evil" ? whole : replies.at(kind));
    while (kind == "Endless" && !p.stopping() && p.write(std::string(4096, 'x'))) {
    }
  }));
  for (const auto& [kind, answer] : replies) add_engine(kind, server.url("/search/" + kind), "/sponsor");
  add_engine("../../x/Evil", server.url("/search/Evil"), "/sponsor");
  start_search(topic("ads"));
  ASSERT_TRUE(drive_until_idle());

  std::set<std::string> files;
  for (const auto& entry : std::filesystem::directory_iterator(engines)) files.insert(entry.path().filename());
  set_warnings_enabled(false);
  EXPECT_EQ(files, (std::set<std::string>{"Cut.gif", "Good.gif", "Good.htm", "Svg.htm", "Svg.svg", "Webp.gif",
                                          "Webp.htm", "xEvil.gif", "xEvil.htm"}));
  EXPECT_NE(testing::read_file(engines + "Svg.htm").find("<img src=\"Svg.svg\""), std::string::npos);
  EXPECT_EQ(testing::read_file(engines + "Cut.gif"), "old");
  EXPECT_EQ(testing::read_file(engines + "Good.gif"), gif);
  std::string evil = testing::read_file(engines + "xEvil.htm");
  EXPECT_TRUE(testing::only_our_markup(evil)) << evil;
  EXPECT_NE(evil.find(" target=\"_top\"><img src=\"xEvil.gif\" align=\"right\" alt=\"x\"></A>"),
            std::string::npos) << evil;
  EXPECT_TRUE(errors_.texts().empty()) << errors_.all();
}

// Three pages that link to each other: however deep the follow, the run fetches each page once
// (at depth 1 the two it links to are summarized). A depth outside 1 to 10 is refused with the
// rule and fetches nothing.
TEST_F(AgentSearch, AFollowRunFetchesEachDocumentOnce) {
  std::mutex lock;
  std::multiset<std::string> fetched;
  Scripted_server site;
  ASSERT_TRUE(site.start([&](Scripted_server::Peer& p) {
    const std::string path = p.request.substr(4, p.request.find(' ', 4) - 4);
    if (path.size() != 2) return (void)p.write(reply("404 Not Found", ""));  // robots.txt
    std::string page = "<title>Page " + path + "</title><p>The tea plant grows on hills.</p>";
    for (std::string other : {"/a", "/b", "/c"}) page += other == path ? "" : "<a href='" + other + "'>" + other + "</a>";
    std::lock_guard<std::mutex> hold(lock);
    fetched.insert(path);
    p.write(reply("200 OK", page));
  }));
  const struct {
    int depth;
    std::multiset<std::string> fetched;
    int summarized;
  } cases[] = {{1, {"/a", "/b", "/c"}, 2}, {3, {"/a", "/b", "/c"}, 0}, {5, {"/a", "/b", "/c"}, 0},
               {10, {"/a", "/b", "/c"}, 0}, {0, {}, 0}, {-5, {}, 0}, {11, {}, 0}};
  for (const auto& c : cases) {
    fetched.clear();
    Database::shared().execute("DELETE FROM concept_urls; UPDATE url_master SET time_last_retrieved = NULL");
    const std::size_t errors_before = errors_.texts().size();
    Document_handle root = Document_store().add_document(rs(site.url("/a")), "Page /a", -1, -1);
    Task_manager::instance().submit(make_counted<Get_links_task>(root, topic(("follow " + std::to_string(c.depth)).c_str()), c.depth));
    ASSERT_TRUE(drive_until_idle()) << c.depth;
    EXPECT_EQ(fetched, c.fetched) << c.depth;
    EXPECT_EQ(count("SELECT count(*) FROM url_master WHERE time_last_retrieved IS NOT NULL"), c.summarized) << c.depth;
    const std::vector<std::string> all = errors_.texts(), added(all.begin() + static_cast<long>(errors_before), all.end());
    using Texts = std::vector<std::string>;
    EXPECT_EQ(added, c.fetched.empty() ? Texts{"The depth of a follow is a whole number from 1 to 10, not " + std::to_string(c.depth) + "."} : Texts{});
  }
}

// The topic's queries are its terms, then its name unless a term is the name; the engines are
// the switched-on ones of its category (all switched-on ones without a category).
TEST_F(AgentSearch, ATopicIsSearchedForEachQueryOnTheEnginesOfItsCategory) {
  struct Engine {
    const char *name, *category;
    int enabled;
  } engines[] = {{"News A", "News", 1}, {"News Off", "News", 0}, {"Web B", "Web", 1}};
  for (const Engine& e : engines) {
    Search_resource r = engine(e.name, "http://127.0.0.1:9/s");
    r.category = e.category;
    r.enabled = e.enabled;
    ASSERT_TRUE(Search_resource_store().save_resource(r));
  }
  struct Case {
    const char *name, *category;
    std::vector<const char*> terms;
    std::multiset<std::string> searches;  // engine|query
  } cases[] = {
      {"tides", "news", {"tides", "moon"}, {"News A|tides", "News A|moon"}},
      {"ocean", "", {"tides"}, {"News A|tides", "Web B|tides", "News A|ocean", "Web B|ocean"}},
      {"comets", "Sports", {"ice"}, {}},
  };
  for (const Case& c : cases) {
    Topic_handle t = topic(c.name);
    t->category = rs(c.category);
    for (const char* term : c.terms) t->terms.append(rs(term));
    ASSERT_TRUE(Topic_store::shared().save_topic(*t));
    std::multiset<std::string> searches;
    for (const auto& task : start_search(t)) searches.insert(task->resource().name.str() + "|" + task->query().str());
    EXPECT_EQ(searches, c.searches) << c.name;
    Task_manager::instance().stop_all();
  }
}

// Summarizing a topic summarizes its live documents and stamps the topic when asked to.
TEST_F(AgentSearch, SummarizingATopicSubmitsOneSummaryPerLiveDocument) {
  Topic_handle t = topic("tea");
  Document_store store;
  for (const char* address : {"http://127.0.0.1:9/a", "http://127.0.0.1:9/b", "http://127.0.0.1:9/gone"}) {
    Document_handle d = store.add_document(rs(address), "", -1, -1);
    Document_link link;
    ASSERT_TRUE(store.link_document(t->concept_id, d->url_id, link, false));
    if (std::string(address).ends_with("gone")) {
      ASSERT_TRUE(store.remove_document_from_topic(t->concept_id, d->url_id));
    }
  }
  for (bool record : {false, true}) {
    make_counted<Summarize_topic_task>(t, record)->start();
    std::set<std::string> summarized;
    for (const Agent_task_handle& q : Task_manager::instance().queue())
      if (auto s = handle_cast<Summarize_task>(q)) summarized.insert(s->document()->address.str());
    EXPECT_EQ(summarized, (std::set<std::string>{"http://127.0.0.1:9/a", "http://127.0.0.1:9/b"}));
    Topic stored;
    ASSERT_TRUE(Topic_store::shared().load_topic(stored, t->concept_id));
    EXPECT_EQ(stored.time_last_summarized.is_valid() ? stored.time_last_summarized.seconds : 0,
              record ? platform::now() : 0);
    Task_manager::instance().stop_all();
  }
}

// Following links: depth 1 summarizes the linked documents, depth 2 follows their links.
TEST_F(AgentSearch, GetLinksSummarizesAtDepthOneAndFollowsFurtherBeyond) {
  Scripted_server page;
  ASSERT_TRUE(page.start([](Scripted_server::Peer& p) {
    p.write(reply("200 OK", "<a href='/one'>One</a> <a href='/two'>Two</a>"));
  }));
  Topic_handle t = topic("links");
  Document_handle start = Document_store().add_document(rs(page.url("/start")), "Start", -1, -1);
  struct Case {
    int depth;
    std::set<std::string> queued;  // kind and depth of each task submitted
  } cases[] = {{1, {"summarize /one", "summarize /two"}}, {2, {"links 1 /one", "links 1 /two"}}, {3, {"links 2 /one", "links 2 /two"}}};
  for (const Case& c : cases) {
    auto task = make_counted<Get_links_task>(start, t, c.depth);
    ASSERT_EQ(task->start(), 1);
    ASSERT_TRUE(testing::run_loop_until([&] { return task->state() == Agent_task::done; }));
    std::set<std::string> queued;
    for (const Agent_task_handle& q : Task_manager::instance().queue()) {
      if (auto s = handle_cast<Summarize_task>(q)) queued.insert("summarize " + Url(s->document()->address).path().str());
      if (auto g = handle_cast<Get_links_task>(q))
        queued.insert("links " + std::to_string(g->depth()) + " " + Url(g->document()->address).path().str());
    }
    EXPECT_EQ(queued, c.queued) << c.depth;
    Task_manager::instance().stop_all();
  }
}

// The due-tasks check: each switched-on schedule that came due makes a task due now and stamps
// the topic; the others stay as they are, and every schedule is registered again.
TEST_F(AgentSearch, TheDueTasksCheckMakesATaskForEachScheduleThatCameDue) {
  const std::int64_t now = platform::now(), day = 86400;
  struct Case {
    const char *name, *query_spec;  // null spec: that schedule is off
    std::int64_t last_queried;
    const char* summarize_spec;
    std::int64_t last_summarized;
  } cases[] = {
      {"due", "r 0 1 0", now - 2 * day, nullptr, 0},
      {"recent", "r 0 1 0", now - 3600, "r 0 1 0", now - 2 * day},
      {"broken", "every day", now - 2 * day, nullptr, 0},
      {"off", nullptr, now - 2 * day, nullptr, 0},
  };
  for (const Case& c : cases) {
    Topic_handle t = topic(c.name);
    t->query_enabled = c.query_spec != nullptr;
    t->query_time_spec = rs(c.query_spec ? c.query_spec : "r 0 1 0");
    t->time_last_queried = Db_date::at(c.last_queried);
    t->summary_enabled = c.summarize_spec != nullptr;
    t->summarize_time_spec = rs(c.summarize_spec ? c.summarize_spec : "r 0 1 0");
    t->time_last_summarized = Db_date::at(c.last_summarized);
    ASSERT_TRUE(Topic_store::shared().save_topic(*t));
  }
  std::set<std::string> due;
  for (const Agent_task_handle& task : check_due_tasks()) due.insert(task->description().str());
  EXPECT_EQ(due, (std::set<std::string>{"Searching for topic 'due'", "Summarize documents on subject 'recent'"}));
  for (const Case& c : cases) {
    Topic t;
    ASSERT_TRUE(Topic_store::shared().load_topic(t, Topic_store::shared().topics_named(rs(c.name)).first()->concept_id));
    EXPECT_EQ(t.time_last_queried.seconds, std::string(c.name) == "due" ? now : c.last_queried) << c.name;
    EXPECT_EQ(t.time_last_summarized.seconds, std::string(c.name) == "recent" ? now : c.last_summarized) << c.name;
    EXPECT_EQ(bool(recurrent_search_task(t.concept_id)), c.query_spec && std::string(c.name) != "broken") << c.name;
  }
  unregister_all_schedules();
}

// An engine's failures in a row through the hand-moved clock: the third suspends it for an
// hour, each failure of a try after a suspension doubles that, up to a day; an answer, a test
// or an edit lifts it. Searches skip a suspended engine with one notice and ask it again later.
TEST_F(AgentSearch, FailingEnginesAreSuspendedOnADoublingSchedule) {
  Engine_health_store health;
  const struct {
    const char* event;       // "fail", "answer" or "edit"
    std::int64_t advance;    // seconds the clock moves first
    int failures;            // in a row afterwards
    std::int64_t suspended;  // seconds from now it stays suspended; 0: not
  } steps[] = {
      {"fail", 0, 1, 0},          {"fail", 10, 2, 0},         {"fail", 10, 3, 3600},
      {"fail", 3601, 4, 7200},    {"fail", 7201, 5, 14400},   {"fail", 14401, 6, 28800},
      {"fail", 28801, 7, 57600},  {"fail", 57601, 8, 86400},  {"fail", 86401, 9, 86400},
      {"answer", 86401, 0, 0},    {"fail", 5, 1, 0},          {"fail", 5, 2, 0},
      {"fail", 5, 3, 3600},       {"edit", 5, 0, 0},          {"fail", 5, 1, 0},
  };
  Search_resource r = engine("Flaky", "http://127.0.0.1:9/search");
  ASSERT_TRUE(Search_resource_store().save_resource(r));
  for (const auto& s : steps) {
    clock_.advance(s.advance);
    const std::string event = s.event;
    if (event == "fail") health.record_failure("flaky", "answered 503 Service Unavailable");
    if (event == "answer") health.record_answer("Flaky", 120, 7);
    if (event == "edit") {
      ASSERT_TRUE(Search_resource_store().save_resource(r));
    }
    const Engine_health h = health.health("FLAKY");
    EXPECT_EQ(h.failures, s.failures) << event << " after " << s.advance;
    EXPECT_EQ(h.suspended(clock_.now()) ? h.suspended_until - clock_.now() : 0, s.suspended)
        << event << " after " << s.advance;
  }
  EXPECT_EQ(health.health("Flaky").median_ms(), 120);
  EXPECT_EQ(health.health("Flaky").links_per_query(), 7.0);

  // Through searches: a 503 engine beside a working one.
  Scripted_server down, up;
  ASSERT_TRUE(down.start([](Scripted_server::Peer& p) { p.write(reply("503 Service Unavailable", "busy")); }));
  ASSERT_TRUE(up.start([](Scripted_server::Peer& p) { p.write(reply("200 OK", "<a href='http://127.0.0.9:1/a'>A</a>")); }));
  add_engine("Down", down.url("/search"));
  add_engine("Up", up.url("/search"));
  ASSERT_TRUE(Search_resource_store().delete_resource("Flaky"));
  std::vector<std::string> notices;
  agent_events().notice = [&](const Ref_string& text) { notices.push_back(text.str()); };
  Topic_handle t = topic("weather");
  const int asked[] = {1, 2, 3, 3, 3, 4};  // connections to Down after each search
  for (int i = 0; i < 6; ++i) {
    if (i == 5) clock_.advance(3600);
    start_search(t);
    ASSERT_TRUE(drive_until_idle());
    EXPECT_EQ(down.connections(), asked[i]) << "search " << i + 1;
  }
  agent_events().notice = nullptr;
  EXPECT_EQ(notices.size(), 2u);
  ASSERT_FALSE(notices.empty());
  EXPECT_NE(notices[0].find("Skipping 'Down': suspended until"), std::string::npos) << notices[0];
  EXPECT_NE(notices[0].find("(answered 503 Service Unavailable)"), std::string::npos) << notices[0];
  const Engine_health up_health = health.health("Up");
  EXPECT_EQ(up_health.queries, 6);
  EXPECT_EQ(up_health.failures, 0);
  EXPECT_EQ(up_health.links_per_query(), 1.0);
  EXPECT_EQ(health.health("Down").suspended_until - clock_.now(), 7200);
  EXPECT_EQ(health.health("Flaky").failures, 0);  // a deleted engine's figures go with it
  EXPECT_EQ(health.health("Flaky").queries, 0);
}

// A crawl delay longer than the host spacing holds the site's next fetch; a shorter one is the
// spacing's business. A gate that is off, or RespectRobots "No", holds nothing.
TEST(RobotsGate, ACrawlDelayOverTheSpacingIsKept) {
  platform::Manual_clock clock{1'700'000'000};
  platform::Scoped_clock installed{clock};
  Settings_cache::instance().set("RespectRobots", "Yes");
  const struct {
    const char* file;
    bool on;
    std::int64_t after;  // seconds since the host's last fetch
    bool ready;
  } cases[] = {
      {"User-agent: *\nCrawl-delay: 60\n", true, 31, false},
      {"User-agent: *\nCrawl-delay: 60\n", true, 61, true},
      {"User-agent: *\nCrawl-delay: 60\n", false, 31, true},
      {"User-agent: *\nCrawl-delay: 10\n", true, 11, true},
  };
  for (const auto& c : cases) {
    Robots_cache::instance().clear();
    Robots_cache::instance().store("http://slow.example:80", Robots_rules::parse(c.file), 3600);
    Host_table::instance().set_launch_time("slow.example", clock.now() - c.after);
    Robots_gate gate(c.on);
    EXPECT_EQ(gate.ready("http://slow.example/page"), c.ready) << c.file << " after " << c.after;
    EXPECT_FALSE(gate.disallowed());
  }
  Settings_cache::instance().set("RespectRobots", "No");
  EXPECT_FALSE(Robots_gate(true).on());
  Settings_cache::instance().set("RespectRobots", "Yes");
  Robots_cache::instance().clear();
  Host_table::instance().clear();
}

// Follow Links asks the site's robots rules: a refused page keeps its title and says why; an
// allowed one is summarized; the rules are fetched once. A fetch the user asks for is not held.
// A page in a coding that is not decoded says so.
TEST_F(AgentSearch, FollowLinksHonoursTheSitesRobotsRules) {
  testing::Nginx_server site;
  ASSERT_TRUE(site.start("    location = /open/br.html { add_header Content-Encoding br; }\n"));
  // Our own group replaces "*": everything but /private/ is ours to fetch.
  site.put("/robots.txt", "User-agent: *\nDisallow: /\n\nUser-agent: Orvalis\nDisallow: /private/\n");
  site.put("/start.html", "<title>Start</title><a href='/private/a.html'>Private page</a>"
                          "<a href='/secret.html'>Secret page</a><a href='/open/b.html'>Open page</a>"
                          "<a href='/open/br.html'>Brotli page</a>");
  for (const char* page : {"/private/a.html", "/secret.html", "/open/b.html", "/open/br.html"})
    site.put(page, "<title>Article</title><h1>Tea</h1><p>The tea plant grows on hills. Pickers take the young "
                   "leaves early in the spring.</p>");
  Robots_cache::instance().clear();
  Settings_cache::instance().set("RespectRobots", "Yes");
  Topic_handle t = topic("tea");
  Document_handle start = Document_store().add_document(rs(site.url("/start.html")), "Start", -1, -1);
  ASSERT_TRUE(start);
  Task_manager::instance().submit(make_counted<Get_links_task>(start, t, 1));
  ASSERT_TRUE(drive_until_idle());
  const std::string not_allowed = "[NO TEXT: Not allowed by the site's robots rules]";
  const struct {
    const char* path;
    const char* title;
    std::string abstract;  // empty: summarized
  } expected[] = {
      {"/private/a.html", "Private page", not_allowed},
      {"/secret.html", "Article", ""},
      {"/open/b.html", "Article", ""},
      // A coding that is not decoded is not read as garbage: the reason stands instead.
      {"/open/br.html", "Brotli page",
       "[NO TEXT: The page came with Content-Encoding \"br\", which Orvalis does not decode]"},
  };
  for (const auto& e : expected) {
    Document_handle h = Document_store().find_by_address(rs(site.url(e.path)));
    ASSERT_TRUE(h) << e.path;
    EXPECT_EQ(h->title.str(), e.title) << e.path;
    if (e.abstract.empty()) {
      ASSERT_GT(h->abstract.count(), 0) << e.path;
      EXPECT_NE(h->abstract.first().str().find("tea plant"), std::string::npos) << e.path;
    } else {
      ASSERT_EQ(h->abstract.count(), 1) << e.path;
      EXPECT_EQ(h->abstract.first().str(), e.abstract) << e.path;
    }
  }
  EXPECT_EQ(Robots_cache::instance().fetch_count(), 1);
  // The user's own fetch of a refused page is not held back.
  Document_handle refused = Document_store().find_by_address(rs(site.url("/private/a.html")));
  Task_manager::instance().submit(make_counted<Summarize_task>(t, refused));
  ASSERT_TRUE(drive_until_idle());
  refused = Document_store().find_by_address(rs(site.url("/private/a.html")));
  EXPECT_EQ(refused->title.str(), "Article");
  Robots_cache::instance().clear();
}

}  // namespace
}  // namespace orvalis
