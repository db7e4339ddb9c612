#include "ui/item_views.h"

#include <QDrag>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QIcon>
#include <QMimeData>

namespace orvalis::ui {

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
  // The database changes only at the drop, so the source never deletes anything itself.
  drag->exec(Qt::CopyAction | Qt::MoveAction, Qt::CopyAction);
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
  QMetaObject::invokeMethod(
      this, [this, transfer, target, modifiers] { hooks_.drop(transfer, target, modifiers); },
      Qt::QueuedConnection);
}

}  // namespace orvalis::ui
