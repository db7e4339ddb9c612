// The main window's commands as actions (label, icon, shortcut, prompts), its tool bars, menus
// and context menus, the Window menu's list of topic windows, the settings the frame keeps
// (bars shown, tool bar layout, placement) and its title.
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QEvent>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QStatusBar>
#include <QStatusTipEvent>
#include <QTimer>
#include <QToolBar>

#include "database/database.h"
#include "foundation/settings.h"
#include "platform/registry_store.h"
#include "ui/child_frame.h"
#include "ui/main_frame.h"
#include "ui/ui_icons.h"
#include "ui/ui_text.h"

namespace orvalis::ui {

namespace {

// The commands of each tool bar, in order (0: a separator).
constexpr int kControls_bar[] = {cmd_file_new, cmd_file_open, 0, cmd_cut, cmd_copy, cmd_paste,
                                 cmd_delete, 0, cmd_properties, cmd_find, cmd_view_in_browser,
                                 0, cmd_print, cmd_about};
constexpr int kTasks_bar[] = {cmd_new_topic_wizard, cmd_search_web, cmd_summarize,
                              cmd_follow_links, cmd_organize, cmd_schedule_tasks, 0,
                              cmd_stop_all_tasks};

// The standard shortcuts, shown in the menus.
struct Shortcut {
  int id;
  QKeySequence::StandardKey key;
};
constexpr Shortcut kShortcuts[] = {
    {cmd_file_new, QKeySequence::New},     {cmd_file_open, QKeySequence::Open},
    {cmd_file_close, QKeySequence::Close}, {cmd_print, QKeySequence::Print},
    {cmd_find, QKeySequence::Find},        {cmd_delete, QKeySequence::Delete},
    {cmd_exit, QKeySequence::Quit},        {cmd_cut, QKeySequence::Cut},
    {cmd_copy, QKeySequence::Copy},        {cmd_paste, QKeySequence::Paste},
    {cmd_help_contents, QKeySequence::HelpContents},
};

// The shown state of each bar, kept in the settings.
struct Shown_setting {
  const char* setting;
  int command;
};
constexpr Shown_setting kShown[] = {{"ShowActionBar", cmd_controls_toolbar},
                                    {"ShowAgentBar", cmd_task_toolbar},
                                    {"ShowSearchBar", cmd_quick_topics},
                                    {"ShowStatusBar", cmd_status_bar}};

bool store_open() { return platform::Registry_store::instance().is_open(); }

}  // namespace

void CMainFrame::make_actions() {
  static const int ids[] = {
      cmd_organize, cmd_delete, cmd_view_in_browser, cmd_search_web, cmd_summarize,
      cmd_properties, cmd_select_relation, cmd_create_related_topic, cmd_follow_links,
      cmd_delete_relation, cmd_schedule_tasks, cmd_view_scheduled, cmd_find,
      cmd_new_topic_wizard, cmd_task_toolbar, cmd_quick_topics, cmd_welcome_dialog,
      cmd_add_document, cmd_options, cmd_edit_search_resources, cmd_stop_all_tasks,
      cmd_file_new, cmd_file_open, cmd_file_close, cmd_print_setup, cmd_print,
      cmd_print_preview, cmd_copy, cmd_cut, cmd_paste, cmd_new_window, cmd_arrange, cmd_cascade,
      cmd_tile, cmd_about, cmd_exit, cmd_help_contents, cmd_tutorial, cmd_controls_toolbar,
      cmd_status_bar, cmd_import, cmd_compact, cmd_export_topics, cmd_import_topics,
      cmd_open_saved_copy};
  for (int id : ids) {
    const Command_info* info = command_info(id);
    auto* a = new QAction(QString::fromUtf8(info->label), this);
    a->setObjectName(QStringLiteral("command_%1").arg(id));
    a->setData(id);
    a->setIcon(command_icon(id));
    QString prompt = command_prompt(*info);
    a->setStatusTip(prompt_status(prompt));
    if (!prompt_tip(prompt).isEmpty()) a->setToolTip(prompt_tip(prompt));
    a->setShortcutVisibleInContextMenu(true);
    connect(a, &QAction::triggered, this, [this, id] { run_command(id); });
    actions_[id] = a;
  }
  for (const Shortcut& s : kShortcuts) actions_[s.id]->setShortcut(s.key);
  for (int id : {cmd_task_toolbar, cmd_quick_topics, cmd_welcome_dialog, cmd_controls_toolbar,
                 cmd_status_bar})
    actions_[id]->setCheckable(true);
}

void CMainFrame::make_tool_bars() {
  auto make = [this](int title_id, const char* name, const int* ids, std::size_t n) {
    QToolBar* bar = addToolBar(ui_text(title_id));
    bar->setObjectName(name);
    for (std::size_t i = 0; i < n; ++i) {
      if (ids[i]) bar->addAction(actions_[ids[i]]);
      else bar->addSeparator();
    }
    return bar;
  };
  controls_bar_ = make(10009, "controls_bar", kControls_bar, std::size(kControls_bar));
  tasks_bar_ = make(10010, "tasks_bar", kTasks_bar, std::size(kTasks_bar));
  addToolBarBreak();  // the Quick Topics bar on a row of its own, wide enough for its fields
  quick_bar_ = make(10011, "quick_topics_bar", nullptr, 0);
  quick_edit_ = new QLineEdit;
  quick_edit_->setObjectName("quick_topic_edit");
  quick_edit_->setPlaceholderText(ui_text(10139));
  quick_edit_->setMinimumWidth(220);
  quick_engines_ = new QComboBox;
  quick_engines_->setObjectName("quick_engines");
  quick_engines_->setMinimumWidth(160);
  quick_engines_->setSizeAdjustPolicy(QComboBox::AdjustToContents);
  auto* search = new QPushButton(command_icon(cmd_search_web), "Search");
  search->setObjectName("quick_search");
  quick_bar_->addWidget(quick_edit_);
  quick_bar_->addWidget(quick_engines_);
  quick_bar_->addWidget(search);
  connect(search, &QPushButton::clicked, this, [this] { quick_search(); });
  connect(quick_edit_, &QLineEdit::returnPressed, this, [this] { quick_search(); });

  QWidget* widgets[] = {controls_bar_, tasks_bar_, quick_bar_, statusBar()};
  for (std::size_t i = 0; i < std::size(kShown); ++i) {
    QAction* a = actions_[kShown[i].command];
    a->setChecked(true);
    QWidget* w = widgets[i];
    const char* setting = kShown[i].setting;
    connect(a, &QAction::toggled, this, [w, setting](bool v) {
      w->setVisible(v);
      if (store_open()) profile_put_int(setting, v ? 1 : 0);
    });
  }
  actions_[cmd_welcome_dialog]->setChecked(true);
  connect(actions_[cmd_welcome_dialog], &QAction::toggled, this, [](bool v) {
    if (store_open()) profile_put_int("ShowWelcomeDialog", v);
  });
}

void CMainFrame::apply_settings() {
  // A frame made before the settings were read takes them up when it is first shown.
  if (settings_applied_ || !store_open()) return;
  settings_applied_ = true;
  Ref_string bars = profile_get_string("ToolbarState", "");
  if (!bars.empty()) restoreState(QByteArray::fromBase64(QByteArray(bars.c_str(), bars.length())));
  // Shown or hidden is the switches' business, not the layout's.
  QWidget* widgets[] = {controls_bar_, tasks_bar_, quick_bar_, statusBar()};
  for (std::size_t i = 0; i < std::size(kShown); ++i) {
    bool on = profile_get_int(kShown[i].setting, 1) != 0;
    QSignalBlocker quiet(actions_[kShown[i].command]);
    actions_[kShown[i].command]->setChecked(on);
    widgets[i]->setVisible(on);
  }
  {
    QSignalBlocker quiet(actions_[cmd_welcome_dialog]);
    actions_[cmd_welcome_dialog]->setChecked(profile_get_int("ShowWelcomeDialog", 1) != 0);
  }
  // The recent files are known now.
  if (!Database::shared().is_open()) {
    show_start_page(true);
    build_menus();
  }
  // The placement: show state and the normal-position rectangle, read together.
  int left = profile_get_int("Left", 0), top = profile_get_int("Top", 0);
  int right = profile_get_int("Right", 0), bottom = profile_get_int("Bottom", 0);
  if (right - left < 200 || bottom - top < 150) return;  // never stored, or unusable
  setGeometry(left, top, right - left, bottom - top);
  if (profile_get_int("State", 1) == 3) setWindowState(windowState() | Qt::WindowMaximized);
}

void CMainFrame::save_placement() {
  if (!store_open() || !settings_applied_) return;
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

void CMainFrame::showEvent(QShowEvent* event) {
  apply_settings();
  QMainWindow::showEvent(event);
}

void CMainFrame::set_title(const QString& title) {
  title_ = title;
  setWindowTitle(title);
}

void CMainFrame::changeEvent(QEvent* event) {
  QMainWindow::changeEvent(event);
  // A maximized topic window would add " - [its title]": the frame's title stays its own.
  if (event->type() == QEvent::WindowTitleChange && !title_.isEmpty() && windowTitle() != title_)
    setWindowTitle(title_);
}

bool CMainFrame::event(QEvent* event) {
  // Prompts go to the message pane, so the agent's pane is never hidden by them.
  if (event->type() == QEvent::StatusTip) {
    show_status(static_cast<QStatusTipEvent*>(event)->tip());
    return true;
  }
  return QMainWindow::event(event);
}

void CMainFrame::show_status(const QString& text, int timeout_ms) {
  message_pane_->setText(text);
  if (timeout_ms > 0) message_timer_->start(timeout_ms);
  else message_timer_->stop();
}

QString CMainFrame::status_message() const { return message_pane_->text(); }

void CMainFrame::build_menus() {
  QMenuBar* bar = menuBar();
  bar->clear();
  window_menu_ = nullptr;
  auto add = [this](QMenu* m, std::initializer_list<int> ids) {
    for (int id : ids) {
      if (id) m->addAction(actions_[id]);
      else m->addSeparator();
    }
  };
  const bool open = Database::shared().is_open();
  QMenu* file = bar->addMenu("&File");
  if (open)
    add(file, {cmd_create_related_topic, cmd_new_topic_wizard, cmd_file_close, 0, cmd_export_topics,
               cmd_import_topics, 0, cmd_print, cmd_print_preview, cmd_print_setup, 0});
  else
    add(file, {cmd_file_new, cmd_file_open, cmd_import, cmd_compact, 0});
  QStringList recent = recent_files();
  for (int i = 0; i < recent.size(); ++i) {
    QString shown = recent[i];
    shown.replace('&', "&&");
    QAction* a = file->addAction(QStringLiteral("&%1 %2").arg(i + 1).arg(shown));
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
    window_menu_ = bar->addMenu("&Window");
    connect(window_menu_, &QMenu::aboutToShow, this, [this] { fill_window_menu(); });
    fill_window_menu();
  }
  add(bar->addMenu("&Help"), {cmd_help_contents, cmd_tutorial, 0, cmd_about});
}

void CMainFrame::fill_window_menu() {
  if (!window_menu_) return;
  window_menu_->clear();
  for (int id : {cmd_new_window, cmd_cascade, cmd_tile, cmd_arrange}) window_menu_->addAction(actions_[id]);
  const QList<QMdiSubWindow*> windows = mdi_->subWindowList();
  if (!windows.isEmpty()) window_menu_->addSeparator();
  for (int i = 0; i < windows.size(); ++i) {
    QMdiSubWindow* w = windows[i];
    QString title = w->windowTitle();
    title.replace('&', "&&");
    QAction* a = window_menu_->addAction(i < 9 ? QStringLiteral("&%1 %2").arg(i + 1).arg(title) : title);
    a->setObjectName("window_entry");
    a->setCheckable(true);
    a->setChecked(w == mdi_->activeSubWindow());
    connect(a, &QAction::triggered, this, [this, w] { mdi_->setActiveSubWindow(w); });
  }
}

void CMainFrame::number_topic_windows() {
  // One window shows the file's name; several are told apart as "name:1", "name:2"...
  const QList<QMdiSubWindow*> windows = mdi_->subWindowList();
  QString name = QFileInfo(QString::fromStdString(Database::shared().path())).fileName();
  for (int i = 0; i < windows.size(); ++i)
    windows[i]->setWindowTitle(windows.size() == 1 ? name : QStringLiteral("%1:%2").arg(name).arg(i + 1));
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
        QAction* a = menu.addAction(actions_[id]->icon(), QString::fromUtf8(label(id)));
        a->setObjectName(actions_[id]->objectName());
        a->setStatusTip(actions_[id]->statusTip());
        a->setEnabled(actions_[id]->isEnabled());
        connect(a, &QAction::triggered, this, [this, id] { run_command(id); });
      }
    }
  };
  if (selection == Selection::document) {
    add({cmd_summarize, cmd_follow_links, cmd_view_in_browser, cmd_open_saved_copy, 0, cmd_cut, cmd_copy,
         cmd_delete, 0, cmd_properties});
  } else {
    add({cmd_create_related_topic, cmd_select_relation, cmd_add_document, 0, cmd_search_web,
         cmd_summarize, cmd_schedule_tasks, cmd_organize, cmd_view_in_browser, 0, cmd_cut,
         cmd_copy, cmd_paste, 0, cmd_delete_relation, cmd_delete, 0, cmd_properties});
  }
}

}  // namespace orvalis::ui
