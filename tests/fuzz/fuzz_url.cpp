// Fuzzes every question Url answers and the URL codecs on arbitrary text: no read or write past
// a buffer, and decode(encode(x)) gives x back for text without "%" and "+".
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "foundation/ref_string.h"
#include "foundation/url.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string text(reinterpret_cast<const char*>(data), size);
  text = text.substr(0, text.find('\0'));
  size_t cut = text.size() / 2;
  orvalis::Url url(orvalis::Ref_string(std::string_view(text).substr(0, cut)));
  orvalis::Ref_string link(std::string_view(text).substr(cut));
  int f, l;
  (void)url.scheme_code();
  (void)url.host_span(f, l);
  (void)url.port_span(f, l);
  (void)url.host();
  (void)url.port();
  (void)url.path();
  orvalis::Ref_string user, password;
  (void)url.ftp_credentials(user, password);
  (void)url.resolve(link);
  orvalis::Ref_string whole{std::string_view(text)};
  orvalis::Ref_string decoded = orvalis::url_decode(whole);
  orvalis::Ref_string encoded = orvalis::url_encode(whole);
  if (text.find('%') == std::string::npos && text.find('+') == std::string::npos &&
      text.find(' ') == std::string::npos) {
    if (!(orvalis::url_decode(encoded) == whole)) __builtin_trap();
  }
  (void)decoded;
  (void)orvalis::file_url(whole);
  orvalis::Ref_string entities = whole;
  entities.decode_entities();
  if (entities.length() > whole.length()) __builtin_trap();
  return 0;
}
