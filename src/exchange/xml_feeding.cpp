#include "exchange/xml_feeding.h"

#include <algorithm>

namespace orvalis {

bool feed_xml(XML_Parser parser, std::string_view text, std::string& error) {
  constexpr std::size_t piece = 1 << 20;
  bool ok = true;
  for (std::size_t at = 0; ok; at += piece) {
    const std::size_t n = at < text.size() ? std::min(piece, text.size() - at) : 0;
    const bool last = at + n >= text.size();
    ok = XML_Parse(parser, text.data() + at, static_cast<int>(n), last ? XML_TRUE : XML_FALSE) == XML_STATUS_OK;
    if (last) break;
  }
  if (!ok && error.empty())
    error = "line " + std::to_string(XML_GetCurrentLineNumber(parser)) + ": " + XML_ErrorString(XML_GetErrorCode(parser));
  return ok;
}

}  // namespace orvalis
