#include "ui/list_printer.h"

#include <QFontMetrics>
#include <QPainter>
#include <QPrinter>
#include <QTextLayout>

namespace orvalis::ui {

namespace {

QString date_text(std::time_t when) {
  std::tm t{};
  localtime_r(&when, &t);
  char buffer[32];
  std::strftime(buffer, sizeof buffer, "Date: %m/%d/%y", &t);
  return QString::fromLatin1(buffer);
}

}  // namespace

int print_list(QPrinter& printer, const Printed_list& list) {
  QPainter p;
  if (!p.begin(&printer)) return 0;
  const QRect page = p.viewport();
  QFont body("Times New Roman", 10);
  QFont head("Times New Roman", 11, QFont::Bold);
  const int margin = page.width() / 20;
  const int width = page.width() - 2 * margin;
  int pages = 0;
  int y = 0;
  auto header = [&] {
    if (pages > 0) printer.newPage();
    ++pages;
    p.setFont(head);
    QFontMetrics m(head);
    y = margin + m.ascent();
    p.drawText(margin, y, list.topic.isEmpty() ? QString() : "Topic: " + list.topic);
    QString number = QStringLiteral("Page %1").arg(pages);
    p.drawText(margin + width - m.horizontalAdvance(number), y, number);
    y += m.height();
    p.drawText(margin, y, date_text(list.when));
    y += m.height();
    p.drawLine(margin, y, margin + width, y);
    y += m.height();
    p.setFont(body);
  };
  header();
  QFontMetrics m(body, &printer);
  for (const QString& line : list.lines) {
    QRect needed = m.boundingRect(QRect(0, 0, width, 100000), Qt::TextWordWrap, line);
    if (y + needed.height() > page.height() - margin) header();
    p.drawText(QRect(margin, y, width, needed.height()), Qt::TextWordWrap, line);
    y += needed.height() + m.height() / 3;
  }
  p.end();
  return pages;
}

}  // namespace orvalis::ui
