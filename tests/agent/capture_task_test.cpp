// The capture's fetch of the form page from nginx on 127.0.0.1: the page written and shown in
// the browser (a script that records the address it is given), and the progress a display
// shows for each way the fetch can end.
#include "agent/capture_task.h"

#include <sys/stat.h>

#include <filesystem>

#include "../net/net_fixture.h"

namespace orvalis::testing {
namespace {

class Capture_task_test : public Net_test {
 protected:
  void SetUp() override {
    Net_test::SetUp();
    ASSERT_TRUE(nginx.start());
    std::filesystem::create_directories(dir.file("pages"));
    browser = dir.file("browser");
    write_file(browser, "#!/bin/sh\nprintf '%s' \"$1\" > \"" + dir.file("shown.tmp") + "\"\nmv \"" +
                            dir.file("shown.tmp") + "\" \"" + dir.file("shown") + "\"\n");
    ASSERT_EQ(::chmod(browser.c_str(), 0755), 0);
    Settings_cache::instance().set("InstallDir", Ref_string(dir.path().string()));
    Settings_cache::instance().set("BrowserPath", Ref_string(browser));
    network_limits().capture_timeout = 30;
  }

  Temp_dir dir{"orvalis-capture-"};
  Nginx_server nginx;
  std::string browser;
};

TEST_F(Capture_task_test, TheFormPageIsRewrittenShownOrRefused) {
  nginx.put("/form.html",
            "<html><body><form action=\"cgi/find\" method=GET><input name=q></form></body></html>");
  nginx.put("/plain.txt", "no form here");
  struct Case {
    std::string url;
    const char* user;
    Capture_progress::State state;
    const char* text;
  } cases[] = {
      {nginx.url("/form.html"), "", Capture_progress::waiting,
       "Form retrieved. Please fill out form in browser."},
      {nginx.url("/plain.txt"), "", Capture_progress::no_form,
       "The URL for the new resource does not contain a search form."},
      {nginx.url("/missing.html"), "", Capture_progress::no_form,
       "The URL for the new resource does not contain a search form."},
      {"http://127.0.0.1:" + std::to_string(free_port()) + "/", "", Capture_progress::failed,
       "Unable to retrieve search form. Please check the supplied URL."},
      {"http://127.0.0.1:" + std::to_string(free_port()) + "/", "me", Capture_progress::failed,
       "Unable to retrieve search form. Please check the supplied URL.\nAlso verify that your "
       "username and password are correct."},
  };
  for (const Case& c : cases) {
    Capture_request request{"Finder", Ref_string(c.url), "", c.user, ""};
    auto task = make_counted<Capture_task>(request, "localhost", 4321);
    EXPECT_EQ(task->description(), "Capture search engine 'Finder'");
    EXPECT_EQ(capture_progress(false, *task).text, "Retrieving search form ...");
    ASSERT_EQ(task->start(), 1);
    ASSERT_TRUE(run_loop_until([&] { return task->ended(); }, 30)) << c.url;
    Capture_progress p = capture_progress(false, *task);
    EXPECT_EQ(p.state, c.state) << c.url;
    EXPECT_EQ(p.text, c.text) << c.url;
    EXPECT_EQ(capture_progress(true, *task).state, Capture_progress::captured);
    EXPECT_EQ(task->page_path().empty(), c.state != Capture_progress::waiting) << c.url;
  }
  // The one page written is in the pages folder and was shown in the browser.
  const std::string page = dir.file("pages/capture1.htm");
  std::string text = read_file(page);
  EXPECT_NE(text.find("<form action=\"http://localhost:4321\" method=post>"), std::string::npos);
  EXPECT_NE(text.find("value=\"" + nginx.url("/cgi/find") + "\""), std::string::npos) << text;
  ASSERT_TRUE(run_loop_until([&] { return std::filesystem::exists(dir.file("shown")); }, 10));
  EXPECT_EQ(read_file(dir.file("shown")), file_url(Ref_string(page)).str());
}

TEST(Capture_basic_authorization, Base64OfEveryLength) {
  struct Case {
    const char* text;
    const char* encoded;
  } cases[] = {{"", ""}, {"f", "Zg=="}, {"fo", "Zm8="}, {"foo", "Zm9v"},
               {"Aladdin:open sesame", "QWxhZGRpbjpvcGVuIHNlc2FtZQ=="}, {"\xff\xfe", "//4="}};
  for (const Case& c : cases) EXPECT_EQ(base64_encode(c.text), c.encoded) << c.text;
}

}  // namespace
}  // namespace orvalis::testing
