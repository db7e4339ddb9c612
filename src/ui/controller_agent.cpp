#include "ui/controller_agent.h"

#include "agent/agent_controller.h"
#include "agent/agent_events.h"
#include "agent/application.h"
#include "agent/get_links_task.h"
#include "agent/scheduler.h"
#include "agent/search_topic_task.h"
#include "agent/summarize_task.h"
#include "agent/summarize_topic_task.h"
#include "agent/task_manager.h"
#include "database/database.h"
#include "database/document_store.h"
#include "database/topic_store.h"

namespace orvalis::ui {

namespace {

Topic_handle load_topic(std::int32_t concept_id) {
  if (!Database::shared().is_open()) return {};
  auto topic = make_counted<Topic>();
  if (!Topic_store::shared().load_topic(*topic, concept_id)) return {};
  return topic;
}

Document_handle load_document(std::int32_t url_id) {
  if (!Database::shared().is_open()) return {};
  auto document = make_counted<Document>();
  if (!Document_store().load_document(*document, url_id)) return {};
  return document;
}

}  // namespace

Controller_agent::Controller_agent() {
  Agent_events& events = agent_events();
  // Only a live link to the topic changes what its list shows.
  events.document_found = [this](std::int32_t concept_id, const Document&, bool, bool linked) {
    if (linked) tell({concept_id, 0});
  };
  events.document_summarized = [this](const Document& document, bool) {
    tell({0, document.url_id});
  };
  events.topic_changed = [this](const Topic& topic) { tell({topic.concept_id, -1}); };
  events.search_failed = [this](const Topic&, const Ref_string& why) { failed_search_ = why.str(); };
  events.notice = [this](const Ref_string& text) {
    if (skipped_.size() < 1000) skipped_ += (skipped_.empty() ? "" : "; ") + text.str();
  };
}

Controller_agent::~Controller_agent() {
  // The start-up check's hook hands its tasks to this object.
  Application::instance().hooks().after_start_up = nullptr;
  Agent_events& events = agent_events();
  events.document_found = nullptr;
  events.document_summarized = nullptr;
  events.topic_changed = nullptr;
  events.search_failed = nullptr;
  events.notice = nullptr;
}

void Controller_agent::install_hooks() {
  install_agent_hooks([this](std::vector<Agent_task_handle> due) {
    for (Agent_task_handle& task : due) due_.push_back(std::move(task));
  });
}

std::string Controller_agent::status_text() {
  // Topic names and titles are stored as the user reads them: shown as they are.
  std::string text = agent_status_text().str();
  if (tasks_active() > 0) failed_search_.clear();
  else if (!failed_search_.empty()) text += " -- " + failed_search_;
  if (!skipped_.empty()) text += " -- " + skipped_;
  return text;
}

void Controller_agent::tick() { agent_tick(); }

int Controller_agent::tasks_active() const {
  const Task_manager& manager = Task_manager::instance();
  return manager.queued_count() + manager.running_count();
}

void Controller_agent::stop_all_tasks() { Task_manager::instance().stop_all(); }

bool Controller_agent::search_topic(std::int32_t concept_id) { return search_topic_on(concept_id, {}); }

bool Controller_agent::search_topic_on(std::int32_t concept_id, const std::string& engine) {
  Topic_handle topic = load_topic(concept_id);
  if (!topic) return false;
  failed_search_.clear();
  skipped_.clear();
  search_topic_now(topic, true, Ref_string(std::string_view(engine)));
  return true;
}

bool Controller_agent::summarize_topic(std::int32_t concept_id) {
  Topic_handle topic = load_topic(concept_id);
  if (!topic) return false;
  Task_manager::instance().submit(make_counted<Summarize_topic_task>(topic, true));
  return true;
}

bool Controller_agent::summarize_document(std::int32_t url_id, std::int32_t concept_id) {
  Document_handle document = load_document(url_id);
  if (!document) return false;
  Topic_handle topic = load_topic(concept_id);
  if (!topic) topic = make_counted<Topic>();
  Task_manager::instance().submit(make_counted<Summarize_task>(topic, document));
  return true;
}

bool Controller_agent::follow_links(std::int32_t url_id, std::int32_t concept_id, int depth) {
  Document_handle document = load_document(url_id);
  Topic_handle topic = load_topic(concept_id);
  if (!document || !topic) return false;
  Agent_task_handle task = make_counted<Get_links_task>(document, topic, depth);
  following_.push_back(task);
  Task_manager::instance().submit(task);
  return true;
}

bool Controller_agent::following_links() {
  std::erase_if(following_, [](const Agent_task_handle& t) { return t->state() == Agent_task::done; });
  if (Task_manager::instance().queued_count() + Task_manager::instance().running_count() == 0) following_.clear();
  return !following_.empty();
}

void Controller_agent::schedules_changed(std::int32_t concept_id) {
  if (Topic_handle topic = load_topic(concept_id)) register_topic_schedules(*topic);
}

std::vector<std::string> Controller_agent::due_tasks() const {
  std::vector<std::string> out;
  for (const Agent_task_handle& task : due_) {
    out.push_back(task->description().str());
  }
  return out;
}

void Controller_agent::run_due_tasks(const std::vector<int>& chosen) {
  std::vector<Agent_task_handle> due = std::move(due_);
  due_.clear();
  for (int i : chosen)
    if (i >= 0 && i < static_cast<int>(due.size())) Task_manager::instance().submit(due[i]);
}

}  // namespace orvalis::ui
