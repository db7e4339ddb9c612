#include "ui/exchange_dialogs.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFileInfo>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QRadioButton>
#include <QVBoxLayout>

#include "database/database.h"
#include "exchange/topic_exchange_file.h"

namespace orvalis::ui {

namespace {

struct Format_choice {
  const char* label;
  const char* name;  // the exchange library's name of the format
  const char* filter;
  const char* suffix;
};

constexpr Format_choice kExport_formats[] = {
    {"JSON (topics to exchange with another Orvalis)", "json", "JSON Files (*.json);;All Files (*)", "json"},
    {"OPML (the topics' feeds, for feed readers)", "opml", "OPML Files (*.opml);;All Files (*)", "opml"},
    {"Markdown (a reading report)", "markdown", "Markdown Files (*.md);;All Files (*)", "md"},
    {"CSL-JSON (references, for reference managers)", "csl-json", "CSL-JSON Files (*.json);;All Files (*)", "json"},
};

// Progress of a stream counted in units of the exchange library: the bar in whole percent,
// events dispatched as CMaintenanceDialog allows.
template <class Pump>
exchange::Exchange_progress bar_progress(QProgressBar* bar, Pump pump) {
  return [bar, pump](std::uint64_t done, std::uint64_t total) {
    bar->setRange(0, 100);
    bar->setValue(total ? static_cast<int>(done * 100 / total) : 100);
    pump();
    return true;
  };
}

}  // namespace

// ---- Export ---------------------------------------------------------------------------------

CExportTopicsDialog::CExportTopicsDialog(std::int32_t selected, const QString& selected_name, Ask ask, Tell tell,
                                         QWidget* parent)
    : CMaintenanceDialog(std::move(ask), std::move(tell), "export_topics", "Export", "&Export",
                         "Writes topics with their search terms, feeds and documents to a file, "
                         "for another Orvalis, a feed reader, a report or a reference manager.",
                         parent),
      selected_(selected) {
  format_ = new QComboBox;
  format_->setObjectName("export_format");
  for (const Format_choice& f : kExport_formats) format_->addItem(f.label, QString::fromUtf8(f.name));
  whole_ = new QRadioButton("The &whole database");
  QString named = selected_name;
  named.replace('&', "&&");
  selected_button_ = new QRadioButton(selected_ > 0 ? "The &selected topic, '" + named + "'" : "The &selected topic");
  whole_->setChecked(true);
  selected_button_->setEnabled(selected_ > 0);
  file_ = new QLineEdit;
  file_->setObjectName("export_file");
  auto* which = new QVBoxLayout;
  which->addWidget(whole_);
  which->addWidget(selected_button_);
  auto* form = new QFormLayout;
  form->addRow("&Format:", format_);
  form->addRow("Topics:", which);
  QHBoxLayout* row = file_row(file_, QStringLiteral("All Files (*)"), true);
  form->addRow("F&ile:", row);
  qobject_cast<QLabel*>(form->labelForField(row))->setBuddy(file_);
  lay_out(form);
}

Maintenance_result CExportTopicsDialog::run() {
  QString file = file_->text().trimmed();
  if (file.isEmpty()) {
    tell_("Please choose the file to write.");
    return Maintenance_result::failed;
  }
  const Format_choice& format = kExport_formats[std::max(0, format_->currentIndex())];
  if (QFileInfo(file).suffix().isEmpty()) {
    file += QStringLiteral(".") + format.suffix;
    file_->setText(file);
  }
  if (QFileInfo::exists(file) && !ask_(file + " already exists.\nDo you want to replace it?"))
    return Maintenance_result::declined;
  std::vector<std::int32_t> ids;
  if (selected_button_->isChecked() && selected_ > 0) ids.push_back(selected_);
  progress_text_->setText("Writing " + QFileInfo(file).fileName() + "...");
  std::string why;
  const Maintenance_result result = run_operation([&] {
    why = exchange::export_to_file(Database::shared(), ids, *exchange::export_format_named(format.name),
                                   file.toStdString(), bar_progress(bar_, [this] { pump(); }));
    return why.empty() ? Maintenance_result::done : Maintenance_result::failed;
  });
  bar_->setRange(0, 1);
  bar_->setValue(result == Maintenance_result::done ? 1 : 0);
  if (result != Maintenance_result::done) {
    progress_text_->setText("The export failed.");
    tell_(QString::fromStdString(why));
    return result;
  }
  const QString done = QStringLiteral("Exported %1 to %2.")
                           .arg(ids.empty() ? QStringLiteral("the whole database") : QStringLiteral("the selected topic"))
                           .arg(file);
  progress_text_->setText(done);
  tell_(done);
  accept();
  return result;
}

// ---- Import ---------------------------------------------------------------------------------

CImportTopicsDialog::CImportTopicsDialog(Ask ask, Tell tell, Exec exec, QWidget* parent)
    : CMaintenanceDialog(std::move(ask), std::move(tell), "import_topics", "Import", "&Import",
                         "Merges the topics of a file into this database: topics are matched by "
                         "name and documents by address, and nothing stored is changed. A JSON "
                         "file from another Orvalis or a feed reader's OPML file.",
                         parent),
      exec_(std::move(exec)) {
  format_ = new QComboBox;
  format_->setObjectName("import_format");
  format_->addItem("Automatic", QString());
  format_->addItem("JSON", QStringLiteral("json"));
  format_->addItem("OPML", QStringLiteral("opml"));
  file_ = new QLineEdit;
  file_->setObjectName("import_file");
  auto* form = new QFormLayout;
  QHBoxLayout* row = file_row(file_, QStringLiteral("Exchange Files (*.json *.opml *.xml);;All Files (*)"), false);
  form->addRow("F&ile:", row);
  qobject_cast<QLabel*>(form->labelForField(row))->setBuddy(file_);
  form->addRow("&Format:", format_);
  lay_out(form);
}

Maintenance_result CImportTopicsDialog::run() {
  const QString file = file_->text().trimmed();
  if (file.isEmpty()) {
    tell_("Please choose the file to import.");
    return Maintenance_result::failed;
  }
  progress_text_->setText("Reading " + QFileInfo(file).fileName() + "...");
  const Maintenance_result result = run_operation([&] {
    report_ = exchange::import_file(Database::shared(), file.toStdString(), format_->currentData().toString().toStdString(),
                                    bar_progress(bar_, [this] { pump(); }));
    return report_.ok() ? Maintenance_result::done : Maintenance_result::failed;
  });
  bar_->setRange(0, 1);
  bar_->setValue(result == Maintenance_result::done ? 1 : 0);
  if (result != Maintenance_result::done) {
    progress_text_->setText("Nothing was imported.");
    tell_(QString::fromStdString(report_.error));
    return result;
  }
  progress_text_->setText(QString::fromStdString(report_.summary()));
  CImportReportDialog shown(file, report_, this);
  exec_(shown);
  accept();
  return result;
}

// ---- Report ---------------------------------------------------------------------------------

CImportReportDialog::CImportReportDialog(const QString& file, const exchange::Import_report& report, QWidget* parent)
    : QDialog(parent) {
  setObjectName("import_report");
  setWindowTitle("Import Report");
  summary_ = new QLabel("Imported " + QFileInfo(file).fileName() + ": " + QString::fromStdString(report.summary()) + ".");
  summary_->setTextFormat(Qt::PlainText);
  summary_->setWordWrap(true);
  refused_ = new QListWidget;
  refused_->setObjectName("import_refused");
  for (const std::string& why : report.refused) refused_->addItem(QString::fromStdString(why));
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(summary_);
  if (!report.refused.empty()) {
    layout->addWidget(new QLabel(QStringLiteral("Not taken (%1):").arg(report.refused.size())));
    layout->addWidget(refused_);
  } else {
    refused_->hide();
  }
  layout->addWidget(buttons);
  resize(520, report.refused.empty() ? 140 : 360);
}

}  // namespace orvalis::ui
