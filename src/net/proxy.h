// The HTTP proxy settings: ProxyEnabled ("yes" exactly turns the proxy on), ProxyHost and
// ProxyPort, all text in the settings cache. When the proxy is on, every request of the
// program goes through it (set_url makes an Http_connection for any scheme). Start-up checks
// the values in load_settings; the options dialog calls validate_proxy_page before it accepts
// its values and shows the returned message itself. User-interface thread only.
#pragma once

#include "foundation/ref_string.h"

namespace orvalis {

// True when the setting ProxyEnabled is exactly "yes".
bool proxy_enabled();
// The proxy's host and port (the port text read like atoi; 0 when it is not a number).
Ref_string proxy_host();
int proxy_port();

struct Proxy_page_check {
  enum Field { none = 0, host_field = 1, port_field = 2 };
  bool accepted = true;
  Ref_string message;  // the text to show when not accepted
  Field focus = none;  // the field to put the focus on
};
// The options dialog's check of its proxy page: with the proxy box checked, the host must not
// be empty and the port must be a non-zero number.
Proxy_page_check validate_proxy_page(bool use_proxy, const Ref_string& host,
                                     const Ref_string& port);

// Makes sure the user's browsers reach the local capture listener without their own proxy.
void ensure_browser_bypass();

}  // namespace orvalis
