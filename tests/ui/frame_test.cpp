// The main window's frame, offscreen: a frame made before the settings are read (as the
// program makes it) takes up the bars, their layout, the placement and the welcome switch;
// topic windows keep their column widths and scroll positions; the agent's line stays while
// messages come and go; Add Document; the title, the Window menu, icons and shortcuts; every
// menu's mnemonics and every dialog label's "&"; double-clicking an item.
#include <QAction>
#include <QComboBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QScrollBar>
#include <QStackedWidget>
#include <QStatusTipEvent>
#include <QTest>
#include <QTextBrowser>
#include <QToolBar>
#include <QTreeView>

#include "ui/add_document_dialog.h"
#include "ui/child_frame.h"
#include "ui/item_list_model.h"
#include "ui/maintenance_dialogs.h"
#include "ui/options_dialog.h"
#include "ui/properties_dialog.h"
#include "ui/exchange_dialogs.h"
#include "ui/relation_dialog.h"
#include "ui/resource_dialogs.h"
#include "ui/topic_tree_model.h"
#include "ui/topic_wizard.h"
#include "window_fixture.h"

namespace orvalis::testing {
namespace {

using ui::CChildFrame;

QString path_in(Temp_dir& dir, const char* name) { return QString::fromStdString(dir.file(name)); }

// A menu's entries without exactly one key ("&x"), or repeating another entry's key.
QStringList mnemonic_faults(const QString& menu, const QList<QAction*>& actions) {
  QStringList faults, keys;
  for (QAction* a : actions) {
    QString text = QString(a->text()).replace("&&", "");
    qsizetype at = text.indexOf('&');
    QString key = at >= 0 ? text.mid(at + 1, 1).toLower() : QString();
    if (!a->isSeparator() && (key.isEmpty() || text.count('&') != 1 || keys.contains(key)))
      faults << menu + ": \"" + a->text() + "\"";
    keys << key;
  }
  return faults;
}

// Labels that show their "&" as it is: a key with nothing to focus.
QStringList visible_ampersands(QWidget& dialog) {
  QStringList faults;
  for (QLabel* l : dialog.findChildren<QLabel*>()) {
    QString text = l->text();
    text.replace("&&", "");
    if (l->textFormat() == Qt::RichText || Qt::mightBeRichText(text)) continue;
    if ((text.contains('&') && !l->buddy()) || text.count('&') > 1)
      faults << dialog.objectName() + ": \"" + l->text() + "\"";
  }
  return faults;
}

TEST_F(Window_test, AFrameMadeBeforeTheSettingsAreReadTakesThemUpWhenShown) {
  // A run that hid the Tasks bar, docked Quick Topics on the left and placed the window.
  frame_->findChild<QAction*>(QString("command_%1").arg(ui::cmd_task_toolbar))->setChecked(false);
  frame_->addToolBar(Qt::LeftToolBarArea, frame_->findChild<QToolBar*>("quick_topics_bar"));
  frame_->setGeometry(40, 50, 900, 640);
  ASSERT_TRUE(frame_->close());  // saved as the program ends
  frame_.reset();
  Application::instance().exit();
  platform::Registry_store::instance().close();
  Settings_cache::instance().clear();

  // The program's order: the window first, then the settings, then the window is shown.
  ui::CMainFrame frame;
  ASSERT_TRUE(Application::instance().start({}));
  frame.database_opened_at_start();
  frame.show();
  EXPECT_FALSE(frame.findChild<QToolBar*>("tasks_bar")->isVisible());
  EXPECT_FALSE(frame.action(ui::cmd_task_toolbar)->isChecked());
  EXPECT_EQ(frame.toolBarArea(frame.findChild<QToolBar*>("quick_topics_bar")), Qt::LeftToolBarArea);
  EXPECT_EQ(frame.geometry(), QRect(40, 50, 900, 640));
  // Without a database: the welcome switch as stored (on), and the start page.
  EXPECT_TRUE(frame.action(ui::cmd_welcome_dialog)->isChecked());
  EXPECT_EQ(frame.findChild<QStackedWidget*>()->currentWidget()->objectName(), "start_page");
}

TEST_F(Window_test, TopicWindowsKeepColumnWidthsAndScrollPositions) {
  const QString file = path_in(dir_, "display.ov2");
  ASSERT_TRUE(frame_->new_database(file));
  for (int i = 0; i < 80; ++i) add_topic(("Topic " + std::to_string(100 + i)).c_str());
  CChildFrame* w = frame_->active_topic_window();
  w->reload();
  w->list()->header()->resizeSection(1, 333);
  QTest::qWait(10);
  w->tree()->verticalScrollBar()->setValue(20);
  ASSERT_TRUE(frame_->close_database());
  EXPECT_EQ(profile_get_string("ListColumnWidths", "").str().substr(0, 8), "220,333,");
  ASSERT_TRUE(frame_->open_database(file));
  w = frame_->active_topic_window();
  QTest::qWait(10);
  EXPECT_EQ(w->list()->header()->sectionSize(1), 333);
  EXPECT_EQ(w->tree()->verticalScrollBar()->value(), 20);
  // A damaged entry is skipped, not applied.
  profile_put_string("ListColumnWidths", "x,-4,99999");
  frame_->run_command(ui::cmd_new_window);
  EXPECT_EQ(frame_->active_topic_window()->list()->header()->sectionSize(0), 220);
}

TEST_F(Window_test, TheAgentLineStaysWhileMessagesComeAndGo) {
  ASSERT_TRUE(frame_->new_database(path_in(dir_, "status.ov2")));
  Topic_handle t = add_topic("Honeybees");
  CChildFrame* w = frame_->active_topic_window();
  w->reload();
  ASSERT_TRUE(w->select_topic(t->concept_id));  // "0 documents on topic."
  QStatusTipEvent tip("Search the Web for selected topic");
  QApplication::sendEvent(frame_.get(), &tip);
  EXPECT_TRUE(frame_->findChild<QLabel*>("agent_pane")->isVisible());
  EXPECT_EQ(frame_->status_message(), "Search the Web for selected topic");
}

TEST(Add_document, AddressesThatNameNoPageAreRefused) {
  struct Case {
    const char* typed;
    const char* stored;  // null: refused
  } cases[] = {
      {"http://", nullptr},  {"https://", nullptr}, {"  ", nullptr},
      {"mailto:someone@example.org", nullptr}, {"javascript:alert(1)", nullptr},
      {"http://127.0.0.1/page.html", "http://127.0.0.1/page.html"},
      {" gopher://127.0.0.1/1/menu ", "gopher://127.0.0.1/1/menu"},
      {"example.org/notes", "http://example.org/notes"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.typed);
    QString why;
    QString stored = ui::CAddDocumentDialog::checked_address(c.typed, why);
    EXPECT_EQ(stored, c.stored ? QString(c.stored) : QString());
    EXPECT_EQ(why.isEmpty(), c.stored != nullptr);
  }
  QString why;
  EXPECT_TRUE(ui::CAddDocumentDialog::checked_address("http://127.0.0.1/" + QString(250, 'a'), why).isEmpty());
  EXPECT_EQ(why, "Field is limited to 255 characters.");
}

TEST_F(Window_test, AddDocumentAsksAddressTitleAndTopicAndRecountsTheList) {
  ASSERT_TRUE(frame_->new_database(path_in(dir_, "add.ov2")));
  Topic_handle bees = add_topic("Honeybees"), wasps = add_topic("Wasps");
  CChildFrame* w = frame_->active_topic_window();
  w->reload();
  ASSERT_TRUE(w->select_topic(bees->concept_id));
  int dialogs = 0;
  frame_->exec_dialog = [&](QDialog& d) {
    auto& add = dynamic_cast<ui::CAddDocumentDialog&>(d);
    EXPECT_EQ(add.topic(), bees->concept_id);  // the selected topic first
    add.address_edit()->setText("http://");
    add.accept();  // refused: only a scheme
    EXPECT_EQ(add.result(), QDialog::Rejected);
    add.address_edit()->setText("http://127.0.0.1/hive.html");
    add.title_edit()->setText(dialogs++ == 0 ? "The hive" : "Nests");
    if (dialogs == 2) add.topic_box()->setCurrentIndex(add.topic_box()->findData(wasps->concept_id));
    add.accept();
    return add.result();
  };
  frame_->run_command(ui::cmd_add_document);
  EXPECT_EQ(sink_.shown.size(), 1u);
  EXPECT_EQ(frame_->status_message(), "1 documents on topic.");
  frame_->run_command(ui::cmd_add_document);  // the same address, to Wasps
  EXPECT_EQ(Document_store().documents_of_topic(wasps->concept_id, false).count(), 1);
  EXPECT_EQ(Document_store().documents_of_topic(bees->concept_id, false).first().document->title.str(), "The hive");
}

TEST_F(Window_test, MenusHaveOneKeyPerLetterAndLabelsShowNoAmpersand) {
  auto check_menus = [this](const char* state) {
    QStringList faults = mnemonic_faults(QString(state) + " menu bar", frame_->menuBar()->actions());
    for (QAction* m : frame_->menuBar()->actions()) {
      emit m->menu()->aboutToShow();
      faults << mnemonic_faults(QString(state) + " " + m->text(), m->menu()->actions());
    }
    return faults;
  };
  QStringList faults = check_menus("without a database");
  ASSERT_TRUE(frame_->new_database(path_in(dir_, "menus.ov2")));
  faults << check_menus("with a database");
  for (ui::Selection s : {ui::Selection::topic, ui::Selection::document}) {
    QMenu context;
    frame_->fill_context_menu(context, s);
    faults << mnemonic_faults("context menu", context.actions());
  }
  QMenu pane;
  frame_->active_topic_window()->fill_detail_menu(pane);
  faults << mnemonic_faults("detail pane", pane.actions());
  EXPECT_EQ(faults, QStringList());

  Topic_handle t = add_topic("Tea"), rnd = add_topic("R&D");
  auto tell = [](const QString&) {};
  auto ask = [](const QString&) { return true; };
  ui::COptionsDialog options(ask, tell);
  ui::CCompactDialog compact(ask, tell);
  ui::CImportDialog import(ask, tell);
  ui::CAddDocumentDialog add(t->concept_id, tell);
  ui::CTopicProperties properties(t, tell);
  ui::Idle_agent idle;
  ui::CTopicWizard wizard(idle, tell, [](QDialog&) { return 0; });
  wizard.setObjectName("wizard");
  ui::CEditSearchResource resource(make_counted<Search_resource>(), tell);
  ui::CSelectRelationDialog relation(ui::CSelectRelationDialog::Mode::change, rnd, t, tell);
  ui::CExportTopicsDialog export_topics(rnd->concept_id, "R&D", ask, tell);
  ui::CImportTopicsDialog import_topics(ask, tell, [](QDialog&) { return 0; });
  exchange::Import_report refusals;
  refusals.refused = {"topic 2 has no name"};
  ui::CImportReportDialog report("topics.json", refusals);
  for (QWidget* d : std::initializer_list<QWidget*>{&options, &compact, &import, &add, &properties, &wizard, &resource,
                                                   &relation, &export_topics, &import_topics, &report})
    faults << visible_ampersands(*d);
  EXPECT_EQ(faults, QStringList());

  // The wizard keeps its width for a name of 255 characters without a blank.
  wizard.show();
  const int width = wizard.width();
  wizard.name_edit()->setText(QString(255, 'w'));
  wizard.next();
  wizard.next();
  wizard.next();
  QTest::qWait(10);
  EXPECT_EQ(wizard.currentId(), ui::CTopicWizard::finish_page);
  EXPECT_EQ(wizard.width(), width);
}

TEST_F(Window_test, TitleWindowMenuIconsAndShortcuts) {
  ASSERT_TRUE(frame_->new_database(path_in(dir_, "research.ov2")));
  frame_->run_command(ui::cmd_new_window);
  frame_->findChild<QMdiArea*>()->activeSubWindow()->showMaximized();
  EXPECT_EQ(frame_->windowTitle(), "research.ov2 - Orvalis");
  QMenu* window = nullptr;
  for (QAction* m : frame_->menuBar()->actions())
    if (m->text() == "&Window") window = m->menu();
  ASSERT_TRUE(window);
  emit window->aboutToShow();
  QStringList listed;
  for (QAction* a : window->actions())
    if (a->objectName() == "window_entry") listed << a->text() + (a->isChecked() ? " *" : "");
  EXPECT_EQ(listed, QStringList({"&1 research.ov2:1", "&2 research.ov2:2 *"}));

  for (const char* bar : {"controls_bar", "tasks_bar"})
    for (QAction* a : frame_->findChild<QToolBar*>(bar)->actions())
      EXPECT_TRUE(a->isSeparator() || !a->icon().isNull()) << a->text().toStdString();
  for (auto [id, key] : {std::pair{ui::cmd_file_new, QKeySequence::New}, {ui::cmd_file_open, QKeySequence::Open},
                         {ui::cmd_print, QKeySequence::Print}, {ui::cmd_find, QKeySequence::Find},
                         {ui::cmd_delete, QKeySequence::Delete}, {ui::cmd_file_close, QKeySequence::Close},
                         {ui::cmd_exit, QKeySequence::Quit}})
    EXPECT_EQ(frame_->action(id)->shortcut(), QKeySequence(key)) << id;
}

TEST_F(Window_test, DoubleClickOpensADocumentOrATopic) {
  ASSERT_TRUE(frame_->new_database(path_in(dir_, "open.ov2")));
  Topic_handle bees = add_topic("Honeybees");
  add_document(bees, "http://127.0.0.1/hive", "Hive", 2);
  QStringList browsed;
  frame_->browse = [&browsed](const QString& a) { browsed << a; };
  CChildFrame* w = frame_->active_topic_window();
  w->reload();
  ASSERT_TRUE(w->select_topic(bees->concept_id));
  QTreeView* list = w->list();
  auto double_click = [list](int row) { emit list->doubleClicked(list->model()->index(row, 0)); };
  double_click(0);
  EXPECT_EQ(browsed, QStringList({"http://127.0.0.1/hive"}));
  profile_put_string("ViewerType", Ref_string("ViewerIExplore"));  // the pane shows it instead
  double_click(0);
  EXPECT_EQ(browsed.size(), 1);
  EXPECT_TRUE(w->detail()->toPlainText().contains("http://127.0.0.1/hive"));
  // A topic listed under a root folder opens in the tree.
  w->tree()->setCurrentIndex(w->tree_model()->root_index(ui::Topic_tree_model::my_topics));
  double_click(0);
  EXPECT_EQ(w->current().kind, ui::Selection::topic);
  EXPECT_EQ(w->tree()->currentIndex().data().toString(), "Honeybees");
}

}  // namespace
}  // namespace orvalis::testing
