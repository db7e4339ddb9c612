// Search_topic_task turns a topic into queries (its terms in order, then its name unless a
// term says the same) and submits one Search_resource_task for every query and every engine
// that is switched on and serves the topic's category (every engine when the topic has no
// category), in the order of the engines' names. With the record-query-time flag it stamps the
// topic's time_last_queried. It sends nothing itself and finishes as soon as it has started.
// An engine suspended for failing (Engine_health_store) is skipped, with one notice line. Each
// feed of the topic is read by a Feed_read_task of its own, unless one engine was named.
//
// Made by the Search command, by the due-tasks check and by the topic's search schedule (both
// with the flag on), and for topics newly made by organizing; the maker submits it, or the
// scheduler keeps it as a recurrent task. When one engine is named (the window's Quick Topics
// bar), only that engine is asked, if it is switched on. When every request of the search has
// ended and none got an answer, agent_events().search_failed names the engines and why each
// failed. User-interface thread only.
// REQUIRES: made with make_counted.
#pragma once

#include "database/search_resource.h"
#include "database/topic.h"
#include "foundation/agent_task.h"

namespace orvalis {

class Search_topic_task : public Agent_task {
 public:
  // "Searching for topic '<name>'"; due at once unless the maker sets a schedule.
  Search_topic_task(const Topic_handle& topic, bool record_query_time);

  int start() override;
  // Started by a schedule (or the due-tasks check): the pages the search finds are summarized
  // under the sites' robots rules (the engines themselves are asked as always), and once the
  // run has ended the topic's page is published again (scheduler.h).
  void set_scheduled(bool on) { scheduled_ = on; }

  const Topic_handle& topic() const { return topic_; }
  bool record_query_time() const { return record_query_time_; }
  // Ask only the engine of this name (empty: every eligible engine).
  void set_engine(const Ref_string& name) { engine_ = name; }

 private:
  Topic_handle topic_;
  bool record_query_time_;
  bool scheduled_ = false;
  Ref_string engine_;
};

// The engines a search of `topic` asks: switched on and serving its category (every engine that
// is switched on when it has none), in the order of their names; only the engine named `engine`
// when that is not empty.
Ref_list<Search_resource_handle> engines_for(const Topic& topic, const Ref_string& engine = Ref_string());

// Submits a search of the topic, due at once, with the record-query-time flag given, on the
// named engine only when `engine` is not empty.
void search_topic_now(const Topic_handle& topic, bool record_query_time = true,
                      const Ref_string& engine = Ref_string());

}  // namespace orvalis
