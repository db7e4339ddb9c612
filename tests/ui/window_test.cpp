// The window driven as a user drives it, offscreen: a new database, a topic typed into the
// Quick Topics bar, the tree, the item list and its sorting, the detail pane, deleting; the
// Quick Topics refusals; the menus with and without a database; start-up with the last
// database.
#include <QAction>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenuBar>
#include <QPrinter>
#include <QPushButton>
#include <QSortFilterProxyModel>
#include <QSpinBox>
#include <QTest>
#include <QTextBrowser>
#include <QTextDocument>
#include <QTreeView>

#include <QFile>
#include <QUrl>

#include "database/database.h"
#include "database/page_copy_store.h"
#include "database/schema.h"
#include "ui/child_frame.h"
#include "ui/commands.h"
#include "ui/dialog_fields.h"
#include "ui/find_dialog.h"
#include "ui/list_printer.h"
#include "ui/options_dialog.h"
#include "ui/properties_dialog.h"
#include "ui/ui_text.h"
#include "ui/welcome_dialog.h"
#include "ui/item_list_model.h"
#include "ui/topic_tree_model.h"
#include "window_fixture.h"

namespace orvalis::testing {
namespace {

using ui::CChildFrame;
using ui::Item_list_model;
using ui::Topic_tree_model;

QStringList menu_titles(QMainWindow& w) {
  QStringList out;
  for (QAction* a : w.menuBar()->actions()) out << a->text().remove('&');
  return out;
}

QStringList column(QTreeView* view, int col) {
  QStringList out;
  for (int r = 0; r < view->model()->rowCount(); ++r)
    out << view->model()->index(r, col).data().toString();
  return out;
}

TEST_F(Window_test, TopicFromQuickTopicsAppearsInTreeListAndDetailAndIsDeleted) {
  EXPECT_EQ(menu_titles(*frame_), QStringList({"File", "View", "Help"}));
  EXPECT_FALSE(frame_->action(ui::cmd_delete)->isEnabled());
  ASSERT_TRUE(frame_->new_database(QString::fromStdString(dir_.file("research.ov2"))));
  EXPECT_EQ(menu_titles(*frame_),
            QStringList({"File", "Edit", "View", "Agent", "Tools", "Window", "Help"}));
  CChildFrame* w = frame_->active_topic_window();
  ASSERT_TRUE(w);

  QTest::keyClicks(frame_->quick_topic_edit(), "  Honeybees  ");
  QTest::mouseClick(frame_->findChild<QPushButton*>("quick_search"), Qt::LeftButton);
  ASSERT_TRUE(sink_.shown.empty()) << sink_.shown.front();
  EXPECT_TRUE(frame_->quick_topic_edit()->text().isEmpty());

  // The new topic stands under "My Topics" and is selected; the detail pane shows it.
  Topic_tree_model* tree = w->tree_model();
  QModelIndex mine = tree->root_index(Topic_tree_model::my_topics);
  EXPECT_EQ(mine.data().toString(), "My Topics");
  QModelIndex node = tree->find_topic(tree->topic_at(w->tree()->currentIndex())->concept_id, mine);
  ASSERT_TRUE(node.isValid());
  EXPECT_EQ(node.data().toString(), "Honeybees");
  EXPECT_EQ(w->current().kind, ui::Selection::topic);
  EXPECT_TRUE(w->detail()->toPlainText().contains("Topic: Honeybees"));
  EXPECT_TRUE(frame_->action(ui::cmd_delete)->isEnabled());

  // Its documents fill the list; Links sorts as a number, "?" for an unknown count.
  Topic_handle topic = w->current().topic;
  // Stored text is text: "<b>&amp;" shows as typed, in the pane and in the list's tips.
  add_document(topic, "http://127.0.0.1/a", "Hive life", 10, {"Bees live in hives.", "<b>&amp;"},
               {"hive", "<b>&amp;"}, "Demo Search");
  add_document(topic, "http://127.0.0.1/b", "Pollen", 9);
  add_document(topic, "http://127.0.0.1/c", "Swarms", -1);
  w->list_model()->refresh();
  EXPECT_EQ(column(w->list(), Item_list_model::added_by),
            QStringList({"Demo Search", "Manual Edit", "Manual Edit"}));
  w->list()->sortByColumn(Item_list_model::links, Qt::AscendingOrder);
  EXPECT_EQ(column(w->list(), Item_list_model::links), QStringList({"?", "9", "10"}));
  EXPECT_EQ(w->list_model()->document_count_text(), "3 documents on topic.");

  // A document in the detail pane.
  w->list()->sortByColumn(Item_list_model::name, Qt::AscendingOrder);
  w->list()->setCurrentIndex(w->list()->model()->index(0, 0));
  EXPECT_EQ(w->current().kind, ui::Selection::document);
  QString detail = w->detail()->toPlainText();
  for (const char* line : {"Title: Hive life", "URL: http://127.0.0.1/a", "Links: 10",
                           "Summary: Bees live in hives. <b>&amp;", "Keywords: hive, <b>&amp;"})
    EXPECT_TRUE(detail.contains(line)) << line << "\n" << detail.toStdString();
  QTextDocument tip;
  tip.setHtml(w->list()->model()->index(0, Item_list_model::keywords).data(Qt::ToolTipRole).toString());
  EXPECT_EQ(tip.toPlainText(), "hive, <b>&amp;");

  // Deleting the topic asks first and takes it out of the tree.
  QTest::mouseClick(w->tree()->viewport(), Qt::LeftButton, {},
                    w->tree()->visualRect(node).center());
  EXPECT_EQ(w->current().kind, ui::Selection::topic);
  frame_->run_command(ui::cmd_delete);
  EXPECT_EQ(questions_, QStringList({"Are you sure you want to delete the topic 'Honeybees'?"}));
  EXPECT_EQ(tree->rowCount(tree->root_index(Topic_tree_model::my_topics)), 0);
  EXPECT_FALSE(Topic_store::shared().topic(topic->concept_id));
}

TEST_F(Window_test, ChangedPageShowsUntilOpenedAndItsCopyOpens) {
  ASSERT_TRUE(frame_->new_database(QString::fromStdString(dir_.file("changes.ov2"))));
  CChildFrame* w = frame_->active_topic_window();
  ASSERT_TRUE(w);
  Topic_handle topic = add_topic("Kites");
  Document_handle d = add_document(topic, "http://127.0.0.1/kites/box.html", "Box kites", 3, {"Box kites fly."});
  // The topic was modified long ago: only the changed page can bring it under new info.
  Database::shared().execute("UPDATE concept_master SET time_last_modified = 1000");
  Page_copy_store copies;
  const std::string html = "<html><head><script>steal()</script></head><body><a href=\"more.html\">"
                           "Box kites</a> were first flown in 1893.</body></html>";
  const std::string_view received(html);
  copies.add_copy(d->url_id, Page_copy_store::prepare("Box kites were first flown in 1892. They are stable.",
                                                      nullptr, "UTF-8", 200, 1000), 1 << 30);
  copies.add_copy(d->url_id, Page_copy_store::prepare("Box kites were first flown in 1893. They are stable.",
                                                      &received, "UTF-8", 200, 2000), 1 << 30);
  w->reload();
  Topic_tree_model* tree = w->tree_model();
  const QModelIndex new_info = tree->root_index(Topic_tree_model::topics_with_new_info);
  EXPECT_TRUE(tree->find_topic(topic->concept_id, new_info).isValid());

  ASSERT_TRUE(w->select_topic(topic->concept_id));
  w->list()->setCurrentIndex(w->list()->model()->index(0, 0));
  ASSERT_EQ(w->current().kind, ui::Selection::document);
  const QString detail = w->detail()->toPlainText();
  for (const char* line : {"What changed", "\u2212 Box kites were first flown in 1892.",
                           "+ Box kites were first flown in 1893."})
    EXPECT_TRUE(detail.contains(QString::fromUtf8(line))) << line << "\n" << detail.toStdString();
  EXPECT_FALSE(detail.contains("They are stable")) << detail.toStdString();
  // Shown once, the document is no longer new, nor its topic.
  EXPECT_FALSE(copies.is_changed(d->url_id));
  EXPECT_FALSE(tree->find_topic(topic->concept_id, tree->root_index(Topic_tree_model::topics_with_new_info)).isValid());

  QStringList opened;
  frame_->browse = [&opened](const QString& a) { opened << a; };
  EXPECT_TRUE(frame_->action(ui::cmd_open_saved_copy)->isEnabled());
  frame_->run_command(ui::cmd_open_saved_copy);
  ASSERT_EQ(opened.size(), 1);
  QFile page(QUrl(opened[0]).toLocalFile());
  ASSERT_TRUE(page.open(QIODevice::ReadOnly)) << opened[0].toStdString();
  const QString text = QString::fromUtf8(page.readAll());
  EXPECT_FALSE(text.contains("steal")) << text.toStdString();
  EXPECT_TRUE(text.contains("href=\"http://127.0.0.1/kites/more.html\"")) << text.toStdString();
  EXPECT_TRUE(sink_.shown.empty());
}

TEST_F(Window_test, QuickTopicsRefusesEmptyAndLongNames) {
  ASSERT_TRUE(frame_->new_database(QString::fromStdString(dir_.file("q.ov2"))));
  struct Case {
    QString typed;
    const char* message;  // null: accepted
  } cases[] = {
      {"", "Please enter a topic name."},
      {" \t ", "Please enter a topic name."},
      {QString(255, 'a'), nullptr},
      {QString(256, 'b'), "Field is limited to 255 characters."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.typed.size());
    sink_.shown.clear();
    frame_->quick_topic_edit()->setText(c.typed);
    EXPECT_EQ(frame_->quick_search(), c.message == nullptr);
    EXPECT_EQ(sink_.shown, c.message ? std::vector<std::string>({c.message}) : std::vector<std::string>());
  }
  EXPECT_EQ(Topic_store::shared().user_top_level_topics().count(), 1);
}

// With a topic selected and no agent in this program: what needs the agent or a cut item waits.
TEST_F(Window_test, CommandsWaitForWhatTheyNeed) {
  ASSERT_TRUE(frame_->new_database(QString::fromStdString(dir_.file("c.ov2"))));
  frame_->active_topic_window()->reload();
  ASSERT_TRUE(frame_->active_topic_window()->select_topic(add_topic("Bread")->concept_id));
  for (auto [id, enabled] : {std::pair{ui::cmd_search_web, false}, {ui::cmd_delete, true},
                             {ui::cmd_stop_all_tasks, false}, {ui::cmd_paste, false}})
    EXPECT_EQ(frame_->action(id)->isEnabled(), enabled) << id;
  EXPECT_EQ(frame_->findChild<QLabel*>("agent_pane")->text(), "Agent Idle");
}

TEST(Tip_of_the_day, IndexRestartsAtTheNumberOfTipsAndNoTipsShowNothing) {
  struct Case {
    int stored, count, shown, next;
  } cases[] = {
      {0, 40, 22001, 1}, {39, 40, 22040, 40}, {40, 40, 22001, 1},
      {57, 40, 22001, 1}, {-2, 40, 22001, 1}, {5, 0, 0, 5},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.stored);
    ui::Tip_choice t = ui::choose_tip(c.stored, c.count);
    EXPECT_EQ(t.string_id, c.shown);
    EXPECT_EQ(t.next_index, c.next);
  }
}

TEST_F(Window_test, WelcomeDialogShowsTheStoredTipAndAdvancesIt) {
  profile_put_int("Cur_tip_count", 40);
  ui::CWelcomeDialog welcome;
  EXPECT_EQ(welcome.tip(), ui::ui_text(22001));
  EXPECT_EQ(profile_get_int("Cur_tip_count", -1), 1);
}

TEST_F(Window_test, FindListsMatchesAndHoldsTheDatabaseOpen) {
  ASSERT_TRUE(frame_->new_database(QString::fromStdString(dir_.file("f.ov2"))));
  Topic_handle bread = add_topic("Bread baking", {"sourdough"});
  add_document(bread, "http://127.0.0.1/rye", "Rye loaves", 4, {"Rye needs a sour starter."});
  frame_->run_command(ui::cmd_find);
  ui::CFindDialog* find = frame_->find_dialog();
  ASSERT_TRUE(find->isVisible());
  struct Case {
    const char* text;
    bool documents;
    QStringList listed;
  } cases[] = {
      {"SOUR", false, {"Bread baking"}},      // a term, without regard to case
      {"starter", true, {"Rye loaves"}},      // the extract
      {"nothing here", true, {"No matches"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    find->find(c.text, c.documents);
    QStringList listed;
    for (int i = 0; i < find->results()->count(); ++i) listed << find->results()->item(i)->text();
    EXPECT_EQ(listed, c.listed);
  }
  EXPECT_FALSE(frame_->close_database());
  ASSERT_EQ(sink_.shown.size(), 1u);
  EXPECT_EQ(sink_.shown[0].rfind("Database cannot be closed while Find Dialog is open.", 0), 0u);
  find->close();
  EXPECT_TRUE(frame_->close_database());
}

TEST_F(Window_test, TopicPropertiesCheckTheNameAndSaveTheFields) {
  ASSERT_TRUE(frame_->new_database(QString::fromStdString(dir_.file("p.ov2"))));
  Topic_handle t = add_topic("Tea", {"oolong"});
  QStringList refused;
  ui::CTopicProperties pages(t, [&](const QString& m) { refused << m; });
  // Limits count characters: neither UTF-8 bytes nor UTF-16 units.
  auto bees = [](int n) { return QString::fromUcs4(std::u32string(static_cast<size_t>(n), U'\U0001F41D').data(), n); };
  struct Case {
    QString name;
    const char* refusal;  // null: saved
  } cases[] = {
      {"   ", "Please enter a topic name."},
      {QString(256, 't'), "Field is limited to 255 characters."},
      {QString(130, QChar(0x00E9)), nullptr},
      {QString(256, QChar(0x00E9)), "Field is limited to 255 characters."},
      {bees(255), nullptr},
      {"Tea grading", nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name.size());
    refused.clear();
    pages.name_edit()->setText(c.name);
    pages.terms()->addItem("first flush");
    EXPECT_EQ(pages.apply(), c.refusal == nullptr);
    EXPECT_EQ(refused, c.refusal ? QStringList({c.refusal}) : QStringList());
  }
  Topic stored;
  ASSERT_TRUE(Topic_store::shared().load_topic(stored, t->concept_id));
  EXPECT_STREQ(stored.name.c_str(), "Tea grading");
  EXPECT_EQ(stored.terms.count(), 7);  // oolong and the six added

  // A limited field takes 255 characters as typed, whatever their UTF-16 length.
  QLineEdit edit;
  ui::limit_to_field(&edit);
  edit.setText(bees(254));
  edit.end(false);
  QTest::keyClicks(&edit, "ab");
  EXPECT_EQ(edit.text(), bees(254) + "a");
}

TEST(Options_pages, NetworkLimitsProxyChecksAndBrowserNames) {
  struct Case {
    ui::Network_page_values v;
    QString refusal;
  } cases[] = {
      {{false, "", "", 15, 1}, ""},
      {{false, "", "", 300, 60}, ""},
      {{false, "", "", 14, 8}, "Please enter an integer between 15 and 300."},
      {{false, "", "", 301, 8}, "Please enter an integer between 15 and 300."},
      {{false, "", "", 60, 0}, "Please enter an integer between 1 and 60."},
      {{false, "", "", 60, 61}, "Please enter an integer between 1 and 60."},
      {{true, " ", "8080", 60, 8}, "If network proxy is enabled, the proxy host is required."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.refusal.toStdString());
    EXPECT_EQ(ui::check_network_page(c.v), c.refusal);
  }
  EXPECT_EQ(ui::browser_service_name("/opt/NETSCAPE.EXE"), "netscape");
  EXPECT_EQ(ui::browser_service_name("C:/Apps/Opera.exe"), "opera");
}

TEST_F(Window_test, OptionsStoreTheNetworkSettings) {
  const Network_limits saved = network_limits();
  QStringList told;
  ui::COptionsDialog options([](const QString&) { return true; },
                             [&](const QString& t) { told << t; });
  options.set_network_values({true, "127.0.0.1", "3128", 90, 12});
  options.browser_path()->setText("");
  ASSERT_TRUE(options.apply()) << told.join("\n").toStdString();
  EXPECT_EQ(Settings_cache::instance().get("ProxyEnabled"), "yes");
  EXPECT_EQ(Settings_cache::instance().get("ProxyPort"), "3128");
  EXPECT_EQ(network_limits().search_timeout, 90);
  EXPECT_EQ(network_limits().concurrent_requests, 12);
  EXPECT_EQ(platform::Registry_store::instance().read("NetworkTimeout"), "90");
  options.set_network_values({true, "", "3128", 90, 12});
  EXPECT_FALSE(options.apply());  // the page's check, as in the table above
  network_limits() = saved;
}

TEST_F(Window_test, OptionsStoreWhatIsKeptOfEachPage) {
  Settings_cache::instance().set("KeepPageCopies", "No");
  Settings_cache::instance().set("PageCopyLimitMB", "64");
  ui::COptionsDialog options([](const QString&) { return true; }, [](const QString&) {});
  EXPECT_EQ(options.copies()->currentData().toString(), "No");
  EXPECT_EQ(options.copy_limit()->value(), 64);
  options.browser_path()->setText("");
  options.copies()->setCurrentIndex(options.copies()->findData("Yes"));
  options.copy_limit()->setValue(2048);
  ASSERT_TRUE(options.apply());
  EXPECT_EQ(Settings_cache::instance().get("KeepPageCopies"), "Yes");
  EXPECT_EQ(platform::Registry_store::instance().read("KeepPageCopies"), "Yes");
  EXPECT_EQ(platform::Registry_store::instance().read("PageCopyLimitMB"), "2048");
  EXPECT_EQ(keep_copies_setting(), Keep_copies::yes);
  EXPECT_EQ(page_copy_limit_setting(), std::int64_t{2048} << 20);
}

TEST_F(Window_test, TheBrowserPageKeepsOnlyABrowserThatIsThere) {
  QStringList told, asked;
  ui::COptionsDialog options([&](const QString& q) { asked << q; return true; }, [&](const QString& t) { told << t; });
  struct Case {
    const char* path;
    bool noticed;   // "Please pick a browser..." when the path is set
    bool asked;     // "...cannot be located. Do you want to keep the changes?" on OK
    const char* kept;
  } cases[] = {{"sh", false, false, "sh"}, {"/no/such/browser", true, true, ""}};
  for (const Case& c : cases) {
    told.clear();
    asked.clear();
    options.browser_path()->setText(c.path);
    emit options.browser_path()->editingFinished();
    EXPECT_EQ(told.join("|"), c.noticed ? ui::ui_text(10130) : QString()) << c.path;
    options.browser_path()->setText(c.path);  // typed again, and OK at once
    ASSERT_TRUE(options.apply());
    EXPECT_EQ(asked.size(), c.asked ? 1 : 0) << c.path;
    EXPECT_EQ(Settings_cache::instance().get("BrowserPath"), c.kept);
  }
}

TEST_F(Window_test, ListPrintsToPdfWithAHeaderOnEveryPage) {
  ASSERT_TRUE(frame_->new_database(QString::fromStdString(dir_.file("print.ov2"))));
  Topic_handle t = add_topic("Spaceflight");
  for (int i = 0; i < 90; ++i)
    add_document(t, ("http://127.0.0.1/launch/" + std::to_string(i)).c_str(), "Launch", 1);
  ui::CChildFrame* w = frame_->active_topic_window();
  w->reload();
  ASSERT_TRUE(w->select_topic(t->concept_id));
  ui::Printed_list list = frame_->printed_list();
  EXPECT_EQ(list.topic, "Spaceflight");
  ASSERT_EQ(list.lines.size(), 90);
  QPrinter printer;
  printer.setOutputFormat(QPrinter::PdfFormat);
  printer.setOutputFileName(QString::fromStdString(dir_.file("list.pdf")));
  EXPECT_GT(ui::print_list(printer, list), 1);  // 90 lines do not fit one page
  EXPECT_EQ(read_file(dir_.file("list.pdf")).rfind("%PDF", 0), 0u);
}

class Window_start_test : public Window_test {
 protected:
  Application::Start_options start_options() override {
    // A database used last time: made, opened and closed as the program would.
    std::string path = dir_.file("last.ov2");
    EXPECT_TRUE(create_database(Ref_string(path.c_str())));
    Application::instance().start({});
    EXPECT_TRUE(Application::instance().open_database(Ref_string(path.c_str())));
    Application::instance().close_database();
    return {};
  }
};

TEST_F(Window_start_test, StartUpOpensTheLastDatabaseInATopicWindow) {
  EXPECT_TRUE(Database::shared().is_open());
  ASSERT_TRUE(frame_->active_topic_window());
  EXPECT_EQ(frame_->recent_files(), QStringList({QString::fromStdString(dir_.file("last.ov2"))}));
  // Closing the last topic window closes the database.
  frame_->run_command(ui::cmd_file_close);
  EXPECT_FALSE(Database::shared().is_open());
  EXPECT_EQ(menu_titles(*frame_), QStringList({"File", "View", "Help"}));
}

}  // namespace
}  // namespace orvalis::testing
