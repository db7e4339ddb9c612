// CChildFrame is a topic window: the topic tree on the left, the item list of the selected
// node at the top right and the detail pane of the selected item below it. It keeps what is
// selected (a root folder, a topic, a related topic, a document) for the frame's commands,
// and shows the context menus on topics and documents with the frame's actions.
// Owner: the main window's MDI area. Thread: the user-interface thread.
#pragma once

#include <QWidget>
#include <functional>
#include <optional>
#include <set>

#include "database/document.h"
#include "database/topic.h"
#include "ui/commands.h"
#include "ui/item_transfer.h"

class QMenu;
class QSortFilterProxyModel;
class QSplitter;
class QTextBrowser;
class QTreeView;

namespace orvalis::ui {

class Item_list_model;
class Topic_tree_model;

class CChildFrame : public QWidget {
  Q_OBJECT
 public:
  struct Current {
    Selection kind = Selection::none;
    Topic_handle topic;         // the selected topic, or the topic whose document is selected
    Topic_handle parent_topic;  // for a related topic: the topic it stands below
    Topic_document document;    // for a document
  };
  // Builds the context menu for a selection (the frame fills it with its actions).
  using Menu_builder = std::function<void(QMenu&, Selection)>;

  explicit CChildFrame(Menu_builder menus, QWidget* parent = nullptr);

  const Current& current() const { return current_; }
  // Reads the tree and list again from the database, keeping the selected topic when it
  // still exists.
  void reload();
  // Selects the topic in the tree (under "My Topics" first, then the other root folders).
  bool select_topic(std::int32_t concept_id);
  // The agent changed the database while the user works: `topics` gained documents,
  // `documents` were rewritten, and with `tree` the topics' folders may have changed. The
  // list (when it shows any of them) and the tree are read again; what the user selected,
  // expanded and scrolled to stays as it was.
  void agent_changed(const std::set<std::int32_t>& topics, const std::set<std::int32_t>& documents,
                     bool tree);

  // The selection as a transfer for Cut and Copy; none when nothing that can be taken is
  // selected.
  std::optional<Transfer> current_transfer(bool cut) const;
  // The selected topic as the target of Paste; none when no topic is selected.
  std::optional<Drop_target> current_target() const;
  // The detail pane's context menu: "&Copy" (when text is selected), "&Select All" and
  // "&Find Text...".
  void fill_detail_menu(QMenu& menu);
  // Finds `text` in the detail pane after the cursor (then from the top), selecting it; false
  // after telling the user "The text you specified was not found."
  bool find_in_detail(const QString& text);
  // The "Display" settings: the item list's column widths and the tree's scroll positions,
  // written when the window closes and read when one opens.
  void save_display();
  void restore_display();
  // What a drop on the tree or the list does (the frame asks and acts).
  using Drop_handler = std::function<void(const Transfer&, const Drop_target&, Qt::KeyboardModifiers,
                                          Qt::MouseButton)>;
  void set_drop_handler(Drop_handler handler) { drop_handler_ = std::move(handler); }

  QTreeView* tree() const { return tree_; }
  QTreeView* list() const { return list_; }
  QTextBrowser* detail() const { return detail_; }
  Item_list_model* list_model() const { return list_model_; }
  Topic_tree_model* tree_model() const { return tree_model_; }
  // Shows the selected topic or document in the detail pane, as the setting ViewerType asks.
  void show_detail();

 signals:
  void selection_changed();
  // An item of the list was double-clicked (the frame opens it).
  void item_activated();
  // A link in the detail pane that is not a local page: it goes to the user's browser.
  void external_address(const QString& address);
  // The status text for the selected node ("%0 documents on topic.").
  void status_text(const QString& text);

 protected:
  // A new palette (a dark theme chosen while the program runs): the pane is drawn again, so
  // its links take the palette's colour.
  void changeEvent(QEvent* event) override;

 private:
  void tree_selected(const QModelIndex& index);
  void list_selected(const QModelIndex& index);
  // The user opened the document `url_id` (selected it): a change mark on it goes.
  void document_opened(std::int32_t url_id);
  void context_menu(QWidget* view, const QPoint& at);
  // Asks for a text and finds it in the detail pane.
  void ask_find_in_detail();
  // Drag and drop and the detail pane's menu and links (child_frame_transfer.cpp).
  void install_transfer_hooks();
  void install_detail_viewer();
  std::optional<Transfer> tree_transfer(const QModelIndex& index) const;
  std::optional<Transfer> list_transfer(const QModelIndex& index) const;
  std::optional<Drop_target> tree_target(const QModelIndex& index) const;
  std::optional<Drop_target> list_target(const QModelIndex& index) const;
  std::vector<std::int32_t> topics_from(QModelIndex index) const;
  void reload_tree_keeping_state();
  void refresh_list_keeping_selection(const std::set<std::int32_t>& rewritten);

  Menu_builder menus_;
  Topic_tree_model* tree_model_;
  Item_list_model* list_model_;
  QSortFilterProxyModel* sorted_;
  QTreeView* tree_;
  QTreeView* list_;
  QTextBrowser* detail_;
  Current current_;
  Drop_handler drop_handler_;
  QString last_find_;
};

}  // namespace orvalis::ui
