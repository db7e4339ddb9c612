#include "ui/item_views.h"

#include <QApplication>
#include <QDrag>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QIcon>
#include <QMimeData>
#include <QMouseEvent>

namespace orvalis::ui {

namespace {
Qt::MouseButton g_drag_button = Qt::LeftButton;
}

Qt::MouseButton Item_drag_view::drag_button() { return g_drag_button; }
void Item_drag_view::set_drag_button(Qt::MouseButton button) { g_drag_button = button; }

Item_drag_view::Item_drag_view(QWidget* parent) : QTreeView(parent) {
  setDragEnabled(true);
  setAcceptDrops(true);
  setDropIndicatorShown(true);
  setDragDropMode(QAbstractItemView::DragDrop);
  setDefaultDropAction(Qt::CopyAction);
}

void Item_drag_view::startDrag(Qt::DropActions) {
  if (!hooks_.drag) return;
  std::optional<Transfer> transfer = hooks_.drag(currentIndex());
  if (!transfer) return;
  auto* drag = new QDrag(this);
  drag->setMimeData(transfer_mime(*transfer, hooks_.text ? hooks_.text(*transfer) : QString()));
  QModelIndex at = currentIndex();
  QVariant icon = at.siblingAtColumn(0).data(Qt::DecorationRole);
  if (icon.canConvert<QIcon>()) drag->setPixmap(icon.value<QIcon>().pixmap(16, 16));
  dragged_ = true;
  set_drag_button((QApplication::mouseButtons() & Qt::RightButton) ? Qt::RightButton : Qt::LeftButton);
  // The database changes only at the drop, so the source never deletes anything itself.
  drag->exec(Qt::CopyAction | Qt::MoveAction, Qt::CopyAction);
}

void Item_drag_view::mousePressEvent(QMouseEvent* event) {
  right_pressed_ = event->button() == Qt::RightButton;
  dragged_ = false;
  QTreeView::mousePressEvent(event);
}

bool Item_drag_view::viewportEvent(QEvent* event) {
  // The window system asks for the menu at the press: it waits for the release instead, when
  // the press might still become a drag.
  if (event->type() == QEvent::ContextMenu && right_pressed_ &&
      (QApplication::mouseButtons() & Qt::RightButton)) {
    event->accept();
    return true;
  }
  return QTreeView::viewportEvent(event);
}

void Item_drag_view::mouseReleaseEvent(QMouseEvent* event) {
  const bool menu = right_pressed_ && event->button() == Qt::RightButton && !dragged_;
  right_pressed_ = false;
  QTreeView::mouseReleaseEvent(event);
  if (menu && contextMenuPolicy() == Qt::CustomContextMenu)
    emit customContextMenuRequested(event->position().toPoint());
}

bool Item_drag_view::acceptable(QDropEvent* event, Transfer* transfer, Drop_target* target) const {
  if (!hooks_.target) return false;
  std::optional<Transfer> t = transfer_from_mime(event->mimeData());
  if (!t) return false;
  std::optional<Drop_target> where = hooks_.target(indexAt(event->position().toPoint()));
  if (!where || check_drop(*t, *where).refusal != Refusal::none) return false;
  if (transfer) *transfer = std::move(*t);
  if (target) *target = std::move(*where);
  return true;
}

void Item_drag_view::dragEnterEvent(QDragEnterEvent* event) {
  if (event->mimeData()->hasFormat(transfer_mime_type)) event->acceptProposedAction();
  else event->ignore();
}

void Item_drag_view::dragMoveEvent(QDragMoveEvent* event) {
  QTreeView::dragMoveEvent(event);  // scrolling and opening nodes while hovering
  if (acceptable(event, nullptr, nullptr)) {
    event->setDropAction(Qt::CopyAction);
    event->accept();
  } else {
    event->ignore();
  }
}

void Item_drag_view::dropEvent(QDropEvent* event) {
  Transfer transfer;
  Drop_target target;
  if (!acceptable(event, &transfer, &target) || !hooks_.drop) {
    event->ignore();
    return;
  }
  event->setDropAction(Qt::CopyAction);
  event->accept();
  // The drop is answered once the drag has ended: the answer may ask the user and reload
  // the views the drag came from.
  Qt::KeyboardModifiers modifiers = event->modifiers();
  Qt::MouseButton button = drag_button();
  QMetaObject::invokeMethod(
      this, [this, transfer, target, modifiers, button] { hooks_.drop(transfer, target, modifiers, button); },
      Qt::QueuedConnection);
}

}  // namespace orvalis::ui
