// CTopicWizard is the New Topic Wizard: four pages titled "Orvalis Topic Wizard (1 of 4)" to
// "(4 of 4)". Page 1 takes the topic's name and the category of search resources to use; page 2
// lists the typed name beside the stored topics that may be the same subject (the user's own
// and the predefined ones, marked apart) so that the user keeps the typed topic or adopts a
// stored one; page 3 takes additional keyword terms one by one and tells that the agent's
// work can be scheduled; page 4 shows the name and the query and offers the full property
// pages. Finish saves the topic as one of the user's top-level topics (a stored topic that was
// picked keeps its row and gains the terms), registers its schedules and asks the agent for an
// initial search.
//
// A topic the wizard had to store early (for the property pages) is deleted again when the
// wizard is cancelled.
// Owner: the main window, for one run. Thread: the user-interface thread.
// REQUIRES: a database is open.
#pragma once

#include <QWizard>
#include <functional>

#include "database/topic.h"

class QComboBox;
class QDialog;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;

namespace orvalis::ui {

class Agent_link;

class CTopicWizard : public QWizard {
  Q_OBJECT
 public:
  enum Page { name_page, similar_page, terms_page, finish_page };
  using Tell = std::function<void(const QString&)>;
  // Runs a dialog the wizard opens (the property pages) and returns its result.
  using Exec = std::function<int(QDialog&)>;

  CTopicWizard(Agent_link& agent, Tell tell, Exec exec, QWidget* parent = nullptr);
  ~CTopicWizard() override;

  QLineEdit* name_edit() const { return name_; }
  QComboBox* category_box() const { return category_; }
  // Page 2: the first row is the typed topic; stored topics follow under their headings.
  QListWidget* similar_list() const { return similar_; }
  QLineEdit* term_edit() const { return term_; }
  QListWidget* term_list() const { return terms_; }
  QLabel* summary() const { return summary_; }
  // Page 4's "&Topic Properties": stores the topic as it stands and opens its property pages.
  void open_properties();

  // The saved topic, after Finish.
  const Topic_handle& topic() const { return topic_; }

  bool validateCurrentPage() override;
  void initializePage(int id) override;
  void accept() override;
  void reject() override;

 private:
  void fill_similar();
  void add_term();
  // The topic the pages describe, stored (added when new); null on a database error.
  Topic_handle store_topic();
  QString chosen_name() const;

  Agent_link& agent_;
  Tell tell_;
  Exec exec_;
  QLineEdit* name_;
  QComboBox* category_;
  QListWidget* similar_;
  QLineEdit* term_;
  QListWidget* terms_;
  QLabel* summary_;
  Topic_handle picked_;  // a stored topic chosen on page 2
  Topic_handle topic_;   // the topic written by the wizard
  bool added_ = false;   // topic_ is a row the wizard added
  bool finished_ = false;
};

}  // namespace orvalis::ui
