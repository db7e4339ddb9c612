// CSelectRelationDialog is the "Select relationship" dialog: the relationship labels ("A kind
// of", "Has parts", "See also"...) read from one topic to another, in the order related topics
// are presented. It serves four commands:
//   change        Select Relation on a related topic: the relation from the topic above it to
//                 it is replaced (both directions, the converse stored back).
//   relate        Select Relation on a topic: the user names another stored topic and the
//                 relation from the selected topic to it.
//   create        Create Related Topic: the user names a new topic (1 to 255 characters) and
//                 the relation; an existing topic of that name is related instead of a second
//                 one being made.
//   pick_related  Delete Relation on a topic: the user picks which of its related topics to
//                 unrelate.
// OK checks the fields (refusals go to `tell`) and does the work through the topic store; the
// dialog stays open when a field is refused.
// Owner: the main window, for one run. Thread: the user-interface thread.
// REQUIRES: a database is open.
#pragma once

#include <QDialog>
#include <functional>

#include "database/topic.h"

class QLabel;
class QLineEdit;
class QListWidget;

namespace orvalis::ui {

class CSelectRelationDialog : public QDialog {
  Q_OBJECT
 public:
  enum class Mode { change, relate, create, pick_related };
  using Tell = std::function<void(const QString&)>;

  // `from` is the selected topic (change: the topic above the related one); `to` is the
  // related topic in change mode and null otherwise.
  CSelectRelationDialog(Mode mode, Topic_handle from, Topic_handle to, Tell tell,
                        QWidget* parent = nullptr);

  QListWidget* relations() const { return relations_; }
  QLineEdit* topic_edit() const { return name_; }
  QListWidget* related_list() const { return related_; }
  // The code of the chosen label ("@", "#p", ...); empty when none is chosen.
  Ref_string code() const;
  void set_code(const Ref_string& code);
  // After OK: the topic at the other end (made, named, changed or unrelated).
  const Topic_handle& other() const { return other_; }

  // Checks the fields and does the work; false (nothing changed) when refused or on an error.
  bool apply();
  void accept() override;

 private:
  Mode mode_;
  Topic_handle from_;
  Topic_handle to_;
  Tell tell_;
  QListWidget* relations_ = nullptr;
  QLineEdit* name_ = nullptr;
  QListWidget* related_ = nullptr;
  Topic_handle other_;
};

}  // namespace orvalis::ui
