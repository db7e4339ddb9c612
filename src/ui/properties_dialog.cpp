#include "ui/properties_dialog.h"

#include <QComboBox>
#include <QDateTime>
#include <algorithm>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGuiApplication>
#include <QHeaderView>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "agent/feed_discovery.h"
#include "database/document_store.h"
#include "database/feed_store.h"
#include "database/search_resource_store.h"
#include "database/topic_store.h"
#include "platform/clock.h"
#include "ui/dialog_fields.h"
#include "ui/schedule_editor.h"
#include "ui/ui_text.h"

namespace orvalis::ui {

namespace {

QString qs(const Ref_string& s) { return QString::fromUtf8(s.c_str(), s.length()); }
Ref_string rs(const QString& s) { return Ref_string(std::string_view(s.toStdString())); }

QDialogButtonBox* ok_cancel(QDialog* d) {
  auto* b = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
  QObject::connect(b, &QDialogButtonBox::accepted, d, &QDialog::accept);
  QObject::connect(b, &QDialogButtonBox::rejected, d, &QDialog::reject);
  return b;
}

QString count_text(std::int32_t n) { return n == -1 ? QStringLiteral("?") : QString::number(n); }

}  // namespace

CTopicProperties::CTopicProperties(Topic_handle topic, std::function<void(const QString&)> refuse,
                                   QWidget* parent)
    : QDialog(parent), topic_(std::move(topic)), refuse_(std::move(refuse)) {
  setWindowTitle(qs(topic_->name) + " Properties");
  setObjectName("topic_properties");
  auto* page = new QWidget;
  name_ = new QLineEdit(qs(topic_->name));
  terms_ = new QListWidget;
  for (const Ref_string& t : topic_->terms) terms_->addItem(qs(t));
  new_term_ = new QLineEdit;
  auto* add = new QPushButton("&Add");
  auto* remove = new QPushButton("&Delete");
  definition_ = new QPlainTextEdit(qs(topic_->definition));
  category_ = new QComboBox;
  category_->setEditable(true);
  for (const Ref_string& c : Search_resource_store().list_categories())
    if (!c.empty()) category_->addItem(qs(c));
  category_->setCurrentText(qs(topic_->category));

  auto* term_row = new QHBoxLayout;
  term_row->addWidget(new_term_, 1);
  term_row->addWidget(add);
  term_row->addWidget(remove);
  auto* form = new QFormLayout(page);
  form->addRow("&Name:", name_);
  form->addRow("&Query terms:", terms_);
  form->addRow("", term_row);
  form->addRow("&Definition:", definition_);
  form->addRow("&Category:", category_);
  connect(add, &QPushButton::clicked, this, [this] {
    QString t = new_term_->text().trimmed();
    if (t.isEmpty()) return;
    if (over_field_limit(t)) {
      refuse_(ui_text(18048));
      return;
    }
    terms_->addItem(t);
    new_term_->clear();
  });
  connect(remove, &QPushButton::clicked, this, [this] { delete terms_->currentItem(); });

  auto* agent = new QWidget;
  search_schedule_ = new CScheduleEditor("Agent &searches the web ", topic_->query_enabled != 0,
                                         topic_->query_time_spec);
  search_schedule_->setObjectName("search_schedule");
  summary_schedule_ = new CScheduleEditor("Agent &resummarizes existing documents for this topic",
                                          topic_->summary_enabled != 0,
                                          topic_->summarize_time_spec);
  summary_schedule_->setObjectName("summary_schedule");
  auto* agent_layout = new QVBoxLayout(agent);
  agent_layout->addWidget(search_schedule_);
  agent_layout->addWidget(summary_schedule_);
  agent_layout->addStretch(1);

  feeds_page_ = new QWidget;
  feeds_ = new QTreeWidget;
  feeds_->setObjectName("topic_feeds");
  feeds_->setHeaderLabels({"Title", "Address", "Last read"});
  feeds_->setRootIsDecorated(false);
  feeds_->header()->setStretchLastSection(false);
  feeds_->header()->setSectionResizeMode(0, QHeaderView::ResizeToContents);
  feeds_->header()->setSectionResizeMode(1, QHeaderView::Stretch);
  feeds_->header()->setSectionResizeMode(2, QHeaderView::ResizeToContents);
  for (const Feed& f : Feed_store().feeds(topic_->concept_id)) {
    const QString read = f.time_last_read.is_valid()
                             ? QDateTime::fromSecsSinceEpoch(f.time_last_read.seconds).toString("yyyy-MM-dd hh:mm")
                             : QStringLiteral("never");
    feeds_->addTopLevelItem(new QTreeWidgetItem({qs(f.title), qs(f.address), read}));
  }
  new_feed_ = new QLineEdit;
  new_feed_->setObjectName("new_feed");
  new_feed_->setPlaceholderText("https://example.org/feed.xml");
  auto* add_feed_button = new QPushButton("A&dd Feed");
  auto* remove_feed_button = new QPushButton("&Remove Feed");
  auto* feed_row = new QHBoxLayout;
  feed_row->addWidget(new_feed_, 1);
  feed_row->addWidget(add_feed_button);
  feed_row->addWidget(remove_feed_button);
  auto* feeds_layout = new QVBoxLayout(feeds_page_);
  feeds_layout->addWidget(feeds_, 1);
  feeds_layout->addLayout(feed_row);
  connect(add_feed_button, &QPushButton::clicked, this, [this] { add_feed(); });
  connect(remove_feed_button, &QPushButton::clicked, this, [this] { remove_feed(); });

  tabs_ = new QTabWidget;
  tabs_->addTab(page, "Name");
  tabs_->addTab(agent, "Agent");
  tabs_->addTab(feeds_page_, "Feeds");
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(tabs_);
  layout->addWidget(ok_cancel(this));
}

void CTopicProperties::show_agent_page() { tabs_->setCurrentIndex(1); }

void CTopicProperties::show_feeds_page() { tabs_->setCurrentWidget(feeds_page_); }

bool CTopicProperties::add_feed() {
  const QString address = new_feed_->text().trimmed();
  if (address.isEmpty()) return false;
  const QString lower = address.toLower();
  if (!lower.startsWith("http://") && !lower.startsWith("https://")) {
    refuse_("A feed address starts with http:// or https://.");
    return false;
  }
  if (over_field_limit(address)) {
    refuse_(ui_text(18048));
    return false;
  }
  // The address is looked at: a page gives the feeds it announces.
  setEnabled(false);
  QGuiApplication::setOverrideCursor(Qt::WaitCursor);
  const Feed_choice choice = choose_feeds(address.toStdString());
  QGuiApplication::restoreOverrideCursor();
  setEnabled(true);
  if (!choice.error.empty()) {
    refuse_(QString::fromStdString(choice.error));
    return false;
  }
  int added = 0;
  for (const exchange::Announced_feed& f : choice.feeds) {
    const QString stored = qs(normalized_address(Ref_string(std::string_view(f.address))));
    bool listed = false;
    for (int i = 0; i < feeds_->topLevelItemCount(); ++i) listed = listed || feeds_->topLevelItem(i)->text(1) == stored;
    if (listed) continue;
    feeds_->addTopLevelItem(new QTreeWidgetItem({QString::fromStdString(f.title), stored, QStringLiteral("never")}));
    ++added;
  }
  if (added == 0) {
    refuse_(choice.feeds.size() == 1 ? "The topic has this feed already." : "The topic has these feeds already.");
    return false;
  }
  if (!choice.unchecked.empty())
    refuse_("Could not look at " + address + " (" + QString::fromStdString(choice.unchecked) + "); it is added as given.");
  new_feed_->clear();
  return true;
}

void CTopicProperties::remove_feed() { delete feeds_->currentItem(); }

// Stores the list: the feeds taken off it are removed, the ones added to it are added.
bool CTopicProperties::save_feeds() {
  Feed_store store;
  std::vector<Ref_string> kept, titles;
  for (int i = 0; i < feeds_->topLevelItemCount(); ++i) {
    kept.push_back(rs(feeds_->topLevelItem(i)->text(1)));
    titles.push_back(rs(feeds_->topLevelItem(i)->text(0)));
  }
  const std::vector<Feed> stored = store.feeds(topic_->concept_id);
  for (const Feed& f : stored)
    if (std::find(kept.begin(), kept.end(), f.address) == kept.end() && !store.remove_feed(topic_->concept_id, f.address))
      return false;
  for (std::size_t k = 0; k < kept.size(); ++k) {
    const Ref_string& address = kept[k];
    const bool known = std::any_of(stored.begin(), stored.end(), [&](const Feed& f) { return f.address == address; });
    if (known) continue;
    Feed f;
    f.concept_id = topic_->concept_id;
    f.address = address;
    f.title = titles[k];
    if (!store.add_feed(f)) return false;
  }
  return true;
}

bool CTopicProperties::apply() {
  QString name = name_->text().trimmed();
  if (name.isEmpty()) {
    refuse_(ui_text(10132));
    return false;
  }
  if (over_field_limit(name) || over_field_limit(category_->currentText())) {
    refuse_(ui_text(18048));
    return false;
  }
  Topic& t = *topic_;
  t.name = rs(name);
  t.definition = rs(definition_->toPlainText());
  t.category = rs(category_->currentText().trimmed());
  t.terms = Ref_list<Ref_string>();
  for (int i = 0; i < terms_->count(); ++i) t.terms.append(rs(terms_->item(i)->text()));
  t.query_enabled = search_schedule_->switched_on() ? 1 : 0;
  t.query_time_spec = search_schedule_->spec_text();
  t.summary_enabled = summary_schedule_->switched_on() ? 1 : 0;
  t.summarize_time_spec = summary_schedule_->spec_text();
  t.is_user_topic = 1;
  t.time_last_modified = Db_date::at(platform::now());
  return Topic_store::shared().save_topic(t) && save_feeds();
}

void CTopicProperties::accept() {
  if (apply()) QDialog::accept();
}

CDocumentProperties::CDocumentProperties(Topic_document document, QWidget* parent)
    : QDialog(parent), document_(std::move(document)) {
  const Document& d = *document_.document;
  setWindowTitle("Document Properties");
  setObjectName("document_properties");
  auto* info = new QWidget;
  auto* form = new QFormLayout(info);
  auto field = [form](const char* label, const QString& value) {
    auto* l = new QLabel(value);
    l->setTextFormat(Qt::PlainText);  // titles and addresses as typed, never markup
    l->setTextInteractionFlags(Qt::TextSelectableByMouse);
    l->setWordWrap(true);
    form->addRow(label, l);
  };
  field("Title:", qs(d.title));
  field("URL:", qs(d.address));
  field("Size:", QString::number(d.size));
  field("Links:", count_text(d.num_anchors));
  field("Images:", count_text(d.num_images));
  field("Added by:", document_.link.search_resource.empty() ? ui_text(10031)
                                                           : qs(document_.link.search_resource));
  field("Query:", qs(document_.link.query));
  annotation_ = new QPlainTextEdit(qs(d.annotation));
  auto* tabs = new QTabWidget;
  tabs->addTab(info, "Info");
  tabs->addTab(annotation_, "Annotation");
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(tabs);
  layout->addWidget(ok_cancel(this));
  resize(480, 340);
}

bool CDocumentProperties::apply() {
  document_.document->annotation = rs(annotation_->toPlainText());
  return Document_store().save_document(*document_.document);
}

void CDocumentProperties::accept() {
  if (apply()) QDialog::accept();
}

}  // namespace orvalis::ui
