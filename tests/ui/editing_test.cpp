// Editing the topic database in the window, offscreen: drops on the tree with the drop menu
// answered by the test (Move, Copy, Merge), the drops that are refused, Cut/Copy and Paste
// through the clipboard, the detail pane's Copy, and where addresses go.
#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QDropEvent>
#include <QFileInfo>
#include <QListWidget>
#include <QMenu>
#include <QMimeData>
#include <QTextBrowser>
#include <QTreeView>
#include <QUrl>

#include "ui/child_frame.h"
#include "ui/find_dialog.h"
#include "ui/item_transfer.h"
#include "ui/item_views.h"
#include "ui/topic_tree_model.h"
#include "ui/ui_text.h"
#include "window_fixture.h"

namespace orvalis::testing {
namespace {

using ui::CChildFrame;
using ui::Topic_tree_model;

// Honeybees (with a document and the subtopic Drones below it), Wasps (with a document) and
// Ants, all three the user's top-level topics.
struct Scene {
  Topic_handle bees, wasps, ants, drones;
  Document_handle hive, nest;
};

class Editing_test : public Window_test {
 protected:
  void SetUp() override {
    Window_test::SetUp();
    frame_->choose_drop = [this](const ui::Drop_check& check) {
      menus_.push_back(check);
      return answer_;
    };
    build_scene("edit.ov2");
  }

  // A new database file with the scene, shown in the topic window.
  void build_scene(const char* file) {
    QApplication::clipboard()->clear();
    menus_.clear();
    sink_.shown.clear();
    ASSERT_TRUE(frame_->new_database(QString::fromStdString(dir_.file(file))));
    s_.bees = add_topic("Honeybees");
    s_.wasps = add_topic("Wasps", {"hornet"});
    s_.ants = add_topic("Ants");
    s_.drones = Topic_store::shared().add_topic(Ref_string("Drones"));
    Topic_store::shared().relate(s_.bees->concept_id, s_.drones->concept_id, Ref_string("~"));
    s_.hive = add_document(s_.bees, "http://127.0.0.1/hive", "Hive", 3, {}, {}, "Demo Search");
    s_.nest = add_document(s_.wasps, "http://127.0.0.1/nest", "Nest", 2);
    w_ = frame_->active_topic_window();
    ASSERT_TRUE(w_);
    w_->reload();
  }

  QModelIndex root(Topic_tree_model::Root r) { return w_->tree_model()->root_index(r); }
  QModelIndex node(const Topic_handle& t, const QModelIndex& under) {
    w_->tree()->expand(under);
    return w_->tree_model()->find_topic(t->concept_id, under);
  }
  QModelIndex mine(const Topic_handle& t) { return node(t, root(Topic_tree_model::my_topics)); }
  QModelIndex drones_node() { return node(s_.drones, mine(s_.bees)); }

  // The selection as a drag would take it: a tree node, or a document of the listed topic.
  ui::Transfer take(const QModelIndex& tree_node, const Document_handle& doc = {}) {
    w_->tree()->setCurrentIndex(tree_node);
    if (doc) {
      QAbstractItemModel* list = w_->list()->model();
      for (int r = 0; r < list->rowCount(); ++r)
        if (list->index(r, 0).data().toString() == QString::fromUtf8(doc->title.c_str()))
          w_->list()->setCurrentIndex(list->index(r, 0));
    }
    std::optional<ui::Transfer> t = w_->current_transfer(false);
    EXPECT_TRUE(t);
    return t ? *t : ui::Transfer{};
  }

  // Drags the transfer over the tree node with `button` and drops it there; false when the
  // tree refused it.
  bool drop(const ui::Transfer& transfer, const QModelIndex& target, Qt::MouseButton button = Qt::RightButton) {
    ui::Item_drag_view::set_drag_button(button);
    QWidget* port = w_->tree()->viewport();
    QPoint at = w_->tree()->visualRect(target).center();
    std::unique_ptr<QMimeData> data(ui::transfer_mime(transfer, "text"));
    QDragEnterEvent enter(at, Qt::CopyAction | Qt::MoveAction, data.get(), Qt::NoButton, {});
    QApplication::sendEvent(port, &enter);
    QDragMoveEvent move(at, Qt::CopyAction | Qt::MoveAction, data.get(), Qt::NoButton, {});
    QApplication::sendEvent(port, &move);
    if (!move.isAccepted()) return false;
    QDropEvent dropped(QPointF(at), Qt::CopyAction | Qt::MoveAction, data.get(), Qt::NoButton, {});
    QApplication::sendEvent(port, &dropped);
    QApplication::processEvents();  // the drop is answered after the drag
    return dropped.isAccepted();
  }

  std::vector<std::int32_t> live_documents(const Topic_handle& t) {
    std::vector<std::int32_t> ids;
    for (const Topic_document& d : Document_store().documents_of_topic(t->concept_id, false))
      ids.push_back(d.document->url_id);
    return ids;
  }
  std::vector<std::string> related(const Topic_handle& t) {
    std::vector<std::string> out;
    for (const Related_topic& r : Topic_store::shared().related_topics(t->concept_id))
      out.push_back(r.code.str() + Topic_store::shared().topic(r.topic->concept_id)->name.str());
    return out;
  }
  bool top_level(const Topic_handle& t) {
    Topic_handle fresh = Topic_store::shared().topic(t->concept_id);
    return fresh && fresh->is_user_top_level;
  }

  Scene s_;
  CChildFrame* w_ = nullptr;
  std::vector<ui::Drop_check> menus_;
  int answer_ = 0;
};

using Strings = std::vector<std::string>;
using Ids = std::vector<std::int32_t>;

TEST_F(Editing_test, DropMenuMovesCopiesAndMerges) {
  struct Case {
    const char* what;
    int command;
    bool drones;  // drag Drones from below Honeybees instead of Wasps from My Topics
    bool document;  // drag Wasps' document instead
    bool merge_offered;
  } cases[] = {
      {"move a topic", ui::cmd_drop_move, false, false, true},
      {"copy a topic", ui::cmd_drop_copy, false, false, true},
      {"merge a topic", ui::cmd_drop_merge, false, false, true},
      {"move a subtopic", ui::cmd_drop_move, true, false, true},
      {"move a document", ui::cmd_drop_move, false, true, false},
      {"copy a document", ui::cmd_drop_copy, false, true, false},
  };
  int n = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    build_scene(("drop" + std::to_string(n++) + ".ov2").c_str());
    answer_ = c.command;
    ui::Transfer t = c.drones ? take(drones_node())
                     : c.document ? take(mine(s_.wasps), s_.nest)
                                  : take(mine(s_.wasps));
    ASSERT_TRUE(drop(t, mine(s_.ants)));
    ASSERT_EQ(menus_.size(), 1u);
    EXPECT_TRUE(menus_[0].move && menus_[0].copy);
    EXPECT_EQ(menus_[0].merge, c.merge_offered);
    EXPECT_EQ(sink_.shown, std::vector<std::string>{});

    if (c.document) {
      EXPECT_EQ(live_documents(s_.ants), Ids{s_.nest->url_id});
      EXPECT_EQ(live_documents(s_.wasps),
                c.command == ui::cmd_drop_move ? Ids{} : Ids{s_.nest->url_id});
    } else if (c.drones) {
      EXPECT_EQ(related(s_.ants), Strings{"~Drones"});
      EXPECT_EQ(related(s_.bees), Strings{});
    } else if (c.command == ui::cmd_drop_merge) {
      EXPECT_FALSE(Topic_store::shared().topic(s_.wasps->concept_id));
      EXPECT_EQ(live_documents(s_.ants), Ids{s_.nest->url_id});
      Topic_handle ants = Topic_store::shared().topic(s_.ants->concept_id);
      ASSERT_EQ(ants->terms.count(), 2);
      EXPECT_EQ(ants->terms.first().str(), "Wasps");
      EXPECT_EQ(ants->terms.last().str(), "hornet");
    } else {
      EXPECT_EQ(related(s_.ants), Strings{"~Wasps"});
      EXPECT_EQ(related(s_.wasps), Strings{"@Ants"});
      EXPECT_EQ(top_level(s_.wasps), c.command == ui::cmd_drop_copy);
    }
    // The tree shows the result at once.
    EXPECT_EQ(mine(s_.wasps).isValid(), c.command == ui::cmd_drop_copy || c.document || c.drones);
  }
}

TEST_F(Editing_test, LeftButtonDropsAddOrRelateAtOnce) {
  struct Case {
    const char* what;
    int source;  // 0: Wasps from My Topics, 1: Wasps' document, 2: Drones onto Honeybees, its own place
    bool menu;   // the drop menu is asked (only Merge means something there)
  } cases[] = {
      {"a topic onto a topic is related to it", 0, false},
      {"a document onto a topic is added to it", 1, false},
      {"a subtopic onto its own topic asks", 2, true},
  };
  int n = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    build_scene(("left" + std::to_string(n++) + ".ov2").c_str());
    answer_ = 0;
    ui::Transfer t = c.source == 2 ? take(drones_node()) : take(mine(s_.wasps), c.source == 1 ? s_.nest : Document_handle());
    ASSERT_TRUE(drop(t, c.source == 2 ? mine(s_.bees) : mine(s_.ants), Qt::LeftButton));
    EXPECT_EQ(menus_.size(), c.menu ? 1u : 0u);
    if (c.source == 0) {
      EXPECT_EQ(related(s_.ants), Strings{"~Wasps"});
    } else if (c.source == 1) {
      EXPECT_EQ(live_documents(s_.ants), Ids{s_.nest->url_id});
    }
    EXPECT_EQ(live_documents(s_.wasps), Ids{s_.nest->url_id});  // nothing leaves its place
  }
}

TEST_F(Editing_test, RefusedDropsChangeNothing) {
  struct Case {
    const char* what;
    bool accepted;  // the drag over the target is accepted
    const char* message;
  } cases[] = {
      {"a topic onto itself", false, nullptr},
      {"a topic onto its own subtopic", false, nullptr},
      {"a topic onto a filter folder", false, nullptr},
      {"a document onto a root folder", false, nullptr},
      {"a top-level topic onto My Topics", false, nullptr},
      {"a document onto a topic that holds it", true, "already exists"},
  };
  answer_ = ui::cmd_drop_copy;
  Document_link link;
  Document_store().link_document(s_.ants->concept_id, s_.hive->url_id, link, false);
  w_->reload();
  auto target = [this](std::size_t i) {
    switch (i) {
      case 0: return mine(s_.bees);
      case 1: return drones_node();
      case 2: return root(Topic_tree_model::scheduled_topics);
      case 5: return mine(s_.ants);
      default: return root(Topic_tree_model::my_topics);
    }
  };
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    SCOPED_TRACE(cases[i].what);
    sink_.shown.clear();
    menus_.clear();
    bool document = i == 3 || i == 5;
    ui::Transfer t = document ? take(mine(s_.bees), s_.hive) : take(mine(s_.bees));
    EXPECT_EQ(drop(t, target(i)), cases[i].accepted);
    EXPECT_EQ(menus_.size(), cases[i].accepted ? 1u : 0u);
    EXPECT_EQ(sink_.shown, cases[i].message ? Strings{ui::ui_text(12008).toStdString()} : Strings{});
    EXPECT_EQ(related(s_.bees), Strings{"~Drones"});
    EXPECT_EQ(live_documents(s_.bees), Ids{s_.hive->url_id});
    EXPECT_TRUE(top_level(s_.bees));
  }
}

TEST_F(Editing_test, PasteRelatesWhatWasCutOrCopied) {
  struct Case {
    const char* what;
    bool cut;
    bool document;
  } cases[] = {
      {"copy a topic", false, false},
      {"cut a topic", true, false},
      {"copy a document", false, true},
      {"cut a document", true, true},
  };
  int n = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    build_scene(("paste" + std::to_string(n++) + ".ov2").c_str());
    take(mine(s_.wasps), c.document ? s_.nest : Document_handle());
    frame_->run_command(c.cut ? ui::cmd_cut : ui::cmd_copy);
    // Other programs get the name or the address.
    EXPECT_EQ(QApplication::clipboard()->text(), c.document ? "http://127.0.0.1/nest" : "Wasps");
    // Nothing moves before the paste; pasting onto the item's own place does nothing.
    EXPECT_EQ(live_documents(s_.wasps), Ids{s_.nest->url_id});
    w_->tree()->setCurrentIndex(mine(s_.wasps));
    frame_->run_command(ui::cmd_paste);
    EXPECT_TRUE(related(s_.wasps).empty());

    w_->tree()->setCurrentIndex(mine(s_.ants));
    EXPECT_TRUE(frame_->action(ui::cmd_paste)->isEnabled());
    frame_->run_command(ui::cmd_paste);
    if (c.document) {
      EXPECT_EQ(live_documents(s_.ants), Ids{s_.nest->url_id});
      EXPECT_EQ(live_documents(s_.wasps), c.cut ? Ids{} : Ids{s_.nest->url_id});
    } else {
      EXPECT_EQ(related(s_.ants), Strings{"~Wasps"});
      EXPECT_EQ(top_level(s_.wasps), !c.cut);
    }
    // What was cut moves once; a copy stays on the clipboard.
    w_->tree()->setCurrentIndex(mine(s_.bees));
    EXPECT_EQ(frame_->action(ui::cmd_paste)->isEnabled(), !c.cut);
  }
}

TEST_F(Editing_test, FoundDocumentsDropOntoTopicsAndCtrlCopiesWithoutTheMenu) {
  ui::CFindDialog* find = frame_->find_dialog();
  find->find("nest", true);
  QListWidget* results = find->results();
  ASSERT_EQ(results->count(), 1);
  // Found by the full-text index: the title and a snippet with the matched word in bold.
  EXPECT_EQ(results->item(0)->data(Qt::UserRole + 2).toString(), "<b>Nest</b><br><b>Nest</b>");
  std::unique_ptr<QMimeData> data(results->model()->mimeData({results->model()->index(0, 0)}));
  std::optional<ui::Transfer> t = ui::transfer_from_mime(data.get());
  ASSERT_TRUE(t);
  EXPECT_EQ(data->text(), "http://127.0.0.1/nest");
  ui::Drop_target ants;
  ants.topic = s_.ants->concept_id;
  frame_->drop_items(*t, ants, Qt::ControlModifier);
  EXPECT_TRUE(menus_.empty());
  EXPECT_EQ(live_documents(s_.ants), Ids{s_.nest->url_id});
  EXPECT_EQ(live_documents(s_.wasps), Ids{s_.nest->url_id});
}

// The detail pane's Copy waits for a selection.
TEST_F(Editing_test, DetailPaneCopyFollowsTheSelection) {
  w_->tree()->setCurrentIndex(mine(s_.bees));  // the pane shows the topic
  for (bool selected : {false, true}) {
    if (selected) w_->detail()->selectAll();
    QMenu pane;
    w_->fill_detail_menu(pane);
    EXPECT_EQ(pane.actions()[0]->isEnabled(), selected);
  }
}

TEST_F(Editing_test, DetailPaneFindsTextOrSaysItIsNotThere) {
  w_->tree()->setCurrentIndex(mine(s_.wasps));  // Topic: Wasps, Query Term: hornet
  struct Case {
    const char* text;
    bool found;
  } cases[] = {{"hornet", true}, {"HORNET", true}, {"hornet", true}, {"beetle", false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    sink_.shown.clear();
    EXPECT_EQ(w_->find_in_detail(c.text), c.found);
    EXPECT_EQ(w_->detail()->textCursor().selectedText().toLower(), c.found ? QString(c.text).toLower() : "");
    EXPECT_EQ(sink_.shown, c.found ? Strings{} : Strings{"The text you specified was not found."});
  }
  QMenu pane;
  w_->fill_detail_menu(pane);
  EXPECT_EQ(pane.actions().last()->objectName(), "detail_find");
}

TEST_F(Editing_test, WebAddressesGoToTheBrowserAndLocalPagesStayInThePane) {
  QStringList browsed;
  frame_->browse = [&browsed](const QString& a) { browsed << a; };
  frame_->run_command(ui::cmd_help_contents);
  frame_->run_command(ui::cmd_tutorial);  // the help page's "Getting started"
  ASSERT_EQ(browsed.size(), 2);
  EXPECT_TRUE(browsed[0].startsWith("file:///") && browsed[0].endsWith("/help.htm"));
  EXPECT_TRUE(QFileInfo(QUrl(browsed[0]).toLocalFile()).isFile());
  EXPECT_EQ(browsed[1], browsed[0] + "#start");
  browsed.clear();

  const std::string page = dir_.file("page.htm");
  write_file(page, "<html><body><p>A local page</p></body></html>");
  QTextBrowser* pane = w_->detail();
  emit pane->anchorClicked(QUrl("https://127.0.0.1/article"));
  emit pane->anchorClicked(QUrl::fromLocalFile(QString::fromStdString(page)));
  EXPECT_EQ(browsed.size(), 1);
  EXPECT_EQ(browsed.last(), "https://127.0.0.1/article");
  EXPECT_TRUE(pane->toPlainText().contains("A local page"));
}

}  // namespace
}  // namespace orvalis::testing
