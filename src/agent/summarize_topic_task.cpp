#include "agent/summarize_topic_task.h"

#include "agent/scheduler.h"
#include "agent/summarize_task.h"
#include "agent/task_manager.h"
#include "database/document_store.h"
#include "database/topic_store.h"
#include "platform/clock.h"

namespace orvalis {

Summarize_topic_task::Summarize_topic_task(const Topic_handle& topic, bool record_summary_time)
    : Agent_task(kImmediate), topic_(topic), record_summary_time_(record_summary_time) {
  set_description(format_args(Ref_string::from_id(10072), topic->name));
}

int Summarize_topic_task::start() {
  Agent_task_handle keep(this);
  Task_manager& manager = Task_manager::instance();
  if (Database::shared().is_open()) {
    for (const Topic_document& td : Document_store().documents_of_topic(topic_->concept_id, false))
    {
      auto task = make_counted<Summarize_task>(topic_, td.document);
      task->set_respect_robots(scheduled_);
      manager.submit(task);
    }
    if (scheduled_) note_scheduled_run(topic_->concept_id);
    if (record_summary_time_) {
      Topic fresh;
      if (Topic_store::shared().load_topic(fresh, topic_->concept_id)) {
        fresh.time_last_summarized = Db_date::at(platform::now());
        if (Topic_store::shared().save_topic(fresh)) topic_->time_last_summarized = fresh.time_last_summarized;
      }
    }
  }
  manager.finish(*this);
  return 1;
}

}  // namespace orvalis
