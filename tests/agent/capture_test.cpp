// Capturing a search engine: the browser's start and the options checks, the page rewrite, the
// capture file, the checks before a capture, the reading of the browser's submission, and the
// fetch of the form page from nginx with the progress each way it can end shows.
#include "agent/capture.h"

#include <sys/stat.h>
#include <sys/wait.h>

#include <cerrno>
#include <cstring>

#include "../database/database_test_support.h"
#include "../net/net_fixture.h"
#include "agent/browser.h"
#include "agent/capture_task.h"
#include "database/search_resource_store.h"

namespace orvalis::testing {
namespace {

// A browser stand-in that writes the address it is given to `seen` (whole, once written).
std::string recording_browser(const Temp_dir& dir, const std::string& seen) {
  const std::string path = dir.file("fake browser");
  write_file(path, "#!/bin/sh\nprintf '%s' \"$1\" > \"" + seen + ".tmp\"\nmv \"" + seen + ".tmp\" \"" + seen + "\"\n");
  EXPECT_EQ(::chmod(path.c_str(), 0755), 0);
  return path;
}

// The address the form pages of these tests came from.
constexpr const char* kForm = "http://127.0.0.1:8080/dir/form.html";

Byte_buffer_handle bytes(const char* text) {
  auto body = make_counted<Byte_buffer>();
  body->append(text, std::strlen(text));
  return body;
}

TEST(Browser, ChoiceAndServiceNameFromTheExecutable) {
  struct Case {
    const char* path;
    const char* service;
    Browser_choice choice;
  } cases[] = {{"/usr/lib/firefox-esr/firefox-esr", "firefox-esr", Browser_choice::firefox},
               {"C:/Program Files/NETSCAPE.v4.EXE", "netscape", Browser_choice::netscape},
               {"/opt/Opera.exe", "opera", Browser_choice::other}, {"", "", Browser_choice::other}};
  for (const Case& c : cases) {
    EXPECT_EQ(browser_service_name(c.path), c.service) << c.path;
    EXPECT_EQ(browser_choice(c.path), c.choice) << c.path;
  }
}

TEST(Browser, OptionChecksAndTheDetachedStart) {
  Temp_dir dir("orvalis-browser-");
  const std::string seen = dir.file("seen"), browser = recording_browser(dir, seen);
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

TEST(CapturePage, EveryFormAndIsindexPostsToTheListenerWithTheMarkers) {
  const std::string name_marker = "name=999_TARVEN_NAME_FIELD_999 value=\"Finder\"", form = kForm;
  struct Case {
    const char* page;
    std::vector<std::string> parts;  // each must appear; none: the page has no form
  } cases[] = {
      {"<html><body><form action=\"/cgi/find\" method=GET><input name=q></form></body></html>",
       {"<form action=\"http://localhost:4000\" method=post>", name_marker, "<base href=\"" + form + "\">",
        "name=999_TARVEN_URL_FIELD_999 value=\"http://127.0.0.1:8080/cgi/find\"",
        "name=999_TARVEN_FORM_URL_FIELD_999 value=\"" + form + "\"", "METHOD_FIELD_999 value=\"get\"",
        "name=999_TARVEN_USER_FIELD_999 value=\"NONE\"", "<body>Follow these steps to capture the search engine:"}},
      // A relative action, a POST, and a second form with an address of its own.
      {"<form action=find method=Post><input name=q></form><form action=\"http://b/s\"></form>",
       {"value=\"http://127.0.0.1:8080/dir/find\"", "METHOD_FIELD_999 value=\"post\"", "value=\"http://b/s\""}},
      // The page's own base element.
      {"<head><base href=\"http://other/base/\"></head><form action=\"s?x=1&amp;y=2\"></form>",
       {"value=\"http://other/base/s?x=1&amp;amp;y=2\"", "FORM_URL_FIELD_999 value=\"http://other/base/\""}},
      {"<html><head><isindex prompt=x></head></html>",
       {"Enter search keywords: <input name=\"isindex_search_field\">", name_marker,
        "name=999_TARVEN_URL_FIELD_999 value=\"" + form + "\"", "METHOD_FIELD_999 value=GET>\n</form>"}},
      {"<p>No form <script>var f='<form>';</script></p>", {}},
  };
  for (const Case& c : cases) {
    Capture_page out = rewrite_capture_page(bytes(c.page), kForm, {"Finder", kForm, "", "NONE", ""},
                                            "http://localhost:4000");
    std::string text = out.page->text().str();
    EXPECT_EQ(out.found_form, !c.parts.empty()) << c.page;
    for (const std::string& part : c.parts) EXPECT_NE(text.find(part), std::string::npos) << part << "\n" << text;
  }
  // What the user typed and the page's address cannot end an attribute.
  Capture_page out = rewrite_capture_page(bytes("<form></form>"), "http://h/p?a=\"1\"&b",
                                          {"a\"><script>x</script>", "", "", "", ""}, "http://localhost:1");
  std::string text = out.page->text().str();
  EXPECT_EQ(text.find("<script>"), std::string::npos) << text;
  EXPECT_NE(text.find("<base href=\"http://h/p?a=&quot;1&quot;&amp;b\">"), std::string::npos) << text;
}

TEST(CapturePage, TheFileNumberFollowsTheEarlierCaptureFile) {
  Temp_dir dir("orvalis-pages-");
  const Ref_string folder(dir.str());
  EXPECT_EQ(write_capture_page(folder, bytes("<p>x</p>")), Ref_string(dir.file("capture1.htm")));
  EXPECT_EQ(write_capture_page(folder, bytes("<p>x</p>")), Ref_string(dir.file("capture2.htm")));
  EXPECT_FALSE(std::filesystem::exists(dir.file("capture1.htm")));
  EXPECT_EQ(read_file(dir.file("capture2.htm")), "<p>x</p>");
  Message_recorder errors;
  EXPECT_EQ(write_capture_page(Ref_string(dir.file("missing")), bytes("<p>x</p>")), "");
  EXPECT_EQ(errors.all(), "Unable to write temporary file for resource capture. Disk full?\n");
}

class Capture_handler_test : public Database_test {};

TEST_F(Capture_handler_test, ARequestIsCheckedBeforeTheCaptureStarts) {
  Search_resource existing;
  existing.name = "Finder";
  existing.location = Url("http://h/s");
  existing.search_field = "q";
  ASSERT_TRUE(Search_resource_store(db).save_resource(existing));
  Database closed;
  struct Case {
    Capture_request request;
    Database& database;
    const char* browser;
    int message;  // 0: none
  } cases[] = {
      {{"", "http://h/", "", "", ""}, db, "b", 18002},         {{"New", "", "", "", ""}, db, "b", 18003},
      {{"New", "http://h/", "", "", ""}, closed, "b", 18004},  {{"fINDER", "http://h/", "", "", ""}, db, "b", 18013},
      {{"New", "http://h/", "", "", ""}, db, "", 10171},       {{"../New/..", "http://h/", "", "", ""}, db, "b", 0},
  };
  for (Case& c : cases) {
    EXPECT_EQ(check_capture_request(c.request, c.database, c.browser),
              c.message ? Ref_string::from_id(c.message) : Ref_string())
        << c.request.name.str();
    EXPECT_EQ(c.request.category, "General");
  }
}

Http_request_info request(const char* method, const char* path, std::vector<std::pair<const char*, const char*>> fields) {
  Http_request_info r;
  r.method = method;
  r.path = path;
  r.complete = true;
  for (auto& [n, v] : fields) r.fields.append({n, v});
  return r;
}

TEST_F(Capture_handler_test, OnlyTheFirstSubmissionWithSearchfieldBecomesTheResource) {
  auto submission = [](const char* name, const char* query) {
    return request("post", "/", {{kUser_marker, "NONE"}, {kPassword_marker, ""}, {kName_marker, name},
                                 {kAddress_marker, "/cgi/find"}, {kForm_address_marker, kForm},
                                 {kMethod_marker, "GET"}, {"lang", "en"}, {"q", query}, {"n", "10"}});
  };
  struct Case {
    Http_request_info request;
    bool taken;
    const char* answer;  // part of the answer; "" for none of its own
  } cases[] = {
      {request("get", "/favicon.ico", {}), false, ""},
      {submission("My+Engine", "cats"), false, "did not appear in any fields"},
      {submission("Other", "searchfield"), false, ""},
      {request("get", "/?999_TARVEN_NAME_FIELD_999=my+engine&999_TARVEN_URL_FIELD_999=http%3A%2F%2Fh%2Fs&q=x", {}),
       false, "did not appear"},
      {submission("My+Engine", "SearchField"), true, "Search resource 'My Engine' added successfully."},
      {submission("My+Engine", "searchfield"), false, ""},
  };
  Resource_capture capture({"My Engine", kForm, "Science", "", ""}, db);
  for (Case& c : cases) {
    Ref_string html;
    EXPECT_EQ(capture.take(c.request, html), c.taken) << c.request.path.str();
    EXPECT_TRUE(*c.answer ? html.str().find(c.answer) != std::string::npos : html.empty()) << html.str();
  }
  Ref_list<Search_resource_handle> stored = Search_resource_store(db).list_resources(false);
  ASSERT_EQ(stored.count(), 1);
  const Search_resource& r = *stored.first();
  EXPECT_EQ(r.name.str() + "|" + r.location.text().str() + "|" + r.search_field.str() + "|" +
                encode_field_values(r.field_values).str() + "|" + r.category.str(),
            "My Engine|http://127.0.0.1:8080/cgi/find|q|lang,en,n,10|Science");
  EXPECT_EQ(r.request_kind, Search_resource::get);
}

class Capture_task_test : public Net_test {};

TEST_F(Capture_task_test, TheFormPageIsRewrittenShownOrRefused) {
  Temp_dir dir{"orvalis-capture-"};
  Nginx_server nginx;
  ASSERT_TRUE(nginx.start());
  nginx.put("/form.html", "<html><body><form action=\"cgi/find\" method=GET><input name=q></form></body></html>");
  nginx.put("/none.html", "<html><body><p>Nothing to search with</p></body></html>");
  nginx.put("/logo.png", std::string("\x89PNG\r\n\x1a\n\0\0\0\rIHDR", 16));
  std::filesystem::create_directories(dir.file("pages"));
  Settings_cache::instance().set("InstallDir", Ref_string(dir.str()));
  Settings_cache::instance().set("BrowserPath", Ref_string(recording_browser(dir, dir.file("shown"))));
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
      {nginx.url("/form.html"), "", Capture_progress::waiting, "Form retrieved. Please fill out form in browser."},
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
    EXPECT_EQ(task->page_path().empty(), c.state != Capture_progress::waiting) << c.url;
  }
  // The one page written is in the pages folder and was shown in the browser.
  const std::string page = dir.file("pages/capture1.htm");
  EXPECT_NE(read_file(page).find("value=\"" + nginx.url("/cgi/find") + "\""), std::string::npos);
  ASSERT_TRUE(run_loop_until([&] { return std::filesystem::exists(dir.file("shown")); }));
  EXPECT_EQ(read_file(dir.file("shown")), file_url(Ref_string(page)).str());
}

TEST(Capture_basic_authorization, Base64OfEveryLength) {
  EXPECT_EQ(base64_encode("f") + base64_encode("fo") + base64_encode("foo") + base64_encode("\xff\xfe"),
            "Zg==Zm8=Zm9v//4=");
}

}  // namespace
}  // namespace orvalis::testing
