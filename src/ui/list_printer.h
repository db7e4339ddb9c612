// Printing of the item list: a header on every page ("Topic: <name>", "Page <n>", "Date:
// mm/dd/yy"), then the rows, one item a line with its name, address and key terms, wrapped
// to the page. Prints to any QPrinter, a PDF file included, so it works without a printer.
// Thread: the user-interface thread.
#pragma once

#include <QString>
#include <QStringList>
#include <ctime>

class QPrinter;

namespace orvalis::ui {

struct Printed_list {
  QString topic;        // the topic the list belongs to (empty for a root folder)
  QStringList lines;    // one item a line
  std::time_t when = 0; // the date in the header
};

// Prints the list; returns the number of pages printed (0 when the printer failed).
int print_list(QPrinter& printer, const Printed_list& list);

}  // namespace orvalis::ui
