// Feeds arbitrary bytes to parse_response as a received reply reaches it (zero bytes are
// text), and to the head scanner in two pieces as a reply arrives. Checks that the result
// stays inside the text and that the scanner never ends the head anywhere but where the parse
// puts the body.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "net/http_response.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const char* text = reinterpret_cast<const char*>(data);
  const auto length = static_cast<std::int64_t>(size);
  orvalis::Http_response_handle r = orvalis::parse_response(text, length);
  if (r->status < 0 || r->status > 999) std::abort();
  if (r->has_body() && r->body_offset > length) std::abort();
  (void)orvalis::content_length(*r);
  (void)orvalis::status_text(r->status);

  orvalis::Http_head_scanner scanner;
  const std::int64_t half = length / 2;
  scanner.feed(text, half);
  scanner.feed(text + half, length - half);
  if (scanner.ended() && r->has_status_line && r->status > 0 &&
      static_cast<std::int64_t>(scanner.head().size()) != r->body_offset)
    std::abort();
  return 0;
}
