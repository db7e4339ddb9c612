// orvalis-cli capture with a real browser: nginx on 127.0.0.1 serves search form pages, the
// browser of the settings is a stand-in that makes headless Chromium open the capture page,
// type "searchfield" into the query box and submit, and the stored resource is checked field
// by field.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "cli_runner.h"
#include "test_servers.h"

namespace orvalis::test {
namespace {

using orvalis::testing::Nginx_server;

TEST(CliCaptureBrowser, SearchFormsAreCapturedThroughChromium) {
  if (::access("/usr/bin/chromium", X_OK) != 0) GTEST_SKIP() << "/usr/bin/chromium is missing";
  Nginx_server nginx;
  ASSERT_TRUE(nginx.start()) << nginx.log();
  nginx.put("/get.html",
            "<html><head><title>Find</title></head><body><form action=\"search\" method=get>"
            "<input type=text name=q><input type=hidden name=lang value=en>"
            "<input type=submit value=Go></form></body></html>");
  nginx.put("/post.html",
            "<html><body><form action=\"/cgi/find\" method=POST><input name=query>"
            "<select name=n><option value=10 selected>10</option></select>"
            "<button type=submit>Search</button></form></body></html>");
  nginx.put("/two.html",
            "<html><body><form action=\"/a\"><input name=first></form>"
            "<form action=\"http://127.0.0.1:1/b\" method=post><input name=second>"
            "<input type=hidden name=k value=2><input type=submit></form></body></html>");
  nginx.put("/index.html", "<html><head><isindex></head><body>An index</body></html>");
  Cli_sandbox box;
  ASSERT_EQ(box.run({"new", box.path("topics.ov2")}).status, 0);

  struct Case {
    const char* name;
    const char* page;
    int form;
    std::vector<std::string> expected;  // parts of `resource show` output
  } cases[] = {
      {"Get Engine", "/get.html", 0,
       {"Location: " + nginx.url("/search"), "Request: get", "Search field: q", "Fields: lang=en",
        "Form: " + nginx.url("/get.html")}},
      {"Post Engine", "/post.html", 0,
       {"Location: " + nginx.url("/cgi/find"), "Request: post", "Search field: query",
        "Fields: n=10"}},
      {"Second Form", "/two.html", 1,
       {"Location: http://127.0.0.1:1/b", "Request: post", "Search field: second", "Fields: k=2"}},
      {"Index", "/index.html", 0,
       {"Location: " + nginx.url("/index.html"), "Request: get", "Search field: isindex_search_field"}},
  };
  for (const Case& c : cases) {
    const std::string log = box.path(std::string(c.name) + ".log");
    const std::string driver = box.path("browser");
    orvalis::testing::write_file(
        driver, "#!/bin/sh\nexec /usr/bin/python3 " ORVALIS_SOURCE_DIR
                "/tests/support/capture_browser.py --form " + std::to_string(c.form) +
                    " --log '" + log + "' \"$1\"\n");
    ASSERT_EQ(::chmod(driver.c_str(), 0755), 0);
    ASSERT_EQ(box.run({"settings", "set", "BrowserPath", driver}).status, 0);

    Cli_result r = box.run({"--db", box.path("topics.ov2"), "capture", c.name, nginx.url(c.page)}, 120);
    // The stand-in writes what the browser showed once it has shut Chromium down.
    for (int i = 0; i < 600 && ::access(log.c_str(), F_OK) != 0; ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    std::string answer = orvalis::testing::read_file(log);
    ASSERT_EQ(r.status, 0) << c.name << "\n" << r.out << r.err << "\nbrowser: " << answer;
    EXPECT_NE(r.out.find("Retrieving search form ..."), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("Form retrieved. Please fill out form in browser."), std::string::npos);
    EXPECT_NE(r.out.find("Capture page: "), std::string::npos);
    EXPECT_NE(answer.find("Search resource '" + std::string(c.name) + "' added successfully."),
              std::string::npos)
        << answer;
    for (const std::string& part : c.expected) EXPECT_NE(r.out.find(part), std::string::npos) << part << "\n" << r.out;
  }

  // A name that exists is refused before anything is fetched.
  Cli_result r = box.run({"--db", box.path("topics.ov2"), "capture", "get engine", nginx.url("/get.html")});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("The search resource name entered already exists."), std::string::npos) << r.err;
}

}  // namespace
}  // namespace orvalis::test
