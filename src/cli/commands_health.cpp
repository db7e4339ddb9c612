// resource stats, and the health column of resource list: how each search engine has been
// answering (Engine_health_store).
#include <cstdio>
#include <string>

#include "cli/cli.h"
#include "cli/json.h"
#include "database/engine_health_store.h"
#include "database/search_resource_store.h"
#include "platform/clock.h"

namespace orvalis::cli {

namespace {

std::string when_text(std::int64_t t) {
  if (t <= 0) return "never";
  const platform::Local_time lt = platform::local_time(t);
  char text[32];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d", lt.year, lt.month, lt.day, lt.hour, lt.minute);
  return text;
}

}  // namespace

std::string health_summary(const Engine_health& h, std::int64_t now) {
  if (h.suspended(now)) return suspension_text(h, now).str();
  if (h.failures > 0)
    return std::to_string(h.failures) + (h.failures == 1 ? " failure" : " failures") + " in a row (" +
           h.last_reason.str() + ")";
  if (h.last_answer > 0) return "working, last answer " + when_text(h.last_answer);
  return "not asked yet";
}

void write_health(Json_writer& j, const Engine_health& h, std::int64_t now) {
  j.begin_object().field("state", h.suspended(now) ? "suspended" : h.failures > 0 ? "failing"
                                                                  : h.last_answer > 0 ? "working"
                                                                                      : "not asked");
  j.key("last_answer");
  h.last_answer > 0 ? j.value(static_cast<long long>(h.last_answer)) : j.null();
  j.field("failures", h.failures).field("last_reason", h.last_reason.view());
  j.key("suspended_until");
  h.suspended(now) ? j.value(static_cast<long long>(h.suspended_until)) : j.null();
  j.key("median_ms");
  h.median_ms() >= 0 ? j.value(h.median_ms()) : j.null();
  j.field("queries", h.queries).field("links_kept", static_cast<long long>(h.links_kept));
  j.field("links_per_query", h.links_per_query());
  j.end_object();
}

int resource_stats(Context& c) {
  if (c.take_flag("--json")) c.json = true;
  c.no_more_args(1);
  if (!c.open_database()) return 1;
  {
    const std::int64_t now = platform::now();
    Engine_health_store health;
    Ref_list<Search_resource_handle> resources = Search_resource_store().list_resources(false);
    if (c.json) {
      Json_writer j(c.out);
      j.begin_array();
      for (const Search_resource_handle& r : resources) {
        j.begin_object().field("name", r->name.view()).field("enabled", r->enabled != 0).key("health");
        write_health(j, health.health(r->name), now);
        j.end_object();
      }
      j.end_array().finish();
      return 0;
    }
    c.out << "Engine\tLast answer\tFailures\tMedian time\tLinks per query\tState\n";
    for (const Search_resource_handle& r : resources) {
      const Engine_health h = health.health(r->name);
      char per_query[32];
      std::snprintf(per_query, sizeof per_query, "%.1f", h.links_per_query());
      c.out << r->name << '\t' << when_text(h.last_answer) << '\t' << h.failures << '\t'
            << (h.median_ms() >= 0 ? std::to_string(h.median_ms()) + " ms" : std::string("-")) << '\t'
            << (h.queries > 0 ? std::string(per_query) + " (" + std::to_string(h.queries) + " queries)"
                              : std::string("-"))
            << '\t' << health_summary(h, now) << '\n';
    }
    return 0;
  }
}

}  // namespace orvalis::cli
