#include "ui/main_frame.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QComboBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenuBar>
#include <QMessageBox>
#include <QPageSetupDialog>
#include <QPrintDialog>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QProcess>
#include <QPushButton>
#include <QStackedWidget>
#include <QStatusBar>
#include <QStyle>
#include <QTextBrowser>
#include <QTimer>
#include <QUrl>
#include <QToolBar>
#include <QTreeView>

#include <filesystem>
#include <utility>

#include "agent/application.h"
#include "agent/browser.h"
#include "database/database.h"
#include "database/document_store.h"
#include "database/resource_definitions.h"
#include "database/schema.h"
#include "database/search_resource_store.h"
#include "database/topic_store.h"
#include "reports/saved_copy_page.h"
#include "foundation/settings.h"
#include "reports/detail_pages.h"
#include "platform/clock.h"
#include "platform/message_sink.h"
#include "platform/registry_store.h"
#include "reports/topic_index.h"
#include "ui/capture_dialog.h"
#include "ui/child_frame.h"
#include "ui/dialog_fields.h"
#include "ui/due_tasks_dialog.h"
#include "ui/find_dialog.h"
#include "ui/list_printer.h"
#include "ui/options_dialog.h"
#include "ui/properties_dialog.h"
#include "ui/welcome_dialog.h"
#include "ui/add_document_dialog.h"
#include "ui/start_page.h"
#include "ui/ui_icons.h"
#include "ui/item_list_model.h"
#include "ui/ui_text.h"

namespace orvalis::ui {

namespace {

constexpr int kAgent_timer_ms = 1000;  // the agent tick's timer (id 222)
constexpr int kRecent_files = 4;

QString qs(const Ref_string& s) { return QString::fromUtf8(s.c_str(), s.length()); }
QString qs(const std::string& s) { return QString::fromStdString(s); }
Ref_string rs(const QString& s) { return Ref_string(std::string_view(s.toStdString())); }

std::string recent_entry(int i) { return "Recent File " + std::to_string(i + 1); }

}  // namespace

CMainFrame::CMainFrame(Agent_link* agent, QWidget* parent) : QMainWindow(parent), agent_(agent) {
  if (!agent_) {
    own_agent_ = std::make_unique<Idle_agent>();
    agent_ = own_agent_.get();
  }
  set_title("Orvalis");
  setWindowIcon(program_icon());
  setObjectName("main_frame");
  ask = [this](const QString& question) {
    return QMessageBox::question(this, "Orvalis", question) == QMessageBox::Yes;
  };
  exec_dialog = [](QDialog& dialog) { return dialog.exec(); };
  choose_drop = [this](const Drop_check& check) { return drop_menu(check); };
  browse = [](const QString& address) {
    orvalis::open_address(Ref_string(std::string_view(address.toStdString())));
  };
  agent_->set_change_listener([this](const Agent_link::Change& c) { agent_changed(c); });
  mdi_ = new QMdiArea;
  mdi_->setObjectName("mdi_area");
  connect(mdi_, &QMdiArea::subWindowActivated, this, [this] { update_commands(); });
  start_page_ = new CStartPage;
  connect(start_page_, &CStartPage::new_database, this, [this] { run_command(cmd_file_new); });
  connect(start_page_, &CStartPage::open_database, this, [this] { run_command(cmd_file_open); });
  connect(start_page_, &CStartPage::open_recent, this, [this](const QString& p) { open_database(p); });
  central_ = new QStackedWidget;
  central_->addWidget(start_page_);
  central_->addWidget(mdi_);
  setCentralWidget(central_);

  // The agent's line first, then the messages; neither hides the other.
  agent_pane_ = new QLabel;
  agent_pane_->setObjectName("agent_pane");
  agent_pane_->setMinimumWidth(200);
  agent_pane_->setTextFormat(Qt::PlainText);  // task descriptions quote titles from the web
  statusBar()->addWidget(agent_pane_, 1);
  agent_pane_->setText(agent_text());
  message_pane_ = new QLabel;
  message_pane_->setObjectName("message_pane");
  statusBar()->addWidget(message_pane_, 1);
  message_timer_ = new QTimer(this);
  message_timer_->setSingleShot(true);
  connect(message_timer_, &QTimer::timeout, message_pane_, &QLabel::clear);

  make_actions();
  make_tool_bars();
  build_menus();
  connect(QApplication::clipboard(), &QClipboard::dataChanged, this, [this] { clipboard_changed(); });
  clipboard_changed();

  auto* timer = new QTimer(this);
  timer->setObjectName("timer_222");
  connect(timer, &QTimer::timeout, this, [this] { tick(); });
  timer->start(kAgent_timer_ms);
  resize(1100, 720);  // the three bars fit on two rows
  show_start_page(true);
  apply_settings();
}

void CMainFrame::show_start_page(bool on) {
  if (on) start_page_->set_recent(recent_files());
  central_->setCurrentWidget(on ? static_cast<QWidget*>(start_page_) : mdi_);
}

void CMainFrame::show_welcome_if_wanted() {
  if (!Database::shared().is_open() || !platform::Registry_store::instance().is_open()) return;
  if (profile_get_int("ShowWelcomeDialog", 1) == 0) return;
  CWelcomeDialog welcome(this);
  welcome.exec();
  actions_[cmd_welcome_dialog]->setChecked(profile_get_int("ShowWelcomeDialog", 1) != 0);
}

CFindDialog* CMainFrame::find_dialog() {
  if (!find_) find_ = new CFindDialog(this);
  return find_;
}

void CMainFrame::open_address(const QString& address) {
  // The address goes to the user's browser, started with it as its argument; without a
  // browser the start fails silently (the options are where the user picks one).
  if (!address.isEmpty() && browse) browse(address);
}

CMainFrame::~CMainFrame() {
  // The topic windows go with the frame: nothing of the frame may answer their signals then.
  destroying_ = true;
  agent_->set_change_listener(nullptr);
  delete mdi_;
}

QString CMainFrame::agent_text() const { return QString::fromStdString(agent_->status_text()); }

CChildFrame* CMainFrame::active_topic_window() const {
  QMdiSubWindow* w = mdi_->activeSubWindow();
  if (!w && !mdi_->subWindowList().isEmpty()) w = mdi_->subWindowList().last();
  return w ? qobject_cast<CChildFrame*>(w->widget()) : nullptr;
}

QAction* CMainFrame::action(int id) const {
  auto it = actions_.find(id);
  return it == actions_.end() ? nullptr : it->second;
}

void CMainFrame::update_commands() {
  if (destroying_) return;
  Command_context c;
  c.database_open = Database::shared().is_open();
  CChildFrame* w = active_topic_window();
  c.topic_window = w != nullptr;
  c.selection = w ? w->current().kind : Selection::none;
  c.agent_available = agent_->available();
  c.tasks_active = agent_->tasks_active();
  c.clipboard_items = clipboard_items_;
  for (auto& [id, a] : actions_) a->setEnabled(a->isCheckable() || command_enabled(id, c));
  quick_edit_->setEnabled(c.database_open);
  quick_engines_->setEnabled(c.database_open);
}

void CMainFrame::tick() {
  if (exchanging_) return;  // no task starts while an import or export holds the database
  agent_->tick();
  tick_status();
}

void CMainFrame::show_message(const QString& text) {
  platform::message_sink().show("Orvalis", text.toStdString());
}

QStringList CMainFrame::recent_files() const {
  QStringList out;
  if (!platform::Registry_store::instance().is_open()) return out;
  for (int i = 0; i < kRecent_files; ++i) {
    Ref_string p = profile_get_string(recent_entry(i).c_str(), "");
    if (!p.empty()) out << qs(p);
  }
  return out;
}

void CMainFrame::add_recent_file(const QString& path) {
  if (!platform::Registry_store::instance().is_open()) return;
  QString full = QFileInfo(path).absoluteFilePath();
  QStringList list = recent_files();
  list.removeAll(full);
  list.prepend(full);
  while (list.size() > kRecent_files) list.removeLast();
  for (int i = 0; i < kRecent_files; ++i)
    profile_put_string(recent_entry(i).c_str(), i < list.size() ? rs(list[i]) : Ref_string());
}

bool CMainFrame::open_database(const QString& path) {
  if (Database::shared().is_open() && !close_database()) return false;
  if (!Application::instance().open_database(rs(path))) {
    show_start_page(true);
    build_menus();
    update_commands();
    return false;
  }
  database_opened_at_start();
  return true;
}

void CMainFrame::database_resources_changed() {
  // The engines a search can use: the switched-on ones, after "All engines". The pick stays
  // when the engine is still there.
  QString picked = quick_engines_->currentIndex() > 0 ? quick_engines_->currentText() : QString();
  quick_engines_->clear();
  if (!Database::shared().is_open()) return;
  quick_engines_->addItem("All engines");
  for (const auto& r : Search_resource_store().list_resources(false))
    if (r->enabled) quick_engines_->addItem(qs(r->name));
  quick_engines_->setCurrentIndex(std::max(0, quick_engines_->findText(picked)));
}

void CMainFrame::database_opened_at_start() {
  if (!Database::shared().is_open()) return;
  index_documents_for_search(this);
  apply_settings();
  add_recent_file(qs(Database::shared().path()));
  set_title(QFileInfo(qs(Database::shared().path())).fileName() + " - Orvalis");
  show_start_page(false);
  database_resources_changed();
  build_menus();
  new_topic_window();
  update_commands();
}

bool CMainFrame::new_database(const QString& path) {
  if (Database::shared().is_open() && !close_database()) return false;
  std::error_code ec;
  std::filesystem::remove(path.toStdString(), ec);
  for (const char* suffix : {"-wal", "-shm"})
    std::filesystem::remove(path.toStdString() + suffix, ec);
  if (!create_database(rs(path))) return false;
  if (!Application::instance().open_database(rs(path))) return false;
  seed_search_resources(Ref_string(std::string_view(platform::Registry_store::instance().read("SearchResources"))));
  database_opened_at_start();
  return true;
}

bool CMainFrame::may_close_database() {
  if (find_ && find_->isVisible()) {
    show_message(ui_text(10131));
    return false;
  }
  // No keeps every task queued or running as it was.
  return agent_->tasks_active() == 0 || ask(ui_text(10021));
}

bool CMainFrame::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::Close && !destroying_)
    if (auto* sub = qobject_cast<QMdiSubWindow*>(watched))
      if (auto* child = qobject_cast<CChildFrame*>(sub->widget())) child->save_display();
  if (event->type() == QEvent::Close && !closing_database_ && !destroying_ &&
      qobject_cast<QMdiSubWindow*>(watched) && mdi_->subWindowList().size() == 1 &&
      Database::shared().is_open()) {
    if (!may_close_database()) {
      event->ignore();
      return true;
    }
    close_confirmed_ = true;
  }
  return QMainWindow::eventFilter(watched, event);
}

bool CMainFrame::close_database() {
  if (!Database::shared().is_open()) return true;
  if (!std::exchange(close_confirmed_, false) && !may_close_database()) return false;
  agent_->stop_all_tasks();
  for (QMdiSubWindow* w : mdi_->subWindowList())
    if (auto* child = qobject_cast<CChildFrame*>(w->widget()); child && w == mdi_->activeSubWindow())
      child->save_display();
  closing_database_ = true;
  mdi_->closeAllSubWindows();
  closing_database_ = false;
  Application::instance().close_database();
  set_title("Orvalis");
  quick_engines_->clear();
  show_status(QString());  // nothing of the closed database stays in the status bar
  show_start_page(true);
  build_menus();
  update_commands();
  return true;
}

CChildFrame* CMainFrame::new_topic_window() {
  if (!Database::shared().is_open()) return nullptr;
  auto* child = new CChildFrame([this](QMenu& m, Selection s) { fill_context_menu(m, s); });
  child->set_drop_handler([this](const Transfer& t, const Drop_target& target, Qt::KeyboardModifiers m,
                                 Qt::MouseButton b) { drop_items(t, target, m, b); });
  QMdiSubWindow* sub = mdi_->addSubWindow(child);
  sub->setAttribute(Qt::WA_DeleteOnClose);
  sub->installEventFilter(this);
  sub->setWindowIcon(program_icon());
  number_topic_windows();
  child->restore_display();
  connect(child, &CChildFrame::selection_changed, this, [this] { update_commands(); });
  connect(child, &CChildFrame::item_activated, this, [this, child] { open_item(child); });
  connect(child, &CChildFrame::external_address, this,
          [this](const QString& a) { open_address(a); });
  connect(child, &CChildFrame::status_text, this, [this](const QString& t) { show_status(t, 5000); });
  // Closing the last topic window closes the database.
  connect(sub, &QObject::destroyed, this, [this] {
    if (destroying_) return;
    if (!closing_database_ && mdi_->subWindowList().isEmpty()) close_database();
    else if (!closing_database_) number_topic_windows();
    update_commands();
  });
  sub->showMaximized();
  return child;
}

void CMainFrame::reload_topic_windows(std::int32_t select) {
  for (QMdiSubWindow* w : mdi_->subWindowList())
    if (auto* child = qobject_cast<CChildFrame*>(w->widget())) {
      child->reload();
      if (select) child->select_topic(select);
    }
  update_commands();
}

bool CMainFrame::quick_search() {
  if (!Database::shared().is_open()) {
    show_message(ui_text(18004));
    return false;
  }
  QString name = quick_edit_->text().trimmed();
  if (name.isEmpty()) {
    show_message(ui_text(10132));
    return false;
  }
  if (over_field_limit(name)) {
    show_message(ui_text(18048));
    return false;
  }
  Topic_store& store = Topic_store::shared();
  Topic_handle t = store.add_topic(rs(name));
  if (!t) return false;
  t->is_user_topic = 1;
  t->is_user_top_level = 1;
  t->time_last_modified = Db_date::at(platform::now());
  if (!store.save_topic(*t)) {
    store.delete_topic(t->concept_id);
    return false;
  }
  quick_edit_->clear();
  // The engine picked in the bar, or every eligible one ("All engines", the first entry).
  std::string engine;
  if (quick_engines_->currentIndex() > 0) engine = quick_engines_->currentText().toStdString();
  agent_->search_topic_on(t->concept_id, engine);
  if (!active_topic_window()) new_topic_window();
  reload_topic_windows(t->concept_id);
  return true;
}

void CMainFrame::run_command(int id) {
  switch (id) {
    case cmd_file_new: file_new(); break;
    case cmd_file_open: file_open(); break;
    case cmd_file_close: close_database(); break;
    case cmd_exit: close(); break;
    case cmd_about: about(); break;
    case cmd_new_window: new_topic_window(); break;
    case cmd_cascade: mdi_->cascadeSubWindows(); break;
    case cmd_tile: mdi_->tileSubWindows(); break;
    case cmd_arrange: mdi_->tileSubWindows(); break;
    case cmd_delete: delete_selection(); break;
    case cmd_delete_relation: delete_relation(); break;
    case cmd_add_document: add_document(); break;
    case cmd_view_in_browser: view_in_browser(); break;
    case cmd_open_saved_copy: open_saved_copy(); break;
    case cmd_properties: properties(); break;
    case cmd_print: print(false); break;
    case cmd_print_preview: print(true); break;
    case cmd_print_setup: {
      if (!printer_) printer_ = std::make_unique<QPrinter>();
      QPageSetupDialog setup(printer_.get(), this);
      setup.exec();
      break;
    }
    case cmd_options: {
      COptionsDialog options(ask, [this](const QString& t) { show_message(t); }, this);
      options.offer_capture([this] { return new_search_resource(); });
      if (options.exec() == QDialog::Accepted) database_resources_changed();
      break;
    }
    case cmd_view_scheduled: {
      Ref_string index = publish_index(Topic_store::shared().scheduled_topics(),
                                       Publish_options::from_settings());
      if (!index.empty()) open_address(QUrl::fromLocalFile(qs(index)).toString());
      break;
    }
    case cmd_search_web: search_web(); break;
    case cmd_new_topic_wizard: new_topic_wizard(); break;
    case cmd_select_relation:
    case cmd_create_related_topic: relation_command(id); break;
    case cmd_organize: organize(); break;
    case cmd_edit_search_resources: edit_search_resources(); break;
    case cmd_import: import_file(); break;
    case cmd_compact: compact_file(); break;
    case cmd_export_topics: export_topics(); break;
    case cmd_import_topics: import_topics(); break;
    case cmd_find:
      find_dialog()->show();
      find_dialog()->raise();
      break;
    case cmd_cut: cut_copy(true); break;
    case cmd_copy: cut_copy(false); break;
    case cmd_paste: paste(); break;
    case cmd_help_contents: help_contents(); break;
    case cmd_tutorial: tutorial(); break;
    case cmd_stop_all_tasks:
      agent_->stop_all_tasks();
      tick_status();
      break;
    case cmd_summarize: summarize(); break;
    case cmd_follow_links: follow_links(); break;
    case cmd_schedule_tasks: schedule_tasks(); break;
    default: break;  // the toggles act through their checked state
  }
}

void CMainFrame::file_new() {
  QString path = QFileDialog::getSaveFileName(this, ui_text(10001), QString(),
                                              "Orvalis Databases (*.ov2);;All Files (*)");
  if (path.isEmpty()) return;
  if (QFileInfo(path).suffix().isEmpty()) path += ".ov2";
  new_database(path);
}

void CMainFrame::file_open() {
  QString path = QFileDialog::getOpenFileName(this, "Open", QString(),
                                              "Orvalis Databases (*.ov2);;All Files (*)");
  if (!path.isEmpty()) open_database(path);
}

void CMainFrame::delete_selection() {
  CChildFrame* w = active_topic_window();
  if (!w) return;
  CChildFrame::Current cur = w->current();
  if (cur.kind == Selection::document && cur.topic && cur.document.document) {
    Document_store().remove_document_from_topic(cur.topic->concept_id,
                                                cur.document.document->url_id);
    w->list_model()->refresh();
    w->detail()->clear();
  } else if (cur.topic) {
    if (!ask(fill(ui_text(10133), {qs(cur.topic->name)}))) return;
    Topic_store::shared().delete_topic(cur.topic->concept_id);
    reload_topic_windows();
  }
  update_commands();
}

void CMainFrame::delete_relation() {
  CChildFrame* w = active_topic_window();
  if (!w) return;
  const CChildFrame::Current& cur = w->current();
  if (cur.kind == Selection::topic && cur.topic) {
    relation_command(cmd_delete_relation);  // the user picks which relation
    return;
  }
  if (cur.kind != Selection::related_topic || !cur.topic || !cur.parent_topic) return;
  std::int32_t keep = cur.parent_topic->concept_id;
  Topic_store::shared().unrelate(keep, cur.topic->concept_id);
  reload_topic_windows(keep);
}

void CMainFrame::add_document() {
  CChildFrame* w = active_topic_window();
  if (!w || !w->current().topic) return;
  CAddDocumentDialog dialog(w->current().topic->concept_id, [this](const QString& t) { show_message(t); },
                            this);
  if (exec_dialog(dialog) != QDialog::Accepted) return;
  Document_store docs;
  Document_handle d = docs.add_document(rs(dialog.address()), rs(dialog.title()), -1, -1);
  if (!d) return;
  Document_link link;  // no search resource: added by hand
  link.relevant = 1;
  if (!docs.link_document(dialog.topic(), d->url_id, link, true)) {
    show_message(ui_text(12008));
    return;
  }
  // The list and its count show the document at once.
  w->list_model()->refresh();
  if (w->list_model()->shown_topic()) show_status(w->list_model()->document_count_text());
}

void CMainFrame::view_in_browser() {
  CChildFrame* w = active_topic_window();
  if (!w) return;
  if (w->current().kind != Selection::document) {
    // A topic is shown as its generated page, written afresh.
    if (!w->current().topic) return;
    Ref_string page = publish_topic_page(*w->current().topic, Publish_options::from_settings());
    if (!page.empty()) open_address(QUrl::fromLocalFile(qs(page)).toString());
    return;
  }
  // With advertisements shown, the document opens framed under its engine's strip.
  const Topic_document& item = w->current().document;
  open_address(qs(document_browser_address(*item.document, item.link, Detail_options::from_settings(),
                                           Publish_options::from_settings())));
}

void CMainFrame::open_saved_copy() {
  CChildFrame* w = active_topic_window();
  if (!w || w->current().kind != Selection::document || !w->current().document.document) return;
  const Document& d = *w->current().document.document;
  std::string error;
  const std::string page = write_saved_copy_page(d, Publish_options::from_settings(), error);
  if (page.empty()) {
    if (!error.empty() && error.back() != '.') error += '.';
    show_message(QString::fromStdString(error));
    return;
  }
  open_address(QUrl::fromLocalFile(QString::fromStdString(page)).toString());
}

void CMainFrame::search_web() {
  CChildFrame* w = active_topic_window();
  if (w && w->current().topic) agent_->search_topic(w->current().topic->concept_id);
  tick_status();
}

void CMainFrame::properties() {
  CChildFrame* w = active_topic_window();
  if (!w) return;
  CChildFrame::Current cur = w->current();
  if (cur.kind == Selection::document && cur.document.document) {
    CDocumentProperties d(cur.document, this);
    if (d.exec() == QDialog::Accepted) w->list_model()->refresh();
  } else if (cur.topic) {
    CTopicProperties d(cur.topic, [this](const QString& t) { show_message(t); }, this);
    if (d.exec() == QDialog::Accepted) {
      agent_->schedules_changed(cur.topic->concept_id);
      reload_topic_windows(cur.topic->concept_id);
    }
  }
}

Printed_list CMainFrame::printed_list() const {
  Printed_list out;
  out.when = static_cast<std::time_t>(platform::now());
  CChildFrame* w = active_topic_window();
  if (!w) return out;
  Item_list_model* m = w->list_model();
  if (m->shown_topic()) out.topic = qs(m->shown_topic()->name);
  for (int r = 0; r < m->rowCount(); ++r) {
    QString line = m->index(r, Item_list_model::name).data().toString();
    QString address = m->index(r, Item_list_model::address).data().toString();
    QString keywords = m->index(r, Item_list_model::keywords).data().toString();
    if (!address.isEmpty()) line += "  " + address;
    if (!keywords.isEmpty()) line += "  (" + keywords + ")";
    out.lines << line;
  }
  return out;
}

void CMainFrame::print(bool preview) {
  if (!printer_) printer_ = std::make_unique<QPrinter>();
  Printed_list list = printed_list();
  if (preview) {
    QPrintPreviewDialog dialog(printer_.get(), this);
    connect(&dialog, &QPrintPreviewDialog::paintRequested, this,
            [&list](QPrinter* p) { print_list(*p, list); });
    dialog.exec();
    return;
  }
  QPrintDialog dialog(printer_.get(), this);
  if (dialog.exec() == QDialog::Accepted) print_list(*printer_, list);
}

void CMainFrame::about() {
  QString db = ui_text(10234);
  platform::Registry_store& store = platform::Registry_store::instance();
  db.replace("%s", qs(store.is_open() ? store.read("DBVersion") : std::string("0")));
  QString text = ui_text(12020);
  text.replace("\r\n", "\n");
  qsizetype first = text.indexOf("%s");
  if (first >= 0) text.replace(first, 2, QString::fromStdString(Application::version_label()));
  qsizetype second = text.indexOf("%s");
  if (second >= 0) text.replace(second, 2, db);
  QMessageBox box(QMessageBox::NoIcon, "About Orvalis", text, QMessageBox::Ok, this);
  box.setIconPixmap(program_icon().pixmap(64, 64));
  box.setObjectName("about");
  exec_dialog(box);
}

void CMainFrame::closeEvent(QCloseEvent* event) {
  if (!close_database()) {
    event->ignore();
    return;
  }
  save_placement();
  event->accept();
}

// ---- The agent's commands and what the agent changes ----

void CMainFrame::summarize() {
  CChildFrame* w = active_topic_window();
  if (!w) return;
  const CChildFrame::Current& cur = w->current();
  if (cur.kind == Selection::document && cur.document.document)
    agent_->summarize_document(cur.document.document->url_id,
                               cur.topic ? cur.topic->concept_id : 0);
  else if (cur.topic)
    agent_->summarize_topic(cur.topic->concept_id);
  tick_status();
}

void CMainFrame::follow_links() {
  CChildFrame* w = active_topic_window();
  if (!w) return;
  const CChildFrame::Current& cur = w->current();
  if (cur.kind != Selection::document || !cur.document.document || !cur.topic) return;
  agent_->follow_links(cur.document.document->url_id, cur.topic->concept_id, 1);
  tick_status();
}

void CMainFrame::schedule_tasks() {
  CChildFrame* w = active_topic_window();
  if (!w || !w->current().topic) return;
  Topic_handle topic = w->current().topic;
  CTopicProperties d(topic, [this](const QString& t) { show_message(t); }, this);
  d.show_agent_page();
  if (exec_dialog(d) != QDialog::Accepted) return;
  agent_->schedules_changed(topic->concept_id);
  reload_topic_windows(topic->concept_id);
}

void CMainFrame::show_due_tasks() {
  std::vector<std::string> due = agent_->due_tasks();
  if (due.empty()) return;
  QStringList tasks;
  for (const std::string& t : due) tasks << qs(t);
  CDueTasksDialog dialog(tasks, this);
  // Cancel runs none; the topics' last times have moved all the same.
  agent_->run_due_tasks(exec_dialog(dialog) == QDialog::Accepted ? dialog.chosen() : std::vector<int>{});
  tick_status();
}

QString CMainFrame::new_search_resource() {
  if (!Database::shared().is_open()) {
    show_message(ui_text(18004));
    return {};
  }
  Capture_ui ui;
  ui.exec = exec_dialog;
  ui.show_message = [this](const QString& t) { show_message(t); };
  QString name = capture_search_engine(this, ui);
  if (!name.isEmpty()) database_resources_changed();
  return name;
}

void CMainFrame::tick_status() {
  // Following links stores what it finds as it goes: the window says it is busy meanwhile.
  if (bool busy = agent_->following_links(); busy != busy_cursor_) {
    busy_cursor_ = busy;
    if (busy) setCursor(Qt::BusyCursor);
    else unsetCursor();
  }
  QString text = agent_text();
  if (text != agent_pane_->text()) {
    agent_pane_->setText(text);
    emit agent_text_changed(text);
  }
  update_commands();
}

void CMainFrame::agent_changed(const Agent_link::Change& change) {
  if (change.url_id > 0) changed_documents_.insert(change.url_id);
  else if (change.concept_id > 0) changed_topics_.insert(change.concept_id);
  if (change.url_id < 0) changed_tree_ = true;
  if (changes_pending_) return;
  changes_pending_ = true;
  QTimer::singleShot(0, this, [this] { show_agent_changes(); });
}

void CMainFrame::show_agent_changes() {
  changes_pending_ = false;
  std::set<std::int32_t> topics, documents;
  topics.swap(changed_topics_);
  documents.swap(changed_documents_);
  bool tree = std::exchange(changed_tree_, false);
  if (destroying_ || !Database::shared().is_open()) return;
  for (QMdiSubWindow* w : mdi_->subWindowList())
    if (auto* child = qobject_cast<CChildFrame*>(w->widget()))
      child->agent_changed(topics, documents, tree);
}

}  // namespace orvalis::ui
