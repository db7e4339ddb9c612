#include "agent/scheduler.h"

#include <cstdio>
#include <map>
#include <filesystem>
#include <optional>
#include <set>
#include <system_error>
#include <vector>

#include "agent/search_topic_task.h"
#include "agent/summarize_topic_task.h"
#include "agent/task_manager.h"
#include "database/topic_store.h"
#include "foundation/error_handler.h"
#include "reports/topic_index.h"

namespace orvalis {

namespace {

using Task_map = std::map<std::int32_t, Agent_task_handle>;

Task_map& search_map() {
  static Task_map* map = new Task_map;
  return *map;
}

Task_map& summarize_map() {
  static Task_map* map = new Task_map;
  return *map;
}

void drop(Task_map& map, std::int32_t id) {
  auto it = map.find(id);
  if (it == map.end()) return;
  Task_manager::instance().remove_recurrent(it->second);
  map.erase(it);
}

// Makes the recurrent task when the schedule text parses: its schedule, last run and next due.
void add(Task_map& map, std::int32_t id, const Agent_task_handle& task, const Ref_string& spec_text,
         const Db_date& last) {
  std::optional<Time_spec> spec = parse_spec(spec_text);
  if (!spec) return;
  task->set_last_run(Timestamp(last.is_valid() ? last.seconds : 0));
  task->set_schedule(*spec);
  map[id] = task;
  Task_manager::instance().add_recurrent(task);
}

// Topics whose scheduled run has started and whose page is not yet written again.
std::set<std::int32_t>& runs_to_publish() {
  static auto* ids = new std::set<std::int32_t>;
  return *ids;
}

Agent_task_handle find(const Task_map& map, std::int32_t id) {
  auto it = map.find(id);
  return it == map.end() ? Agent_task_handle() : it->second;
}

}  // namespace

void register_topic_schedules(const Topic& topic) {
  const std::int32_t id = topic.concept_id;
  drop(search_map(), id);
  drop(summarize_map(), id);
  auto handle = make_counted<Topic>(topic);
  if (topic.query_enabled) {
    auto task = make_counted<Search_topic_task>(handle, true);
    task->set_scheduled(true);
    add(search_map(), id, task, topic.query_time_spec, topic.time_last_queried);
  }
  if (topic.summary_enabled) {
    auto task = make_counted<Summarize_topic_task>(handle, true);
    task->set_scheduled(true);
    add(summarize_map(), id, task, topic.summarize_time_spec, topic.time_last_summarized);
  }
}

void unregister_topic_schedules(std::int32_t concept_id) {
  drop(search_map(), concept_id);
  drop(summarize_map(), concept_id);
}

void register_all_schedules() {
  for (const Topic_handle& t : Topic_store::shared().scheduled_topics(Topic_store::Order::unordered))
    register_topic_schedules(*t);
}

void note_scheduled_run(std::int32_t concept_id) { runs_to_publish().insert(concept_id); }

void publish_after_scheduled_runs() {
  std::set<std::int32_t>& ids = runs_to_publish();
  if (ids.empty() || Task_manager::instance().has_tasks() != 0) return;
  std::set<std::int32_t> done;
  done.swap(ids);
  if (!Database::shared().is_open()) return;
  Publish_options options = Publish_options::from_settings();
  if (options.pages_folder.empty()) return;
  std::error_code ec;
  std::filesystem::create_directories(options.pages_folder.str(), ec);
  for (std::int32_t id : done) {
    Topic topic;
    if (Topic_store::shared().load_topic(topic, id)) publish_topic_page(topic, options);
  }
}

void unregister_all_schedules() {
  runs_to_publish().clear();  // the database closes: its runs are over
  std::vector<std::int32_t> ids;
  for (const auto& [id, task] : search_map()) ids.push_back(id);
  for (const auto& [id, task] : summarize_map()) ids.push_back(id);
  for (std::int32_t id : ids) unregister_topic_schedules(id);
}

Agent_task_handle recurrent_search_task(std::int32_t concept_id) { return find(search_map(), concept_id); }
Agent_task_handle recurrent_summarize_task(std::int32_t concept_id) {
  return find(summarize_map(), concept_id);
}

Ref_string schedule_text(const Topic& topic) {
  if (!topic.query_enabled && !topic.summary_enabled) return Ref_string();
  char buf[600];
  std::snprintf(buf, sizeof buf, Ref_string::from_id(10087).c_str(), topic.name.c_str());
  Ref_string text = Ref_string(buf) + " " + Ref_string::from_id(10088);
  bool searches = false;
  if (topic.query_enabled) {
    if (Agent_task_handle t = recurrent_search_task(topic.concept_id)) {
      text += " " + Ref_string::from_id(10089) + " " + time_until_text(t->next_due());
      searches = true;
    } else {
      report_warning("Internal error missing recurrent task.");
    }
  }
  if (topic.summary_enabled) {
    if (Agent_task_handle t = recurrent_summarize_task(topic.concept_id)) {
      if (searches) text += ",";
      text += " " + Ref_string::from_id(10090) + " " + time_until_text(t->next_due());
    } else {
      report_warning("Internal error missing recurrent task.");
    }
  }
  return text;
}

}  // namespace orvalis
