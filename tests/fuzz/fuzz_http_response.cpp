// Feeds arbitrary bytes to parse_response as a received reply would reach it: zero-terminated
// (the reply ends at its first zero byte). Checks that the result stays inside the text.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "net/http_response.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::vector<char> text(data, data + size);
  text.push_back('\0');
  orvalis::Http_response_handle r = orvalis::parse_response(text.data());
  std::size_t length = std::strlen(text.data());
  if (r->status < 0 || r->status > 999) std::abort();
  if (r->has_body() && static_cast<std::size_t>(r->body_offset) > length) std::abort();
  (void)orvalis::content_length(*r);
  (void)orvalis::status_text(r->status);
  return 0;
}
