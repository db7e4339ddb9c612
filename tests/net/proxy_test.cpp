// The options page's check of the proxy settings (the start-up check is settings_test.cpp's).
#include "net/proxy.h"

#include <gtest/gtest.h>

namespace orvalis {
namespace {

TEST(Proxy_settings, OptionsPageNeedsHostAndNonZeroPort) {
  EXPECT_TRUE(validate_proxy_page(false, "", "").accepted);
  Proxy_page_check no_host = validate_proxy_page(true, "", "80");
  EXPECT_FALSE(no_host.accepted);
  EXPECT_EQ(no_host.focus, Proxy_page_check::host_field);
  Proxy_page_check bad_port = validate_proxy_page(true, "p", "abc");
  EXPECT_FALSE(bad_port.accepted);
  EXPECT_EQ(bad_port.focus, Proxy_page_check::port_field);
  EXPECT_TRUE(validate_proxy_page(true, "p", "8080").accepted);
}

}  // namespace
}  // namespace orvalis
