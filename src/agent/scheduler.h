// The scheduler keeps, for each topic of the open database, the recurrent tasks of its
// switched-on schedules: a Search_topic_task for its search schedule (query_time_spec, last
// run time_last_queried) and a Summarize_topic_task for its summarize schedule
// (summarize_time_spec, time_last_summarized), each with the record-time flag on. They live in
// the task manager's recurrent list and start when the agent is idle and their time has come;
// when they finish, their next due follows from their schedule. A spec that does not parse
// leaves that schedule without a task, silently.
//
// A topic's page in the published index (reports/topic_index.h) is written again after each
// scheduled run of the topic: the run is noted when its task starts, and its page published
// when the agent is next idle, once the searches and summaries the run made are done.
//
// register_topic_schedules is called for every topic when a database opens, after the due-tasks
// check, for topics made by the new-topic wizard or by organizing, and after a topic's
// properties change; unregister_topic_schedules for every topic when the database closes.
// User-interface thread only.
#pragma once

#include <cstdint>

#include "database/topic.h"
#include "foundation/agent_task.h"
#include "foundation/ref_string.h"

namespace orvalis {

// (Re)makes the topic's recurrent tasks from its stored switches, specs and last times.
void register_topic_schedules(const Topic& topic);
// Drops the topic's recurrent tasks.
void unregister_topic_schedules(std::int32_t concept_id);
// Registers every topic of the open database; unregisters every topic.
void register_all_schedules();
void unregister_all_schedules();

// The recurrent tasks of a topic (null when that schedule is off).
Agent_task_handle recurrent_search_task(std::int32_t concept_id);
Agent_task_handle recurrent_summarize_task(std::int32_t concept_id);

// A scheduled run of the topic (by its schedule or by the due-tasks check) has started.
void note_scheduled_run(std::int32_t concept_id);
// When the agent is idle: writes the page of every topic whose scheduled run has ended into
// the installation's pages folder, and forgets those runs. The agent tick calls it.
void publish_after_scheduled_runs();

// "'Rust' has tasks scheduled. Agent searches in 2 days, summarizes in 5 hours 3 minutes";
// empty when neither schedule is on.
Ref_string schedule_text(const Topic& topic);

}  // namespace orvalis
