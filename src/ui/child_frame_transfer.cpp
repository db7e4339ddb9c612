// The topic window's part in cut, copy, paste and drag and drop (which item a view hands over,
// which topic a drop or a paste aims at), and the detail pane's menu and links.
#include <QApplication>
#include <QClipboard>
#include <QInputDialog>
#include <QLineEdit>
#include <QMenu>
#include <QSortFilterProxyModel>
#include <QTextBrowser>
#include <QUrl>

#include "database/database.h"
#include "foundation/settings.h"
#include "platform/message_sink.h"
#include "ui/ui_icons.h"
#include "ui/ui_text.h"
#include "ui/child_frame.h"
#include "ui/item_list_model.h"
#include "ui/item_views.h"
#include "ui/topic_tree_model.h"

namespace orvalis::ui {

std::vector<std::int32_t> CChildFrame::topics_from(QModelIndex index) const {
  std::vector<std::int32_t> ids;
  for (; index.isValid(); index = index.parent())
    if (Topic_handle t = tree_model_->topic_at(index)) ids.push_back(t->concept_id);
  return ids;
}

std::optional<Transfer> CChildFrame::tree_transfer(const QModelIndex& index) const {
  Topic_handle topic = tree_model_->topic_at(index);
  if (!topic) return std::nullopt;
  Transfer_item item;
  item.concept_id = topic->concept_id;
  QModelIndex up = index.parent();
  if (Topic_handle parent = tree_model_->topic_at(up)) item.source_topic = parent->concept_id;
  else if (up.isValid()) item.source_root = up.row();
  Transfer t;
  t.items.push_back(item);
  return t;
}

std::optional<Transfer> CChildFrame::list_transfer(const QModelIndex& index) const {
  if (!index.isValid()) return std::nullopt;
  const Item_list_model::Item* row = list_model_->item(sorted_->mapToSource(index).row());
  if (!row) return std::nullopt;
  const Topic_handle& shown = list_model_->shown_topic();
  Transfer_item item;
  if (row->topic) {
    item.concept_id = row->topic->concept_id;
    if (shown) {
      item.source_topic = shown->concept_id;
    } else {
      QModelIndex folder = tree_->currentIndex();
      if (folder.isValid() && !folder.parent().isValid()) item.source_root = folder.row();
    }
  } else if (row->document.document) {
    item.document = true;
    item.url_id = row->document.document->url_id;
    item.concept_id = shown ? shown->concept_id : 0;
  } else {
    return std::nullopt;
  }
  Transfer t;
  t.items.push_back(item);
  return t;
}

std::optional<Drop_target> CChildFrame::tree_target(const QModelIndex& index) const {
  if (!index.isValid()) return std::nullopt;
  Drop_target target;
  if (Topic_handle topic = tree_model_->topic_at(index)) {
    target.topic = topic->concept_id;
    target.above = topics_from(index.parent());
  } else {
    target.root = index.row();
  }
  return target;
}

std::optional<Drop_target> CChildFrame::list_target(const QModelIndex& index) const {
  // The empty space of the list stands for the node whose items it shows.
  if (!index.isValid()) return tree_target(tree_->currentIndex());
  const Item_list_model::Item* row = list_model_->item(sorted_->mapToSource(index).row());
  if (!row || !row->topic) return std::nullopt;
  Drop_target target;
  target.topic = row->topic->concept_id;
  target.above = topics_from(tree_->currentIndex());
  return target;
}

std::optional<Transfer> CChildFrame::current_transfer(bool cut) const {
  std::optional<Transfer> t;
  if (current_.kind == Selection::document)
    t = list_transfer(list_->currentIndex());
  else if (current_.kind == Selection::topic || current_.kind == Selection::related_topic)
    t = tree_model_->topic_at(tree_->currentIndex()) == current_.topic
            ? tree_transfer(tree_->currentIndex())
            : list_transfer(list_->currentIndex());
  if (t) {
    t->cut = cut;
    t->database = QString::fromStdString(Database::shared().path());
  }
  return t;
}

std::optional<Drop_target> CChildFrame::current_target() const {
  if (current_.kind != Selection::topic && current_.kind != Selection::related_topic)
    return std::nullopt;
  if (tree_model_->topic_at(tree_->currentIndex()) == current_.topic)
    return tree_target(tree_->currentIndex());
  return list_target(list_->currentIndex());
}

void CChildFrame::install_transfer_hooks() {
  auto with_database = [](std::optional<Transfer> t) {
    if (t) t->database = QString::fromStdString(Database::shared().path());
    return t;
  };
  auto drop = [this](const Transfer& t, const Drop_target& target, Qt::KeyboardModifiers m,
                     Qt::MouseButton b) {
    if (drop_handler_) drop_handler_(t, target, m, b);
  };
  Item_drag_view::Hooks tree_hooks;
  tree_hooks.drag = [this, with_database](const QModelIndex& i) { return with_database(tree_transfer(i)); };
  tree_hooks.text = transfer_text;
  tree_hooks.target = [this](const QModelIndex& i) { return tree_target(i); };
  tree_hooks.drop = drop;
  static_cast<Item_drag_view*>(tree_)->set_hooks(tree_hooks);
  Item_drag_view::Hooks list_hooks;
  list_hooks.drag = [this, with_database](const QModelIndex& i) { return with_database(list_transfer(i)); };
  list_hooks.text = transfer_text;
  list_hooks.target = [this](const QModelIndex& i) { return list_target(i); };
  list_hooks.drop = drop;
  static_cast<Item_drag_view*>(list_)->set_hooks(list_hooks);
}

namespace {

bool shown_in_viewer(const QUrl& address) {
  // Local pages only: a file address, or a path (the pages link to each other by name).
  QString a = address.toString();
  return a.left(7).compare("file://", Qt::CaseInsensitive) == 0 || a.startsWith('/') ||
         (address.isRelative() && !a.startsWith('#'));
}

}  // namespace

void CChildFrame::install_detail_viewer() {
  detail_->setOpenLinks(false);
  Ref_string pages = pages_folder();
  if (!pages.empty()) detail_->setSearchPaths({QString::fromUtf8(pages.c_str())});
  connect(detail_, &QTextBrowser::anchorClicked, this, [this](const QUrl& url) {
    if (!shown_in_viewer(url)) {
      emit external_address(url.toString());
      return;
    }
    QUrl page = url;
    if (url.isRelative()) {
      QUrl base = detail_->source();
      Ref_string folder = pages_folder();
      if (!base.isValid() || base.isEmpty())
        base = QUrl::fromLocalFile(QString::fromUtf8(folder.c_str()) + "/");
      page = base.resolved(url);
    } else if (url.scheme().isEmpty()) {
      page = QUrl::fromLocalFile(url.toString());
    }
    detail_->setSource(page);
  });
  // The status bar follows the link under the mouse.
  connect(detail_, &QTextBrowser::highlighted, this, [this](const QUrl& url) {
    if (!url.isEmpty()) emit status_text(url.toString());
  });
  detail_->setContextMenuPolicy(Qt::CustomContextMenu);
  connect(detail_, &QWidget::customContextMenuRequested, this, [this](const QPoint& at) {
    QMenu menu(this);
    fill_detail_menu(menu);
    menu.exec(detail_->viewport()->mapToGlobal(at));
  });
}

void CChildFrame::fill_detail_menu(QMenu& menu) {
  QAction* copy = menu.addAction("&Copy", detail_, &QTextBrowser::copy);
  copy->setObjectName("detail_copy");
  copy->setEnabled(detail_->textCursor().hasSelection());
  QAction* all = menu.addAction("&Select All", detail_, &QTextBrowser::selectAll);
  all->setObjectName("detail_select_all");
  QAction* find = menu.addAction(named_icon("edit-find"), "&Find Text...", this, [this] { ask_find_in_detail(); });
  find->setObjectName("detail_find");
  find->setEnabled(!detail_->document()->isEmpty());
}

void CChildFrame::ask_find_in_detail() {
  bool ok = false;
  QString text = QInputDialog::getText(this, "Find Text", "&Find what:", QLineEdit::Normal, last_find_, &ok);
  if (ok && !text.isEmpty()) find_in_detail(text);
}

bool CChildFrame::find_in_detail(const QString& text) {
  last_find_ = text;
  if (detail_->find(text)) return true;
  // From the top once more, then give up.
  QTextCursor top = detail_->textCursor();
  top.movePosition(QTextCursor::Start);
  detail_->setTextCursor(top);
  if (detail_->find(text)) return true;
  platform::message_sink().show("Orvalis", ui_text(10025).toStdString());
  return false;
}

}  // namespace orvalis::ui
