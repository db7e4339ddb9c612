// CFindDialog is "Find in local database": the user types a text and finds either the
// documents whose address, title, extract or key terms hold it, or the topics whose name or
// one of whose terms holds it. No hit shows "No matches". While it is open the database
// cannot be closed (the main window asks is_open()).
// Owner: the main window. Thread: the user-interface thread.
#pragma once

#include <QDialog>

class QLineEdit;
class QListWidget;
class QRadioButton;

namespace orvalis::ui {

class CFindDialog : public QDialog {
  Q_OBJECT
 public:
  explicit CFindDialog(QWidget* parent = nullptr);
  // Runs the search for `text` (documents or topics) and lists what it found.
  void find(const QString& text, bool documents);
  QListWidget* results() const { return results_; }

 private:
  QLineEdit* text_;
  QRadioButton* documents_;
  QRadioButton* topics_;
  QListWidget* results_;
};

}  // namespace orvalis::ui
