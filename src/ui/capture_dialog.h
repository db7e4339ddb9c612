// Capturing a new search engine from the window: the New Search Resource dialog (name, form
// address, category, username, password), the progress dialog that follows the capture from
// fetching the form to the browser's submission, and capture_search_engine, which runs the two
// until a resource is stored or the user gives up. The capture's own work (the checks, the
// fetch and rewrite, the listener and the stored resource) is the agent's; these dialogs only
// ask, start, watch and end it.
// Owner: the caller, for one exec(). Thread: the user-interface thread.
// REQUIRES: the settings are loaded; the agent tick runs (the main window's timer), so the
// capture's fetch starts while the progress dialog is up.
#pragma once

#include <QDialog>
#include <QString>
#include <functional>

#include "agent/capture.h"
#include "agent/capture_task.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QTimer;

namespace orvalis::ui {

class CNewSearchResource : public QDialog {
  Q_OBJECT
 public:
  explicit CNewSearchResource(const Capture_request& values, QWidget* parent = nullptr);
  Capture_request request() const;
  QLineEdit* name_edit() const { return name_; }
  QLineEdit* address_edit() const { return address_; }
  QComboBox* category_box() const { return category_; }
  QLineEdit* user_edit() const { return user_; }
  QLineEdit* password_edit() const { return password_; }

 private:
  QLineEdit* name_;
  QLineEdit* address_;
  QComboBox* category_;
  QLineEdit* user_;
  QLineEdit* password_;
};

// Shows the capture's progress text every second; ends with OK once the submission has been
// taken, with Cancel after telling why the form could not be had (or when the user cancels).
class CCaptureProgress : public QDialog {
  Q_OBJECT
 public:
  CCaptureProgress(Resource_capture_handle capture, Capture_task_handle task,
                   std::function<void(const QString&)> show_message, QWidget* parent = nullptr);
  const Capture_task_handle& task() const { return task_; }
  QString text() const;
  // One look at the capture (the timer's work).
  void check();

 private:
  Resource_capture_handle capture_;
  Capture_task_handle task_;
  std::function<void(const QString&)> show_message_;
  QLabel* text_;
  QTimer* timer_;
};

// How capture_search_engine shows its dialogs and messages (tests answer them).
struct Capture_ui {
  std::function<int(QDialog&)> exec = [](QDialog& d) { return d.exec(); };
  std::function<void(const QString&)> show_message;
};

// Asks for the resource, checks it, starts the listener and the capture and shows the
// progress until it ends; a refused or failed capture asks again with the values kept. Returns
// the stored resource's name, or an empty string when the user cancelled.
QString capture_search_engine(QWidget* parent, const Capture_ui& ui, Capture_request values = {});

}  // namespace orvalis::ui
