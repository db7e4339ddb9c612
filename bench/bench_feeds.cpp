// The cost of a scheduled read of a topic's feed, from a local nginx: what read_topic_feeds adds
// to a topic's scheduled search, from listing the feeds to the task's end, CPU time of this
// process (the agent's thread and the worker; nginx is another process). Side by side:
//   - the feed unchanged: a conditional request answered 304 (one row update, no parse);
//   - the same through a 301 from its old address (two requests, the second answered 304);
//   - the same feed fetched whole (no validators stored), parsed, its 200 entries all seen
//     already: what every read would cost without conditional requests.
// The feed is 200 entries of about 1 KB, as a blog's full-text feed is. Host spacing is off
// (every read goes to one host at once).
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "agent/agent_controller.h"
#include "agent/feed_read_task.h"
#include "agent/task_manager.h"
#include "database/feed_store.h"
#include "database/schema.h"
#include "database/topic_store.h"
#include "foundation/job_queue.h"
#include "foundation/settings.h"
#include "net/host_table.h"
#include "net/network.h"
#include "platform/clock.h"
#include "platform/event_loop.h"
#include "test_servers.h"

namespace orvalis {
namespace {

Ref_string rs(const std::string& s) { return Ref_string(std::string_view(s)); }

struct Setup {
  // Agent time moves a second a turn, so that a task due now is picked at once.
  platform::Manual_clock clock{1'700'000'000};
  platform::Scoped_clock installed{clock};
  testing::Nginx_server nginx;
  testing::Temp_dir dir{"orvalis-bench-feeds-"};
  Topic_handle topic;
  Topic_handle moved;  // its feed is the same one under an address that redirects
};

Setup& setup() {
  static Setup* s = [] {
    auto* made = new Setup;
    if (!made->nginx.start("    location = /old.xml { return 301 /feed.xml; }\n")) {
      std::fprintf(stderr, "bench_feeds: nginx could not be started\n");
      std::exit(1);
    }
    std::string body = "<?xml version=\"1.0\"?><rss version=\"2.0\"><channel><title>Bench</title>\n";
    for (int i = 0; i < 200; ++i)
      body += "<item><title>Entry " + std::to_string(i) + "</title><link>" + made->nginx.url("/e/") +
              std::to_string(i) + "</link><guid>" + std::to_string(i) + "</guid><description><![CDATA[<p>" +
              std::string(900, 'w') + "</p>]]></description></item>\n";
    made->nginx.put("/feed.xml", body + "</channel></rss>\n");
    const std::string path = made->dir.file("bench.ov2");
    if (!create_database(rs(path)) || !Database::shared().open(rs(path))) std::exit(1);
    install_agent_hooks();
    set_host_spacing_enabled(false);
    net_startup();
    Job_queue::instance().start_worker();
    made->topic = Topic_store::shared().add_topic("bench");
    made->moved = Topic_store::shared().add_topic("moved");
    for (const auto& [topic, path] : {std::pair{made->topic, "/feed.xml"}, std::pair{made->moved, "/old.xml"}}) {
      Feed feed;
      feed.concept_id = topic->concept_id;
      feed.address = rs(made->nginx.url(path));
      Feed_store().add_feed(feed);
    }
    return made;
  }();
  return *s;
}

// Reads the topic's feeds once and runs the agent until it is idle.
void read_once(const Topic_handle& topic) {
  read_topic_feeds(topic, true);
  platform::Event_loop& loop = platform::current_event_loop();
  while (Task_manager::instance().has_tasks() != 0) {
    setup().clock.advance(1);
    agent_tick();
    net_timer_tick();
    loop.run_once(5);
  }
}

void BM_ScheduledFeedRead(benchmark::State& state) {
  const bool conditional = state.range(0) != 0;
  Setup& s = setup();
  const Topic_handle& topic = state.range(0) == 2 ? s.moved : s.topic;
  network_limits().max_results_per_page = 0;  // the entries are seen: no page is fetched
  read_once(topic);                           // stores the validators and the seen entries
  Feed stored = Feed_store().feeds(topic->concept_id).at(0);
  for (auto _ : state) {
    if (!conditional) {
      state.PauseTiming();
      stored.etag = Ref_string();
      stored.last_modified = Ref_string();
      Feed_store().save_read_state(stored);
      state.ResumeTiming();
    }
    read_once(topic);
  }
  state.SetLabel(state.range(0) == 2 ? "301, then 304 Not Modified"
                 : conditional        ? "304 Not Modified"
                                      : "200, 200 entries all seen");
}
BENCHMARK(BM_ScheduledFeedRead)->Arg(1)->Arg(2)->Arg(0)->MeasureProcessCPUTime()->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace orvalis

BENCHMARK_MAIN();
