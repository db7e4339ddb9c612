// Fuzzes the reading of a page's encoding and its conversion, and the decoding of compressed
// bodies: whatever the bytes and the header say, the text that comes out is valid UTF-8, and a
// compressed body never gives more than its limit.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "foundation/page_encoding.h"
#include "net/content_decoder.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view bytes(reinterpret_cast<const char*>(data), size);
  // The first line is the Content-Type (and the coding's name); the rest is the page.
  const size_t line = bytes.find('\n');
  const std::string_view header = line == std::string_view::npos ? std::string_view() : bytes.substr(0, line);
  const std::string_view page = line == std::string_view::npos ? bytes : bytes.substr(line + 1);
  orvalis::Page_encoding found;
  if (!orvalis::is_valid_utf8(orvalis::page_to_utf8(page, header, &found))) std::abort();
  if (!orvalis::is_valid_utf8(orvalis::repair_utf8(page))) std::abort();
  for (const char* coding : {"gzip", "deflate"}) {
    orvalis::Content_decoder decoder(coding, 65536);
    std::string out;
    decoder.feed(page.data(), static_cast<std::int64_t>(page.size() / 2), out);
    decoder.feed(page.data() + page.size() / 2, static_cast<std::int64_t>(page.size() - page.size() / 2), out);
    if (out.size() > 65536) std::abort();
  }
  return 0;
}
