// A real transfer through the network layer with the Qt loop as the program's event loop: the
// look-up, connect, request and response all arrive through QSocketNotifiers.
#include <gtest/gtest.h>

#include "loop_under_test.h"
#include "net/fetch.h"
#include "net/network.h"
#include "net/network_task.h"
#include "platform/event_loop.h"
#include "test_servers.h"
#include "test_support.h"

namespace orvalis::testing {
namespace {

TEST(Qt_loop_fetch, HttpTransferCompletesOnTheQtLoop) {
  std::unique_ptr<platform::Event_loop> loop = platform::make_loop_under_test();
  platform::set_current_event_loop(loop.get());
  no_proxy();
  Instant_name_server names;
  ASSERT_EQ(loop->set_name_servers(names.address().c_str()), 0);
  ASSERT_TRUE(net_startup());
  const std::string body(70000, 'q');  // several reads
  Scripted_server server;
  ASSERT_TRUE(server.start([&](Scripted_server::Peer& p) {
    p.write("HTTP/1.0 200 OK\r\nContent-Type: text/plain\r\n\r\n" + body);
  }));
  struct Case {
    std::string url;
    int status;
  } cases[] = {
      {"http://localhost:" + std::to_string(server.port()) + "/page", Network_task::succeeded},
      {"http://127.0.0.1:" + std::to_string(free_port()) + "/", Network_task::failed},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.url);
    Fetch_result r = fetch_url(Ref_string(c.url), 20);
    EXPECT_EQ(r.status, c.status);
    if (c.status == Network_task::succeeded) {
      ASSERT_TRUE(r.response);
      EXPECT_EQ(r.response->status, 200);
      EXPECT_EQ(std::string(r.raw->contents() + r.response->body_offset), body);
    }
  }
  server.stop();
  net_shutdown();
  platform::set_current_event_loop(nullptr);
}

}  // namespace
}  // namespace orvalis::testing
