// Agent_link is what the window needs of the agent: the status text for the first pane of the
// status bar, the one-second tick the main window's timer calls, the count of active tasks,
// stopping them all, the work the commands submit (searching, summarizing a topic or a
// document, following a document's links), the topic schedules to take up again after a
// topic's properties changed, the tasks found due at start-up, and the changes the agent makes
// to topics and documents while it works, for the views. Controller_agent implements it over
// the agent controller and the task manager; a window made without one runs with Idle_agent,
// which accepts no work and reads "Agent Idle".
// Thread: the user-interface thread.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace orvalis::ui {

class Agent_link {
 public:
  // What the agent changed: documents added to a topic (`url_id` 0), a document's record
  // rewritten by a summary (`concept_id` 0), or a topic whose new-information state moved
  // (both given, `url_id` -1).
  struct Change {
    std::int32_t concept_id = 0;
    std::int32_t url_id = 0;
  };
  using Change_listener = std::function<void(const Change&)>;

  virtual ~Agent_link() = default;
  // The status line: "Agent Idle", "%0 tasks active -- %1" and the like; while idle after a
  // search that every engine failed, the idle text is followed by which engines and why.
  virtual std::string status_text() = 0;
  // Called every 1000 ms by the main window's timer.
  virtual void tick() = 0;
  // False when the agent takes no work (no task manager in this program).
  virtual bool available() const = 0;
  // Tasks queued or running.
  virtual int tasks_active() const = 0;
  virtual void stop_all_tasks() = 0;
  // Submits a search of the topic on every eligible engine; false when it was not submitted.
  virtual bool search_topic(std::int32_t concept_id) = 0;
  // The same on the named engine only (empty: every eligible engine).
  virtual bool search_topic_on(std::int32_t concept_id, const std::string& engine) {
    return engine.empty() && search_topic(concept_id);
  }
  // Submits a summary of every document of the topic.
  virtual bool summarize_topic(std::int32_t) { return false; }
  // Submits a summary of one document (of the topic, for the views).
  virtual bool summarize_document(std::int32_t /*url_id*/, std::int32_t /*concept_id*/) { return false; }
  // Submits the following of a document's links for the topic, `depth` levels deep.
  virtual bool follow_links(std::int32_t /*url_id*/, std::int32_t /*concept_id*/, int /*depth*/) {
    return false;
  }
  // True while a Follow Links the window submitted is still at work (the window shows a busy
  // cursor meanwhile).
  virtual bool following_links() { return false; }
  // The topic's schedules were changed (its properties confirmed): its recurrent tasks are
  // made again from the stored switches and specs.
  virtual void schedules_changed(std::int32_t) {}
  // The descriptions of the tasks the start-up check found due, not yet submitted.
  virtual std::vector<std::string> due_tasks() const { return {}; }
  // Submits the due tasks at the given positions and forgets them all.
  virtual void run_due_tasks(const std::vector<int>&) {}
  // Told of every change the agent makes, on the user-interface thread.
  virtual void set_change_listener(Change_listener) {}
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
