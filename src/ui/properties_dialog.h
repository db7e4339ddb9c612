// The property pages of a topic ("Name": name, query terms, definition, category; "Agent": its
// search and summarize schedules; "Feeds": the feeds it watches, with their titles, addresses
// and when they were last read, added by address and removed) and of a
// document ("Info": what the agent learned of it; "Annotation": the user's note). OK checks
// the fields (a topic name of 1 to 255 characters, terms of at most 255) and writes the row and
// the feeds added and removed; a topic the user edits becomes one of the user's topics,
// modified now. A feed address must be an http or https address; it is looked at when added,
// and a page gives the feeds it announces (an address that cannot be reached is taken as given).
// Owner: the main window, for one exec(). Thread: the user-interface thread.
#pragma once

#include <QDialog>
#include <functional>

#include "database/document.h"
#include "database/topic.h"

class QComboBox;
class QLineEdit;
class QListWidget;
class QPlainTextEdit;
class QTabWidget;
class QTreeWidget;

namespace orvalis::ui {

class CScheduleEditor;

class CTopicProperties : public QDialog {
  Q_OBJECT
 public:
  // `refuse` shows a refusal ("Please enter a topic name." and the like).
  CTopicProperties(Topic_handle topic, std::function<void(const QString&)> refuse,
                   QWidget* parent = nullptr);
  QLineEdit* name_edit() const { return name_; }
  QListWidget* terms() const { return terms_; }
  // Checks and saves the fields; false (nothing saved) when a field is refused.
  bool apply();
  void accept() override;
  // Brings the "Agent" page (the topic's schedules) to the front.
  void show_agent_page();
  CScheduleEditor* search_schedule() const { return search_schedule_; }
  CScheduleEditor* summary_schedule() const { return summary_schedule_; }
  // The "Feeds" page: its list (title, address, last read) and the address field.
  void show_feeds_page();
  QTreeWidget* feeds() const { return feeds_; }
  QLineEdit* feed_edit() const { return new_feed_; }
  // Adds the feed typed in the field, or the feeds of the page it names, to the list (saved
  // with OK); false when nothing was added (the reason is shown).
  bool add_feed();
  // Takes the selected feed off the list (removed with OK).
  void remove_feed();

 private:
  bool save_feeds();

  Topic_handle topic_;
  QTabWidget* tabs_;
  CScheduleEditor* search_schedule_;
  CScheduleEditor* summary_schedule_;
  std::function<void(const QString&)> refuse_;
  QLineEdit* name_;
  QListWidget* terms_;
  QLineEdit* new_term_;
  QPlainTextEdit* definition_;
  QComboBox* category_;
  QWidget* feeds_page_;
  QTreeWidget* feeds_;
  QLineEdit* new_feed_;
};

class CDocumentProperties : public QDialog {
  Q_OBJECT
 public:
  CDocumentProperties(Topic_document document, QWidget* parent = nullptr);
  QPlainTextEdit* annotation() const { return annotation_; }
  // Saves the note; false on a database error (reported).
  bool apply();
  void accept() override;

 private:
  Topic_document document_;
  QPlainTextEdit* annotation_;
};

}  // namespace orvalis::ui
