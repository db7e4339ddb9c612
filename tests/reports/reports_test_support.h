// Helpers of the page tests: a fresh Topic database with a pages folder beside it, topics and
// documents made through the stores, and the checks that a page is well-formed markup of ours.
#pragma once

#include <gtest/gtest.h>

#include <cctype>
#include <filesystem>
#include <fstream>
#include <sstream>
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

  std::string page(const std::string& name) const {
    std::ifstream in(dir.file("pages/" + name), std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
  }

  Publish_options options;
};

// Every tag of `page` is one this program writes, its quotes pair up, and it carries no
// event-handler attribute: outside text added no markup.
inline ::testing::AssertionResult only_our_markup(const std::string& page) {
  static const char* ours[] = {"HTML", "HEAD", "TITLE", "BODY", "TABLE", "CAPTION", "TR", "TD", "TH",
                               "A", "IMG", "STRONG", "BR", "CENTER", "BLOCKQUOTE", "I", "B", "P", "FONT",
                               "FRAMESET", "FRAME", "NOFRAMES", "SCRIPT"};
  for (std::size_t at = page.find('<'); at != std::string::npos; at = page.find('<', at + 1)) {
    std::size_t end = page.find('>', at);
    if (end == std::string::npos) return ::testing::AssertionFailure() << "unclosed tag at " << at;
    std::string tag = page.substr(at + 1, end - at - 1);
    if (tag.starts_with("!--")) continue;
    std::string name;
    for (char c : tag.substr(tag[0] == '/' ? 1 : 0)) {
      if (!std::isalpha(static_cast<unsigned char>(c))) break;
      name += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    bool known = false;
    for (const char* n : ours) known = known || name == n;
    if (!known) return ::testing::AssertionFailure() << "foreign tag <" << tag << ">";
    int quotes = 0;
    bool inside = false;
    for (std::size_t i = 0; i < tag.size(); ++i) {
      if (tag[i] == '"') {
        ++quotes;
        inside = !inside;
      } else if (!inside && i > 0 && tag[i - 1] == ' ' && std::tolower(static_cast<unsigned char>(tag[i])) == 'o' &&
                 i + 1 < tag.size() && std::tolower(static_cast<unsigned char>(tag[i + 1])) == 'n') {
        return ::testing::AssertionFailure() << "event attribute in <" << tag << ">";
      }
    }
    if (quotes % 2) return ::testing::AssertionFailure() << "unpaired quote in <" << tag << ">";
    if (name == "SCRIPT" && tag[0] != '/' && tag.find("LANGUAGE='JavaScript'") == std::string::npos)
      return ::testing::AssertionFailure() << "a script of someone else: <" << tag << ">";
  }
  return ::testing::AssertionSuccess();
}

}  // namespace orvalis::testing
