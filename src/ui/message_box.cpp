#include "ui/message_box.h"

#include <QMessageBox>

namespace orvalis::ui {

void Qt_message_sink::show(const std::string& title, const std::string& text) {
  // Messages quote titles, names and addresses from the web: shown as typed, never as markup.
  QMessageBox box(title == "Error" ? QMessageBox::Critical : QMessageBox::Information,
                  QString::fromStdString(title), QString::fromStdString(text), QMessageBox::Ok, parent_);
  box.setTextFormat(Qt::PlainText);
  box.exec();
}

}  // namespace orvalis::ui
