// The proxy settings: the start-up check and the options page check.
#include "net/proxy.h"

#include <gtest/gtest.h>

#include "foundation/error_handler.h"
#include "foundation/settings.h"

namespace orvalis {
namespace {

class Proxy_settings_test : public ::testing::Test {
 protected:
  void set(const char* enabled, const char* host, const char* port) {
    Settings_cache& s = Settings_cache::instance();
    s.set("ProxyEnabled", enabled);
    s.set("ProxyHost", host);
    s.set("ProxyPort", port);
  }
  void TearDown() override { set("no", "", ""); }
  Collecting_error_handler errors;
};

TEST_F(Proxy_settings_test, EnabledProxyWithoutPortIsSwitchedOff) {
  set("yes", "proxy.local", "");
  check_proxy_settings();
  EXPECT_EQ(Settings_cache::instance().get("ProxyEnabled"), "no");
  ASSERT_EQ(errors.messages().count(), 1);
  EXPECT_EQ(errors.messages().first(), "Port not specified for proxy host. Proxy support disabled.");
  EXPECT_FALSE(proxy_enabled());
}

TEST_F(Proxy_settings_test, OptionsPageNeedsHostAndNonZeroPort) {
  EXPECT_TRUE(validate_proxy_page(false, "", "").accepted);
  Proxy_page_check no_host = validate_proxy_page(true, "", "80");
  EXPECT_FALSE(no_host.accepted);
  EXPECT_EQ(no_host.focus, Proxy_page_check::host_field);
  EXPECT_EQ(no_host.message, "If network proxy is enabled, the proxy host is required.");
  Proxy_page_check bad_port = validate_proxy_page(true, "p", "abc");
  EXPECT_FALSE(bad_port.accepted);
  EXPECT_EQ(bad_port.focus, Proxy_page_check::port_field);
  EXPECT_EQ(bad_port.message,
            "If network proxy is enabled, a non-zero proxy port number is required.");
  EXPECT_TRUE(validate_proxy_page(true, "p", "8080").accepted);
}

}  // namespace
}  // namespace orvalis
