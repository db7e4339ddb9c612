#include "ui/options_dialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QVBoxLayout>

#include "agent/browser.h"
#include "database/database.h"
#include "database/search_resource_store.h"
#include "foundation/setting_ranges.h"
#include "foundation/settings.h"
#include "ui/dialog_fields.h"
#include "ui/resource_dialogs.h"
#include "ui/ui_text.h"

namespace orvalis::ui {

namespace {

QString qs(const Ref_string& s) { return QString::fromUtf8(s.c_str(), s.length()); }
Ref_string rs(const QString& s) { return Ref_string(std::string_view(s.toStdString())); }
QString setting(const char* name) { return qs(Settings_cache::instance().get(name)); }

// The box takes any number, so that the page, not the box, says what is wrong.
QSpinBox* number_box(int value) {
  auto* b = new QSpinBox;
  b->setRange(-999999, 999999);
  b->setValue(value);
  return b;
}

}  // namespace

QString check_network_page(const Network_page_values& v) {
  if (v.timeout < 15 || v.timeout > 300) return "Please enter an integer between 15 and 300.";
  if (v.connections < 1 || v.connections > 60) return "Please enter an integer between 1 and 60.";
  if (v.proxy) {
    if (v.host.trimmed().isEmpty()) return ui_text(10128);
    bool number = false;
    int port = v.port.trimmed().toInt(&number);
    if (!number || port <= 0) return ui_text(10129);
  }
  return {};
}

QString browser_service_name(const QString& executable) {
  return qs(orvalis::browser_service_name(rs(executable)));
}

COptionsDialog::COptionsDialog(Ask ask, Tell tell, QWidget* parent)
    : QDialog(parent), ask_(std::move(ask)), tell_(std::move(tell)) {
  setWindowTitle("Orvalis Options");
  setObjectName("options_dialog");
  Network_limits& limits = network_limits();

  auto* network = new QWidget;
  auto* nf = new QFormLayout(network);
  proxy_ = new QCheckBox("&Use proxy server for web access");
  host_ = new QLineEdit;
  limit_to_field(host_);
  port_ = new QLineEdit;
  timeout_ = number_box(limits.search_timeout);
  connections_ = number_box(limits.concurrent_requests);
  nf->addRow(proxy_);
  nf->addRow("Ho&st:", host_);
  nf->addRow("&Port:", port_);
  auto* t_row = new QHBoxLayout;
  t_row->addWidget(timeout_);
  t_row->addWidget(new QLabel("(15 to 300 seconds)"));
  nf->addRow("Network &Timeout:", t_row);
  qobject_cast<QLabel*>(nf->labelForField(t_row))->setBuddy(timeout_);
  auto* c_row = new QHBoxLayout;
  c_row->addWidget(connections_);
  c_row->addWidget(new QLabel("(1 to 60)"));
  nf->addRow("Number of co&nnections:", c_row);
  qobject_cast<QLabel*>(nf->labelForField(c_row))->setBuddy(connections_);
  set_network_values({setting("ProxyEnabled") == "yes", setting("ProxyHost"),
                      setting("ProxyPort"), limits.search_timeout, limits.concurrent_requests});

  auto* browser = new QWidget;
  auto* bf = new QFormLayout(browser);
  browser_ = new QLineEdit(setting("BrowserPath"));
  auto* browse = new QPushButton("&Browse...");
  auto* b_row = new QHBoxLayout;
  b_row->addWidget(browser_, 1);
  b_row->addWidget(browse);
  bf->addRow("Browser:", b_row);
  connect(browse, &QPushButton::clicked, this, [this] {
    QString path = QFileDialog::getOpenFileName(this, "Browser", browser_->text());
    if (path.isEmpty()) return;
    browser_->setText(path);
    check_browser();
  });
  connect(browser_, &QLineEdit::editingFinished, this, [this] { check_browser(); });

  auto* engines = new QWidget;
  auto* ev = new QVBoxLayout(engines);
  resources_ = new QListWidget;
  resources_->setObjectName("options_resources");
  if (Database::shared().is_open())
    for (const auto& r : Search_resource_store().list_resources(false))
      resources_->addItem(qs(r->name));
  auto* edit = new QPushButton("&Edit...");
  connect(edit, &QPushButton::clicked, this, [this] { edit_resource(); });
  connect(resources_, &QListWidget::itemDoubleClicked, this, [this] { edit_resource(); });
  auto* remove = new QPushButton("&Delete");
  connect(remove, &QPushButton::clicked, this, [this] { delete_resource(); });
  show_ads_ = new QCheckBox("&Show Banner Ads for Search Resources");
  show_ads_->setChecked(setting("ShowSRAd") != ui_text(10103));
  auto* r_row = new QHBoxLayout;
  resource_buttons_ = r_row;
  r_row->addStretch(1);
  r_row->addWidget(edit);
  r_row->addWidget(remove);
  ev->addWidget(resources_, 1);
  ev->addLayout(r_row);
  ev->addWidget(show_ads_);

  // What is kept of each page read: the KeepPageCopies words behind plainer labels.
  auto* copies = new QWidget;
  auto* cf = new QFormLayout(copies);
  copies_ = new QComboBox;
  copies_->setObjectName("options_copies");
  copies_->addItem("Its text and its HTML as received", "Yes");
  copies_->addItem("Its text only", "TextOnly");
  copies_->addItem("Nothing", "No");
  const int shown = copies_->findData(setting("KeepPageCopies"));
  copies_->setCurrentIndex(shown < 0 ? 1 : shown);
  const Setting_range& limit = *find_setting_range("PageCopyLimitMB");
  copy_limit_ = new QSpinBox;
  copy_limit_->setObjectName("options_copy_limit");
  copy_limit_->setRange(static_cast<int>(limit.min), static_cast<int>(limit.max));
  copy_limit_->setSuffix(" MB");
  copy_limit_->setValue(static_cast<int>(stored_setting_number("PageCopyLimitMB", setting("PageCopyLimitMB").toStdString())));
  cf->addRow("&Keep of each page read:", copies_);
  cf->addRow("&Space for copies:", copy_limit_);
  cf->addRow(new QLabel("Past this space the oldest copies of the largest pages make room."));

  auto* tabs = new QTabWidget;
  tabs->addTab(network, "Network");
  tabs->addTab(browser, "Browser");
  tabs->addTab(engines, "Search resources");
  tabs->addTab(copies, "Page copies");
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(tabs);
  layout->addWidget(buttons);
}

void COptionsDialog::offer_capture(std::function<QString()> capture) {
  auto* add = new QPushButton("&Add...");
  add->setObjectName("capture_resource");
  resource_buttons_->insertWidget(1, add);
  connect(add, &QPushButton::clicked, this, [this, capture] {
    QString name = capture();
    if (name.isEmpty()) return;
    resources_->addItem(name);
    resources_->setCurrentRow(resources_->count() - 1);
  });
}

Network_page_values COptionsDialog::network_values() const {
  return {proxy_->isChecked(), host_->text(), port_->text(), timeout_->value(),
          connections_->value()};
}

void COptionsDialog::set_network_values(const Network_page_values& v) {
  proxy_->setChecked(v.proxy);
  host_->setText(v.host);
  port_->setText(v.port);
  timeout_->setValue(v.timeout);
  connections_->setValue(v.connections);
}

void COptionsDialog::check_browser() {
  QString path = browser_->text().trimmed();
  if (path.isEmpty() || checked_browser_ == path) return;
  Ref_string refusal = check_browser_path(rs(path));
  if (refusal.empty()) {
    checked_browser_ = path;
    return;
  }
  browser_->clear();
  checked_browser_.clear();
  tell_(qs(refusal));
}

void COptionsDialog::edit_resource() {
  QListWidgetItem* item = resources_->currentItem();
  if (!item) return;
  Search_resource_handle r = Search_resource_store().resource(rs(item->text()));
  if (!r) return;
  CEditSearchResource editor(r, tell_, this);
  if (editor.exec() == QDialog::Accepted) item->setText(qs(editor.resource()->name));
}

void COptionsDialog::delete_resource() {
  QListWidgetItem* item = resources_->currentItem();
  if (!item || !ask_(fill(ui_text(10030), {item->text()}))) return;
  if (Search_resource_store().delete_resource(rs(item->text()))) delete item;
}

bool COptionsDialog::apply() {
  Network_page_values v = network_values();
  QString refusal = check_network_page(v);
  if (!refusal.isEmpty()) {
    tell_(refusal);
    return false;
  }
  QString path = browser_->text().trimmed();
  if (!path.isEmpty()) {
    Ref_string question = confirm_browser_question(rs(path));
    if (!question.empty() && !ask_(qs(question))) return false;
    // Kept changes keep no browser that is not there.
    if (!check_browser_path(rs(path)).empty()) path.clear();
  }
  QString service = path.isEmpty() ? QString() : browser_service_name(path);
  Settings_cache& cache = Settings_cache::instance();
  cache.set("ProxyEnabled", v.proxy ? "yes" : "no");
  cache.set("ProxyHost", rs(v.host.trimmed()));
  cache.set("ProxyPort", rs(v.port.trimmed()));
  cache.set("BrowserPath", rs(path));
  cache.set("BrowserDDE", rs(service));
  cache.set("ShowSRAd", rs(ui_text(show_ads_->isChecked() ? 10102 : 10103)));
  cache.set("KeepPageCopies", rs(copies_->currentData().toString()));
  cache.set("PageCopyLimitMB", Ref_string::number(copy_limit_->value()));
  Network_limits& limits = network_limits();
  limits.search_timeout = limits.follow_timeout = limits.capture_timeout = v.timeout;
  limits.concurrent_requests = v.connections;
  save_settings();
  return true;
}

void COptionsDialog::accept() {
  if (apply()) QDialog::accept();
}

}  // namespace orvalis::ui
