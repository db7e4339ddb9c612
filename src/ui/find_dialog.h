// CFindDialog is "Find in local database": the user types a text and finds either documents or
// the topics whose name or one of whose terms holds it. Documents are found by the full-text
// index (Page_search_index: its query language, best first, each shown with its title and a
// snippet whose matched words are bold); a file without a complete index is searched the old
// way, for the documents whose address, title, extract or key terms hold the text. No hit
// shows "No matches", a query that cannot be read says why in the list. While it is open the
// database cannot be closed (the main window asks is_open()).
// Owner: the main window. Thread: the user-interface thread.
#pragma once

#include <QDialog>

class QLineEdit;
class QListWidget;
class QRadioButton;

namespace orvalis::ui {

class CFindDialog : public QDialog {
  Q_OBJECT
 public:
  explicit CFindDialog(QWidget* parent = nullptr);
  // Runs the search for `text` (documents or topics) and lists what it found.
  void find(const QString& text, bool documents);
  QListWidget* results() const { return results_; }

 private:
  bool find_indexed(const QString& text);

  QLineEdit* text_;
  QRadioButton* documents_;
  QRadioButton* topics_;
  QListWidget* results_;
};

// Indexes the documents of the open database that the search index does not cover yet, with
// a progress dialog when there is more than a moment's work; the user may stop it (what was
// indexed is kept, and the next open goes on).
void index_documents_for_search(QWidget* parent);

}  // namespace orvalis::ui
