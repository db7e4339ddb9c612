// The capture listener receiving a form submitted by a real browser: headless Chromium loads
// a local page whose form posts itself to the listener, as a captured search form does.
#include <gtest/gtest.h>
#include <unistd.h>

#include <string>

#include "net/listen_connection.h"
#include "net/serve_connection.h"
#include "net_fixture.h"
#include "peer_servers.h"

namespace orvalis::testing {
namespace {

class Recording_handler : public Capture_handler {
 public:
  bool handle_request(const Http_request_info& request, Ref_string& html) override {
    if (request.method != "post") return false;  // the browser's own asides (a favicon)
    ++calls;
    last_path = request.path;
    last_fields = request.fields;
    html = "<html><body>Search resource 'x' added successfully.</body></html>";
    return true;
  }
  int calls = 0;
  Ref_string last_path;
  Ref_list<Name_value> last_fields;
};

TEST(Capture_browser, ChromiumPostsAFormToAOneShotListener) {
  if (::access("/usr/bin/chromium", X_OK) != 0) GTEST_SKIP() << "/usr/bin/chromium is missing";
  Collecting_error_handler errors;
  ASSERT_TRUE(net_startup());
  auto handler = make_counted<Recording_handler>();
  int port = 0;
  Network_task_handle listener = start_capture_listener(port, handler, true);
  ASSERT_TRUE(listener);
  activate_request(listener);

  std::string dir = make_temp_dir("orvalis-browser-");
  ASSERT_FALSE(dir.empty());
  write_file(dir + "/form.html",
             "<html><body onload=\"document.forms[0].submit()\">\n"
             "<form action=\"http://127.0.0.1:" + std::to_string(port) + "/capture\" method=\"post\">\n"
             "<input name=\"query\" value=\"searchfield\">\n"
             "<input type=\"hidden\" name=\"999_TARVEN_NAME_FIELD_999\" value=\"My engine\">\n"
             "<select name=\"lang\"><option value=\"fr &amp; de\" selected>x</option></select>\n"
             "</form></body></html>\n");
  Child_process browser;
  ASSERT_TRUE(browser.start({"/usr/bin/chromium", "--headless", "--no-sandbox", "--disable-gpu",
                             "--disable-quic", "--no-first-run", "--disable-background-networking",
                             "--disable-component-update", "--disable-sync",
                             "--user-data-dir=" + dir + "/profile", "file://" + dir + "/form.html"},
                            dir + "/browser.log"));
  // Until the answer has gone out to the browser.
  bool answered = run_loop_until(
      [&] {
        if (handler->calls == 0) return false;
        for (const Network_task_handle& t : active_requests())
          if (dynamic_cast<Serve_connection*>(t->connection()) &&
              t->connection()->state() != Net_connection::closed)
            return false;
        return true;
      },
      60);
  browser.stop();
  EXPECT_TRUE(answered);
  EXPECT_EQ(handler->calls, 1);
  EXPECT_EQ(handler->last_path, "/capture");
  ASSERT_EQ(handler->last_fields.count(), 3);
  EXPECT_EQ(handler->last_fields[0].name, "query");
  EXPECT_EQ(handler->last_fields[0].value, "searchfield");
  EXPECT_EQ(handler->last_fields[1].name, "999_TARVEN_NAME_FIELD_999");
  EXPECT_EQ(handler->last_fields[1].value, "My+engine");  // "+" stays for the handler to read
  EXPECT_EQ(handler->last_fields[2].value, "fr+&+de");
  EXPECT_EQ(listener->status(), Network_task::succeeded);
  cancel_requests(active_requests());
  net_shutdown();
  remove_tree(dir);
}

}  // namespace
}  // namespace orvalis::testing
