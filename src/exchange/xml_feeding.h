// Feeding a text to an expat parser. The feed and OPML readers set up their own handlers (each
// refuses entity declarations and external entities); this part, the same for both, hands the
// text over in 1 MiB pieces, so a text longer than an int can describe is no problem, and words
// a failure as "line N: reason".
// Pure function of its arguments; any thread, one parser per thread.
#pragma once

#include <expat.h>

#include <string>
#include <string_view>

namespace orvalis {

// Parses all of `text` with `parser`. On failure, sets `error` to the line and expat's reason
// unless a handler has already put its own reason there, and returns false.
bool feed_xml(XML_Parser parser, std::string_view text, std::string& error);

}  // namespace orvalis
