// The main window's commands that run a dialog of their own: the New Topic Wizard, Select
// Relation, Create Related Topic and Delete Relation on a topic, Organize by Content, Edit
// Search Resources, Import and Compact of whole files, and Export and Import of topics. Each
// dialog runs through exec_dialog; the tree is read again afterwards and shows what the
// command made.
#include <QDialog>
#include <QLineEdit>
#include <QTreeView>

#include "database/database.h"
#include "database/topic_store.h"
#include "ui/child_frame.h"
#include "ui/dialog_fields.h"
#include "ui/exchange_dialogs.h"
#include "ui/main_frame.h"
#include "ui/maintenance_dialogs.h"
#include "ui/organize_dialog.h"
#include "ui/relation_dialog.h"
#include "ui/resource_dialogs.h"
#include "ui/topic_wizard.h"
#include "ui/ui_text.h"

namespace orvalis::ui {

namespace {

// Shows the selected topic's related topics in every topic window.
void expand_selected(CChildFrame* w) {
  if (w) w->tree()->expand(w->tree()->currentIndex());
}

}  // namespace

void CMainFrame::new_topic_wizard() {
  if (!Database::shared().is_open()) {
    show_message(ui_text(18004));
    return;
  }
  CTopicWizard wizard(
      *agent_, [this](const QString& t) { show_message(t); }, exec_dialog, this);
  if (exec_dialog(wizard) != QDialog::Accepted || !wizard.topic()) return;
  if (!active_topic_window()) new_topic_window();
  reload_topic_windows(wizard.topic()->concept_id);
}

void CMainFrame::relation_command(int id) {
  CChildFrame* w = active_topic_window();
  if (!w || !w->current().topic) return;
  const CChildFrame::Current cur = w->current();
  using Mode = CSelectRelationDialog::Mode;
  Mode mode = Mode::relate;
  Topic_handle from = cur.topic;
  Topic_handle to;
  if (id == cmd_create_related_topic) {
    mode = Mode::create;
  } else if (id == cmd_delete_relation) {
    if (Topic_store::shared().related_topics(from->concept_id).empty()) {
      show_message("'" + to_qstring(from->name) + "' has no related topics.");
      return;
    }
    mode = Mode::pick_related;
  } else if (cur.kind == Selection::related_topic && cur.parent_topic) {
    mode = Mode::change;
    from = cur.parent_topic;
    to = cur.topic;
  }
  CSelectRelationDialog dialog(
      mode, from, to, [this](const QString& t) { show_message(t); }, this);
  if (exec_dialog(dialog) != QDialog::Accepted) return;
  reload_topic_windows(from->concept_id);
  expand_selected(active_topic_window());
}

void CMainFrame::organize() {
  CChildFrame* w = active_topic_window();
  if (!w || !w->current().topic) return;
  Topic_handle topic = w->current().topic;
  std::vector<Topic_handle> made = CTopicOrganization::organize(
      topic, exec_dialog, [this](const QString& t) { show_message(t); }, this);
  if (made.empty()) return;
  reload_topic_windows(topic->concept_id);
  expand_selected(active_topic_window());
}

void CMainFrame::edit_search_resources() {
  if (!Database::shared().is_open()) {
    show_message(ui_text(18004));
    return;
  }
  CSearchResourcesDialog dialog(
      ask, [this](const QString& t) { show_message(t); }, exec_dialog, this);
  dialog.offer_capture([this] { return new_search_resource(); });
  exec_dialog(dialog);
  if (dialog.changed()) database_resources_changed();
}

void CMainFrame::import_file() {
  CImportDialog dialog(
      ask, [this](const QString& t) { show_message(t); }, this);
  if (exec_dialog(dialog) == QDialog::Accepted)
    open_database(dialog.target_edit()->text().trimmed());
}

void CMainFrame::export_topics() {
  if (!Database::shared().is_open()) return;
  CChildFrame* w = active_topic_window();
  const Topic_handle selected = w ? w->current().topic : Topic_handle();
  CExportTopicsDialog dialog(
      selected ? selected->concept_id : 0, selected ? to_qstring(selected->name) : QString(), ask,
      [this](const QString& t) { show_message(t); }, this);
  exchanging_ = true;
  exec_dialog(dialog);
  exchanging_ = false;
}

void CMainFrame::import_topics() {
  if (!Database::shared().is_open()) return;
  // An import is one transaction: no task may write beside it.
  if (agent_->tasks_active() > 0) {
    if (!ask("The agent's tasks must stop before topics are imported.\nStop them now?")) return;
    agent_->stop_all_tasks();
  }
  CImportTopicsDialog dialog(
      ask, [this](const QString& t) { show_message(t); }, exec_dialog, this);
  exchanging_ = true;
  const int result = exec_dialog(dialog);
  exchanging_ = false;
  if (result == QDialog::Accepted) reload_topic_windows();
}

void CMainFrame::compact_file() {
  CCompactDialog dialog(
      ask, [this](const QString& t) { show_message(t); }, this);
  exec_dialog(dialog);
}

}  // namespace orvalis::ui
