// Renders the main window with a topic open on a real X server (the test runs under Xvfb) and
// keeps the picture as build/screenshots/main_window.png.
#include <QDir>
#include <QImage>
#include <QPixmap>
#include <QSet>
#include <QTest>
#include <QTreeView>

#include "database/topic_store.h"
#include "ui/child_frame.h"
#include "window_fixture.h"

namespace orvalis::testing {
namespace {

TEST_F(Window_test, MainWindowWithATopicOpenRendersToAPicture) {
  ASSERT_TRUE(frame_->new_database(QString::fromStdString(dir_.file("demo.ov2"))));
  Topic_handle bees = add_topic("Honeybees", {"hive", "pollination"});
  bees->definition = Ref_string("How honeybee colonies live, forage and swarm.");
  bees->category = Ref_string("Nature");
  Topic_store::shared().save_topic(*bees);
  Topic_handle bumble = add_topic("Bumblebees");
  add_topic("Bread baking", {"sourdough"});
  add_topic("Spaceflight");
  Topic_store::shared().relate(bees->concept_id, bumble->concept_id, Ref_string("@"));
  add_document(bees, "http://bees.demo.test/hive-life", "Life in the hive", 24,
               {"A colony holds one queen and thousands of workers.",
                "Workers build the comb from wax."},
               {"colony", "queen", "comb"}, "Demo Search");
  add_document(bees, "http://bees.demo.test/waggle", "The waggle dance", 12,
               {"Foragers tell the way to flowers by dancing."}, {"dance", "forager"},
               "Demo Search");
  add_document(bees, "http://bees.demo.test/swarm", "", -1);
  ui::CChildFrame* w = frame_->active_topic_window();
  ASSERT_TRUE(w);
  w->reload();
  ASSERT_TRUE(w->select_topic(bees->concept_id));
  w->tree()->expand(w->tree()->currentIndex());
  w->list()->setCurrentIndex(w->list()->model()->index(1, 0));
  frame_->resize(1100, 720);
  QTest::qWait(300);  // let the window system map and paint the window

  QImage shot = frame_->grab().toImage();
  QString folder = QString(ORVALIS_BINARY_DIR) + "/screenshots";
  ASSERT_TRUE(QDir().mkpath(folder));
  ASSERT_TRUE(shot.save(folder + "/main_window.png"));
  // A drawn window, not a blank one: text and icons give many colours.
  QSet<QRgb> colours;
  for (int y = 0; y < shot.height(); y += 3)
    for (int x = 0; x < shot.width(); x += 3) colours.insert(shot.pixel(x, y));
  EXPECT_GT(colours.size(), 20);
}

}  // namespace
}  // namespace orvalis::testing
