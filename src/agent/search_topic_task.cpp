#include "agent/search_topic_task.h"

#include "agent/agent_events.h"
#include "agent/feed_read_task.h"
#include "agent/scheduler.h"
#include "agent/search_resource_task.h"
#include "agent/task_manager.h"
#include "database/engine_health_store.h"
#include "database/search_resource_store.h"
#include "database/topic_store.h"
#include "foundation/name_value_list.h"
#include "platform/clock.h"

namespace orvalis {

namespace {

// The requests of one search: when the last has ended and none was answered, every engine
// that was asked failed, and the agent says which and why.
class Search_tally : public Completion_listener {
 public:
  Search_tally(const Topic_handle& topic, int requests) : topic_(topic), pending_(requests) {}

  void on_complete(Network_task& task) override {
    --pending_;
    auto& request = static_cast<Search_resource_task&>(task);
    Ref_string why = reason(task);
    if (why.empty()) ++answered_;
    else if (!(why == "cancelled") && !named(request.resource().name))
      failures_.push_back({request.resource().name, why});
    if (pending_ > 0 || answered_ > 0 || failures_.empty()) return;
    std::string text = "No search engine answered for '" + topic_->name.str() + "': ";
    for (std::size_t i = 0; i < failures_.size(); ++i) {
      if (i) text += "; ";
      text += failures_[i].first.str() + " (" + failures_[i].second.str() + ")";
    }
    if (agent_events().search_failed) agent_events().search_failed(*topic_, Ref_string(std::string_view(text)));
  }

 private:
  // Empty when the engine answered with a page; else why not.
  static Ref_string reason(Network_task& task) {
    if (task.status() != Network_task::succeeded) {
      Ref_string why = task.failure_reason();
      if (!why.empty()) return why;
      return Ref_string(task.status() == Network_task::timed_out ? "timed out" : "failed");
    }
    int status = 0;
    if (task.connection()) response_body(*task.connection(), false, &status);
    if (status >= 400) return Ref_string(std::string_view("HTTP status " + std::to_string(status)));
    return Ref_string();
  }
  bool named(const Ref_string& engine) const {
    for (const auto& f : failures_)
      if (f.first == engine) return true;
    return false;
  }

  Topic_handle topic_;
  int pending_;
  int answered_ = 0;
  std::vector<std::pair<Ref_string, Ref_string>> failures_;
};

}  // namespace

Search_topic_task::Search_topic_task(const Topic_handle& topic, bool record_query_time)
    : Agent_task(kImmediate), topic_(topic), record_query_time_(record_query_time) {
  set_description(format_args(Ref_string::from_id(10073), topic->name));
}

int Search_topic_task::start() {
  Agent_task_handle keep(this);
  Task_manager& manager = Task_manager::instance();
  // The topic as stored now: its terms may have changed since the task was made.
  auto topic = make_counted<Topic>();
  if (!Database::shared().is_open() || !Topic_store::shared().load_topic(*topic, topic_->concept_id)) {
    manager.finish(*this);
    return 1;
  }
  topic_->terms = topic->terms;
  if (scheduled_) note_scheduled_run(topic->concept_id);

  Ref_list<Ref_string> queries;
  for (const Ref_string& term : topic->terms) queries.append(term);
  if (!topic->terms.contains(topic->name)) queries.append(topic->name);

  Ref_list<Search_resource_handle> resources;
  Engine_health_store health;
  const std::int64_t now = platform::now();
  for (const Search_resource_handle& r : engines_for(*topic, engine_)) {
    // An engine that keeps failing is left alone for a while, said once per search (unless it
    // was named).
    if (const Engine_health h = health.health(r->name); engine_.empty() && h.suspended(now)) {
      if (agent_events().notice) agent_events().notice("Skipping '" + r->name + "': " + suspension_text(h, now));
      continue;
    }
    resources.append(r);
  }
  auto tally = make_counted<Search_tally>(topic_, static_cast<int>(queries.count() * resources.count()));
  for (const Ref_string& query : queries)
    for (const Search_resource_handle& r : resources) {
      auto request = make_counted<Search_resource_task>(topic, *r, query);
      request->set_completion_listener(tally);
      request->set_scheduled(scheduled_);
      manager.submit(request);
    }
  // The topic's feeds are read beside its engines (not when one engine was named).
  if (engine_.empty()) read_topic_feeds(topic, scheduled_);

  if (record_query_time_ && Database::shared().is_open()) {
    topic->time_last_queried = Db_date::at(platform::now());
    if (Topic_store::shared().save_topic(*topic)) topic_->time_last_queried = topic->time_last_queried;
  }
  manager.finish(*this);
  return 1;
}

Ref_list<Search_resource_handle> engines_for(const Topic& topic, const Ref_string& engine) {
  Ref_list<Search_resource_handle> resources;
  for (const Search_resource_handle& r : Search_resource_store().list_resources(false)) {
    if (!r->enabled) continue;
    if (!engine.empty()) {
      if (r->name == engine) resources.append(r);
      continue;
    }
    if (!topic.category.empty() && !equal_ignoring_case(r->category.view(), topic.category.view()))
      continue;
    resources.append(r);
  }
  return resources;
}

void search_topic_now(const Topic_handle& topic, bool record_query_time, const Ref_string& engine) {
  auto task = make_counted<Search_topic_task>(topic, record_query_time);
  task->set_engine(engine);
  Task_manager::instance().submit(task);
}

}  // namespace orvalis
