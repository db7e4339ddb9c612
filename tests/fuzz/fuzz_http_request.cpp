// Fuzzes parse_request on arbitrary bytes: no read past the buffer, and a complete request
// stays complete (with the same fields) when more bytes follow it, as the capture listener
// relies on when it parses again after every read.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "net/serve_connection.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const char* text = reinterpret_cast<const char*>(data);
  orvalis::Http_request_info_handle r = orvalis::parse_request(text, static_cast<std::int64_t>(size));
  if (!r->complete) return 0;
  if (r->body_start < 0 || r->body_start > static_cast<std::int64_t>(size)) std::abort();
  std::string longer(text, size);
  longer += "&extra=1\r\n\r\n";
  orvalis::Http_request_info_handle again =
      orvalis::parse_request(longer.data(), static_cast<std::int64_t>(longer.size()));
  if (!again->complete || again->fields.count() != r->fields.count()) std::abort();
  return 0;
}
