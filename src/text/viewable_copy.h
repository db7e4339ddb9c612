// A saved copy of a page made fit to open from a local file (the window's "Open Saved Copy"):
//  - the HTML as received, in UTF-8, rewritten so that nothing of it runs and its links still
//    lead where they led: script elements, comments, event attributes (on...), srcdoc, base
//    and refresh or charset meta tags are taken out; addresses in href, src, action,
//    formaction, poster, background, cite, longdesc, data and srcset are made absolute against
//    the page's address, and a javascript: or vbscript: one becomes "about:blank"; a
//    <meta charset="utf-8"> goes after the head start tag (or before the first element);
//  - or, for a copy that kept only the readable text, a plain page of it: one paragraph a
//    line, escaped, under the document's title and address.
// One pass over the text, linear in its length whatever it holds (an unclosed tag or quote is
// read as text). Pure functions; any thread.
#pragma once

#include <string>
#include <string_view>

namespace orvalis {

std::string viewable_copy_html(std::string_view html, std::string_view address);

// `when` is the time of the copy as the user reads it ("2026-12-07 10:42").
std::string viewable_copy_text(std::string_view text, std::string_view title, std::string_view address,
                               std::string_view when);

}  // namespace orvalis
