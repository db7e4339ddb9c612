// The dialogs of the two operations on whole database files, offered by the frame while no
// database is open.
//
// CImportDialog converts a database of the earlier format: "Source File" and "Target File"
// fields with their browse buttons, "&Import", and the progress of each table (its name, rows
// written of its rows, a bar). The questions of the conversion (the target exists: "%s already
// exists.\nDo you want to overwrite the file anyway?") go to `ask`, its errors to the message
// sink; success shows "Conversion completed successfully!" and closes the dialog accepted.
//
// CCompactDialog compacts a Topic database: a file field with its browse button, "&Compact",
// and the step under way. The question "This process may take a few minutes and cannot be
// cancelled..." goes to `ask`; a file that another program (or this window) holds open is
// refused by the compaction with a message that says so.
//
// Both run the engine's operation on the user-interface thread, as the operations require
// (they use the database layer, which is not shared between threads): each progress call
// dispatches the pending events other than user input at most every 50 ms, so the window
// repaints and its timers run. The one SQLite step that rewrites the file (VACUUM INTO) is a
// single call and the window does not repaint while it runs. While an operation runs the
// dialog cannot be closed and its buttons are off.
// Owner: the main window, for one run. Thread: the user-interface thread.
#pragma once

#include <QDialog>
#include <QElapsedTimer>
#include <functional>

#include "database/maintenance.h"

class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;

namespace orvalis::ui {

class CImportDialog : public QDialog {
  Q_OBJECT
 public:
  using Ask = std::function<bool(const QString&)>;
  using Tell = std::function<void(const QString&)>;
  CImportDialog(Ask ask, Tell tell, QWidget* parent = nullptr);

  QLineEdit* source_edit() const { return source_; }
  QLineEdit* target_edit() const { return target_; }
  QLabel* progress_text() const { return progress_text_; }
  // The tables in the order their progress was shown.
  const QStringList& tables_shown() const { return tables_; }
  // "&Import": converts; the result of the operation (failed when a field is missing).
  Maintenance_result run();

  void reject() override;

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  void progress(const char* table, std::int64_t done, std::int64_t total);

  Ask ask_;
  Tell tell_;
  QLineEdit* source_;
  QLineEdit* target_;
  QLabel* progress_text_;
  QProgressBar* bar_;
  QPushButton* start_;
  QStringList tables_;
  QElapsedTimer pumped_;
  bool running_ = false;
};

class CCompactDialog : public QDialog {
  Q_OBJECT
 public:
  using Ask = std::function<bool(const QString&)>;
  using Tell = std::function<void(const QString&)>;
  CCompactDialog(Ask ask, Tell tell, QWidget* parent = nullptr);

  QLineEdit* file_edit() const { return file_; }
  QLabel* progress_text() const { return progress_text_; }
  // The steps in the order they were shown.
  const QStringList& steps_shown() const { return steps_; }
  // "&Compact": compacts the file; the result of the operation.
  Maintenance_result run();
  const Compaction_figures& figures() const { return figures_; }

  void reject() override;

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  // Dispatches pending events other than user input, at most every 50 ms unless `now`.
  void pump(bool now = false);

  Ask ask_;
  Tell tell_;
  QLineEdit* file_;
  QLabel* progress_text_;
  QProgressBar* bar_;
  QPushButton* start_;
  QStringList steps_;
  QElapsedTimer pumped_;
  Compaction_figures figures_;
  bool running_ = false;
};

}  // namespace orvalis::ui
