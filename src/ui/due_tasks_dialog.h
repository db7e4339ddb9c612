// The dialog shown after start-up when scheduled agent tasks came due while the program was
// not running: the due tasks by their descriptions, all selected at first; "Run Tasks" runs
// the selected ones, "Cancel" none.
// Owner: the main window, for one exec(). Thread: the user-interface thread.
#pragma once

#include <QDialog>
#include <QStringList>
#include <vector>

class QListWidget;

namespace orvalis::ui {

class CDueTasksDialog : public QDialog {
  Q_OBJECT
 public:
  explicit CDueTasksDialog(const QStringList& tasks, QWidget* parent = nullptr);
  QListWidget* list() const { return list_; }
  // The positions of the selected tasks, in list order.
  std::vector<int> chosen() const;

 private:
  QListWidget* list_;
};

}  // namespace orvalis::ui
