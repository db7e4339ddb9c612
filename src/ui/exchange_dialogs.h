// The dialogs that take topics out of the open database and bring them in, from the File
// menu while a database is open.
//
// CExportTopicsDialog: the format (JSON, OPML, Markdown, CSL-JSON), what goes out (the whole
// database or the topic selected in the topic window), and the file with its browse button;
// "&Export" writes the file through the exchange library ("FILE.part" renamed once whole), an
// existing file only when `ask` agrees to replace it.
//
// CImportTopicsDialog: the file (JSON or OPML; "Automatic" tells them apart by the first
// character) with its browse button; "&Import" merges it into the open database and shows the
// import's report in a CImportReportDialog (what was added, what was skipped, and each entry
// refused with its reason), run through `exec`.
//
// Both run on the user-interface thread, as the database layer requires, with the progress
// bar of CMaintenanceDialog: every progress call dispatches the pending events other than user
// input at most every 50 ms, so the window repaints and never freezes, while the user cannot
// start anything else. A JSON file is read and written as a stream, so its size does not
// matter to memory.
// Owner: the main window, for one run. Thread: the user-interface thread.
#pragma once

#include <QDialog>
#include <cstdint>
#include <functional>
#include <vector>

#include "exchange/import_report.h"
#include "ui/maintenance_dialogs.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QRadioButton;

namespace orvalis::ui {

class CExportTopicsDialog : public CMaintenanceDialog {
  Q_OBJECT
 public:
  // `selected`: the topic selected in the topic window, named `selected_name` (0: none, and
  // only the whole database may go out).
  CExportTopicsDialog(std::int32_t selected, const QString& selected_name, Ask ask, Tell tell,
                      QWidget* parent = nullptr);

  QComboBox* format_box() const { return format_; }
  QRadioButton* whole_button() const { return whole_; }
  QRadioButton* selected_button() const { return selected_button_; }
  QLineEdit* file_edit() const { return file_; }
  // "&Export": writes the file; the result of the operation.
  Maintenance_result run() override;

 private:
  std::int32_t selected_;
  QComboBox* format_;
  QRadioButton* whole_;
  QRadioButton* selected_button_;
  QLineEdit* file_;
};

class CImportTopicsDialog : public CMaintenanceDialog {
  Q_OBJECT
 public:
  using Exec = std::function<int(QDialog&)>;
  CImportTopicsDialog(Ask ask, Tell tell, Exec exec, QWidget* parent = nullptr);

  QComboBox* format_box() const { return format_; }
  QLineEdit* file_edit() const { return file_; }
  // "&Import": imports the file and shows the report; the result of the operation.
  Maintenance_result run() override;
  const exchange::Import_report& report() const { return report_; }

 private:
  Exec exec_;
  QComboBox* format_;
  QLineEdit* file_;
  exchange::Import_report report_;
};

class CImportReportDialog : public QDialog {
  Q_OBJECT
 public:
  CImportReportDialog(const QString& file, const exchange::Import_report& report, QWidget* parent = nullptr);
  QLabel* summary() const { return summary_; }
  QListWidget* refused() const { return refused_; }

 private:
  QLabel* summary_;
  QListWidget* refused_;
};

}  // namespace orvalis::ui
