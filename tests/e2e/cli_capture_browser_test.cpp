// orvalis-cli capture with a real browser: nginx on 127.0.0.1 serves search form pages, the
// browser of the settings is a stand-in that makes headless Chromium open the capture page,
// type "searchfield" into the query box and submit; the stored resource is checked field by
// field, and a topic search with it fetches the engine's result page and the documents it names.
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <thread>

#include "cli_runner.h"
#include "test_servers.h"

namespace orvalis::test {
namespace {

TEST(CliCaptureBrowser, SearchFormsAreCapturedThroughChromiumAndSearched) {
  if (::access("/usr/bin/chromium", X_OK) != 0) GTEST_SKIP() << "/usr/bin/chromium is missing";
  // The result page's documents on two hosts other than the engine's: no host spacing to wait out.
  const int documents_port = orvalis::testing::free_port();
  orvalis::testing::Nginx_server nginx;
  ASSERT_TRUE(nginx.start("    listen 127.0.0.3:" + std::to_string(documents_port) + ";\n")) << nginx.log();
  Cli_sandbox box;
  const std::string log = box.extra_env["CAPTURE_BROWSER_LOG"] = box.path("browser.log");
  ASSERT_EQ(box.run({"settings", "set", "BrowserPath", ORVALIS_SOURCE_DIR "/tests/support/capture_browser.py"}).status,
            0);
  ASSERT_EQ(box.run({"new", box.path("topics.ov2")}).status, 0);

  struct Case {
    const char* name;
    const char* page;                                     // served as /NAME.html
    std::string location, request, search_field, fields;  // as `resource show` shows them
  } cases[] = {
      {"Get", "<title>Find</title><form action=\"search\" method=get><input type=text name=q><input type=hidden "
              "name=lang value=en><input type=submit value=Go></form>", nginx.url("/search"), "get", "q", " lang=en"},
      {"Post", "<form action=\"/cgi/find\" method=POST><input name=query><select name=n><option value=10 selected>10"
               "</option></select><button type=submit>Search</button></form>", nginx.url("/cgi/find"), "post",
       "query", " n=10"},
      {"Second", "<form action=\"/a\"><input name=first></form><form action=\"http://127.0.0.1:1/b\" method=post>"
                 "<input name=second><input type=hidden name=k value=2><input type=submit></form>",
       "http://127.0.0.1:1/b", "post", "second", " k=2"},
      {"Index", "<html><head><isindex></head><body>An index</body></html>", nginx.url("/Index.html"), "get",
       "isindex_search_field", ""},
  };
  for (const Case& c : cases) {
    const std::string page = "/" + std::string(c.name) + ".html";
    nginx.put(page, c.page);
    std::remove(log.c_str());
    // Each engine in a category of its own, so that a topic of that category searches it only.
    Cli_result r = box.run({"capture", c.name, nginx.url(page), "--category", c.name}, 120);
    // The stand-in writes what the browser showed once it has shut Chromium down.
    for (int i = 0; i < 600 && ::access(log.c_str(), F_OK) != 0; ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    const std::string answer = orvalis::testing::read_file(log);
    ASSERT_EQ(r.status, 0) << c.name << "\n" << r.out << r.err << "\nbrowser: " << answer;
    EXPECT_NE(r.out.find("Retrieving search form ...\nForm retrieved. Please fill out form in browser.\n"
                         "Capture page: "), std::string::npos) << r.out;
    EXPECT_NE(answer.find("Search resource '" + std::string(c.name) + "' added successfully."), std::string::npos)
        << answer;
    EXPECT_NE(r.out.find("\nLocation: " + c.location + "\nRequest: " + c.request + "\nSearch field: " +
                         c.search_field + "\nFields:" + c.fields + "\nIgnore: \nCategory: " + c.name +
                         "\nEnabled: yes\nForm: " + nginx.url(page) + "\n"), std::string::npos) << r.out;
  }

  // The captured GET engine answers a topic's query with its result page, whose documents are
  // stored and fetched.
  const std::string kites = "http://localhost:" + std::to_string(nginx.port()) + "/kites.html",
                    tides = "http://127.0.0.3:" + std::to_string(documents_port) + "/tides.html";
  nginx.put("/search", "<html><body><a href=\"" + kites + "\">Kites</a> <a href=\"" + tides + "\">Tides</a>");
  nginx.put("/kites.html", "<html><head><title>Kites</title></head><body><p>A kite flies on the wind.</p>");
  nginx.put("/tides.html", "<html><head><title>Tides</title></head><body><p>The moon pulls the tides.</p>");
  ASSERT_EQ(box.run({"topic", "add", "kites", "--category", "Get"}).status, 0);
  Cli_result r = box.run({"search", "kites"}, 60);
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("2 documents found, 2 new, 2 summarized"), std::string::npos) << r.out;
  EXPECT_EQ(box.run({"doc", "list", "kites"}).out, "1\t" + kites + "\tKites\n2\t" + tides + "\tTides\n");
}

}  // namespace
}  // namespace orvalis::test
