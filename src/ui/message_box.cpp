#include "ui/message_box.h"

#include <QMessageBox>

namespace orvalis::ui {

void Qt_message_sink::show(const std::string& title, const std::string& text) {
  QString t = QString::fromStdString(title), m = QString::fromStdString(text);
  if (title == "Error")
    QMessageBox::critical(parent_, t, m);
  else
    QMessageBox::information(parent_, t, m);
}

}  // namespace orvalis::ui
