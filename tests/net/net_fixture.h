// A fixture for tests that run the network layer: known settings and limits, an empty host
// table, no host spacing unless a test turns it on, a name server that knows no names,
// collected error messages, a descriptor count, and at the end every request cancelled, no
// descriptor left open (where the fixture asks) and the layer shut down.
#pragma once

#include <gtest/gtest.h>

#include "foundation/error_handler.h"
#include "foundation/settings.h"
#include "net/host_table.h"
#include "net/network.h"
#include "net/network_task.h"
#include "platform/event_loop.h"
#include "test_servers.h"

namespace orvalis::testing {

// A task that remembers how it ended.
class Recording_task : public Network_task {
 public:
  void process_result() override {
    ++completions;
    if (connection()) {
      raw = connection()->received_buffer();
      final_url = connection()->url();
    }
  }
  bool ended() const { return completions > 0; }
  Ref_string text() const { return raw ? raw->text() : Ref_string(); }
  int completions = 0;
  Byte_buffer_handle raw;
  Ref_string final_url;
};
using Recording_handle = Counted_handle<Recording_task>;

class Net_test : public ::testing::Test {
 protected:
  void SetUp() override {
    saved_limits_ = network_limits();
    network_limits().concurrent_requests = 100;
    network_limits().concurrent_lookups = 3;
    network_limits().max_document_bytes = 1048576;
    no_proxy();
    Settings_cache::instance().set("UserAgent", "Orvalis 2.0");
    Host_table::instance().clear();
    set_host_spacing_enabled(false);
    set_warnings_enabled(true);
    // Names outside the hosts file go to a loopback name server that knows none of them.
    ASSERT_EQ(platform::current_event_loop().set_name_servers(names_.address().c_str()), 0);
    ASSERT_TRUE(net_startup());
    fds_.restart();
  }
  void TearDown() override {
    cancel_requests(active_requests());
    // The test's own servers are gone by now (they live in the test body): whatever the
    // transfers did, and however they ended, every socket they opened is closed.
    if (check_descriptors_) {
      EXPECT_EQ(fds_.leaked(), 0) << "descriptors left open";
    }
    net_shutdown();
    set_host_spacing_enabled(true);
    set_warnings_enabled(false);
    network_limits() = saved_limits_;
    no_proxy();
  }

  // A task for `url` with a time-out, activated at once.
  Recording_handle fetch(const std::string& url, int timeout = 30) {
    Recording_handle t = make_counted<Recording_task>();
    t->set_url(Ref_string(url));
    t->connection()->set_timeout(timeout);
    activate_request(t);
    return t;
  }
  // fetch(), then the loop runs until the task ends (a task that does not end fails the test).
  Recording_handle fetch_end(const std::string& url, int timeout = 30) {
    Recording_handle t = fetch(url, timeout);
    EXPECT_TRUE(wait_end(t)) << url << " did not end";
    return t;
  }
  bool wait_end(const Recording_handle& t, double seconds = 10) {
    return run_loop_until([&] { return t->ended(); }, seconds);
  }
  bool has_message(const char* text) const { return errors_.has(text); }

  Instant_name_server names_;
  Fd_leak_check fds_;  // counted once the layer is up
  bool check_descriptors_ = false;  // fixtures switch on the check at the end of each test
  Message_recorder errors_;
  Network_limits saved_limits_;
};

}  // namespace orvalis::testing
