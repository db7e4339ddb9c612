// The window's dialog commands driven as a user drives them, offscreen: the dialogs are run by
// the frame's exec_dialog hook, which fills them in and closes them, and questions are answered
// by its ask hook. The New Topic Wizard, organizing by content, Create Related Topic, Select
// Relation and Delete Relation, the search resource editor, Compact and Import, the topic's
// Feeds page, and Export and Import of topics.
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QRadioButton>
#include <QTreeView>
#include <QTreeWidget>
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "../database/earlier_format.h"
#include "database/engine_health_store.h"
#include "database/feed_store.h"
#include "database/search_resource_store.h"
#include "ui/child_frame.h"
#include "ui/exchange_dialogs.h"
#include "ui/maintenance_dialogs.h"
#include "ui/organize_dialog.h"
#include "ui/properties_dialog.h"
#include "ui/relation_dialog.h"
#include "ui/resource_dialogs.h"
#include "ui/topic_tree_model.h"
#include "ui/topic_wizard.h"
#include "test_servers.h"
#include "window_fixture.h"

namespace orvalis::testing {
namespace {

using ui::Topic_tree_model;

struct Recording_agent : ui::Agent_link {
  std::string status_text() override { return "Agent Idle"; }
  void tick() override {}
  bool available() const override { return true; }
  int tasks_active() const override { return 0; }
  void stop_all_tasks() override {}
  bool search_topic(std::int32_t id) override {
    searched.push_back(id);
    return true;
  }
  bool search_topic_on(std::int32_t id, const std::string& engine) override {
    engines.push_back(engine);
    return search_topic(id);
  }
  std::vector<std::int32_t> searched;
  std::vector<std::string> engines;
};

class Dialogs_test : public Window_test {
 protected:
  ui::Agent_link* make_agent() override { return &agent_; }
  void SetUp() override {
    Window_test::SetUp();
    frame_->exec_dialog = [this](QDialog& d) {
      if (!fill_in) {
        ADD_FAILURE() << "no answer for " << d.objectName().toStdString();
        return int(QDialog::Rejected);
      }
      return fill_in(d);
    };
  }
  template <class D>
  static D& as(QDialog& d) {
    D* p = qobject_cast<D*>(&d);
    if (!p) throw std::runtime_error("unexpected dialog " + d.objectName().toStdString());
    return *p;
  }
  std::string last_message() const { return sink_.shown.empty() ? "" : sink_.shown.back(); }
  QString path(const char* name) { return QString::fromStdString(dir_.file(name)); }
  ui::CChildFrame* select(std::int32_t concept_id) {
    ui::CChildFrame* w = frame_->active_topic_window();
    w->reload();
    EXPECT_TRUE(w->select_topic(concept_id));
    return w;
  }
  // The labels of the nodes below the topic's node under "My Topics".
  QStringList below(std::int32_t concept_id) {
    Topic_tree_model* tree = frame_->active_topic_window()->tree_model();
    QModelIndex node = tree->find_topic(concept_id, tree->root_index(Topic_tree_model::my_topics));
    QStringList out;
    for (int r = 0; r < tree->rowCount(node); ++r) out << tree->index(r, 0, node).data().toString();
    return out;
  }

  Recording_agent agent_;
  std::function<int(QDialog&)> fill_in;
};

TEST_F(Dialogs_test, QuickTopicsSearchesOnTheEnginePickedThereAmongTheSwitchedOnOnes) {
  const QString file = path("engines.ov2");
  ASSERT_TRUE(frame_->new_database(file));
  Search_resource_store store;
  for (auto [name, on] : {std::pair{"Alpha", 1}, {"Beta", 0}}) {
    Search_resource r;
    r.name = name;
    r.location = Url(Ref_string("http://127.0.0.1/search"));
    r.search_field = "q";
    r.enabled = on;
    ASSERT_TRUE(store.save_resource(r));
  }
  ASSERT_TRUE(frame_->open_database(file));
  auto* engines = frame_->findChild<QComboBox*>("quick_engines");
  QStringList listed, expected{"All engines"};
  for (int i = 0; i < engines->count(); ++i) listed << engines->itemText(i);
  for (const Search_resource_handle& r : store.list_resources(false))
    if (r->enabled) expected << QString::fromUtf8(r->name.c_str());
  EXPECT_EQ(listed, expected);
  EXPECT_TRUE(listed.contains("Alpha"));
  EXPECT_FALSE(listed.contains("Beta"));
  for (const char* picked : {"Alpha", "All engines"}) {
    engines->setCurrentIndex(engines->findText(picked));
    frame_->quick_topic_edit()->setText(QString("Tea ") + picked);
    ASSERT_TRUE(frame_->quick_search());
  }
  EXPECT_EQ(agent_.engines, (std::vector<std::string>{"Alpha", ""}));
}

TEST_F(Dialogs_test, WizardAddsTheTypedTopicOrAdoptsAStoredOneAndAsksForASearch) {
  ASSERT_TRUE(frame_->new_database(path("w.ov2")));
  Topic_handle stored = Topic_store::shared().add_topic("Honeybee biology");  // predefined
  struct Case {
    const char* typed;
    QStringList similar;  // page 2, headings included
    int pick_row;         // 0: the typed topic
    const char* expect_name;
  } cases[] = {
      {"Honeybees", {"Honeybees", "Predefined Orvalis topics", "Honeybee biology"}, 0, "Honeybees"},
      {"Honeybee", {"Honeybee", "Topics you create or modify", "Honeybees", "Predefined Orvalis topics", "Honeybee biology"},
       4, "Honeybee biology"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.typed);
    sink_.shown.clear();
    QStringList similar;
    QString summary;
    fill_in = [&](QDialog& d) {
      auto& wz = as<ui::CTopicWizard>(d);
      wz.restart();
      wz.next();  // refused: no name
      EXPECT_EQ(last_message(), "Please enter a topic name.");
      wz.name_edit()->setText(QString(256, 'n'));
      wz.next();
      EXPECT_EQ(last_message(), "Field is limited to 255 characters.");
      EXPECT_EQ(wz.currentId(), ui::CTopicWizard::name_page);
      wz.name_edit()->setText(c.typed);
      wz.category_box()->setCurrentIndex(1);
      wz.next();
      for (int r = 0; r < wz.similar_list()->count(); ++r)
        similar << wz.similar_list()->item(r)->text().trimmed();
      wz.similar_list()->setCurrentRow(c.pick_row);
      wz.next();
      for (const char* term : {"apiary", "apiary", "pollination"}) {
        wz.term_edit()->setText(term);
        emit wz.term_edit()->returnPressed();
      }
      wz.next();
      EXPECT_EQ(wz.windowTitle(), "Orvalis Topic Wizard (4 of 4)");
      summary = wz.summary()->text();
      wz.accept();
      return wz.result();
    };
    frame_->run_command(ui::cmd_new_topic_wizard);
    EXPECT_EQ(similar, c.similar);
    EXPECT_TRUE(summary.contains(QString("Query: ") + c.expect_name + ", apiary, pollination"))
        << summary.toStdString();
    Ref_list<Topic_handle> named = Topic_store::shared().topics_named(c.expect_name);
    ASSERT_EQ(named.count(), 1);
    Topic_handle t = named.first();
    EXPECT_EQ(t->concept_id == stored->concept_id, c.pick_row != 0);
    EXPECT_EQ(t->terms.count(), 2);
    EXPECT_FALSE(t->category.empty());
    EXPECT_TRUE(t->is_user_topic && t->is_user_top_level);
    ASSERT_FALSE(agent_.searched.empty());
    EXPECT_EQ(agent_.searched.back(), t->concept_id);
    EXPECT_EQ(frame_->active_topic_window()->current().topic->concept_id, t->concept_id);
  }
}

TEST_F(Dialogs_test, OrganizeMakesCheckedSubtopicsOrSaysThereAreTooFewDocuments) {
  ASSERT_TRUE(frame_->new_database(path("o.ov2")));
  struct Case {
    const char* topic;
    int sail_docs, pressure_docs;
    std::vector<QString> proposals;  // empty: no dialog
    QStringList subtopics;
    const char* message;
  } cases[] = {
      {"Space", 4, 3, {"light pressure", "solar sail"}, {"solar sail"}, nullptr},
      {"Sky", 2, 2, {}, {}, "Unable to organize topic. Too few documents on topic."},
  };
  int n = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.topic);
    Topic_handle topic = add_topic(c.topic, {"space travel"});
    for (int i = 0; i < c.sail_docs + c.pressure_docs; ++i) {
      std::string address = "http://127.0.0.1/" + std::to_string(++n);
      add_document(topic, address.c_str(), "Doc", 1, {"Sails ride light."}, {i < c.sail_docs ? "solar sail" : "light pressure"});
    }
    select(topic->concept_id);
    sink_.shown.clear();
    std::vector<QString> offered;
    fill_in = [&](QDialog& d) {
      auto& o = as<ui::CTopicOrganization>(d);
      for (int r = 0; r < o.proposals()->count(); ++r) {
        offered.push_back(o.proposals()->item(r)->text());
        if (c.subtopics.contains(offered.back()))
          o.proposals()->item(r)->setCheckState(Qt::Checked);
      }
      o.accept();
      return o.result();
    };
    frame_->run_command(ui::cmd_organize);
    EXPECT_EQ(offered, c.proposals);
    EXPECT_EQ(last_message(), c.message ? c.message : "");
    EXPECT_EQ(below(topic->concept_id), c.subtopics);
    // The documents a subtopic took left the organized topic.
    EXPECT_EQ(Document_store().documents_of_topic(topic->concept_id, false).count(), c.message ? c.sail_docs + c.pressure_docs : c.pressure_docs);
  }
}

TEST_F(Dialogs_test, CreateSelectAndDeleteRelations) {
  ASSERT_TRUE(frame_->new_database(path("r.ov2")));
  Topic_handle insects = add_topic("Insects");
  Topic_store& store = Topic_store::shared();
  auto related = [&](std::int32_t id) {
    QStringList out;
    for (const Related_topic& r : store.related_topics(id))
      out << QString::fromUtf8(r.code.c_str()) + " " + QString::fromUtf8(r.topic->name.c_str());
    return out;
  };
  struct Step {
    int command;
    const char* name;  // typed into the dialog's topic field, when it has one
    const char* code;  // chosen, when the dialog offers relations
    const char* message;
    QStringList insects_related;
  } steps[] = {
      {ui::cmd_create_related_topic, "  ", "~", "Please enter a topic name.", {}},
      {ui::cmd_create_related_topic, "Wasps", "~", nullptr, {"~ Wasps"}},
      {ui::cmd_select_relation, "Beetles", "%m", "There is no topic named 'Beetles'.", {"~ Wasps"}},
      {ui::cmd_select_relation, "Insects", "%m", "A topic cannot be related to itself.", {"~ Wasps"}},
      {ui::cmd_create_related_topic, "wasps", "%m", nullptr, {"%m Wasps"}},  // the stored one
      {ui::cmd_delete_relation, nullptr, nullptr, nullptr, {}},
      {ui::cmd_delete_relation, nullptr, nullptr, "'Insects' has no related topics.", {}},
  };
  for (const Step& s : steps) {
    SCOPED_TRACE(std::to_string(s.command) + (s.name ? s.name : ""));
    select(insects->concept_id);
    sink_.shown.clear();
    fill_in = [&](QDialog& d) {
      auto& r = as<ui::CSelectRelationDialog>(d);
      if (r.topic_edit()) r.topic_edit()->setText(s.name);
      if (s.code) r.set_code(s.code);
      r.accept();
      return r.result();
    };
    frame_->run_command(s.command);
    EXPECT_EQ(last_message(), s.message ? s.message : "");
    EXPECT_EQ(related(insects->concept_id), s.insects_related);
    EXPECT_EQ(below(insects->concept_id).size(), s.insects_related.size());
  }
  EXPECT_EQ(store.topics_named("Wasps").count(), 1);

  // On a related topic, Select Relation changes the relation both ways.
  ASSERT_TRUE(store.relate(insects->concept_id, store.topics_named("Wasps").first()->concept_id, "~"));
  ui::CChildFrame* w = select(insects->concept_id);
  w->tree()->expand(w->tree()->currentIndex());
  w->tree()->setCurrentIndex(w->tree_model()->index(0, 0, w->tree()->currentIndex()));
  ASSERT_EQ(w->current().kind, ui::Selection::related_topic);
  fill_in = [&](QDialog& d) {
    auto& r = as<ui::CSelectRelationDialog>(d);
    EXPECT_EQ(r.code(), Ref_string("~"));  // the relation as it stands
    r.set_code("#p");
    r.accept();
    return r.result();
  };
  frame_->run_command(ui::cmd_select_relation);
  EXPECT_EQ(related(insects->concept_id), QStringList({"#p Wasps"}));
  EXPECT_EQ(related(store.topics_named("Wasps").first()->concept_id), QStringList({"%p Insects"}));
}

TEST_F(Dialogs_test, EditSearchResourceChecksItsFieldsAndStoresTheRecord) {
  ASSERT_TRUE(frame_->new_database(path("s.ov2")));
  Search_resource_store store;
  Ref_list<Search_resource_handle> all = store.list_resources(false);
  ASSERT_GE(all.count(), 2);
  const QString first = QString::fromUtf8(all[0]->name.c_str());
  const QString other = QString::fromUtf8(all[1]->name.c_str());
  const Ref_string search_field = all[0]->search_field;
  const int filters = all[0]->ignore_substrings.count();
  struct Case {
    QString name, url, filter;
    const char* message;  // null: stored
  } cases[] = {
      {"", "http://127.0.0.1/s", "", "Please enter a search resource name."},
      {other.toUpper(), "http://127.0.0.1/s", "", "The search resource name entered already exists."},
      {"Mine", "ftp://127.0.0.1/s", "", "The URL of a search resource must begin with http:// or https://."},
      {"Mine", QString(256, 'u'), "", "Field is limited to 255 characters."},
      {"Mine", "http://127.0.0.1/s", "ads,banners", "A filter text cannot contain a comma."},
      {"Mine", "HTTP://LOCALHOST/Search", "/ads/", nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name.toStdString() + " " + c.url.toStdString());
    sink_.shown.clear();
    fill_in = [&](QDialog& d) {
      if (auto* list = qobject_cast<ui::CSearchResourcesDialog*>(&d)) {
        QTreeWidget* rows = list->list();
        for (int r = 0; r < rows->topLevelItemCount(); ++r)
          if (rows->topLevelItem(r)->text(0) == first) rows->setCurrentItem(rows->topLevelItem(r));
        list->edit_current();
        return int(QDialog::Accepted);
      }
      auto& e = as<ui::CEditSearchResource>(d);
      e.name_edit()->setText(c.name);
      e.url_edit()->setText(c.url);
      e.enabled_box()->setChecked(false);
      e.category_box()->setCurrentText("Mine");
      e.filter_edit()->setText(c.filter);
      if (!c.filter.isEmpty() && !e.add_filter()) {
        e.reject();
        return e.result();
      }
      e.accept();
      return e.result();
    };
    frame_->run_command(ui::cmd_edit_search_resources);
    EXPECT_EQ(last_message(), c.message ? c.message : "");
  }
  EXPECT_FALSE(store.resource(Ref_string(std::string_view(first.toStdString()))));
  Search_resource_handle mine = store.resource("Mine");
  ASSERT_TRUE(mine);
  EXPECT_EQ(mine->location.text(), Ref_string("http://localhost/Search"));
  EXPECT_EQ(mine->enabled, 0);
  EXPECT_EQ(mine->category, Ref_string("Mine"));
  EXPECT_EQ(mine->search_field, search_field);  // the form description stays
  EXPECT_EQ(mine->ignore_substrings.count(), filters + 1);
  EXPECT_EQ(mine->ignore_substrings.last(), Ref_string("/ads/"));

  // The list's check box switches a resource on at once.
  fill_in = [&](QDialog& d) {
    auto& list = as<ui::CSearchResourcesDialog>(d);
    for (int r = 0; r < list.list()->topLevelItemCount(); ++r)
      if (list.list()->topLevelItem(r)->text(0) == "Mine")
        list.list()->topLevelItem(r)->setCheckState(0, Qt::Checked);
    return int(QDialog::Accepted);
  };
  frame_->run_command(ui::cmd_edit_search_resources);
  EXPECT_EQ(store.resource("Mine")->enabled, 1);

  // The Health column says which engines work: three failures in a row suspend one.
  for (int i = 0; i < 3; ++i) Engine_health_store().record_failure("Mine", "answered 503 Service Unavailable");
  QString health;
  fill_in = [&](QDialog& d) {
    auto& list = as<ui::CSearchResourcesDialog>(d);
    for (int r = 0; r < list.list()->topLevelItemCount(); ++r)
      if (list.list()->topLevelItem(r)->text(0) == "Mine") health = list.list()->topLevelItem(r)->text(3);
    return int(QDialog::Accepted);
  };
  frame_->run_command(ui::cmd_edit_search_resources);
  EXPECT_TRUE(health.startsWith("suspended until")) << health.toStdString();
  EXPECT_TRUE(health.endsWith("(answered 503 Service Unavailable)")) << health.toStdString();
}

TEST_F(Dialogs_test, CompactThroughTheDialog) {
  const QString file = path("c.ov2");
  ASSERT_TRUE(frame_->new_database(file));
  Topic_handle topic = add_topic("Kept");
  add_document(topic, "http://127.0.0.1/kept", "Kept", 1);
  Document_store().add_document("http://127.0.0.1/orphan", "Orphan", 1, 1);
  struct Case {
    bool open_in_window;
    bool answer;
    Maintenance_result result;
    const char* message_part;
    std::int64_t orphans;
  } cases[] = {
      {true, true, Maintenance_result::failed, "is open in an Orvalis program", 0},
      {false, false, Maintenance_result::declined, "", 0},
      {false, true, Maintenance_result::done, "1 orphan documents removed", 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.result));
    if (!c.open_in_window) {
      ASSERT_TRUE(frame_->close_database());
    }
    sink_.shown.clear();
    questions_.clear();
    answer_ = c.answer;
    Maintenance_result result{};
    ui::CCompactDialog* shown = nullptr;
    fill_in = [&](QDialog& d) {
      auto& compact = as<ui::CCompactDialog>(d);
      shown = &compact;
      compact.file_edit()->setText(file);
      result = compact.run();
      EXPECT_EQ(compact.figures().orphans_removed, c.orphans);
      return compact.result();
    };
    frame_->run_command(ui::cmd_compact);
    ASSERT_TRUE(shown);
    EXPECT_EQ(result, c.result);
    EXPECT_NE(last_message().find(c.message_part), std::string::npos) << last_message();
    EXPECT_EQ(questions_.size(), c.open_in_window ? 0 : 1);
  }
  ASSERT_TRUE(frame_->open_database(file));
  EXPECT_EQ(Document_store().documents_of_topic(topic->concept_id, false).count(), 1);
}

TEST_F(Dialogs_test, ImportConvertsTableByTableAndAsksBeforeOverwriting) {
  const std::string old_file = dir_.file("old.mdb");
  ASSERT_EQ(make_earlier_file(old_file,
                              "INSERT INTO concept_master VALUES (50000, 'Bees', '', 0, '', 0);"
                              "INSERT INTO concept_home VALUES (50000);"
                              "INSERT INTO concept_terms VALUES (50000, 'hive');"),
            "");
  const QString target = path("new.ov2");
  struct Case {
    bool answer;
    Maintenance_result result;
    const char* message;
  } cases[] = {
      {true, Maintenance_result::done, "Conversion completed successfully!"},
      {false, Maintenance_result::declined, ""},  // the target exists now
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.result));
    if (Database::shared().is_open()) {
      ASSERT_TRUE(frame_->close_database());
    }
    sink_.shown.clear();
    questions_.clear();
    answer_ = c.answer;
    QStringList tables;
    Maintenance_result result{};
    fill_in = [&](QDialog& d) {
      auto& import = as<ui::CImportDialog>(d);
      import.source_edit()->setText(QString::fromStdString(old_file));
      import.target_edit()->setText(target);
      result = import.run();
      tables = import.tables_shown();
      return import.result();
    };
    frame_->run_command(ui::cmd_import);
    EXPECT_EQ(result, c.result);
    EXPECT_EQ(last_message(), c.message);
    if (c.result == Maintenance_result::done) {
      EXPECT_EQ(tables, QStringList({"concept_master", "concept_home", "url_master", "concept_urls",
                                     "concept_relations", "concept_terms", "search_resources"}));
      // The converted database is opened, its user topic under "My Topics".
      ASSERT_TRUE(Database::shared().is_open());
      Ref_list<Topic_handle> bees = Topic_store::shared().topics_named("Bees");
      ASSERT_EQ(bees.count(), 1);
      Topic_tree_model* tree = frame_->active_topic_window()->tree_model();
      EXPECT_TRUE(tree->find_topic(bees.first()->concept_id, tree->root_index(Topic_tree_model::my_topics)).isValid());
    } else {
      EXPECT_EQ(questions_, QStringList({target + " already exists.\nDo you want to overwrite the "
                                                  "file anyway?"}));
      EXPECT_TRUE(tables.isEmpty());
    }
  }
}

TEST_F(Dialogs_test, FeedsPageLooksAtEachAddressAndSavesTheListOnOk) {
  Scripted_server site;
  ASSERT_TRUE(site.start([](Scripted_server::Peer& p) {
    const std::string rss =
        "<rss version=\"2.0\"><channel><title>Sail news</title><item><title>A</title><link>/a</link></item></channel></rss>";
    const std::string page =
        "<html><head><link rel=\"alternate\" type=\"application/rss+xml\" title=\"Posts\" href=\"/posts.xml\">"
        "<link rel=\"alternate\" type=\"application/atom+xml\" title=\"Comments\" href=\"/comments.xml\"></head></html>";
    if (p.request.find("GET /feed.xml") == 0)
      p.write("HTTP/1.0 200 OK\r\nContent-Type: text/plain\r\n\r\n" + rss);
    else if (p.request.find("GET /blog/") == 0)
      p.write("HTTP/1.0 200 OK\r\nContent-Type: text/html\r\n\r\n" + page);
    else
      p.write("HTTP/1.0 404 Not Found\r\nContent-Type: text/html\r\n\r\ngone");
  }));
  const std::string unreachable = "http://127.0.0.1:" + std::to_string(free_port()) + "/feed.xml";
  ASSERT_TRUE(frame_->new_database(path("feeds.ov2")));
  Topic_handle topic = add_topic("Sails");
  Feed old;
  old.concept_id = topic->concept_id;
  old.address = Ref_string("http://127.0.0.1:9/old.xml");
  old.title = Ref_string("Old news");
  ASSERT_TRUE(Feed_store().add_feed(old));
  struct Step {
    std::string typed;  // an address to add; empty: remove the first feed listed
    bool taken;
    std::string message;
  } steps[] = {
      {"ftp://127.0.0.1/feed", false, "A feed address starts with http:// or https://."},
      {site.url("/feed.xml"), true, ""},
      {site.url("/feed.xml"), false, "The topic has this feed already."},
      {site.url("/blog/"), true, ""},
      {site.url("/gone"), false, site.url("/gone") + " answered 404 Not Found; no feed was added."},
      {unreachable, true, "Could not look at " + unreachable},
      {"", true, ""},
  };
  const std::vector<std::string> listed{site.url("/feed.xml") + " Sail news", site.url("/posts.xml") + " Posts",
                                        site.url("/comments.xml") + " Comments", unreachable + " "};
  for (bool ok : {false, true}) {
    SCOPED_TRACE(ok ? "OK" : "Cancel");
    QStringList shown;
    ui::CTopicProperties pages(topic, [&](const QString& m) { shown << m; });
    pages.show_feeds_page();
    ASSERT_EQ(pages.feeds()->topLevelItemCount(), 1);
    EXPECT_EQ(pages.feeds()->topLevelItem(0)->text(0), "Old news");
    EXPECT_EQ(pages.feeds()->topLevelItem(0)->text(2), "never");
    for (const Step& s : steps) {
      SCOPED_TRACE(s.typed);
      shown.clear();
      if (!s.typed.empty()) {
        pages.feed_edit()->setText(QString::fromStdString(s.typed));
        EXPECT_EQ(pages.add_feed(), s.taken);
      } else {
        pages.feeds()->setCurrentItem(pages.feeds()->topLevelItem(0));
        pages.remove_feed();
      }
      EXPECT_EQ(shown.join("").toStdString().substr(0, s.message.size()), s.message);
    }
    if (ok) {
      ASSERT_TRUE(pages.apply());
    }
    std::vector<std::string> stored;
    for (const Feed& f : Feed_store().feeds(topic->concept_id)) stored.push_back(f.address.str() + " " + f.title.str());
    std::sort(stored.begin(), stored.end());
    std::vector<std::string> expected = ok ? listed : std::vector<std::string>{"http://127.0.0.1:9/old.xml Old news"};
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(stored, expected);
  }
}

TEST_F(Dialogs_test, ExportWritesEachFormatForTheWholeDatabaseOrTheSelectedTopic) {
  ASSERT_TRUE(frame_->new_database(path("out.ov2")));
  Topic_handle sails = add_topic("Sails");
  add_topic("Comets");
  add_document(sails, "http://127.0.0.1/sails", "Sails", 1, {"Light pushes."});
  struct Case {
    int format;
    bool selected;
    const char* file;
    const char* starts;
    const char* holds;
  } cases[] = {
      {0, false, "all.json", "{\n  \"format\": \"orvalis-topics\"", "\"name\": \"Comets\""},
      {0, true, "sails", "{\n  \"format\": \"orvalis-topics\"", "\"extract\": [\n        \"Light pushes.\""},
      {1, false, "all.opml", "<?xml", "Comets"},
      {2, true, "report.md", "# Sails", "Light pushes."},
      {3, true, "refs.json", "[", "\"type\": \"webpage\""},
  };
  select(sails->concept_id);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    fill_in = [&](QDialog& d) {
      auto& dialog = as<ui::CExportTopicsDialog>(d);
      EXPECT_TRUE(dialog.selected_button()->isEnabled());
      dialog.format_box()->setCurrentIndex(c.format);
      (c.selected ? dialog.selected_button() : dialog.whole_button())->setChecked(true);
      dialog.file_edit()->setText(path(c.file));
      EXPECT_EQ(dialog.run(), Maintenance_result::done);
      return dialog.result();
    };
    frame_->run_command(ui::cmd_export_topics);
    const std::string written = dir_.file(std::string(c.file) + (std::string(c.file) == "sails" ? ".json" : ""));
    std::ifstream in(written);
    std::stringstream text;
    text << in.rdbuf();
    EXPECT_EQ(text.str().rfind(c.starts, 0), 0u) << text.str();
    EXPECT_NE(text.str().find(c.holds), std::string::npos) << text.str();
    EXPECT_EQ(text.str().find("Comets") != std::string::npos, !c.selected);
    EXPECT_FALSE(std::filesystem::exists(written + ".part"));
  }
}

TEST_F(Dialogs_test, ImportMergesAFileAndShowsWhatWasAddedSkippedAndRefused) {
  ASSERT_TRUE(frame_->new_database(path("in.ov2")));
  add_topic("Sails");
  struct Case {
    const char* name;
    const char* text;
    const char* summary;   // the report's first line; empty: nothing was imported
    QStringList refused;
    const char* message;   // after the file's path, the message shown when nothing was imported
  } cases[] = {
      {"json with a refused entry",
       R"({"topics": [{"id": 1, "name": "sails", "terms": ["light"]}, {"id": 2, "name": "Comets"}, {"id": 3}],
           "documents": []})",
       "Imported case.txt: 1 topic added, 1 topic merged into an existing one, 1 search term added, 1 entry refused.",
       {"topic 3 has no name"}, ""},
      {"opml told by its first character",
       "<?xml version=\"1.0\"?><opml version=\"2.0\"><head><title>Reader</title></head><body>"
       "<outline text=\"Blogs\"><outline type=\"rss\" text=\"B\" xmlUrl=\"http://127.0.0.1/b.xml\"/></outline>"
       "</body></opml>",
       "Imported case.txt: 1 topic added, 1 feed added.", {}, ""},
      {"malformed json",
       "{\"topics\": [\n  {\"name\": \"Lost\"},\n  oops]}",
       "", {}, " is not valid JSON (line 3, column 3: expected a value); nothing was imported."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::ofstream(dir_.file("case.txt")) << c.text;
    sink_.shown.clear();
    QString summary;
    QStringList refused;
    fill_in = [&](QDialog& d) {
      if (auto* report = qobject_cast<ui::CImportReportDialog*>(&d)) {
        summary = report->summary()->text();
        for (int i = 0; i < report->refused()->count(); ++i) refused << report->refused()->item(i)->text();
        return int(QDialog::Accepted);
      }
      auto& dialog = as<ui::CImportTopicsDialog>(d);
      dialog.file_edit()->setText(path("case.txt"));
      dialog.run();
      return dialog.result();
    };
    frame_->run_command(ui::cmd_import_topics);
    EXPECT_EQ(summary, c.summary);
    EXPECT_EQ(refused, c.refused);
    if (*c.message) {
      EXPECT_EQ(last_message(), dir_.file("case.txt") + c.message);
    }
  }
  EXPECT_EQ(Topic_store::shared().topics_named("Lost").count(), 0);
  EXPECT_EQ(Topic_store::shared().topics_named("Blogs").count(), 1);
  EXPECT_EQ(Topic_store::shared().topics_named("Comets").count(), 1);
}

}  // namespace
}  // namespace orvalis::testing
