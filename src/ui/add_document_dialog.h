// CAddDocumentDialog adds a document by hand: its address, an optional title and the topic it
// goes to (the selected topic unless the user picks another). OK is refused, with a message,
// for an address that names no host ("http://" alone), a scheme the agent cannot fetch, or
// more than 255 characters; an address typed without a scheme is read as a browser reads it.
// Owner: the command that shows it. Thread: the user-interface thread.
#pragma once

#include <QDialog>
#include <QString>
#include <cstdint>
#include <functional>

class QComboBox;
class QLineEdit;

namespace orvalis::ui {

class CAddDocumentDialog : public QDialog {
  Q_OBJECT
 public:
  // `topic`: the topic chosen at first; `tell` shows a refusal.
  CAddDocumentDialog(std::int32_t topic, std::function<void(const QString&)> tell,
                     QWidget* parent = nullptr);

  // The checked address (after accept), its title and the chosen topic.
  QString address() const { return address_; }
  QString title() const;
  std::int32_t topic() const;

  QLineEdit* address_edit() const { return address_edit_; }
  QLineEdit* title_edit() const { return title_edit_; }
  QComboBox* topic_box() const { return topic_box_; }

  void accept() override;

  // The address as it will be stored, or empty with `why` set when it is refused.
  static QString checked_address(const QString& typed, QString& why);

 private:
  std::function<void(const QString&)> tell_;
  QLineEdit* address_edit_;
  QLineEdit* title_edit_;
  QComboBox* topic_box_;
  QString address_;
};

}  // namespace orvalis::ui
