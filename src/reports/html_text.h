// How outside text goes into the generated pages. Titles, extracts, key terms, notes, names
// and addresses come from web pages and from the user; placed into a page as they are, a
// hostile title could add markup or script to the user's own pages. So every such text is
// escaped for HTML (& < > " become character references) wherever it lands, in element text
// or in an attribute value; an address placed into a script's string literal is escaped for
// JavaScript as well; an address used as a link or frame source must have a scheme a browser
// only navigates with (an address such as "javascript:..." becomes "about:blank"); and a file
// name built from outside text keeps only letters, digits, "-", "_" and ".", so it cannot leave
// its folder.
// Pure functions; any thread.
#pragma once

#include <string>
#include <string_view>

#include "foundation/entities.h"
#include "foundation/ref_string.h"

namespace orvalis {

// & < > " replaced by &amp; &lt; &gt; &quot;. The same string when nothing needs escaping.
// Stored text (titles, extracts, key terms, names, notes) is text, never markup: it is escaped
// once, here, and never decoded (a title "&lt;b&gt;" shows as typed).
Ref_string escape_html(const Ref_string& text);

// The body of a single- or double-quoted JavaScript string literal whose value is `text`:
// backslash, quotes, < > &, control characters and the two line separators become escapes,
// so the literal can neither end early nor close its script element.
Ref_string escape_js_string(std::string_view text);

// `address` when it is relative or its scheme is http, https, ftp, gopher, news, mailto or
// file; "about:blank" otherwise (javascript:, data:, vbscript: and any other scheme, with the
// blanks and control characters a browser drops from a scheme taken into account).
Ref_string safe_address(const Ref_string& address);

// Letters, digits, "-", "_" and "." of `text`, without leading dots; "_" when none is left.
Ref_string safe_file_name(std::string_view text);

}  // namespace orvalis
