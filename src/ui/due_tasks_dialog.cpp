#include "ui/due_tasks_dialog.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

namespace orvalis::ui {

CDueTasksDialog::CDueTasksDialog(const QStringList& tasks, QWidget* parent) : QDialog(parent) {
  setWindowTitle("Orvalis");
  setObjectName("due_tasks");
  auto* text = new QLabel(
      "The following agent tasks are due now. Select the ones you wish to run now:");
  text->setWordWrap(true);
  list_ = new QListWidget;
  list_->setObjectName("due_task_list");
  list_->setSelectionMode(QAbstractItemView::MultiSelection);
  list_->addItems(tasks);
  list_->selectAll();
  auto* buttons = new QDialogButtonBox;
  QPushButton* run = buttons->addButton("&Run Tasks", QDialogButtonBox::AcceptRole);
  run->setObjectName("run_tasks");
  run->setDefault(true);
  buttons->addButton(QDialogButtonBox::Cancel);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(text);
  layout->addWidget(list_, 1);
  layout->addWidget(buttons);
  resize(460, 300);
}

std::vector<int> CDueTasksDialog::chosen() const {
  std::vector<int> out;
  for (int i = 0; i < list_->count(); ++i)
    if (list_->item(i)->isSelected()) out.push_back(i);
  return out;
}

}  // namespace orvalis::ui
