#include "ui/add_document_dialog.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QUrl>
#include <QVBoxLayout>

#include "database/database.h"
#include "database/topic_store.h"
#include "ui/dialog_fields.h"
#include "ui/ui_text.h"

namespace orvalis::ui {

CAddDocumentDialog::CAddDocumentDialog(std::int32_t topic, std::function<void(const QString&)> tell,
                                       QWidget* parent)
    : QDialog(parent), tell_(std::move(tell)) {
  setObjectName("add_document");
  setWindowTitle("Add Document");
  address_edit_ = new QLineEdit;
  address_edit_->setObjectName("document_address");
  address_edit_->setPlaceholderText("https://");
  address_edit_->setMinimumWidth(420);
  title_edit_ = new QLineEdit;
  title_edit_->setObjectName("document_title");
  title_edit_->setPlaceholderText("(the page's own title once it is summarized)");
  limit_to_field(title_edit_);
  topic_box_ = new QComboBox;
  topic_box_->setObjectName("document_topic");
  if (Database::shared().is_open()) {
    std::vector<std::pair<QString, std::int32_t>> topics;
    for (const Topic_handle& t : Topic_store::shared().topics_matching(Ref_string("")))
      topics.emplace_back(QString::fromUtf8(t->name.c_str(), t->name.length()), t->concept_id);
    std::sort(topics.begin(), topics.end(), [](const auto& a, const auto& b) {
      return QString::compare(a.first, b.first, Qt::CaseInsensitive) < 0;
    });
    for (const auto& [name, id] : topics) topic_box_->addItem(name, id);
  }
  topic_box_->setCurrentIndex(std::max(0, topic_box_->findData(topic)));
  auto* form = new QFormLayout;
  form->addRow("&Address:", address_edit_);
  form->addRow("&Title:", title_edit_);
  form->addRow("T&opic:", topic_box_);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(form);
  layout->addWidget(buttons);
}

QString CAddDocumentDialog::title() const { return title_edit_->text().trimmed(); }

std::int32_t CAddDocumentDialog::topic() const { return topic_box_->currentData().toInt(); }

QString CAddDocumentDialog::checked_address(const QString& typed, QString& why) {
  QString text = typed.trimmed();
  why.clear();
  if (over_field_limit(text)) {
    why = ui_text(18048);
    return {};
  }
  // Typed without a scheme ("example.org/page"): read as a browser reads it.
  QUrl url = text.contains("://") ? QUrl(text, QUrl::StrictMode) : QUrl::fromUserInput(text);
  const QString scheme = url.scheme().toLower();
  if (text.isEmpty() || (url.isValid() && url.host().isEmpty())) {
    why = "Please enter the document's address, such as https://example.org/page.html.";
    return {};
  }
  if (!url.isValid() || !(scheme == "http" || scheme == "https" || scheme == "ftp" || scheme == "gopher")) {
    why = "The address \"" + text + "\" cannot be fetched: it must begin with http://, https://, "
          "ftp:// or gopher://.";
    return {};
  }
  QString out = text.contains("://") ? text : url.toString();
  if (over_field_limit(out)) {
    why = ui_text(18048);
    return {};
  }
  return out;
}

void CAddDocumentDialog::accept() {
  QString why;
  QString address = checked_address(address_edit_->text(), why);
  if (address.isEmpty()) {
    if (tell_) tell_(why);
    address_edit_->setFocus();
    return;
  }
  if (topic() <= 0) {
    if (tell_) tell_(ui_text(10132));
    return;
  }
  address_ = address;
  QDialog::accept();
}

}  // namespace orvalis::ui
