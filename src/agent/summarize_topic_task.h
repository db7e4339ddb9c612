// Summarize_topic_task summarizes every document of a topic again: it submits one
// Summarize_task per document linked to the topic (links the user removed left out), in the
// store's order, and with the record-summary-time flag stamps the topic's
// time_last_summarized. It fetches nothing itself and finishes as soon as it has started.
//
// Made by the Summarize command, by the due-tasks check and by the topic's summarize schedule
// (both with the flag on). User-interface thread only. REQUIRES: made with make_counted.
#pragma once

#include "database/topic.h"
#include "foundation/agent_task.h"

namespace orvalis {

class Summarize_topic_task : public Agent_task {
 public:
  // "Summarize documents on subject '<name>'"; due at once unless the maker sets a schedule.
  Summarize_topic_task(const Topic_handle& topic, bool record_summary_time);
  // Started by a schedule (or the due-tasks check): the fetches honour the sites' robots rules,
  // and once the run has ended the topic's page is published again (scheduler.h).
  void set_scheduled(bool on) { scheduled_ = on; }

  int start() override;

  const Topic_handle& topic() const { return topic_; }

 private:
  Topic_handle topic_;
  bool record_summary_time_;
  bool scheduled_ = false;
};

}  // namespace orvalis
