// Saved copies from the built program: a page fetched and summarized again after it changed,
// read back with "doc text" and compared with "doc changes"; the same text under other markup
// adds no copy; KeepPageCopies refuses a word it does not know.
#include <gtest/gtest.h>

#include <string>
#include <utility>

#include "../database/database_test_support.h"
#include "cli_runner.h"
#include "test_servers.h"

namespace orvalis::test {
namespace {

std::string article(const std::string& wrapper, const std::string& body) {
  return "<html><head><title>Kites</title><script>var tracked = 1;</script></head><body>"
         "<nav><a href=\"/\">Home</a> <a href=\"/more\">More</a></nav>" +
         wrapper + body + "</body></html>";
}

constexpr const char* kFirst =
    "<h1>Kites</h1><p>A kite is a tethered craft that flies on the wind. The line holds it at an "
    "angle to the wind.</p><p>Box kites were first flown in 1892. They are stable in strong wind.</p>";
constexpr const char* kSecond =
    "<h1>Kites</h1><p>A kite is a tethered craft that flies on the wind. The line holds it at an "
    "angle to the wind.</p><p>Box kites were first flown in 1893. They are stable in strong wind.</p>";

TEST(CliCopies, ReadsCopiesBackAndShowsTheSentencesThatChanged) {
  testing::Nginx_server nginx;
  if (!testing::have_program("nginx") || !nginx.start()) GTEST_SKIP() << "nginx could not be started";
  Cli_sandbox box;
  const std::string db = box.path("copies.ov2");
  ASSERT_EQ(box.run({"new", db}).status, 0);
  Cli_result r = box.run({"settings", "set", "KeepPageCopies", "sometimes"});
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.err.find("KeepPageCopies must be Yes, TextOnly or No, not 'sometimes'"), std::string::npos) << r.err;
  ASSERT_EQ(box.run({"settings", "set", "KeepPageCopies", "Yes"}).status, 0);
  ASSERT_EQ(box.run({"--db", db, "topic", "add", "kites"}).status, 0);
  nginx.put("/kite.html", article("<main>", kFirst));
  ASSERT_EQ(box.run({"--db", db, "doc", "add", "kites", nginx.url("/kite.html")}).status, 0);

  r = box.run({"--db", db, "doc", "changes", "1"});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("no saved copy"), std::string::npos) << r.err;

  struct Step {
    const char* name;
    std::string page;
    const char* expected_changes;  // what doc changes prints afterwards (empty: an error)
  };
  const Step steps[] = {
      {"first visit", article("<main>", kFirst), ""},
      {"one sentence changed", article("<main>", kSecond),
       "@@ -3,3 +3,3 @@\n"
       " The line holds it at an angle to the wind.\n"
       "-Box kites were first flown in 1892.\n"
       "+Box kites were first flown in 1893.\n"
       " They are stable in strong wind.\n"},
      // Other markup around the same text: the same copy, the same change as before.
      {"same text, other markup", article("<main class=\"wide\"><div>", std::string(kSecond) + "</div>"),
       "-Box kites were first flown in 1892.\n"},
  };
  for (const Step& s : steps) {
    nginx.put("/kite.html", s.page);
    r = box.run({"--db", db, "summarize", "--doc", "1"}, 60);
    ASSERT_EQ(r.status, 0) << s.name << r.err;
    r = box.run({"--db", db, "doc", "changes", "1"});
    if (*s.expected_changes) {
      EXPECT_EQ(r.status, 0) << s.name << r.err;
      EXPECT_NE(r.out.find(s.expected_changes), std::string::npos) << s.name << "\n" << r.out;
    } else {
      EXPECT_EQ(r.status, 1) << s.name;
    }
  }

  // The search index holds the newest text: the changed sentence's year, not the old one.
  {
    Database file;
    ASSERT_TRUE(file.open(Ref_string(db)));
    const std::string body = testing::scalar_text(file, "SELECT body FROM page_text_index WHERE rowid = 1");
    EXPECT_NE(body.find("1893"), std::string::npos) << body;
    EXPECT_EQ(body.find("1892"), std::string::npos) << body;
  }

  r = box.run({"--db", db, "doc", "text", "1"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out,
            "Kites\nA kite is a tethered craft that flies on the wind. The line holds it at an angle to the "
            "wind.\nBox kites were first flown in 1893. They are stable in strong wind.\n");
  r = box.run({"--db", db, "doc", "text", nginx.url("/kite.html"), "--html"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("<main>" + std::string(kSecond)), std::string::npos) << r.out;
  r = box.run({"--db", db, "doc", "text", "1", "--at", "1970-01-02"});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("has no saved copy from"), std::string::npos) << r.err;
  EXPECT_EQ(box.run({"--db", db, "doc", "text", "1", "--at", "yesterday"}).status, 2);
}

}  // namespace
}  // namespace orvalis::test
