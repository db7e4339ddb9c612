// The main window's Cut, Copy and Paste, the drops on the topic windows with their drop menu,
// opening a list item by double-click, and Help Topics and the tutorial.
#include <QApplication>
#include <QClipboard>
#include <QCursor>
#include <QFileInfo>
#include <QMenu>
#include <QMimeData>
#include <QTextBrowser>
#include <QUrl>

#include "agent/installer.h"
#include "foundation/settings.h"
#include "platform/registry_store.h"
#include "ui/child_frame.h"
#include "ui/main_frame.h"
#include "ui/ui_text.h"

namespace orvalis::ui {

namespace {

constexpr const char* kHelp_page = "help.htm";

// The help page: the copy in the installation's pages folder, else the one shipped with the
// program (an installation made before the page was shipped has none).
QString help_page() {
  Ref_string pages = pages_folder();
  for (QString folder : {QString::fromUtf8(pages.c_str()),
                         QString::fromStdString(shipped_data_dir()) + "/pages"}) {
    if (folder.isEmpty()) continue;
    QFileInfo page(folder + "/" + kHelp_page);
    if (page.isFile()) return page.absoluteFilePath();
  }
  return {};
}

}  // namespace

void CMainFrame::clipboard_changed() {
  clipboard_items_ = transfer_from_mime(QApplication::clipboard()->mimeData()).has_value();
  update_commands();
}

void CMainFrame::cut_copy(bool cut) {
  CChildFrame* w = active_topic_window();
  std::optional<Transfer> t = w ? w->current_transfer(cut) : std::nullopt;
  if (!t) return;
  // Cut takes nothing away yet: the items leave their place when they are pasted.
  QApplication::clipboard()->setMimeData(transfer_mime(*t, transfer_text(*t)));
  clipboard_changed();
}

void CMainFrame::paste() {
  CChildFrame* w = active_topic_window();
  std::optional<Drop_target> target = w ? w->current_target() : std::nullopt;
  std::optional<Transfer> t = transfer_from_mime(QApplication::clipboard()->mimeData());
  if (!target || !t) return;
  const int command = t->cut ? cmd_drop_move : cmd_drop_copy;
  if (!check_drop(*t, *target).allows(command)) return;
  // What was cut moves once; a copy can be pasted again elsewhere.
  if (transfer_items(*t, *target, command) && t->cut) QApplication::clipboard()->clear();
}

void CMainFrame::drop_items(const Transfer& transfer, const Drop_target& target,
                            Qt::KeyboardModifiers modifiers, Qt::MouseButton button) {
  Drop_check check = check_drop(transfer, target);
  if (check.refusal != Refusal::none) return;
  const Qt::KeyboardModifiers keys = modifiers & (Qt::ControlModifier | Qt::ShiftModifier);
  int command = 0;
  if (button == Qt::RightButton) {
    if (choose_drop) command = choose_drop(check);
  } else if (keys == Qt::ControlModifier && check.copy) {
    command = cmd_drop_copy;
  } else if (keys == Qt::ShiftModifier && check.move) {
    command = cmd_drop_move;
  } else if (check.copy) {
    // A document joins the topic; a topic is related to it (becomes its subtopic as well).
    command = cmd_drop_copy;
  } else if (choose_drop) {
    command = choose_drop(check);
  }
  if (command) transfer_items(transfer, target, command);
}

bool CMainFrame::transfer_items(const Transfer& transfer, const Drop_target& target,
                                int command) {
  QString message;
  if (!perform_drop(transfer, target, command, message)) {
    if (!message.isEmpty()) show_message(message);
    reload_topic_windows();  // a failure may have left the views' topics stale
    return false;
  }
  reload_topic_windows();
  return true;
}

int CMainFrame::drop_menu(const Drop_check& check) {
  QMenu menu(this);
  for (int id : {cmd_drop_move, cmd_drop_copy, cmd_drop_merge}) {
    const Command_info* info = command_info(id);
    QAction* a = menu.addAction(QString::fromUtf8(info->label));
    a->setData(id);
    a->setStatusTip(prompt_status(command_prompt(*info)));
    a->setEnabled(check.allows(id));
  }
  QAction* chosen = menu.exec(QCursor::pos());
  return chosen ? chosen->data().toInt() : 0;
}

void CMainFrame::open_item(CChildFrame* window) {
  const CChildFrame::Current& cur = window->current();
  if (cur.kind == Selection::document && cur.document.document) {
    // The embedded viewer shows the document's page in the pane; otherwise the browser does.
    const bool pane = platform::Registry_store::instance().is_open() &&
                      profile_get_string("ViewerType", "ViewerRichEdit") == "ViewerIExplore";
    if (!pane) {
      open_address(QString::fromUtf8(cur.document.document->address.c_str()));
      return;
    }
    window->show_detail();  // the document's page again, wherever the pane's links had gone
  } else if (cur.topic) {
    window->select_topic(cur.topic->concept_id);
  }
}

void CMainFrame::tutorial() {
  // The help page's "Getting started" section is the tutorial.
  QString page = help_page();
  if (page.isEmpty()) {
    show_message("The help page " + QString(kHelp_page) + " is not installed.");
    return;
  }
  QUrl address = QUrl::fromLocalFile(page);
  address.setFragment("start");
  open_address(address.toString());
}

void CMainFrame::help_contents() {
  QString page = help_page();
  if (page.isEmpty()) {
    show_message("The help page " + QString(kHelp_page) + " is not installed.");
    return;
  }
  open_address(QUrl::fromLocalFile(page).toString());
}

}  // namespace orvalis::ui
