// COrvalisTree and COrvalisList are the topic tree and the item list of a topic window as views
// that take part in drag and drop: a drag starts with the transfer of the item under the mouse,
// a drag over a node is accepted only where some drop action means something there (the
// cursor says so while it moves), and a drop hands the transfer and its target to the topic
// window. What each view reads from its model comes through the hooks the window sets.
// Owner: the topic window. Thread: the user-interface thread.
#pragma once

#include <QTreeView>
#include <functional>
#include <optional>

#include "ui/item_transfer.h"

namespace orvalis::ui {

class Item_drag_view : public QTreeView {
  Q_OBJECT
 public:
  struct Hooks {
    // The transfer of the item at an index of this view (none: it cannot be dragged).
    std::function<std::optional<Transfer>(const QModelIndex&)> drag;
    // The plain text that goes with it, for other programs.
    std::function<QString(const Transfer&)> text;
    // The target at an index of this view (invalid: the empty space); none: no target there.
    std::function<std::optional<Drop_target>(const QModelIndex&)> target;
    // A drop that check_drop allows something for.
    std::function<void(const Transfer&, const Drop_target&, Qt::KeyboardModifiers)> drop;
  };

  explicit Item_drag_view(QWidget* parent = nullptr);
  void set_hooks(Hooks hooks) { hooks_ = std::move(hooks); }

 protected:
  void startDrag(Qt::DropActions supported) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dragMoveEvent(QDragMoveEvent* event) override;
  void dropEvent(QDropEvent* event) override;

 private:
  // The transfer and target of a drag event at its position, when the drop means something.
  bool acceptable(QDropEvent* event, Transfer* transfer, Drop_target* target) const;

  Hooks hooks_;
};

class COrvalisTree : public Item_drag_view {
  Q_OBJECT
 public:
  using Item_drag_view::Item_drag_view;
};

class COrvalisList : public Item_drag_view {
  Q_OBJECT
 public:
  using Item_drag_view::Item_drag_view;
};

}  // namespace orvalis::ui
