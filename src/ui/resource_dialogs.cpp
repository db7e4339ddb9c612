#include "ui/resource_dialogs.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateTime>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "database/engine_health_store.h"
#include "database/search_resource_store.h"
#include "platform/clock.h"
#include "foundation/name_value_list.h"
#include "ui/dialog_fields.h"
#include "ui/ui_text.h"

namespace orvalis::ui {

namespace {

constexpr int kScheme_http = 1;
constexpr int kScheme_https = 7;

}  // namespace

CEditSearchResource::CEditSearchResource(Search_resource_handle resource, Tell tell,
                                         QWidget* parent)
    : QDialog(parent), resource_(std::move(resource)), tell_(std::move(tell)) {
  setObjectName("edit_search_resource");
  setWindowTitle("Edit Search Resource");
  const Search_resource& r = *resource_;
  name_ = new QLineEdit(to_qstring(r.name));
  url_ = new QLineEdit(to_qstring(r.location.text()));
  enabled_ = new QCheckBox("&Enabled");
  enabled_->setChecked(r.enabled != 0);
  category_ = new QComboBox;
  category_->setEditable(true);
  for (const Ref_string& c : Search_resource_store().list_categories())
    if (!c.empty()) category_->addItem(to_qstring(c));
  category_->setCurrentText(to_qstring(r.category));
  username_ = new QLineEdit(to_qstring(r.username));
  password_ = new QLineEdit(to_qstring(r.password));
  password_->setEchoMode(QLineEdit::Password);
  filter_ = new QLineEdit;
  filters_ = new QListWidget;
  for (const Ref_string& s : r.ignore_substrings)
    if (!s.empty()) filters_->addItem(to_qstring(s));
  auto* add = new QPushButton("&Add");
  auto* remove = new QPushButton("&Delete");
  connect(add, &QPushButton::clicked, this, [this] { add_filter(); });
  connect(filter_, &QLineEdit::returnPressed, this, [this] { add_filter(); });
  connect(remove, &QPushButton::clicked, this, [this] { delete filters_->currentItem(); });

  auto* form = new QFormLayout;
  form->addRow("&Name:", name_);
  form->addRow("U&RL:", url_);
  form->addRow("", enabled_);
  form->addRow("&Category:", category_);
  form->addRow("&Username:", username_);
  form->addRow("&Password:", password_);
  auto* filter_label = new QLabel("&Filter out these URL links from the search resource's pages");
  filter_label->setBuddy(filter_);
  auto* filter_row = new QHBoxLayout;
  filter_row->addWidget(filter_, 1);
  filter_row->addWidget(add);
  filter_row->addWidget(remove);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(form);
  layout->addWidget(filter_label);
  layout->addLayout(filter_row);
  layout->addWidget(filters_, 1);
  layout->addWidget(buttons);
  resize(460, 480);
}

bool CEditSearchResource::add_filter() {
  QString text = filter_->text().trimmed();
  if (text.isEmpty()) return false;
  if (over_field_limit(text)) {
    tell_(ui_text(18048));
    return false;
  }
  // The filter texts are stored joined by commas: one holding a comma would come back split.
  if (text.contains(',')) {
    tell_("A filter text cannot contain a comma.");
    return false;
  }
  if (filters_->findItems(text, Qt::MatchExactly).isEmpty()) filters_->addItem(text);
  filter_->clear();
  return true;
}

bool CEditSearchResource::apply() {
  const QString name = name_->text().trimmed();
  const QString url = url_->text().trimmed();
  const QString category = category_->currentText().trimmed();
  if (name.isEmpty()) {
    tell_("Please enter a search resource name.");
    return false;
  }
  if (url.isEmpty()) {
    tell_("Please enter the URL the search resource's form is sent to.");
    return false;
  }
  for (const QString& field : {name, url, category, username_->text(), password_->text()})
    if (over_field_limit(field)) {
      tell_(ui_text(18048));
      return false;
    }
  Url location(to_ref(url));
  if (location.scheme_code() != kScheme_http && location.scheme_code() != kScheme_https) {
    tell_("The URL of a search resource must begin with http:// or https://.");
    return false;
  }
  Search_resource_store store;
  const Ref_string old_name = resource_->name;
  const Ref_string new_name = to_ref(name);
  const bool renamed = !equal_ignoring_case(old_name.view(), new_name.view());
  if (renamed && store.resource(new_name)) {
    tell_(ui_text(18013));
    return false;
  }
  auto edited = make_counted<Search_resource>(*resource_);
  edited->name = new_name;
  edited->location = location;
  edited->enabled = enabled_->isChecked() ? 1 : 0;
  edited->category = to_ref(category);
  edited->username = to_ref(username_->text());
  edited->password = to_ref(password_->text());
  edited->ignore_substrings = Ref_list<Ref_string>();
  for (int i = 0; i < filters_->count(); ++i)
    edited->ignore_substrings.append(to_ref(filters_->item(i)->text()));
  if (!store.save_resource(*edited)) return false;
  if (renamed && !old_name.empty()) store.delete_resource(old_name);
  resource_ = edited;
  return true;
}

void CEditSearchResource::accept() {
  if (apply()) QDialog::accept();
}

namespace {

// What the Health column says of an engine: working, failing or suspended.
QString health_text(const Engine_health& h, std::int64_t now) {
  if (h.suspended(now)) return to_qstring(suspension_text(h, now));
  if (h.failures > 0)
    return QString("%1 failure(s) in a row: %2").arg(h.failures).arg(to_qstring(h.last_reason));
  if (h.last_answer > 0) return "Working";
  return "Not asked yet";
}

// The figures behind it, for the column's tip.
QString health_figures(const Engine_health& h) {
  if (h.queries == 0 && h.failures == 0) return "No search has asked this engine yet.";
  QString tip = QString("Answered %1 queries").arg(h.queries);
  if (h.median_ms() >= 0) tip += QString(", median answer time %1 ms").arg(h.median_ms());
  if (h.queries > 0) tip += QString(", %1 links kept per query").arg(h.links_per_query(), 0, 'f', 1);
  if (h.last_answer > 0)
    tip += ", last answer " + QDateTime::fromSecsSinceEpoch(h.last_answer).toString("yyyy-MM-dd hh:mm");
  return tip + ".";
}

}  // namespace

CSearchResourcesDialog::CSearchResourcesDialog(Ask ask, Tell tell, Exec exec, QWidget* parent)
    : QDialog(parent), ask_(std::move(ask)), tell_(std::move(tell)), exec_(std::move(exec)) {
  setObjectName("search_resources");
  setWindowTitle("Search Resources");
  list_ = new QTreeWidget;
  list_->setObjectName("search_resource_list");
  list_->setHeaderLabels({"Name", "Category", "URL", "Health"});
  list_->setRootIsDecorated(false);
  list_->header()->setStretchLastSection(true);
  auto* edit = new QPushButton("&Edit...");
  auto* remove = new QPushButton("&Delete");
  auto* close = new QPushButton("Close");
  connect(edit, &QPushButton::clicked, this, [this] { edit_current(); });
  connect(remove, &QPushButton::clicked, this, [this] { delete_current(); });
  connect(close, &QPushButton::clicked, this, &QDialog::accept);
  connect(list_, &QTreeWidget::itemDoubleClicked, this, [this] { edit_current(); });
  connect(list_, &QTreeWidget::itemChanged, this, [this](QTreeWidgetItem* item, int column) {
    if (!filling_ && column == name_column)
      enabled_toggled(list_->indexOfTopLevelItem(item),
                      item->checkState(name_column) == Qt::Checked);
  });
  auto* hint = new QLabel("A checked search resource is used when the agent searches a topic.");
  hint->setWordWrap(true);
  auto* row = new QHBoxLayout;
  buttons_ = row;
  row->addWidget(edit);
  row->addWidget(remove);
  row->addStretch(1);
  row->addWidget(close);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(hint);
  layout->addWidget(list_, 1);
  layout->addLayout(row);
  resize(620, 400);
  reload();
}

void CSearchResourcesDialog::offer_capture(std::function<QString()> capture) {
  auto* add = new QPushButton("&Add...");
  add->setObjectName("capture_resource");
  buttons_->insertWidget(0, add);
  connect(add, &QPushButton::clicked, this, [this, capture] {
    QString name = capture();
    if (name.isEmpty()) return;
    changed_ = true;
    reload(name);
  });
}

void CSearchResourcesDialog::reload(const QString& select) {
  filling_ = true;
  QString current = !select.isEmpty()      ? select
                    : list_->currentItem() ? list_->currentItem()->text(name_column)
                                           : QString();
  list_->clear();
  Engine_health_store health;
  const std::int64_t now = orvalis::platform::now();
  for (const Search_resource_handle& r : Search_resource_store().list_resources(true)) {
    const Engine_health h = health.health(r->name);
    auto* item = new QTreeWidgetItem(list_, {to_qstring(r->name), to_qstring(r->category),
                                             to_qstring(r->location.text()), health_text(h, now)});
    item->setToolTip(health_column, health_figures(h));
    item->setCheckState(name_column, r->enabled ? Qt::Checked : Qt::Unchecked);
    if (item->text(name_column) == current) list_->setCurrentItem(item);
  }
  if (!list_->currentItem() && list_->topLevelItemCount() > 0)
    list_->setCurrentItem(list_->topLevelItem(0));
  list_->resizeColumnToContents(name_column);
  list_->resizeColumnToContents(url_column);
  filling_ = false;
}

void CSearchResourcesDialog::enabled_toggled(int row, bool on) {
  Search_resource_store store;
  Search_resource_handle r = store.resource(to_ref(list_->topLevelItem(row)->text(name_column)));
  if (!r) return;
  r->enabled = on ? 1 : 0;
  if (store.save_resource(*r)) changed_ = true;
}

void CSearchResourcesDialog::edit_current() {
  QTreeWidgetItem* item = list_->currentItem();
  if (!item) return;
  Search_resource_handle r = Search_resource_store().resource(to_ref(item->text(name_column)));
  if (!r) return;
  CEditSearchResource editor(r, tell_, this);
  if (exec_(editor) != QDialog::Accepted) return;
  changed_ = true;
  reload(to_qstring(editor.resource()->name));
}

void CSearchResourcesDialog::delete_current() {
  QTreeWidgetItem* item = list_->currentItem();
  if (!item || !ask_(fill(ui_text(10030), {item->text(name_column)}))) return;
  if (Search_resource_store().delete_resource(to_ref(item->text(name_column)))) changed_ = true;
  reload();
}

}  // namespace orvalis::ui
