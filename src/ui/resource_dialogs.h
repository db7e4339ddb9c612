// The search resource editors. CSearchResourcesDialog lists the engines of the open database
// (name, category, address) with a check box that switches each on or off at once, and opens
// CEditSearchResource on one ("&Edit...") or deletes one after asking "Delete search resource
// '%0'?" ("&Delete"). CEditSearchResource edits the fields a user may change: "&Name:", "U&RL:",
// "&Enabled", "&Category:", "&Username:", "&Password:" and the filter texts (links of the
// engine's pages that are not results). Its OK refuses what the database would refuse or could
// not store faithfully: an empty name or address, a text over 255 characters, an address that
// is not http or https, a filter text holding ",", and a name another resource already has
// (compared without regard to case, as the store finds rows). A renamed resource keeps its
// form description; the row of the old name goes.
// Owner: the main window (or the options dialog), for one run. Thread: the user-interface
// thread. REQUIRES: a database is open.
#pragma once

#include <QDialog>
#include <functional>

#include "database/search_resource.h"

class QCheckBox;
class QComboBox;
class QHBoxLayout;
class QLineEdit;
class QListWidget;
class QTreeWidget;

namespace orvalis::ui {

class CEditSearchResource : public QDialog {
  Q_OBJECT
 public:
  using Tell = std::function<void(const QString&)>;
  CEditSearchResource(Search_resource_handle resource, Tell tell, QWidget* parent = nullptr);

  QLineEdit* name_edit() const { return name_; }
  QLineEdit* url_edit() const { return url_; }
  QCheckBox* enabled_box() const { return enabled_; }
  QComboBox* category_box() const { return category_; }
  QLineEdit* username_edit() const { return username_; }
  QLineEdit* password_edit() const { return password_; }
  QLineEdit* filter_edit() const { return filter_; }
  QListWidget* filters() const { return filters_; }
  // "&Add" beside the filter list: false when the typed text is refused.
  bool add_filter();

  // Checks the fields and saves the resource; false (nothing stored) when refused.
  bool apply();
  void accept() override;
  const Search_resource_handle& resource() const { return resource_; }

 private:
  Search_resource_handle resource_;
  Tell tell_;
  QLineEdit* name_;
  QLineEdit* url_;
  QCheckBox* enabled_;
  QComboBox* category_;
  QLineEdit* username_;
  QLineEdit* password_;
  QLineEdit* filter_;
  QListWidget* filters_;
};

class CSearchResourcesDialog : public QDialog {
  Q_OBJECT
 public:
  using Tell = std::function<void(const QString&)>;
  using Ask = std::function<bool(const QString&)>;
  using Exec = std::function<int(QDialog&)>;
  enum Column { name_column, category_column, url_column, health_column };

  CSearchResourcesDialog(Ask ask, Tell tell, Exec exec, QWidget* parent = nullptr);

  QTreeWidget* list() const { return list_; }
  // Reads the resources again, keeping the current row (or selecting `select`).
  void reload(const QString& select = {});
  // The buttons' work on the current row.
  void edit_current();
  void delete_current();
  // True when something was stored since the dialog opened.
  bool changed() const { return changed_; }
  // Offers "&Add...": `capture` captures a new engine and gives its name (empty when none
  // was stored).
  void offer_capture(std::function<QString()> capture);

 private:
  void enabled_toggled(int row, bool on);

  Ask ask_;
  Tell tell_;
  Exec exec_;
  QTreeWidget* list_;
  QHBoxLayout* buttons_ = nullptr;
  bool filling_ = false;
  bool changed_ = false;
};

}  // namespace orvalis::ui
