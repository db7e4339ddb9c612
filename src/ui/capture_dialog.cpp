#include "ui/capture_dialog.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

#include "agent/task_manager.h"
#include "database/search_resource_store.h"
#include "foundation/settings.h"
#include "net/listen_connection.h"
#include "net/network.h"
#include "ui/dialog_fields.h"
#include "ui/ui_text.h"

namespace orvalis::ui {

namespace {

constexpr int kProgress_ms = 1000;

QString qs(const Ref_string& s) { return QString::fromUtf8(s.c_str(), s.length()); }
Ref_string rs(const QString& s) { return Ref_string(std::string_view(s.toStdString())); }

// Ends what is left of a capture: the listener, and the fetch wherever it stands.
void end_capture(const Network_task_handle& listener, const Capture_task_handle& task) {
  Ref_list<Network_task_handle> ours;
  if (listener) ours.append(listener);
  if (task->state() != Agent_task::done) ours.append(Network_task_handle(task.get()));
  cancel_requests(ours);
  Task_manager& manager = Task_manager::instance();
  if (task->state() == Agent_task::queued) manager.cancel(Agent_task_handle(task.get()));
  if (task->state() == Agent_task::running) manager.finish(*task);
}

}  // namespace

CNewSearchResource::CNewSearchResource(const Capture_request& values, QWidget* parent)
    : QDialog(parent) {
  setWindowTitle("New Search Resource");
  setObjectName("new_search_resource");
  name_ = new QLineEdit(qs(values.name));
  name_->setObjectName("name");
  address_ = new QLineEdit(values.form_url.empty() ? QStringLiteral("http://") : qs(values.form_url));
  address_->setObjectName("address");
  category_ = new QComboBox;
  category_->setObjectName("category");
  category_->setEditable(true);
  if (Database::shared().is_open())
    for (const Ref_string& c : Search_resource_store().list_categories())
      if (!c.empty()) category_->addItem(qs(c));
  category_->setCurrentText(qs(values.category));
  user_ = new QLineEdit(qs(values.username));
  user_->setObjectName("user");
  password_ = new QLineEdit(qs(values.password));
  password_->setObjectName("password");
  password_->setEchoMode(QLineEdit::Password);
  for (QLineEdit* e : {name_, address_, user_, password_, category_->lineEdit()}) limit_to_field(e);

  auto* form = new QFormLayout;
  form->addRow("&Name:", name_);
  form->addRow("U&RL:", address_);
  form->addRow("&Category:", category_);
  form->addRow("&Username:", user_);
  form->addRow("&Password:", password_);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(form);
  layout->addWidget(buttons);
  resize(460, height());
}

Capture_request CNewSearchResource::request() const {
  Capture_request r;
  r.name = rs(name_->text().trimmed());
  r.form_url = rs(address_->text().trimmed());
  r.category = rs(category_->currentText().trimmed());
  r.username = rs(user_->text());
  r.password = rs(password_->text());
  return r;
}

CCaptureProgress::CCaptureProgress(Resource_capture_handle capture, Capture_task_handle task,
                                   std::function<void(const QString&)> show_message,
                                   QWidget* parent)
    : QDialog(parent),
      capture_(std::move(capture)),
      task_(std::move(task)),
      show_message_(std::move(show_message)) {
  setWindowTitle(qs(task_->description()));
  setObjectName("capture_progress");
  text_ = new QLabel(ui_text(10048));
  text_->setObjectName("progress_text");
  text_->setTextFormat(Qt::PlainText);
  text_->setMinimumWidth(360);
  text_->setWordWrap(true);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Cancel);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(text_);
  connect(this, &QDialog::finished, this, [this] { timer_->stop(); });
  layout->addWidget(buttons);
  timer_ = new QTimer(this);
  connect(timer_, &QTimer::timeout, this, [this] { check(); });
  timer_->start(kProgress_ms);
}

QString CCaptureProgress::text() const { return text_->text(); }

void CCaptureProgress::check() {
  if (!timer_->isActive()) return;  // ended
  Capture_progress p = capture_progress(capture_->taken(), *task_);
  switch (p.state) {
    case Capture_progress::captured:
      timer_->stop();
      accept();
      return;
    case Capture_progress::failed:
    case Capture_progress::no_form:
      timer_->stop();
      if (show_message_) show_message_(qs(p.text));
      reject();
      return;
    case Capture_progress::retrieving:
    case Capture_progress::waiting:
      text_->setText(qs(p.text));
      return;
  }
}

QString capture_search_engine(QWidget* parent, const Capture_ui& ui, Capture_request values) {
  auto message = [&ui](const QString& text) {
    if (ui.show_message) ui.show_message(text);
  };
  for (;;) {
    CNewSearchResource dialog(values, parent);
    if (ui.exec(dialog) != QDialog::Accepted) return {};
    values = dialog.request();
    Capture_request request = values;
    Ref_string problem = check_capture_request(request, Database::shared(),
                                               Settings_cache::instance().get("BrowserPath"));
    if (!problem.empty()) {
      message(qs(problem));
      continue;
    }
    // The listener takes the browser's submission; its first taken one ends it.
    auto capture = make_counted<Resource_capture>(request);
    Capture_handler_handle handler = make_capture_handler(
        [capture](const Http_request_info& r, Ref_string& html) { return capture->take(r, html); });
    int port = 0;
    Network_task_handle listener = start_capture_listener(port, handler, true);
    if (!listener) continue;  // reported
    activate_request(listener);
    auto task = make_counted<Capture_task>(request, "localhost", port);
    Task_manager::instance().submit(task);

    CCaptureProgress progress(capture, task, message, parent);
    int ended = ui.exec(progress);
    end_capture(listener, task);
    if (ended == QDialog::Accepted && capture->taken()) {
      if (parent) parent->activateWindow();
      return qs(capture->resource()->name);
    }
  }
}

}  // namespace orvalis::ui
