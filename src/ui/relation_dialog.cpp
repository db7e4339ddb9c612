#include "ui/relation_dialog.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QVBoxLayout>

#include "database/topic_store.h"
#include "platform/clock.h"
#include "ui/dialog_fields.h"
#include "ui/ui_text.h"

namespace orvalis::ui {

namespace {

// The relation a new or named topic gets unless the user picks another.
constexpr const char* kDefault_code = "^";

}  // namespace

CSelectRelationDialog::CSelectRelationDialog(Mode mode, Topic_handle from, Topic_handle to,
                                             Tell tell, QWidget* parent)
    : QDialog(parent),
      mode_(mode),
      from_(std::move(from)),
      to_(std::move(to)),
      tell_(std::move(tell)) {
  setObjectName("select_relation");
  setWindowTitle(mode_ == Mode::create ? "Create Related Topic" : "Select relationship");
  auto* layout = new QVBoxLayout(this);
  // Names go into labels with a key: an "&" in a name is shown, not taken for a key.
  const QString from_name = to_qstring(from_->name).replace('&', "&&");

  if (mode_ == Mode::pick_related) {
    auto* label = new QLabel("&Related topic of '" + from_name + "' to unrelate:");
    label->setTextFormat(Qt::PlainText);
    related_ = new QListWidget;
    related_->setObjectName("relation_related");
    label->setBuddy(related_);
    for (const Related_topic& r : Topic_store::shared().related_topics(from_->concept_id)) {
      auto* item = new QListWidgetItem(
          to_qstring(relationship_label(r.code)) + ": " + to_qstring(r.topic->name), related_);
      item->setData(Qt::UserRole, r.topic->concept_id);
    }
    related_->setCurrentRow(0);
    layout->addWidget(label);
    layout->addWidget(related_, 1);
  } else {
    if (mode_ == Mode::relate || mode_ == Mode::create) {
      name_ = new QLineEdit;
      name_->setObjectName("relation_topic_name");
      auto* label = new QLabel(mode_ == Mode::create ? "New &topic name:" : "Related &topic:");
      label->setBuddy(name_);
      layout->addWidget(label);
      layout->addWidget(name_);
    }
    QString to_name =
        to_ ? "'" + to_qstring(to_->name).replace('&', "&&") + "'"
            : QString(mode_ == Mode::create ? "the new topic" : "the topic named above");
    auto* label = new QLabel("&Relationship from '" + from_name + "' to " + to_name + ":");
    label->setTextFormat(Qt::PlainText);
    relations_ = new QListWidget;
    relations_->setObjectName("relation_labels");
    label->setBuddy(relations_);
    for (const Relationship& r : relationships) {
      auto* item = new QListWidgetItem(ui_text(r.label_id), relations_);
      item->setData(Qt::UserRole, QString::fromUtf8(r.code));
    }
    Ref_string current = kDefault_code;
    if (to_)
      for (const Related_topic& r : Topic_store::shared().related_topics(from_->concept_id))
        if (r.topic->concept_id == to_->concept_id) current = r.code;
    set_code(current);
    layout->addWidget(label);
    layout->addWidget(relations_, 1);
  }
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  layout->addWidget(buttons);
  resize(360, 340);
}

Ref_string CSelectRelationDialog::code() const {
  if (!relations_ || !relations_->currentItem()) return {};
  return to_ref(relations_->currentItem()->data(Qt::UserRole).toString());
}

void CSelectRelationDialog::set_code(const Ref_string& code) {
  if (!relations_) return;
  for (int r = 0; r < relations_->count(); ++r)
    if (relations_->item(r)->data(Qt::UserRole).toString() == to_qstring(code))
      relations_->setCurrentRow(r);
}

bool CSelectRelationDialog::apply() {
  Topic_store& store = Topic_store::shared();
  if (mode_ == Mode::pick_related) {
    QListWidgetItem* item = related_->currentItem();
    if (!item) return false;
    other_ = store.topic(item->data(Qt::UserRole).toInt());
    return other_ && store.unrelate(from_->concept_id, other_->concept_id);
  }
  const Ref_string chosen = code();
  if (chosen.empty()) return false;
  if (mode_ == Mode::change) {
    other_ = to_;
    return store.relate(from_->concept_id, to_->concept_id, chosen);
  }
  const QString name = name_->text().trimmed();
  if (name.isEmpty()) {
    tell_(ui_text(10132));
    return false;
  }
  if (over_field_limit(name)) {
    tell_(ui_text(18048));
    return false;
  }
  Ref_list<Topic_handle> named = store.topics_named(to_ref(name));
  Topic_handle other = named.empty() ? Topic_handle() : named.first();
  if (other && other->concept_id == from_->concept_id) {
    tell_("A topic cannot be related to itself.");
    return false;
  }
  if (!other && mode_ == Mode::relate) {
    tell_("There is no topic named '" + name + "'.");
    return false;
  }
  bool made = false;
  if (!other) {
    other = store.add_topic(to_ref(name));
    if (!other) return false;
    other->is_user_topic = 1;
    other->time_last_modified = Db_date::at(platform::now());
    if (!store.save_topic(*other)) {
      store.delete_topic(other->concept_id);
      return false;
    }
    made = true;
  }
  if (!store.relate(from_->concept_id, other->concept_id, chosen)) {
    if (made) store.delete_topic(other->concept_id);
    return false;
  }
  other_ = other;
  return true;
}

void CSelectRelationDialog::accept() {
  if (apply()) QDialog::accept();
}

}  // namespace orvalis::ui
