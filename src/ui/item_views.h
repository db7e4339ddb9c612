// COrvalisTree and COrvalisList are the topic tree and the item list of a topic window as views
// that take part in drag and drop: a drag starts with the transfer of the item under the mouse,
// a drag over a node is accepted only where some drop action means something there (the
// cursor says so while it moves), and a drop hands the transfer, its target and the mouse
// button that started the drag (left: add or relate at once; right: the drop menu) to the
// topic window. A right-button press that ends without a drag opens the context menu at the
// release, so the right button can drag too. What each view reads from its model comes through the hooks the window sets.
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
    std::function<void(const Transfer&, const Drop_target&, Qt::KeyboardModifiers, Qt::MouseButton)> drop;
  };
  // The button that started the drag under way (drags between our views and windows share it).
  static Qt::MouseButton drag_button();
  static void set_drag_button(Qt::MouseButton button);

  explicit Item_drag_view(QWidget* parent = nullptr);
  void set_hooks(Hooks hooks) { hooks_ = std::move(hooks); }

 protected:
  void startDrag(Qt::DropActions supported) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dragMoveEvent(QDragMoveEvent* event) override;
  void dropEvent(QDropEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  bool viewportEvent(QEvent* event) override;

 private:
  // The transfer and target of a drag event at its position, when the drop means something.
  bool acceptable(QDropEvent* event, Transfer* transfer, Drop_target* target) const;

  Hooks hooks_;
  bool right_pressed_ = false;  // a right-button press whose menu waits for the release
  bool dragged_ = false;
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
