#include "ui/organize_dialog.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QLabel>
#include <QListWidget>
#include <QVBoxLayout>

#include "agent/topic_organizer.h"
#include "ui/dialog_fields.h"
#include "ui/ui_text.h"

namespace orvalis::ui {

CTopicOrganization::CTopicOrganization(Topic_handle topic, std::vector<Organize_proposal> proposals,
                                       Tell tell, QWidget* parent)
    : QDialog(parent), topic_(std::move(topic)), tell_(std::move(tell)) {
  setObjectName("topic_organization");
  setWindowTitle("Topic Organization");
  list_ = new QListWidget;
  list_->setObjectName("organize_proposals");
  for (const Organize_proposal& p : proposals) {
    auto* item = new QListWidgetItem(to_qstring(p.label), list_);
    item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
    item->setCheckState(Qt::Unchecked);
    item->setToolTip(QString::number(p.count));
  }
  auto* label = new QLabel("&Select new related subtopics by which to organize:");
  label->setBuddy(list_);
  inherit_ = new QCheckBox("&New topics inherit search terms of parent topic");
  inherit_->setObjectName("organize_inherit");
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel |
                                       QDialogButtonBox::Help);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  // What the inherit box is for: the program's own tip on refining a query.
  connect(buttons, &QDialogButtonBox::helpRequested, this, [this] { tell_(ui_text(22022)); });
  auto* layout = new QVBoxLayout(this);
  auto* topic_label = new QLabel("Topic: " + to_qstring(topic_->name));
  topic_label->setTextFormat(Qt::PlainText);
  layout->addWidget(topic_label);
  layout->addWidget(label);
  layout->addWidget(list_, 1);
  layout->addWidget(inherit_);
  layout->addWidget(buttons);
  resize(380, 420);
}

std::vector<Ref_string> CTopicOrganization::checked_labels() const {
  std::vector<Ref_string> out;
  for (int r = 0; r < list_->count(); ++r)
    if (list_->item(r)->checkState() == Qt::Checked) out.push_back(to_ref(list_->item(r)->text()));
  return out;
}

void CTopicOrganization::accept() {
  std::vector<Ref_string> labels = checked_labels();
  if (!labels.empty()) {
    made_ = Topic_organizer::make_subtopics(*topic_, labels, inherit_->isChecked());
    if (made_.empty()) {  // reported; nothing changed
      QDialog::reject();
      return;
    }
  }
  QDialog::accept();
}

std::vector<Topic_handle> CTopicOrganization::organize(const Topic_handle& topic, const Exec& exec,
                                                       const Tell& tell, QWidget* parent) {
  std::vector<Organize_proposal> proposals = Topic_organizer::propose(*topic);
  if (proposals.empty()) return {};  // the organizer has said why
  CTopicOrganization dialog(topic, std::move(proposals), tell, parent);
  if (exec(dialog) != QDialog::Accepted) return {};
  return dialog.made();
}

}  // namespace orvalis::ui
