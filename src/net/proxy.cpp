#include "net/proxy.h"

#include <cstdlib>

#include "foundation/settings.h"

namespace orvalis {

bool proxy_enabled() { return Settings_cache::instance().get("ProxyEnabled") == "yes"; }

Ref_string proxy_host() { return Settings_cache::instance().get("ProxyHost"); }

int proxy_port() { return std::atoi(Settings_cache::instance().get("ProxyPort").c_str()); }

Proxy_page_check validate_proxy_page(bool use_proxy, const Ref_string& host,
                                     const Ref_string& port) {
  Proxy_page_check check;
  if (!use_proxy) return check;
  if (host.empty()) {
    check.accepted = false;
    check.message = Ref_string::from_id(10128);
    check.focus = Proxy_page_check::host_field;
  } else if (std::atoi(port.c_str()) == 0) {
    check.accepted = false;
    check.message = Ref_string::from_id(10129);
    check.focus = Proxy_page_check::port_field;
  }
  return check;
}

// This platform's browsers keep no proxy bypass list that the program could edit, so there
// is nothing to do.
void ensure_browser_bypass() {}

}  // namespace orvalis
