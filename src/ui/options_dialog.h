// "Orvalis Options": the pages Network (proxy, time-out, number of connections), Browser (the
// browser's executable), Search resources (the list, editing and deleting one, and whether
// engines' advertisements are shown) and Page copies (what is kept of each page read, and the
// space the copies may take). OK checks every page, puts the values in the settings cache and
// writes the editable settings back (save_settings).
// Owner: the main window, for one exec(). Thread: the user-interface thread.
// REQUIRES: the settings store is open.
#pragma once

#include <QDialog>
#include <functional>

class QCheckBox;
class QComboBox;
class QLineEdit;
class QHBoxLayout;
class QListWidget;
class QSpinBox;

namespace orvalis::ui {

struct Network_page_values {
  bool proxy = false;
  QString host;
  QString port;
  int timeout = 60;
  int connections = 8;
};

// The refusal for the Network page's values, or an empty text when they are accepted.
QString check_network_page(const Network_page_values& v);
// The browser's name for remote control: the executable's file name up to its first ".",
// in lower case ("NETSCAPE.EXE" gives "netscape").
QString browser_service_name(const QString& executable);

class COptionsDialog : public QDialog {
  Q_OBJECT
 public:
  using Ask = std::function<bool(const QString&)>;
  using Tell = std::function<void(const QString&)>;
  COptionsDialog(Ask ask, Tell tell, QWidget* parent = nullptr);

  Network_page_values network_values() const;
  void set_network_values(const Network_page_values& v);
  QLineEdit* browser_path() const { return browser_; }
  QListWidget* resources() const { return resources_; }
  // The Page copies page: the KeepPageCopies word shown (Yes, TextOnly or No) and the limit in MB.
  QComboBox* copies() const { return copies_; }
  QSpinBox* copy_limit() const { return copy_limit_; }
  // Checks the pages and stores the settings; false (nothing stored) when a page refuses.
  bool apply();
  void accept() override;
  // Offers "&Add..." on the search resources page: `capture` captures a new engine and gives
  // its name (empty when none was stored).
  void offer_capture(std::function<QString()> capture);

 private:
  void edit_resource();
  void delete_resource();
  // A path set on the Browser page that names no readable file is cleared, with the notice.
  void check_browser();

  Ask ask_;
  Tell tell_;
  QCheckBox* proxy_;
  QLineEdit* host_;
  QLineEdit* port_;
  QSpinBox* timeout_;
  QSpinBox* connections_;
  QLineEdit* browser_;
  QString checked_browser_;  // the last path that passed check_browser
  QListWidget* resources_;
  QHBoxLayout* resource_buttons_ = nullptr;
  QCheckBox* show_ads_;
  QComboBox* copies_;
  QSpinBox* copy_limit_;
};

}  // namespace orvalis::ui
