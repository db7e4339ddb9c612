#include "ui/find_dialog.h"

#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMimeData>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "database/database.h"
#include "database/document_store.h"
#include "database/topic_store.h"
#include "ui/dialog_fields.h"
#include "ui/item_transfer.h"
#include "ui/ui_text.h"

namespace orvalis::ui {

namespace {

QString qs(const Ref_string& s) { return QString::fromUtf8(s.c_str(), s.length()); }

constexpr int kIs_document = Qt::UserRole + 1;

// The results list: what it found can be dragged onto topics.
class Find_results : public QListWidget {
 protected:
  QStringList mimeTypes() const override { return {transfer_mime_type}; }
  QMimeData* mimeData(const QList<QListWidgetItem*>& items) const override {
    Transfer t;
    t.database = QString::fromStdString(Database::shared().path());
    QStringList text;
    for (const QListWidgetItem* i : items) {
      Transfer_item item;
      item.document = i->data(kIs_document).toBool();
      (item.document ? item.url_id : item.concept_id) = i->data(Qt::UserRole).toInt();
      t.items.push_back(item);
      text << (item.document ? i->toolTip() : i->text());
    }
    return t.items.empty() ? nullptr : transfer_mime(t, text.join('\n'));
  }
};

}  // namespace

CFindDialog::CFindDialog(QWidget* parent) : QDialog(parent) {
  setWindowTitle("Find in local database");
  setObjectName("find_dialog");
  text_ = new QLineEdit;
  limit_to_field(text_);
  auto* label = new QLabel("&Search for:");
  label->setBuddy(text_);
  documents_ = new QRadioButton("Find &documents");
  topics_ = new QRadioButton("Find &topics");
  documents_->setChecked(true);
  auto* go = new QPushButton("&Find");
  go->setDefault(true);
  results_ = new Find_results;
  results_->setDragEnabled(true);
  results_->setDragDropMode(QAbstractItemView::DragOnly);
  results_->setSelectionMode(QAbstractItemView::ExtendedSelection);
  results_->setObjectName("find_results");
  auto* close = new QPushButton("Close");

  auto* top = new QHBoxLayout;
  top->addWidget(label);
  top->addWidget(text_, 1);
  top->addWidget(go);
  auto* kinds = new QHBoxLayout;
  kinds->addWidget(documents_);
  kinds->addWidget(topics_);
  kinds->addStretch(1);
  kinds->addWidget(close);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(top);
  layout->addLayout(kinds);
  layout->addWidget(results_, 1);
  resize(520, 360);
  connect(go, &QPushButton::clicked, this,
          [this] { find(text_->text(), documents_->isChecked()); });
  connect(close, &QPushButton::clicked, this, &QDialog::close);
}

void CFindDialog::find(const QString& text, bool documents) {
  results_->clear();
  Ref_string wanted(std::string_view(text.toStdString()));
  if (documents) {
    for (const Document_handle& d : Document_store().find_documents(wanted)) {
      auto* item = new QListWidgetItem(qs(d->title.empty() ? d->address : d->title));
      item->setToolTip(qs(d->address));
      item->setData(Qt::UserRole, d->url_id);
      item->setData(kIs_document, true);
      results_->addItem(item);
    }
  } else {
    for (const Topic_handle& t : Topic_store::shared().topics_matching(wanted)) {
      auto* item = new QListWidgetItem(qs(t->name));
      item->setData(Qt::UserRole, t->concept_id);
      results_->addItem(item);
    }
  }
  if (results_->count() == 0) {
    auto* none = new QListWidgetItem(ui_text(10024));
    none->setFlags(Qt::NoItemFlags);
    results_->addItem(none);
  }
}

}  // namespace orvalis::ui
