// Helpers of the page tests: a fresh Topic database with a pages folder beside it, topics and
// documents made through the stores, and the checks that a page is well-formed markup of ours.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <regex>
#include <filesystem>
#include <string>

#include "database/database_test_support.h"
#include "database/document_store.h"
#include "database/topic_store.h"
#include "platform/clock.h"
#include "reports/topic_index.h"

namespace orvalis::testing {

class Pages_test : public Database_test {
 protected:
  void SetUp() override {
    Database_test::SetUp();
    std::filesystem::create_directories(dir.file("pages"));
    options.database = &db;
    options.pages_folder = Ref_string(dir.file("pages"));
    options.user_name = "Ada";
    options.now = platform::now();
  }

  Topic_handle add_topic(const std::string& name, std::int64_t modified_ago = 3600) {
    Topic_store store(db);
    Topic_handle t = store.add_topic(Ref_string(name));
    t->time_last_modified = Db_date::at(options.now - modified_ago);
    EXPECT_TRUE(store.save_topic(*t));
    return t;
  }

  // A document of the topic; `retrieved` fills its counts as a summary would.
  Document_handle add_document(const Topic& topic, const std::string& address, const std::string& title,
                               int relevant = 0, bool retrieved = false) {
    Document_store store(db);
    Document_handle d = store.add_document(Ref_string(address), Ref_string(title), -1, -1);
    if (retrieved) {
      d->num_anchors = 12;
      d->num_images = 3;
      d->time_last_retrieved = Db_date::at(options.now - 10 * 86400);
      EXPECT_TRUE(store.save_document(*d));
    }
    Document_link link;
    link.relevant = relevant;
    link.search_resource = "Alta";
    EXPECT_TRUE(store.link_document(topic.concept_id, d->url_id, link, false));
    return d;
  }

  std::string page(const std::string& name) const { return read_file(dir.file("pages/" + name)); }

  Publish_options options;
};

inline bool has(const std::string& page, const std::string& piece) { return page.find(piece) != std::string::npos; }

// Every tag of `page` is one this program writes, its quotes pair up, it carries no
// event-handler attribute and only our own scripts appear: outside text added no markup.
inline ::testing::AssertionResult only_our_markup(const std::string& page) {
  static const std::regex tag(R"(<(/?)([A-Za-z]*)([^>]*)>)"), handler(R"(\s[oO][nN][a-zA-Z]*\s*=)");
  static const std::regex ours("HTML|HEAD|TITLE|BODY|TABLE|CAPTION|TR|TD|TH|A|IMG|STRONG|BR|CENTER|BLOCKQUOTE|I|B|P|"
                               "FONT|FRAMESET|FRAME|NOFRAMES|SCRIPT", std::regex::icase);
  for (std::sregex_iterator it(page.begin(), page.end(), tag), end; it != end; ++it) {
    std::string name = (*it)[2], rest = (*it)[3], whole = it->str();
    if (whole.starts_with("<!--")) continue;
    std::string outside_quotes;
    for (std::size_t i = 0, quotes = 0; i < rest.size(); ++i)
      if (rest[i] == '"') ++quotes;
      else if (quotes % 2 == 0) outside_quotes += rest[i];
    if (!std::regex_match(name, ours) || std::count(rest.begin(), rest.end(), '"') % 2 ||
        std::regex_search(outside_quotes, handler) ||
        (name == "SCRIPT" && (*it)[1].length() == 0 && rest != " LANGUAGE='JavaScript'"))
      return ::testing::AssertionFailure() << "not our markup: " << whole;
  }
  return ::testing::AssertionSuccess();
}

}  // namespace orvalis::testing
