// Capturing a search engine: the browser's start and options checks, the page rewrite and file,
// the checks before a capture, the submission taken, and the ways the form page's fetch fails.
#include "agent/capture.h"

#include <sys/stat.h>
#include <sys/wait.h>

#include <cerrno>

#include "../database/database_test_support.h"
#include "../net/net_fixture.h"
#include "../text/text_test_support.h"
#include "agent/browser.h"
#include "agent/capture_task.h"
#include "database/search_resource_store.h"
#include "foundation/settings.h"
#include "platform/clock.h"

namespace orvalis::testing {
namespace {

TEST(Browser, ChoiceOptionChecksAndTheDetachedStart) {
  EXPECT_EQ(browser_service_name("C:/Program Files/NETSCAPE.v4.EXE"), "netscape");
  EXPECT_EQ(browser_choice("/usr/lib/firefox-esr/firefox-esr"), Browser_choice::firefox);
  Temp_dir dir("orvalis-browser-");
  // A browser stand-in that writes the address it is given to `seen` (whole, once written).
  const std::string seen = dir.file("seen"), browser = dir.file("fake browser");
  write_file(browser, "#!/bin/sh\nprintf '%s' \"$1\" > \"$0.tmp\"\nmv \"$0.tmp\" \"" + seen + "\"\n");
  ASSERT_EQ(::chmod(browser.c_str(), 0755), 0);
  EXPECT_EQ(check_browser_path(Ref_string(browser)), "");
  EXPECT_EQ(check_browser_path(Ref_string(dir.file("none"))), Ref_string::from_id(10130));
  EXPECT_EQ(check_browser_path(Ref_string(dir.str())), Ref_string::from_id(10130));
  EXPECT_EQ(confirm_browser_question("sh"), "");
  EXPECT_EQ(confirm_browser_question("/no/such"),
            "The browser executable\n\"/no/such\"\ncannot be located.\nDo you want to keep the changes?");
  EXPECT_EQ(capture_browser_check(""), Ref_string::from_id(10171));
  EXPECT_FALSE(start_browser("", "http://x/"));
  // Quotes, blanks and shell characters reach the browser as one argument, unread by any shell;
  // the shell that started it has been reaped, and nothing else of ours was waited for.
  const char* address = "http://127.0.0.1/a b?q=\"x\"&y=$(id)`id`;'";
  ASSERT_TRUE(start_browser(Ref_string(browser), address));
  EXPECT_EQ(::waitpid(-1, nullptr, WNOHANG), -1);
  EXPECT_EQ(errno, ECHILD);
  ASSERT_TRUE(run_loop_until([&] { return std::filesystem::exists(seen); }));
  EXPECT_EQ(read_file(seen), address);
}

// The forms of GET, POST, two-form and isindex pages, and their markers, are captured through a
// real browser in the end-to-end test; here the cases no submission shows.
TEST(CapturePage, ThePagesOwnBaseNoFormHostileTextAndTheFile) {
  const Capture_request finder{"Finder", "http://h/f", "", "", ""};
  const char* page = "<head><base href=\"http://other/b/?p=1&amp;q\"></head><form action=\"s?x=1&amp;y=2\"></form>";
  std::string text = rewrite_capture_page(page_of(page), "http://h/f", finder, "http://localhost:1").page->text().str();
  EXPECT_NE(text.find("URL_FIELD_999 value=\"http://other/b/s?x=1&amp;y=2\""), std::string::npos) << text;
  EXPECT_NE(text.find("FORM_URL_FIELD_999 value=\"http://other/b/?p=1&amp;q\""), std::string::npos) << text;
  EXPECT_FALSE(rewrite_capture_page(page_of("<p><script>'<form>'</script></p>"), "http://h/f", finder, "").found_form);
  // What the user typed and the page's address cannot end an attribute; the instructions lead.
  text = rewrite_capture_page(page_of("<form></form>"), "http://h/p?a=\"1\"&b", {"a\"><script>x", "", "", "", ""},
                              "http://localhost:1").page->text().str();
  EXPECT_EQ(text.find("<script>"), std::string::npos) << text;
  EXPECT_NE(text.find("<base href=\"http://h/p?a=&quot;1&quot;&amp;b\">Follow these steps"), std::string::npos)
      << text;

  // Every form posts UTF-8 whatever the page's encoding; the name reads the same in any encoding.
  text = rewrite_capture_page(page_of("<form></form><isindex>"), "http://h/", {"Caf\xC3\xA9 Finder", "", "", "", ""},
                              "http://localhost:1").page->text().str();
  EXPECT_NE(text.find("accept-charset=\"UTF-8\">"), text.rfind("accept-charset=\"UTF-8\">")) << text;
  EXPECT_NE(text.find("NAME_FIELD_999 value=\"Caf&#233; Finder\""), std::string::npos) << text;

  // The file's number follows the earlier capture file's, which is removed.
  Temp_dir dir("orvalis-pages-");
  const Ref_string folder(dir.str());
  EXPECT_EQ(write_capture_page(folder, page_of("<p>x</p>")), Ref_string(dir.file("capture1.htm")));
  EXPECT_EQ(write_capture_page(folder, page_of("<p>x</p>")), Ref_string(dir.file("capture2.htm")));
  EXPECT_FALSE(std::filesystem::exists(dir.file("capture1.htm")));
  EXPECT_EQ(read_file(dir.file("capture2.htm")), "<p>x</p>");
  Message_recorder errors;
  EXPECT_EQ(write_capture_page(Ref_string(dir.file("missing")), page_of("<p>x</p>")), "");
  EXPECT_EQ(errors.all(), "Unable to write temporary file for resource capture. Disk full?\n");
}

class Capture_handler_test : public Database_test {};

TEST_F(Capture_handler_test, OnlyTheFirstSubmissionWithSearchfieldIsTakenThenItsNameIsUsed) {
  // What the browser sends: the rewritten form's markers, then the engine's own fields.
  auto post = [](const std::string& fields) {
    std::string body = "999_TARVEN_USER_FIELD_999=NONE&999_TARVEN_PASSWD_FIELD_999=&999_TARVEN_URL_FIELD_999=%2Fs&"
                       "999_TARVEN_FORM_URL_FIELD_999=http%3A%2F%2Fh%2F&999_TARVEN_METHOD_FIELD_999=GET&" + fields;
    return "POST / HTTP/1.1\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
  };
  struct Case {
    std::string request;
    bool taken;
    const char* answer;  // part of the answer; "" for none of its own
  } cases[] = {
      {"GET /favicon.ico HTTP/1.1\r\n\r\n", false, ""},
      {post("999_TARVEN_NAME_FIELD_999=My+Engine&q=cats"), false, "did not appear in any fields"},
      {post("999_TARVEN_NAME_FIELD_999=Other&q=searchfield"), false, ""},
      {"GET /?999_TARVEN_NAME_FIELD_999=my+engine&999_TARVEN_URL_FIELD_999=http%3A%2F%2Fh%2Fs&q=x HTTP/1.1\r\n\r\n",
       false, "did not appear"},
      {post("999_TARVEN_NAME_FIELD_999=My+Engine&lang=en&q=SearchField&n=10"), true,
       "Search resource 'My Engine' added successfully."},
      {post("999_TARVEN_NAME_FIELD_999=My+Engine&q=searchfield"), false, ""},
  };
  Resource_capture capture({"My Engine", "http://h/f", "Science", "", ""}, db);
  for (Case& c : cases) {
    Ref_string html;
    EXPECT_EQ(capture.take(*parse_request(c.request.data(), c.request.size()), html), c.taken) << c.request;
    EXPECT_TRUE(*c.answer ? html.str().find(c.answer) != std::string::npos : html.empty()) << html.str();
  }
  Ref_list<Search_resource_handle> stored = Search_resource_store(db).list_resources(false);
  ASSERT_EQ(stored.count(), 1);
  const Search_resource& r = *stored.first();
  EXPECT_EQ(r.name.str() + "|" + r.search_field.str() + "|" + encode_field_values(r.field_values).str() + "|" +
                r.category.str(), "My Engine|q|lang,en,n,10|Science");

  // Names as browsers send them: "+" is a blank, "%2B" a "+", other bytes of UTF-8 as %XX.
  struct Named {
    const char* name;
    const char* sent;
  } names[] = {{"C++ Finder", "C%2B%2B+Finder"}, {"A+B", "A%2BB"}, {"Caf\xC3\xA9 Finder", "Caf%C3%A9+Finder"}};
  for (const Named& n : names) {
    Resource_capture named({n.name, "http://h/f", "", "", ""}, db);
    std::string body = std::string("999_TARVEN_NAME_FIELD_999=") + n.sent + "&q=searchfield";
    std::string request = "POST / HTTP/1.1\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
    Ref_string html;
    EXPECT_TRUE(named.take(*parse_request(request.data(), request.size()), html)) << n.name << ": " << html.str();
  }

  // The checks before a capture, in order; an empty category becomes "General".
  Database closed;
  struct Check {
    Capture_request request;
    Database& database;
    const char* browser;
    int message;  // 0: none
  } checks[] = {
      {{"", "http://h/", "", "", ""}, db, "b", 18002},         {{"New", "", "", "", ""}, db, "b", 18003},
      {{"New", "http://h/", "", "", ""}, closed, "b", 18004},  {{"mY eNGINE", "http://h/", "", "", ""}, db, "b", 18013},
      {{"New", "http://h/", "", "", ""}, db, "", 10171},       {{"../New/..", "http://h/", "", "", ""}, db, "b", 0},
  };
  for (Check& c : checks) {
    EXPECT_EQ(check_capture_request(c.request, c.database, c.browser),
              c.message ? Ref_string::from_id(c.message) : Ref_string())
        << c.request.name.str();
    EXPECT_EQ(c.request.category, "General");
  }
}

class Capture_task_test : public Net_test {};

// A page fetched, written and shown is seen through a real browser in the end-to-end test; here
// the ways the fetch fails.
TEST_F(Capture_task_test, AFormPageThatCannotBeCapturedIsRefused) {
  Nginx_server nginx;
  ASSERT_TRUE(nginx.start());
  nginx.put("/none.html", "<html><body><p>Nothing to search with</p></body></html>");
  nginx.put("/logo.png", std::string("\x89PNG\r\n\x1a\n\0\0\0\rIHDR", 16));
  network_limits().capture_timeout = 30;
  const std::string nobody = "http://127.0.0.1:" + std::to_string(free_port()) + "/";
  const char* no_form = "The URL for the new resource does not contain a search form.";
  const std::string failed = "Unable to retrieve search form. Please check the supplied URL.";
  struct Case {
    std::string url;
    const char* user;
    Capture_progress::State state;
    std::string text;
  } cases[] = {
      {nginx.url("/none.html"), "", Capture_progress::no_form, no_form},
      {nginx.url("/logo.png"), "", Capture_progress::no_form, no_form},
      {nginx.url("/missing.html"), "", Capture_progress::no_form, no_form},
      {nobody, "", Capture_progress::failed, failed},
      {nobody, "me", Capture_progress::failed, failed + "\nAlso verify that your username and password are correct."},
  };
  for (const Case& c : cases) {
    auto task = make_counted<Capture_task>(Capture_request{"Finder", Ref_string(c.url), "", c.user, ""},
                                           "localhost", 4321);
    ASSERT_EQ(task->start(), 1);
    ASSERT_TRUE(run_loop_until([&] { return task->ended(); }, 30)) << c.url;
    Capture_progress p = capture_progress(false, *task);
    EXPECT_EQ(p.state, c.state) << c.url;
    EXPECT_EQ(p.text.str(), c.text) << c.url;
    EXPECT_EQ(task->page_path(), "") << c.url;
  }
  // A form page shown in the browser, and no submission for NetworkTimeout x 10: the capture ends.
  Temp_dir install("orvalis-install-");
  std::filesystem::create_directories(install.file("pages"));
  Settings_cache::instance().set("InstallDir", Ref_string(install.str()));
  Settings_cache::instance().set("BrowserPath", "");
  nginx.put("/form.html", "<html><body><form action=\"/s\"><input name=q></form></body></html>");
  auto shown = make_counted<Capture_task>(Capture_request{"Finder", Ref_string(nginx.url("/form.html")), "", "", ""},
                                          "localhost", 4321);
  ASSERT_EQ(shown->start(), 1);
  ASSERT_TRUE(run_loop_until([&] { return shown->ended(); }, 30));
  ASSERT_NE(shown->page_path(), "");
  platform::Manual_clock later(shown->shown_at() + 299);
  platform::Scoped_clock installed(later);
  EXPECT_EQ(capture_progress(false, *shown).state, Capture_progress::waiting);
  later.advance(1);
  Capture_progress gone = capture_progress(false, *shown);
  EXPECT_EQ(gone.state, Capture_progress::failed);
  EXPECT_NE(gone.text.str().find("within 300 seconds"), std::string::npos) << gone.text.str();
  EXPECT_EQ(capture_progress(true, *shown).state, Capture_progress::captured);
  Settings_cache::instance().set("InstallDir", "");

  // The basic authorization's Base64, every padding.
  EXPECT_EQ(base64_encode("f") + base64_encode("fo") + base64_encode("foo") + base64_encode("\xff\xfe"),
            "Zg==Zm8=Zm9v//4=");
}

}  // namespace
}  // namespace orvalis::testing
