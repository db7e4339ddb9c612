// Fuzzes the conversion of a gopher menu on arbitrary bytes: every link written is read back
// by Url::resolve as a gopher address whose port is a number from 1 to 65535, with no line-end
// character and no quotation mark inside it. The text wrapping keeps every byte.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "foundation/url.h"
#include "net/gopher_connection.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const char* text = reinterpret_cast<const char*>(data);
  orvalis::Ref_string page = orvalis::gopher_menu_to_html(text, static_cast<std::int64_t>(size));
  std::string p = page.str();
  orvalis::Url base("gopher://base.example/1/");
  // Anchors only: a selector may itself hold the text href=" (its quote arrives encoded).
  for (std::size_t at = p.find("<a href=\""); at != std::string::npos; at = p.find("<a href=\"", at)) {
    at += 9;
    std::size_t end = p.find('"', at);
    if (end == std::string::npos) std::abort();
    std::string link = p.substr(at, end - at);
    if (link.find_first_of("\r\n") != std::string::npos) std::abort();
    orvalis::Url back(base.resolve(orvalis::Ref_string(link)));
    if (back.scheme_code() != orvalis::Url::gopher) std::abort();
    if (back.port() < 1 || back.port() > 65535) std::abort();
  }
  orvalis::Byte_buffer_handle wrapped = orvalis::gopher_text_to_html(text, static_cast<std::int64_t>(size));
  if (wrapped->length() != static_cast<std::int64_t>(size) + 18 + 21) std::abort();
  return 0;
}
