// The capture's pieces that need no running agent: the browser's start and the options checks,
// the page rewrite, the capture file, and the reading of the browser's submission.
#include "agent/capture.h"

#include <sys/stat.h>
#include <sys/wait.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <thread>

#include "../database/database_test_support.h"
#include "agent/browser.h"
#include "database/search_resource_store.h"

namespace orvalis::testing {
namespace {

TEST(Browser, ChoiceAndServiceNameFromTheExecutable) {
  struct Case {
    const char* path;
    const char* service;
    Browser_choice choice;
  } cases[] = {
      {"/usr/bin/firefox", "firefox", Browser_choice::firefox},
      {"/usr/lib/firefox-esr/firefox-esr", "firefox-esr", Browser_choice::firefox},
      {"/usr/bin/chromium", "chromium", Browser_choice::chromium},
      {"/opt/NETSCAPE.EXE", "netscape", Browser_choice::netscape},
      {"C:/Program Files/iexplore.exe", "iexplore", Browser_choice::internet_explorer},
      {"/opt/Opera.exe", "opera", Browser_choice::other},
      {"xdg-open", "xdg-open", Browser_choice::other},
      {"", "", Browser_choice::other},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(browser_service_name(c.path), c.service) << c.path;
    EXPECT_EQ(browser_choice(c.path), c.choice) << c.path;
  }
}

TEST(Browser, OptionChecksAndTheDetachedStart) {
  Temp_dir dir("orvalis-browser-");
  const std::string browser = dir.file("fake browser");
  const std::string seen = dir.file("seen");
  write_file(browser, "#!/bin/sh\nprintf '%s' \"$1\" > \"" + seen + ".tmp\"\nmv \"" + seen +
                          ".tmp\" \"" + seen + "\"\n");
  ASSERT_EQ(::chmod(browser.c_str(), 0755), 0);

  EXPECT_EQ(check_browser_path(Ref_string(browser)), "");
  EXPECT_EQ(check_browser_path(Ref_string(dir.file("none"))), Ref_string::from_id(10130));
  EXPECT_EQ(check_browser_path(Ref_string(dir.path().string())), Ref_string::from_id(10130));
  EXPECT_EQ(confirm_browser_question(Ref_string(browser)), "");
  EXPECT_EQ(confirm_browser_question("/no/such"),
            "The browser executable\n\"/no/such\"\ncannot be located.\nDo you want to keep the changes?");
  EXPECT_EQ(confirm_browser_question("sh"), "");
  EXPECT_EQ(capture_browser_check(""), Ref_string::from_id(10171));
  EXPECT_FALSE(start_browser("", "http://x/"));

  // Quotes, blanks and shell characters reach the browser as one argument, unread by any shell.
  const char* address = "http://127.0.0.1/a b?q=\"x\"&y=$(id)`id`;'";
  ASSERT_TRUE(start_browser(Ref_string(browser), address));
  // The shell that started the browser has been reaped, and nothing else of ours was waited for.
  EXPECT_EQ(::waitpid(-1, nullptr, WNOHANG), -1);
  EXPECT_EQ(errno, ECHILD);
  for (int i = 0; i < 500 && !std::filesystem::exists(seen); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  EXPECT_EQ(read_file(seen), address);
}

Capture_request request(const char* name = "Finder") {
  return {name, "http://127.0.0.1:8080/dir/form.html", "", "NONE", ""};
}

int count(const std::string& text, const std::string& part) {
  int n = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
  return n;
}

TEST(CapturePage, EveryFormAndIsindexPostsToTheListenerWithTheMarkers) {
  const char* listener = "http://localhost:4000";
  struct Case {
    const char* page;
    bool found;
    std::vector<std::string> parts;  // each must appear
    int forms = 0;                   // rewritten forms (name markers)
  } cases[] = {
      {"<html><body><form action=\"/cgi/find\" method=GET><input name=q></form></body></html>",
       true,
       {"<form action=\"http://localhost:4000\" method=post>",
        "name=999_TARVEN_URL_FIELD_999 value=\"http://127.0.0.1:8080/cgi/find\"",
        "name=999_TARVEN_FORM_URL_FIELD_999 value=\"http://127.0.0.1:8080/dir/form.html\"",
        "name=999_TARVEN_METHOD_FIELD_999 value=\"get\"",
        "name=999_TARVEN_USER_FIELD_999 value=\"NONE\"",
        "<base href=\"http://127.0.0.1:8080/dir/form.html\">",
        "<body>Follow these steps to capture the search engine:<br><ul><li> Type"},
       1},
      {"<form action=find method=Post><input name=q></form><form action=\"http://b/s\"></form>",
       true,
       {"value=\"http://127.0.0.1:8080/dir/find\"", "name=999_TARVEN_METHOD_FIELD_999 value=\"post\"",
        "value=\"http://b/s\"", "name=999_TARVEN_METHOD_FIELD_999 value=\"get\""},
       2},
      {"<head><base href=\"http://other/base/\"></head><form action=\"s?x=1&amp;y=2\"></form>", true,
       {"value=\"http://other/base/s?x=1&amp;amp;y=2\"",
        "name=999_TARVEN_FORM_URL_FIELD_999 value=\"http://other/base/\""},
       1},
      {"<html><head><isindex prompt=x></head></html>", true,
       {"<form action=\"http://localhost:4000\" method=post>\n<hr>This is a searchable index . "
        "Enter search keywords: <input name=\"isindex_search_field\">\n<br><hr>\n",
        "name=999_TARVEN_URL_FIELD_999 value=\"http://127.0.0.1:8080/dir/form.html\"",
        "<input type=\"hidden\" name=999_TARVEN_METHOD_FIELD_999 value=GET>\n</form>\n"},
       1},
      {"<p>No form <script>var f='<form>';</script></p>", false, {}, 0},
  };
  for (const Case& c : cases) {
    auto body = make_counted<Byte_buffer>();
    body->append(c.page, std::strlen(c.page));
    Capture_page out = rewrite_capture_page(body, "http://127.0.0.1:8080/dir/form.html", request(),
                                            listener);
    std::string text = out.page->text().str();
    EXPECT_EQ(out.found_form, c.found) << c.page;
    EXPECT_EQ(count(text, "name=999_TARVEN_NAME_FIELD_999 value=\"Finder\""), c.forms) << text;
    for (const std::string& part : c.parts) EXPECT_NE(text.find(part), std::string::npos) << part << "\n" << text;
  }
}

TEST(CapturePage, OutsideTextCannotEndAnAttribute) {
  auto body = make_counted<Byte_buffer>();
  body->append("<form></form>", 13);
  Capture_request r = request("a\"><script>x</script>");
  Capture_page out = rewrite_capture_page(body, "http://h/p?a=\"1\"&b", r, "http://localhost:1");
  std::string text = out.page->text().str();
  EXPECT_EQ(text.find("<script>"), std::string::npos) << text;
  EXPECT_NE(text.find("<base href=\"http://h/p?a=&quot;1&quot;&amp;b\">"), std::string::npos);
}

TEST(CapturePage, TheFileNumberFollowsTheEarlierCaptureFile) {
  Temp_dir dir("orvalis-pages-");
  auto page = make_counted<Byte_buffer>();
  page->append("<p>x</p>", 8);
  EXPECT_EQ(write_capture_page(Ref_string(dir.path().string()), page), Ref_string(dir.file("capture1.htm")));
  EXPECT_EQ(write_capture_page(Ref_string(dir.path().string()), page), Ref_string(dir.file("capture2.htm")));
  EXPECT_FALSE(std::filesystem::exists(dir.file("capture1.htm")));
  EXPECT_EQ(read_file(dir.file("capture2.htm")), "<p>x</p>");

  Message_recorder errors;
  EXPECT_EQ(write_capture_page(Ref_string(dir.file("missing")), page), "");
  EXPECT_EQ(errors.texts(), std::vector<std::string>{
                                "Unable to write temporary file for resource capture. Disk full?"});
}

class Capture_handler_test : public Database_test {};

Http_request_info post(std::vector<std::pair<const char*, const char*>> fields) {
  Http_request_info r;
  r.method = "post";
  r.path = "/";
  r.complete = true;
  for (auto& [n, v] : fields) r.fields.append({n, v});
  return r;
}

TEST_F(Capture_handler_test, TheSubmissionBecomesTheResource) {
  const std::vector<std::pair<const char*, const char*>> markers = {
      {kUser_marker, "NONE"}, {kPassword_marker, ""}, {kName_marker, "My+Engine"},
      {kAddress_marker, "/cgi/find"}, {kForm_address_marker, "http://127.0.0.1:8080/dir/form.html"},
      {kMethod_marker, "GET"}};
  auto with = [&](std::vector<std::pair<const char*, const char*>> more) {
    auto all = markers;
    all.insert(all.end(), more.begin(), more.end());
    return all;
  };
  struct Case {
    const char* what;
    Http_request_info request;
    bool taken;
    const char* answer;  // part of the answer, "" for none
  };
  Http_request_info favicon;
  favicon.method = "get";
  favicon.path = "/favicon.ico";
  Http_request_info get_form;
  get_form.method = "get";
  get_form.path =
      "/?999_TARVEN_NAME_FIELD_999=my+engine&999_TARVEN_URL_FIELD_999=http%3A%2F%2Fh%2Fs&q=x";
  auto other_name = with({{"q", "searchfield"}});
  other_name[2].second = "Other";
  Case cases[] = {
      {"favicon", favicon, false, ""},
      {"no searchfield", post(with({{"q", "cats"}})), false, "did not appear in any fields"},
      {"another capture's name", post(other_name), false, ""},
      {"no searchfield in a GET", get_form, false, "did not appear"},
      {"the submission", post(with({{"lang", "en"}, {"q", "SearchField"}, {"n", "10"}})), true,
       "Search resource 'My Engine' added successfully."},
      {"a second submission", post(with({{"q", "searchfield"}})), false, ""},
  };
  Resource_capture capture({"My Engine", "http://127.0.0.1:8080/dir/form.html", "Science", "", ""},
                           db);
  for (Case& c : cases) {
    Ref_string html;
    EXPECT_EQ(capture.take(c.request, html), c.taken) << c.what;
    EXPECT_NE(html.str().find(c.answer), std::string::npos) << c.what << ": " << html.str();
    if (*c.answer == 0) {
      EXPECT_EQ(html, "") << c.what;
    }
  }
  Ref_list<Search_resource_handle> stored = Search_resource_store(db).list_resources(false);
  ASSERT_EQ(stored.count(), 1);
  const Search_resource& r = *stored.first();
  EXPECT_EQ(r.name, "My Engine");
  EXPECT_EQ(r.location.text(), "http://127.0.0.1:8080/cgi/find");
  EXPECT_EQ(r.form_url, "http://127.0.0.1:8080/dir/form.html");
  EXPECT_EQ(r.search_field, "q");
  EXPECT_EQ(encode_field_values(r.field_values), "lang,en,n,10");
  EXPECT_EQ(r.request_kind, Search_resource::get);
  EXPECT_EQ(r.category, "Science");
  EXPECT_EQ(r.username, "NONE");
  EXPECT_NE(r.enabled, 0);
}

TEST_F(Capture_handler_test, ARequestIsCheckedBeforeTheCaptureStarts) {
  Search_resource existing;
  existing.name = "Finder";
  existing.location = Url("http://h/s");
  existing.search_field = "q";
  existing.category = "General";
  ASSERT_TRUE(Search_resource_store(db).save_resource(existing));
  Database closed;
  struct Case {
    Capture_request request;
    Database& database;
    const char* browser;
    int message;  // 0: none
  } cases[] = {
      {{"", "http://h/", "", "", ""}, db, "b", 18002},
      {{"New", "", "", "", ""}, db, "b", 18003},
      {{"New", "http://h/", "", "", ""}, closed, "b", 18004},
      {{"fINDER", "http://h/", "", "", ""}, db, "b", 18013},
      {{"New", "http://h/", "", "", ""}, db, "", 10171},
      {{"../New/..", "http://h/", "", "", ""}, db, "b", 0},
  };
  for (Case& c : cases) {
    EXPECT_EQ(check_capture_request(c.request, c.database, c.browser),
              c.message ? Ref_string::from_id(c.message) : Ref_string())
        << c.request.name.str();
    EXPECT_EQ(c.request.category, "General");
  }
}

}  // namespace
}  // namespace orvalis::testing
