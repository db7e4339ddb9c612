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
#include "foundation/settings.h"
#include "reports/detail_pages.h"
#include "platform/clock.h"
#include "platform/message_sink.h"
#include "platform/registry_store.h"
#include "reports/topic_index.h"
#include "ui/capture_dialog.h"
#include "ui/child_frame.h"
#include "ui/due_tasks_dialog.h"
#include "ui/find_dialog.h"
#include "ui/list_printer.h"
#include "ui/options_dialog.h"
#include "ui/properties_dialog.h"
#include "ui/welcome_dialog.h"
#include "ui/item_list_model.h"
#include "ui/ui_text.h"

namespace orvalis::ui {

namespace {

constexpr int kAgent_timer_ms = 1000;  // the agent tick's timer (id 222)
constexpr int kRecent_files = 4;
constexpr int kField_limit = 255;

QString qs(const Ref_string& s) { return QString::fromUtf8(s.c_str(), s.length()); }
QString qs(const std::string& s) { return QString::fromStdString(s); }
Ref_string rs(const QString& s) { return Ref_string(std::string_view(s.toStdString())); }

std::string recent_entry(int i) { return "Recent File " + std::to_string(i + 1); }

// The commands of each tool bar, in order (0: a separator).
constexpr int kControls_bar[] = {cmd_file_new, cmd_file_open, 0, cmd_cut, cmd_copy, cmd_paste,
                                 cmd_delete, 0, cmd_properties, cmd_find, cmd_view_in_browser,
                                 0, cmd_print, cmd_about};
constexpr int kTasks_bar[] = {cmd_new_topic_wizard, cmd_search_web, cmd_summarize,
                              cmd_follow_links, cmd_organize, cmd_schedule_tasks, 0,
                              cmd_stop_all_tasks};

}  // namespace

CMainFrame::CMainFrame(Agent_link* agent, QWidget* parent) : QMainWindow(parent), agent_(agent) {
  if (!agent_) {
    own_agent_ = std::make_unique<Idle_agent>();
    agent_ = own_agent_.get();
  }
  setWindowTitle("Orvalis");
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
  setCentralWidget(mdi_);
  connect(mdi_, &QMdiArea::subWindowActivated, this, [this] { update_commands(); });

  agent_pane_ = new QLabel;
  agent_pane_->setObjectName("agent_pane");
  statusBar()->addWidget(agent_pane_, 1);
  agent_pane_->setText(agent_text());

  make_actions();
  make_tool_bars();
  build_menus();
  connect(QApplication::clipboard(), &QClipboard::dataChanged, this, [this] { clipboard_changed(); });
  clipboard_changed();

  auto* timer = new QTimer(this);
  timer->setObjectName("timer_222");
  connect(timer, &QTimer::timeout, this, [this] { tick(); });
  timer->start(kAgent_timer_ms);
  resize(1000, 700);
  restore_placement();
}

// The window's placement: show state and the normal-position rectangle, read and written
// together.
void CMainFrame::restore_placement() {
  if (!platform::Registry_store::instance().is_open()) return;
  Ref_string bars = profile_get_string("ToolbarState", "");
  if (!bars.empty()) {
    restoreState(QByteArray::fromBase64(QByteArray(bars.c_str(), bars.length())));
    // Shown or hidden is the switches' business, not the layout's.
    controls_bar_->setVisible(actions_[cmd_controls_toolbar]->isChecked());
    tasks_bar_->setVisible(actions_[cmd_task_toolbar]->isChecked());
    quick_bar_->setVisible(actions_[cmd_quick_topics]->isChecked());
  }
  int left = profile_get_int("Left", 0), top = profile_get_int("Top", 0);
  int right = profile_get_int("Right", 0), bottom = profile_get_int("Bottom", 0);
  if (right - left < 200 || bottom - top < 150) return;  // never stored, or unusable
  setGeometry(left, top, right - left, bottom - top);
  if (profile_get_int("State", 1) == 3) setWindowState(windowState() | Qt::WindowMaximized);
}

void CMainFrame::save_placement() {
  if (!platform::Registry_store::instance().is_open()) return;
  QRect r = normalGeometry();
  profile_put_int("State", isMaximized() ? 3 : 1);
  profile_put_int("Flags", 0);
  profile_put_int("Left", r.left());
  profile_put_int("Top", r.top());
  profile_put_int("Right", r.right() + 1);
  profile_put_int("Bottom", r.bottom() + 1);
  std::string bars = saveState().toBase64().toStdString();
  profile_put_string("ToolbarState", Ref_string(std::string_view(bars)));
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

void CMainFrame::make_actions() {
  static const int ids[] = {
      cmd_organize, cmd_delete, cmd_view_in_browser, cmd_search_web, cmd_summarize,
      cmd_properties, cmd_select_relation, cmd_create_related_topic, cmd_follow_links,
      cmd_delete_relation, cmd_schedule_tasks, cmd_view_scheduled, cmd_find,
      cmd_new_topic_wizard, cmd_task_toolbar, cmd_quick_topics, cmd_welcome_dialog,
      cmd_add_document, cmd_options, cmd_edit_search_resources, cmd_stop_all_tasks,
      cmd_file_new, cmd_file_open, cmd_file_close, cmd_print_setup, cmd_print,
      cmd_print_preview, cmd_copy, cmd_cut, cmd_paste, cmd_new_window, cmd_arrange, cmd_cascade,
      cmd_tile, cmd_about, cmd_exit, cmd_help_contents, cmd_controls_toolbar, cmd_status_bar,
      cmd_import, cmd_compact};
  for (int id : ids) {
    const Command_info* info = command_info(id);
    auto* a = new QAction(QString::fromUtf8(info->label), this);
    a->setObjectName(QStringLiteral("command_%1").arg(id));
    a->setData(id);
    QString prompt = command_prompt(*info);
    a->setStatusTip(prompt_status(prompt));
    if (!prompt_tip(prompt).isEmpty()) a->setToolTip(prompt_tip(prompt));
    connect(a, &QAction::triggered, this, [this, id] { run_command(id); });
    actions_[id] = a;
  }
  QStyle* s = style();
  actions_[cmd_file_new]->setIcon(s->standardIcon(QStyle::SP_FileIcon));
  actions_[cmd_file_open]->setIcon(s->standardIcon(QStyle::SP_DialogOpenButton));
  actions_[cmd_delete]->setIcon(s->standardIcon(QStyle::SP_TrashIcon));
  actions_[cmd_delete]->setShortcut(QKeySequence::Delete);
  actions_[cmd_view_in_browser]->setIcon(s->standardIcon(QStyle::SP_ComputerIcon));
  actions_[cmd_about]->setIcon(s->standardIcon(QStyle::SP_MessageBoxInformation));
  actions_[cmd_stop_all_tasks]->setIcon(s->standardIcon(QStyle::SP_BrowserStop));
  actions_[cmd_search_web]->setIcon(s->standardIcon(QStyle::SP_FileDialogContentsView));
  actions_[cmd_find]->setIcon(s->standardIcon(QStyle::SP_FileDialogDetailedView));
  actions_[cmd_properties]->setIcon(s->standardIcon(QStyle::SP_FileDialogInfoView));
  actions_[cmd_file_new]->setShortcut(QKeySequence::New);
  actions_[cmd_file_open]->setShortcut(QKeySequence::Open);
  actions_[cmd_cut]->setShortcut(QKeySequence::Cut);
  actions_[cmd_copy]->setShortcut(QKeySequence::Copy);
  actions_[cmd_paste]->setShortcut(QKeySequence::Paste);
  actions_[cmd_cut]->setIcon(QIcon::fromTheme("edit-cut"));
  actions_[cmd_copy]->setIcon(QIcon::fromTheme("edit-copy"));
  actions_[cmd_paste]->setIcon(QIcon::fromTheme("edit-paste"));
  actions_[cmd_help_contents]->setShortcut(QKeySequence::HelpContents);
  for (int id : {cmd_task_toolbar, cmd_quick_topics, cmd_welcome_dialog, cmd_controls_toolbar,
                 cmd_status_bar})
    actions_[id]->setCheckable(true);
}

void CMainFrame::make_tool_bars() {
  auto make = [this](int title_id, const char* name) {
    QToolBar* bar = addToolBar(ui_text(title_id));
    bar->setObjectName(name);
    return bar;
  };
  controls_bar_ = make(10009, "controls_bar");
  for (int id : kControls_bar) {
    if (id) controls_bar_->addAction(actions_[id]);
    else controls_bar_->addSeparator();
  }
  tasks_bar_ = make(10010, "tasks_bar");
  tasks_bar_->setToolButtonStyle(Qt::ToolButtonTextOnly);
  for (int id : kTasks_bar) {
    if (id) tasks_bar_->addAction(actions_[id]);
    else tasks_bar_->addSeparator();
  }
  addToolBarBreak();  // the Quick Topics bar on a row of its own, wide enough for its fields
  quick_bar_ = make(10011, "quick_topics_bar");
  quick_edit_ = new QLineEdit;
  quick_edit_->setObjectName("quick_topic_edit");
  quick_edit_->setPlaceholderText(ui_text(10139));
  quick_edit_->setMinimumWidth(220);
  quick_engines_ = new QComboBox;
  quick_engines_->setObjectName("quick_engines");
  quick_engines_->setMinimumWidth(160);
  auto* search = new QPushButton("Search");
  search->setObjectName("quick_search");
  quick_bar_->addWidget(quick_edit_);
  quick_bar_->addWidget(quick_engines_);
  quick_bar_->addWidget(search);
  connect(search, &QPushButton::clicked, this, [this] { quick_search(); });
  connect(quick_edit_, &QLineEdit::returnPressed, this, [this] { quick_search(); });

  // The bars' and the status bar's shown state, kept in the settings.
  struct Shown {
    QWidget* widget;
    const char* setting;
    int command;
  } shown[] = {{controls_bar_, "ShowActionBar", cmd_controls_toolbar},
               {tasks_bar_, "ShowAgentBar", cmd_task_toolbar},
               {quick_bar_, "ShowSearchBar", cmd_quick_topics},
               {statusBar(), "ShowStatusBar", cmd_status_bar}};
  bool store = platform::Registry_store::instance().is_open();
  for (const Shown& s : shown) {
    bool on = store ? profile_get_int(s.setting, 1) != 0 : true;
    s.widget->setVisible(on);
    QAction* a = actions_[s.command];
    a->setChecked(on);
    QWidget* w = s.widget;
    const char* setting = s.setting;
    connect(a, &QAction::toggled, this, [w, setting](bool v) {
      w->setVisible(v);
      if (platform::Registry_store::instance().is_open()) profile_put_int(setting, v ? 1 : 0);
    });
  }
  actions_[cmd_welcome_dialog]->setChecked(store && profile_get_int("ShowWelcomeDialog", 1) != 0);
  connect(actions_[cmd_welcome_dialog], &QAction::toggled, this, [](bool v) {
    if (platform::Registry_store::instance().is_open()) profile_put_int("ShowWelcomeDialog", v);
  });
}

void CMainFrame::build_menus() {
  QMenuBar* bar = menuBar();
  bar->clear();
  auto add = [this](QMenu* m, std::initializer_list<int> ids) {
    for (int id : ids) {
      if (id) m->addAction(actions_[id]);
      else m->addSeparator();
    }
  };
  const bool open = Database::shared().is_open();
  QMenu* file = bar->addMenu("&File");
  if (open)
    add(file, {cmd_create_related_topic, cmd_new_topic_wizard, cmd_file_close, 0, cmd_print,
               cmd_print_preview, cmd_print_setup, 0});
  else
    add(file, {cmd_file_new, cmd_file_open, cmd_import, cmd_compact, 0});
  QStringList recent = recent_files();
  for (int i = 0; i < recent.size(); ++i) {
    QAction* a = file->addAction(QStringLiteral("&%1 %2").arg(i + 1).arg(recent[i]));
    a->setObjectName(QStringLiteral("command_%1").arg(cmd_recent_file + i));
    a->setStatusTip(QString::fromUtf8(command_info(cmd_recent_file)->prompt));
    QString path = recent[i];
    connect(a, &QAction::triggered, this, [this, path] { open_database(path); });
  }
  if (!recent.isEmpty()) file->addSeparator();
  add(file, {cmd_exit});
  if (open) {
    add(bar->addMenu("&Edit"), {cmd_cut, cmd_copy, cmd_paste, cmd_delete, 0, cmd_select_relation,
                                cmd_delete_relation, 0, cmd_add_document, cmd_find, cmd_organize,
                                0, cmd_properties});
  }
  QMenu* view = bar->addMenu("&View");
  if (open) add(view, {cmd_view_in_browser, cmd_view_scheduled, 0});
  add(view, {cmd_controls_toolbar, cmd_task_toolbar, cmd_quick_topics, cmd_status_bar, 0,
             cmd_welcome_dialog});
  if (open) {
    add(bar->addMenu("&Agent"), {cmd_schedule_tasks, cmd_stop_all_tasks, 0, cmd_search_web,
                                 cmd_summarize, cmd_follow_links, 0, cmd_edit_search_resources});
    add(bar->addMenu("&Tools"), {cmd_options});
    add(bar->addMenu("&Window"), {cmd_new_window, cmd_cascade, cmd_tile, cmd_arrange});
  }
  add(bar->addMenu("&Help"), {cmd_help_contents, 0, cmd_about});
}

void CMainFrame::fill_context_menu(QMenu& menu, Selection selection) {
  // Summarize and View in Browser go by the names they have on what was clicked.
  auto label = [selection](int id) -> const char* {
    if (id == cmd_view_in_browser) return "&View in Browser";
    if (id != cmd_summarize) return nullptr;
    return selection == Selection::document ? "S&ummarize Document"
                                            : "S&ummarize Documents on Topic";
  };
  auto add = [this, &menu, &label](std::initializer_list<int> ids) {
    for (int id : ids) {
      if (!id) {
        menu.addSeparator();
      } else if (!label(id)) {
        menu.addAction(actions_[id]);
      } else {
        QAction* a = menu.addAction(QString::fromUtf8(label(id)));
        a->setObjectName(actions_[id]->objectName());
        a->setStatusTip(actions_[id]->statusTip());
        a->setEnabled(actions_[id]->isEnabled());
        connect(a, &QAction::triggered, this, [this, id] { run_command(id); });
      }
    }
  };
  if (selection == Selection::document) {
    add({cmd_summarize, cmd_follow_links, cmd_view_in_browser, 0, cmd_cut, cmd_copy, cmd_delete, 0,
         cmd_properties});
  } else {
    add({cmd_create_related_topic, cmd_select_relation, cmd_add_document, 0, cmd_search_web,
         cmd_summarize, cmd_schedule_tasks, cmd_organize, cmd_view_in_browser, 0, cmd_cut,
         cmd_copy, cmd_paste, 0, cmd_delete_relation, cmd_delete, 0, cmd_properties});
  }
}

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
    build_menus();
    update_commands();
    return false;
  }
  database_opened_at_start();
  return true;
}

void CMainFrame::database_resources_changed() {
  quick_engines_->clear();
  if (!Database::shared().is_open()) return;
  for (const auto& r : Search_resource_store().list_resources(false))
    quick_engines_->addItem(qs(r->name));
}

void CMainFrame::database_opened_at_start() {
  if (!Database::shared().is_open()) return;
  add_recent_file(qs(Database::shared().path()));
  setWindowTitle(QFileInfo(qs(Database::shared().path())).fileName() + " - Orvalis");
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
  closing_database_ = true;
  mdi_->closeAllSubWindows();
  closing_database_ = false;
  Application::instance().close_database();
  setWindowTitle("Orvalis");
  quick_engines_->clear();
  build_menus();
  update_commands();
  return true;
}

CChildFrame* CMainFrame::new_topic_window() {
  if (!Database::shared().is_open()) return nullptr;
  auto* child = new CChildFrame([this](QMenu& m, Selection s) { fill_context_menu(m, s); });
  child->set_drop_handler([this](const Transfer& t, const Drop_target& target,
                                 Qt::KeyboardModifiers m) { drop_items(t, target, m); });
  QMdiSubWindow* sub = mdi_->addSubWindow(child);
  sub->setAttribute(Qt::WA_DeleteOnClose);
  sub->installEventFilter(this);
  sub->setWindowTitle(QFileInfo(qs(Database::shared().path())).fileName());
  connect(child, &CChildFrame::selection_changed, this, [this] { update_commands(); });
  connect(child, &CChildFrame::external_address, this,
          [this](const QString& a) { open_address(a); });
  connect(child, &CChildFrame::status_text, this,
          [this](const QString& t) { statusBar()->showMessage(t, 5000); });
  // Closing the last topic window closes the database.
  connect(sub, &QObject::destroyed, this, [this] {
    if (destroying_) return;
    if (!closing_database_ && mdi_->subWindowList().isEmpty()) close_database();
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
  if (name.toUtf8().size() > kField_limit) {
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
  agent_->search_topic(t->concept_id);
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
    case cmd_find:
      find_dialog()->show();
      find_dialog()->raise();
      break;
    case cmd_cut: cut_copy(true); break;
    case cmd_copy: cut_copy(false); break;
    case cmd_paste: paste(); break;
    case cmd_help_contents: help_contents(); break;
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
  Topic_handle topic = w->current().topic;
  bool ok = false;
  QString address =
      QInputDialog::getText(this, "Add Document", "U&RL:", QLineEdit::Normal, "http://", &ok)
          .trimmed();
  if (!ok || address.isEmpty()) return;
  if (address.toUtf8().size() > kField_limit) {
    show_message(ui_text(18048));
    return;
  }
  Document_store docs;
  Document_handle d = docs.add_document(rs(address), Ref_string(), -1, -1);
  if (!d) return;
  Document_link link;  // no search resource: added by hand
  link.relevant = 1;
  if (!docs.link_document(topic->concept_id, d->url_id, link, true)) {
    show_message(ui_text(12008));
    return;
  }
  w->list_model()->refresh();
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
  QMessageBox::about(this, "About Orvalis", text);
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
