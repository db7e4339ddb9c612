#include "ui/maintenance_dialogs.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

#include "ui/dialog_fields.h"
#include "ui/ui_text.h"

namespace orvalis::ui {

namespace {

// Events are dispatched at most this often while an operation runs.
constexpr int kPump_ms = 50;

// A file filter of the string table ("Name|*.x|Name|*.y||") as Qt writes it.
QString qt_filter(const QString& table_filter) {
  QStringList parts = table_filter.split('|', Qt::SkipEmptyParts);
  QStringList out;
  for (qsizetype i = 0; i < parts.size(); i += 2) out << parts[i];
  return out.join(";;");
}

// A file field with a browse button that picks an existing file or a file to write.
QHBoxLayout* file_row(QWidget* owner, QLineEdit* edit, const QString& filter, bool save) {
  auto* browse = new QPushButton("&Browse...");
  QObject::connect(browse, &QPushButton::clicked, owner, [owner, edit, filter, save] {
    QString path = save ? QFileDialog::getSaveFileName(owner, QString(), edit->text(), filter)
                        : QFileDialog::getOpenFileName(owner, QString(), edit->text(), filter);
    if (!path.isEmpty()) edit->setText(path);
  });
  auto* row = new QHBoxLayout;
  row->addWidget(edit, 1);
  row->addWidget(browse);
  return row;
}

}  // namespace

// ---- Shared frame ---------------------------------------------------------------------------

CMaintenanceDialog::CMaintenanceDialog(Ask ask, Tell tell, const QString& name, const QString& title,
                                       const QString& start_label, const QString& explanation,
                                       QWidget* parent)
    : QDialog(parent), ask_(std::move(ask)), tell_(std::move(tell)) {
  setObjectName(name + "_dialog");
  setWindowTitle(title);
  explanation_ = new QLabel(explanation);
  explanation_->setWordWrap(true);
  progress_text_ = new QLabel;
  progress_text_->setObjectName(name + "_progress");
  bar_ = new QProgressBar;
  bar_->setRange(0, 1);
  bar_->setValue(0);
  start_ = new QPushButton(start_label);
  start_->setDefault(true);
  close_ = new QPushButton("Close");
  connect(start_, &QPushButton::clicked, this, [this] { run(); });
  connect(close_, &QPushButton::clicked, this, &QDialog::reject);
}

void CMaintenanceDialog::lay_out(QFormLayout* form) {
  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(start_);
  buttons->addWidget(close_);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(explanation_);
  layout->addLayout(form);
  layout->addWidget(progress_text_);
  layout->addWidget(bar_);
  layout->addLayout(buttons);
  resize(520, 220);
}

Maintenance_result CMaintenanceDialog::run_operation(const std::function<Maintenance_result()>& operation) {
  running_ = true;
  setEnabled(false);
  pumped_.start();
  Maintenance_result result = operation();
  setEnabled(true);
  running_ = false;
  return result;
}

void CMaintenanceDialog::pump(bool now) {
  if (!now && pumped_.elapsed() < kPump_ms) return;
  QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
  pumped_.restart();
}

Maintenance_prompts CMaintenanceDialog::prompts() const {
  Maintenance_prompts p;
  p.confirm = [ask = ask_](const Ref_string&, const Ref_string& question) {
    return ask(to_qstring(question));
  };
  return p;
}

QHBoxLayout* CMaintenanceDialog::file_row(QLineEdit* edit, const QString& filter, bool save) {
  return ui::file_row(this, edit, filter, save);
}

void CMaintenanceDialog::reject() {
  if (!running_) QDialog::reject();
}

void CMaintenanceDialog::closeEvent(QCloseEvent* event) {
  if (running_)
    event->ignore();
  else
    QDialog::closeEvent(event);
}

// ---- Import ---------------------------------------------------------------------------------

CImportDialog::CImportDialog(Ask ask, Tell tell, QWidget* parent)
    : CMaintenanceDialog(
          std::move(ask), std::move(tell), "import", "Import", "&Import",
          "Converts a database of the earlier format (.mdb) into a new Orvalis database.", parent) {
  source_ = new QLineEdit;
  source_->setObjectName("import_source");
  target_ = new QLineEdit;
  target_->setObjectName("import_target");
  auto* form = new QFormLayout;
  form->addRow(ui_text(10113) + ":",
               file_row(source_, "Earlier Orvalis Databases (*.mdb);;All Files (*)", false));
  form->addRow(ui_text(10114) + ":", file_row(target_, qt_filter(ui_text(10000)), true));
  lay_out(form);
}

void CImportDialog::progress(const char* table, std::int64_t done, std::int64_t total) {
  const QString name = QString::fromUtf8(table);
  if (tables_.isEmpty() || tables_.last() != name) tables_ << name;
  progress_text_->setText(QStringLiteral("%1: %2 of %3 rows").arg(name).arg(done).arg(total));
  // The bar counts in whole percent so that large tables fit its int range.
  bar_->setRange(0, 100);
  bar_->setValue(total > 0 ? static_cast<int>(done * 100 / total) : 100);
  pump();
}

Maintenance_result CImportDialog::run() {
  const QString source = source_->text().trimmed();
  QString target = target_->text().trimmed();
  if (source.isEmpty() || target.isEmpty()) {
    tell_("Please choose the " +
          QString(source.isEmpty() ? ui_text(10113) : ui_text(10114)).toLower() + ".");
    return Maintenance_result::failed;
  }
  if (QFileInfo(target).suffix().isEmpty()) {
    target += ".ov2";
    target_->setText(target);
  }
  Maintenance_prompts p = prompts();
  p.progress = [this](const char* table, std::int64_t done, std::int64_t total) {
    progress(table, done, total);
  };
  tables_.clear();
  Maintenance_result result =
      run_operation([&] { return convert_database(to_ref(source), to_ref(target), p); });
  if (result == Maintenance_result::done) {
    tell_(ui_text(12021));
    accept();
  } else {
    progress_text_->setText(result == Maintenance_result::declined ? "Not imported."
                                                                   : "The import failed.");
    bar_->setValue(0);
  }
  return result;
}

// ---- Compaction -----------------------------------------------------------------------------

CCompactDialog::CCompactDialog(Ask ask, Tell tell, QWidget* parent)
    : CMaintenanceDialog(std::move(ask), std::move(tell), "compact", ui_text(10188), "&Compact",
                         "Removes the documents that no topic refers to any longer and rewrites "
                         "the database file without its free space. The database must not be "
                         "open in Orvalis.",
                         parent) {
  file_ = new QLineEdit;
  file_->setObjectName("compact_file");
  auto* form = new QFormLayout;
  QHBoxLayout* row = file_row(file_, qt_filter(ui_text(10000)), false);
  form->addRow("Database &file:", row);
  qobject_cast<QLabel*>(form->labelForField(row))->setBuddy(file_);
  lay_out(form);
}

Maintenance_result CCompactDialog::run() {
  const QString file = file_->text().trimmed();
  if (file.isEmpty()) {
    tell_("Please choose the database file to compact.");
    return Maintenance_result::failed;
  }
  Maintenance_prompts p = prompts();
  p.progress = [this](const char* step, std::int64_t, std::int64_t) {
    steps_ << QString::fromUtf8(step);
    progress_text_->setText(QString::fromUtf8(step));
    bar_->setRange(0, 0);  // busy: the steps have no row counts
    pump(true);            // a new step is always shown
  };
  p.stop = [this] {
    pump();
    return false;
  };
  steps_.clear();
  figures_ = Compaction_figures();
  Maintenance_result result = run_operation([&] { return compact_database(to_ref(file), p, &figures_); });
  bar_->setRange(0, 1);
  bar_->setValue(result == Maintenance_result::done ? 1 : 0);
  if (result == Maintenance_result::done) {
    QString done =
        QStringLiteral(
            "%1 compacted: %2 orphan documents removed, %3 bytes before, %4 bytes after.")
            .arg(QFileInfo(file).fileName())
            .arg(figures_.orphans_removed)
            .arg(figures_.size_before)
            .arg(figures_.size_after);
    progress_text_->setText(done);
    tell_(done);
    accept();
  } else {
    progress_text_->setText(result == Maintenance_result::declined ? "Not compacted."
                                                                   : "The compaction failed.");
  }
  return result;
}

}  // namespace orvalis::ui
