// Renders the main window on a real X server (the test runs under Xvfb) over a database filled
// from the demo web: its search engine as the database's search resource, and a topic for each
// of the web's themes holding the theme's articles at their served addresses, each analysed as
// the agent's summarizer analyses a retrieved page (title, counts, key terms, extract). A topic
// is open with its documents listed and one of them in the detail pane. The pictures are kept
// under build/screenshots: the start page without a database, the main window (the README's
// docs/main_window.png is a copy of it) and the same in a dark palette; run with
// QT_SCALE_FACTOR=2 they are named "@2x". At the default size no tool bar hides a button.
#include <QDir>
#include <QImage>
#include <QPixmap>
#include <QSet>
#include <QTest>
#include <QTextBrowser>
#include <QToolBar>
#include <QToolButton>
#include <QTreeView>
#include <fstream>

#include "database/resource_definitions.h"
#include "database/search_resource_store.h"
#include "database/topic_store.h"
#include "demo_web/demo_corpus.h"
#include "demo_web/demo_web.h"
#include "foundation/byte_buffer.h"
#include "foundation/settings.h"
#include "text/page_analysis.h"
#include "ui/child_frame.h"
#include "window_fixture.h"

namespace orvalis::testing {
namespace {

struct Demo_topic {
  const char* name;
  const char* theme;
  std::vector<const char*> terms;
};
const Demo_topic kTopics[] = {
    {"Honeybees", "bees", {"hive", "pollination"}},
    {"Solar sails", "spaceflight", {"light sail"}},
    {"Tea oxidation", "tea", {}},
    {"Bread baking", "bread", {"sourdough"}},
};

// The topic's documents: the theme's articles, as a search on the demo engine finds them and
// a summary leaves them; the last two not yet retrieved.
void add_articles(const Topic_handle& topic, const char* theme, const demo::Demo_web& web,
                  Word_tagger& tagger) {
  std::vector<const demo::Article*> articles;
  for (const demo::Article& a : demo::corpus())
    if (a.theme == theme) articles.push_back(&a);
  Document_store docs;
  for (std::size_t i = 0; i < articles.size(); ++i) {
    const demo::Article& a = *articles[i];
    Byte_buffer_handle page = make_counted<Byte_buffer>();
    page->append(a.html.data(), static_cast<std::int64_t>(a.html.size()));
    Page_analysis analysis = analyze_page(page, tagger);
    ASSERT_TRUE(analysis.ok) << a.slug;
    const bool retrieved = i + 2 < articles.size();
    Document_handle d =
        docs.add_document(Ref_string(web.article_address(a.slug).c_str()),
                          retrieved ? analysis.title : Ref_string(), retrieved ? analysis.num_anchors : -1,
                          retrieved ? analysis.num_images : -1);
    ASSERT_TRUE(d);
    if (retrieved) {
      d->size = static_cast<std::int32_t>(analysis.size);
      d->abstract = analysis.extract;
      d->summary = analysis.key_terms;
      d->time_last_retrieved = Db_date::at(platform::now());
      ASSERT_TRUE(docs.save_document(*d));
    }
    Document_link link;
    link.search_resource = Ref_string("Demo Search");
    link.query = topic->name;
    link.relevant = 1;
    ASSERT_TRUE(docs.link_document(topic->concept_id, d->url_id, link, false));
  }
}

// Saves the window's picture as build/screenshots/NAME.png (NAME@2x.png at scale 2) and says
// whether it is a drawn window: text and icons give many colours.
void keep_picture(QWidget& window, const char* name) {
  QTest::qWait(300);  // let the window system map and paint the window
  QImage shot = window.grab().toImage();
  QString folder = QString(ORVALIS_BINARY_DIR) + "/screenshots";
  ASSERT_TRUE(QDir().mkpath(folder));
  QString suffix = shot.devicePixelRatio() > 1.5 ? "@2x" : "";
  ASSERT_TRUE(shot.save(folder + "/" + name + suffix + ".png"));
  QSet<QRgb> colours;
  for (int y = 0; y < shot.height(); y += 3)
    for (int x = 0; x < shot.width(); x += 3) colours.insert(shot.pixel(x, y));
  EXPECT_GT(colours.size(), 20) << name;
}

QPalette dark_palette() {
  QPalette p(QColor(45, 45, 48), QColor(45, 45, 48));  // button and window colours
  for (auto [role, rgb] : {std::pair{QPalette::WindowText, 0xe6e6e6}, {QPalette::Text, 0xe6e6e6},
                           {QPalette::ButtonText, 0xe6e6e6}, {QPalette::Base, 0x1e1e20},
                           {QPalette::AlternateBase, 0x2d2d30}, {QPalette::Highlight, 0x2a82da},
                           {QPalette::Link, 0x78b4ff}, {QPalette::PlaceholderText, 0x969696}})
    p.setColor(role, QColor::fromRgb(rgb));
  return p;
}

TEST_F(Window_test, MainWindowOverTheDemoWebRendersToAPicture) {
  // Without a database: the start page, listing the database used before.
  frame_->new_database(QString::fromStdString(dir_.file("last-week.ov2")));
  frame_->close_database();
  keep_picture(*frame_, "start_page");

  demo::Demo_web web;
  std::string error;
  ASSERT_TRUE(web.start(error)) << error;
  ASSERT_TRUE(frame_->new_database(QString::fromStdString(dir_.file("demo.ov2"))));
  const std::string ini = dir_.file("demo-engine.ini");
  std::ofstream(ini) << "[Demo Search]\nEnabled=1\nLocation=" << web.engine_location()
                     << "\nSearchField=" << demo::Demo_web::search_field
                     << "\nRequestType=GET\nIgnoreSubstrings=" << web.ignore_list()
                     << "\nCategory=\nFormURL=" << web.engine_form_page() << "\n";
  Search_resource_store resources;
  for (const Search_resource_handle& r : read_definitions(Ref_string(ini.c_str())))
    ASSERT_TRUE(resources.save_resource(*r));

  Word_tagger tagger(Settings_cache::instance().get("lexicon_path"));
  std::vector<Topic_handle> topics;
  for (const Demo_topic& d : kTopics) {
    topics.push_back(add_topic(d.name, d.terms));
    add_articles(topics.back(), d.theme, web, tagger);
  }
  Topic_handle bees = topics.front();
  bees->definition = Ref_string("How honeybee colonies live, forage and swarm.");
  bees->category = Ref_string("Nature");
  Topic_store::shared().save_topic(*bees);
  Topic_handle wild = Topic_store::shared().add_topic(Ref_string("Wild bees"));
  Topic_store::shared().relate(bees->concept_id, wild->concept_id, Ref_string("~"));

  ui::CChildFrame* w = frame_->active_topic_window();
  ASSERT_TRUE(w);
  w->reload();
  ASSERT_TRUE(w->select_topic(bees->concept_id));
  w->tree()->expand(w->tree()->currentIndex());
  w->list()->setCurrentIndex(w->list()->model()->index(2, 0));
  keep_picture(*frame_, "main_window");
  EXPECT_TRUE(w->detail()->toPlainText().contains("Keywords"));
  // The default size shows every button of the three bars, each with its icon.
  for (QToolBar* bar : frame_->findChildren<QToolBar*>()) {
    auto* more = bar->findChild<QToolButton*>("qt_toolbar_ext_button");
    EXPECT_TRUE(!more || !more->isVisible()) << bar->objectName().toStdString();
  }

  const QPalette light = QApplication::palette();
  QApplication::setPalette(dark_palette());
  keep_picture(*frame_, "main_window_dark");
  frame_->close_database();
  keep_picture(*frame_, "start_page_dark");
  QApplication::setPalette(light);
}

}  // namespace
}  // namespace orvalis::testing
