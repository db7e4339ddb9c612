// CTopicOrganization is the "Topic Organization" dialog over the organizer's two steps: the
// proposals for a topic (labels drawn from its documents' key terms, in the organizer's order)
// as a check list under "&Select new related subtopics by which to organize:", the box "&New
// topics inherit search terms of parent topic", and OK, Cancel and Help. OK makes the checked
// proposals the topic's subtopics (Topic_organizer::make_subtopics); Cancel changes nothing.
// organize() runs the whole command: a topic without proposals gets the organizer's message
// ("Unable to organize topic. Too few documents on topic.") and no dialog.
// Owner: the main window, for one run. Thread: the user-interface thread.
// REQUIRES: a database is open.
#pragma once

#include <QDialog>
#include <functional>
#include <vector>

#include "database/topic.h"
#include "text/organizer.h"

class QCheckBox;
class QListWidget;

namespace orvalis::ui {

class CTopicOrganization : public QDialog {
  Q_OBJECT
 public:
  using Tell = std::function<void(const QString&)>;
  using Exec = std::function<int(QDialog&)>;

  CTopicOrganization(Topic_handle topic, std::vector<Organize_proposal> proposals, Tell tell,
                     QWidget* parent = nullptr);

  // Proposes, shows the dialog through `exec` and makes the subtopics; returns the new topics
  // (empty when there was nothing to propose, the user cancelled or checked nothing).
  static std::vector<Topic_handle> organize(const Topic_handle& topic, const Exec& exec,
                                            const Tell& tell, QWidget* parent);

  QListWidget* proposals() const { return list_; }
  QCheckBox* inherit() const { return inherit_; }
  // The labels checked, in the list's order.
  std::vector<Ref_string> checked_labels() const;
  const std::vector<Topic_handle>& made() const { return made_; }

  void accept() override;

 private:
  Topic_handle topic_;
  Tell tell_;
  QListWidget* list_;
  QCheckBox* inherit_;
  std::vector<Topic_handle> made_;
};

}  // namespace orvalis::ui
