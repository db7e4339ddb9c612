// Decoding of HTML character references ("&amp;", "&mdash;", "&#233;", "&#xE9;") in stored
// text, to UTF-8.
//  - Named references: HTML 4.01's 252 names, "apos" and the early "hibar", case-sensitive.
//    A reference ended by ";" is decoded when its whole name is in the table ("&notin;" is the
//    element sign; "&notanentity;", "&bogus;" and "&AMP;" stay as written). Without ";", the
//    longest name that the following letters and digits begin with is taken ("&notin" is the
//    element sign too, "&copy2025" gives "©2025", "&ampx" gives "&x").
//  - Numeric references give their code point; 0, surrogates and values past U+10FFFF give
//    U+FFFD, and 0x80-0x9F the windows-1252 characters browsers show for them.
// Each reference is decoded once: "&amp;lt;" gives "&lt;". The output never outgrows the
// input, so decoding works in place. Pure functions over constant tables; any thread.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace orvalis {

// Appends `text` with & < > " replaced by &amp; &lt; &gt; &quot;: safe in element text and in a
// double-quoted attribute value.
void append_escaped_html(std::string& out, std::string_view text);

// Decodes the references of the zero-terminated text in place.
void decode_entities(char* text);

// Appends the UTF-8 form of code point cp (U+FFFD for one that is not a character).
void append_utf8(std::string& out, unsigned long cp);

}  // namespace orvalis
