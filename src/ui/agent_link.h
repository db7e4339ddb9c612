// Agent_link is what the window needs of the agent: the status text for the first pane of the
// status bar, the one-second tick the main window's timer calls, the count of active tasks,
// stopping them all, and submitting a search of a topic. The agent controller implements it;
// until one is installed the window runs with Idle_agent, which accepts no work and reads
// "Agent Idle".
// Thread: the user-interface thread.
#pragma once

#include <cstdint>
#include <string>

namespace orvalis::ui {

class Agent_link {
 public:
  virtual ~Agent_link() = default;
  // The status line: "Agent Idle", "%0 tasks active -- %1" and the like.
  virtual std::string status_text() = 0;
  // Called every 1000 ms by the main window's timer.
  virtual void tick() = 0;
  // False when the agent takes no work (no task manager in this program).
  virtual bool available() const = 0;
  virtual int tasks_active() const = 0;
  virtual void stop_all_tasks() = 0;
  // Submits a search of the topic on every eligible engine; false when it was not submitted.
  virtual bool search_topic(std::int32_t concept_id) = 0;
};

// The agent of a program without a task manager.
class Idle_agent : public Agent_link {
 public:
  std::string status_text() override;
  void tick() override {}
  bool available() const override { return false; }
  int tasks_active() const override { return 0; }
  void stop_all_tasks() override {}
  bool search_topic(std::int32_t) override { return false; }
};

}  // namespace orvalis::ui
