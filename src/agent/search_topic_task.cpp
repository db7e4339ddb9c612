#include "agent/search_topic_task.h"

#include "agent/scheduler.h"
#include "agent/search_resource_task.h"
#include "agent/task_manager.h"
#include "database/search_resource_store.h"
#include "database/topic_store.h"
#include "foundation/name_value_list.h"
#include "platform/clock.h"

namespace orvalis {

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
  for (const Search_resource_handle& r : Search_resource_store().list_resources(false)) {
    if (!r->enabled) continue;
    if (!topic->category.empty() && !equal_ignoring_case(r->category.view(), topic->category.view()))
      continue;
    resources.append(r);
  }
  for (const Ref_string& query : queries)
    for (const Search_resource_handle& r : resources)
      manager.submit(make_counted<Search_resource_task>(topic, *r, query));

  if (record_query_time_ && Database::shared().is_open()) {
    topic->time_last_queried = Db_date::at(platform::now());
    if (Topic_store::shared().save_topic(*topic)) topic_->time_last_queried = topic->time_last_queried;
  }
  manager.finish(*this);
  return 1;
}

void search_topic_now(const Topic_handle& topic, bool record_query_time) {
  Task_manager::instance().submit(make_counted<Search_topic_task>(topic, record_query_time));
}

}  // namespace orvalis
