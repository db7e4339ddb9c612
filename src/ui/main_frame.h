// CMainFrame is the program's main window: an MDI frame over the one open Topic database with
// the "Controls", "Tasks" and "Quick Topics" tool bars, the status bar whose first pane shows
// the agent's status line (prompts and other messages go to a pane of their own, so the
// agent's line never disappears), a start page while no database is open, the menus of the frame with and without a database, the recent-file
// list, and the one-second timer (id 222) that calls the agent tick. Every command is a
// QAction numbered and labelled from the command table; its enabled state follows the
// command's rule after each change of database, window, selection or agent.
// Owner: main() (or a test). Thread: the user-interface thread.
// The frame may be made before the settings are read (the program does so): the bars' shown
// state, their layout and the placement are then taken up when it is first shown.
// REQUIRES: Application::start() has opened the settings store before open_database is called.
#pragma once

#include <QMainWindow>
#include <QString>
#include <functional>
#include <map>
#include <memory>
#include <set>

#include "ui/agent_link.h"
#include "ui/commands.h"
#include "ui/item_transfer.h"

class QAction;
class QComboBox;
class QDialog;
class QLabel;
class QLineEdit;
class QMdiArea;
class QMenu;
class QStackedWidget;
class QPrinter;
class QTimer;
class QToolBar;

namespace orvalis::ui {

struct Printed_list;
class CChildFrame;
class CFindDialog;
class CStartPage;

class CMainFrame : public QMainWindow {
  Q_OBJECT
 public:
  // `agent` may be null: the window then runs with Idle_agent.
  explicit CMainFrame(Agent_link* agent = nullptr, QWidget* parent = nullptr);
  ~CMainFrame() override;

  // Opens the database (closing the open one) and shows a topic window over it; false when
  // it does not open (the message has been shown).
  bool open_database(const QString& path);
  // Makes a new database at `path`, seeds its search resources and opens it.
  bool new_database(const QString& path);
  // Asks when tasks run; false when the user keeps the database open.
  bool close_database();
  // Shows a topic window over the open database (the first one after opening).
  CChildFrame* new_topic_window();
  // After start-up opened a database: show it.
  void database_opened_at_start();

  // Start-up with a database open: the welcome dialog when "ShowWelcomeDialog" asks for it.
  void show_welcome_if_wanted();
  // The find dialog (made on first use).
  CFindDialog* find_dialog();

  // The Quick Topics search: adds the typed topic and submits its search. False when the
  // name was refused (the message has been shown).
  bool quick_search();

  // Runs a command as if chosen from a menu.
  void run_command(int id);
  QAction* action(int id) const;
  CChildFrame* active_topic_window() const;
  QLineEdit* quick_topic_edit() const { return quick_edit_; }
  QString agent_text() const;
  // The message pane's text (prompts, counts, links under the mouse).
  QString status_message() const;
  // Shows a message in the message pane, for `timeout_ms` (0: until the next one).
  void show_status(const QString& text, int timeout_ms = 0);
  QStringList recent_files() const;

  // What the active topic window's list prints as.
  struct Printed_list printed_list() const;

  // How the window asks a yes/no question (tests answer it themselves).
  std::function<bool(const QString&)> ask;
  // How the window runs a modal dialog of a command and gets its result (tests fill the
  // dialog in and close it themselves).
  std::function<int(QDialog&)> exec_dialog;
  // How a drop asks for Move, Copy or Merge: the command chosen, 0 for none (the drop menu at
  // the mouse unless a test answers).
  std::function<int(const Drop_check&)> choose_drop;
  // Where an address goes to be shown: the user's browser unless a test looks at it.
  std::function<void(const QString&)> browse;

  // A drop of `transfer` on `target` made with `button`: with the right button the drop menu
  // asks; with the left, Ctrl copies, Shift moves, and otherwise a document is added to the
  // topic or a topic related to it at once (the menu asks only where that means nothing).
  void drop_items(const Transfer& transfer, const Drop_target& target,
                  Qt::KeyboardModifiers modifiers, Qt::MouseButton button = Qt::LeftButton);
  // The context menu of a topic or a document.
  void fill_context_menu(QMenu& menu, Selection selection);

  // After start-up: the tasks found due while the program was not running, offered to run.
  void show_due_tasks();
  // Captures a new search engine through the user's browser; the stored resource's name, or
  // empty when the user gave up.
  QString new_search_resource();

 signals:
  // The agent's status line changed (the first pane of the status bar shows it).
  void agent_text_changed(const QString& text);

 protected:
  void closeEvent(QCloseEvent* event) override;
  void showEvent(QShowEvent* event) override;
  void changeEvent(QEvent* event) override;
  bool event(QEvent* event) override;
  // Closing the last topic window closes the database: the same checks come first.
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void make_actions();
  // The bars' shown state, their layout, the welcome switch and the placement, from the
  // settings, once the settings store is open.
  void apply_settings();
  void set_title(const QString& title);
  void fill_window_menu();
  void number_topic_windows();
  // What the central area shows: the start page, or the topic windows.
  void show_start_page(bool on);
  // A double-click on a list item: a document is opened (detail page or browser, by
  // ViewerType), a topic is selected in its window.
  void open_item(CChildFrame* window);
  void make_tool_bars();
  void build_menus();
  void update_commands();
  void tick();
  // The checks before the database closes: not while the find dialog is open; with tasks
  // active only when the user agrees to stop them.
  bool may_close_database();
  // The agent pane and the commands after the agent's work changed.
  void tick_status();
  void reload_topic_windows(std::int32_t select = 0);
  void add_recent_file(const QString& path);
  void show_message(const QString& text);
  // The commands' work.
  void file_new();
  void file_open();
  void delete_selection();
  void delete_relation();
  void add_document();
  void view_in_browser();
  // Writes the selected document's latest saved copy as a page and opens it in the browser.
  void open_saved_copy();
  void search_web();
  void summarize();
  void follow_links();
  void schedule_tasks();
  // The agent's changes are gathered and shown once per turn of the event loop.
  void agent_changed(const Agent_link::Change& change);
  void show_agent_changes();
  void about();
  void properties();
  void print(bool preview);
  // The topic, relation, organization, search resource and whole-file commands' work
  // (main_frame_dialogs.cpp).
  void new_topic_wizard();
  void relation_command(int id);
  void organize();
  void edit_search_resources();
  void import_file();
  void compact_file();
  // File > Export... and File > Import... of topics while a database is open.
  void export_topics();
  void import_topics();
  void database_resources_changed();
  // Cut, Copy, Paste and the drops (main_frame_edit.cpp).
  void cut_copy(bool cut);
  void paste();
  bool transfer_items(const Transfer& transfer, const Drop_target& target, int command);
  int drop_menu(const Drop_check& check);
  void clipboard_changed();
  void help_contents();
  void open_address(const QString& address);
  void save_placement();
  void tutorial();

  std::unique_ptr<Agent_link> own_agent_;
  Agent_link* agent_;
  QMdiArea* mdi_;
  QStackedWidget* central_;
  CStartPage* start_page_;
  QMenu* window_menu_ = nullptr;
  QLabel* agent_pane_;
  QLabel* message_pane_;
  QTimer* message_timer_;
  QString title_;
  bool settings_applied_ = false;
  bool busy_cursor_ = false;
  QToolBar* controls_bar_;
  QToolBar* tasks_bar_;
  QToolBar* quick_bar_;
  QLineEdit* quick_edit_;
  QComboBox* quick_engines_;
  CFindDialog* find_ = nullptr;
  std::unique_ptr<QPrinter> printer_;
  std::map<int, QAction*> actions_;
  std::set<std::int32_t> changed_topics_;
  std::set<std::int32_t> changed_documents_;
  bool changed_tree_ = false;
  bool changes_pending_ = false;
  bool closing_database_ = false;
  bool close_confirmed_ = false;
  bool destroying_ = false;
  bool clipboard_items_ = false;
  bool exchanging_ = false;  // an export or import runs: the agent's tick waits
};

}  // namespace orvalis::ui
