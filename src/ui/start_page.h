// CStartPage is what the main window shows while no database is open: the program's name and
// icon, buttons for a new and an existing database, and the recently used databases, each a
// button that opens it.
// Owner: the main window. Thread: the user-interface thread.
#pragma once

#include <QStringList>
#include <QWidget>

class QVBoxLayout;

namespace orvalis::ui {

class CStartPage : public QWidget {
  Q_OBJECT
 public:
  explicit CStartPage(QWidget* parent = nullptr);
  // Shows these databases (full paths, most recent first) as the recent list.
  void set_recent(const QStringList& paths);

 signals:
  void new_database();
  void open_database();
  void open_recent(const QString& path);

 private:
  QVBoxLayout* recent_;
  QWidget* recent_heading_;
};

}  // namespace orvalis::ui
