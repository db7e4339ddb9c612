// Controller_agent is the window's agent: the agent controller's tick and status line, the
// task manager's work submitted by the window's commands, and what the agent reports while it
// works (documents found for a topic, summaries written, topics with new information) passed
// on to the window as changes. install_hooks gives the application the agent's share of
// start-up, database open and close and program end; the tasks the start-up check finds due
// are kept until the window asks for them (its due-tasks dialog).
// Owner: main() (or a test), outliving the main window. Thread: the user-interface thread.
// REQUIRES: one instance at a time (it holds the process-wide agent events while it lives, and
// takes the start-up check's hook away when it goes).
#pragma once

#include <vector>

#include "foundation/agent_task.h"
#include "ui/agent_link.h"

namespace orvalis::ui {

class Controller_agent : public Agent_link {
 public:
  Controller_agent();
  ~Controller_agent() override;
  Controller_agent(const Controller_agent&) = delete;
  Controller_agent& operator=(const Controller_agent&) = delete;

  // Fills the application's hooks with the agent's (before Application::start).
  void install_hooks();

  std::string status_text() override;
  void tick() override;
  bool available() const override { return true; }
  int tasks_active() const override;
  void stop_all_tasks() override;
  bool search_topic(std::int32_t concept_id) override;
  bool search_topic_on(std::int32_t concept_id, const std::string& engine) override;
  bool summarize_topic(std::int32_t concept_id) override;
  bool summarize_document(std::int32_t url_id, std::int32_t concept_id) override;
  bool follow_links(std::int32_t url_id, std::int32_t concept_id, int depth) override;
  bool following_links() override;
  void schedules_changed(std::int32_t concept_id) override;
  std::vector<std::string> due_tasks() const override;
  void run_due_tasks(const std::vector<int>& chosen) override;
  void set_change_listener(Change_listener listener) override { listener_ = std::move(listener); }

 private:
  void tell(const Change& change) {
    if (listener_) listener_(change);
  }

  Change_listener listener_;
  std::vector<Agent_task_handle> due_;
  std::vector<Agent_task_handle> following_;  // Follow Links tasks submitted, until done
  std::string failed_search_;  // why the last search found nothing, until the agent works again
  std::string skipped_;        // the engines the last search skipped (suspended), until the next
};

}  // namespace orvalis::ui
