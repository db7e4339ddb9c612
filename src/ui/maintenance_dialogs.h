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

class QFormLayout;
class QHBoxLayout;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;

namespace orvalis::ui {

// What both dialogs share: the question and message hooks, the explanation above the file
// fields, the progress line and bar, the start and Close buttons, and the rule that the dialog
// cannot be closed while its operation runs.
class CMaintenanceDialog : public QDialog {
  Q_OBJECT
 public:
  using Ask = std::function<bool(const QString&)>;
  using Tell = std::function<void(const QString&)>;

  QLabel* progress_text() const { return progress_text_; }
  // The start button: runs the operation; its result.
  virtual Maintenance_result run() = 0;

  void reject() override;

 protected:
  // `name` prefixes the object names ("<name>_dialog", "<name>_progress").
  CMaintenanceDialog(Ask ask, Tell tell, const QString& name, const QString& title,
                     const QString& start_label, const QString& explanation, QWidget* parent);
  // Lays the dialog out around the file fields of `form`.
  void lay_out(QFormLayout* form);
  // Runs `operation` with the dialog off and closing refused.
  Maintenance_result run_operation(const std::function<Maintenance_result()>& operation);
  // Dispatches pending events other than user input, at most every 50 ms unless `now`.
  void pump(bool now = false);
  // Prompts whose questions go to `ask_`.
  Maintenance_prompts prompts() const;
  // A file field with its "Browse..." button, which picks an existing file or, with `save`, a
  // file to write (`filter` as Qt writes file filters).
  QHBoxLayout* file_row(QLineEdit* edit, const QString& filter, bool save);
  void closeEvent(QCloseEvent* event) override;

  Ask ask_;
  Tell tell_;
  QLabel* progress_text_;
  QProgressBar* bar_;

 private:
  QLabel* explanation_;
  QPushButton* start_;
  QPushButton* close_;
  QElapsedTimer pumped_;
  bool running_ = false;
};

class CImportDialog : public CMaintenanceDialog {
  Q_OBJECT
 public:
  CImportDialog(Ask ask, Tell tell, QWidget* parent = nullptr);

  QLineEdit* source_edit() const { return source_; }
  QLineEdit* target_edit() const { return target_; }
  // The tables in the order their progress was shown.
  const QStringList& tables_shown() const { return tables_; }
  // "&Import": converts; the result of the operation (failed when a field is missing).
  Maintenance_result run() override;

 private:
  void progress(const char* table, std::int64_t done, std::int64_t total);

  QLineEdit* source_;
  QLineEdit* target_;
  QStringList tables_;
};

class CCompactDialog : public CMaintenanceDialog {
  Q_OBJECT
 public:
  CCompactDialog(Ask ask, Tell tell, QWidget* parent = nullptr);

  QLineEdit* file_edit() const { return file_; }
  // The steps in the order they were shown.
  const QStringList& steps_shown() const { return steps_; }
  // "&Compact": compacts the file; the result of the operation.
  Maintenance_result run() override;
  const Compaction_figures& figures() const { return figures_; }

 private:
  QLineEdit* file_;
  QStringList steps_;
  Compaction_figures figures_;
};

}  // namespace orvalis::ui
