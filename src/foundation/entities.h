// Decoding of HTML character references ("&amp;", "&#233;") in stored text. The table of named
// references holds 101 rows in byte order of their names; row n takes its character from the
// string table under 17001 + n. Output is UTF-8: a named reference gives its Unicode character,
// a numeric one its code point (0, surrogates and values past U+10FFFF give U+FFFD). The
// output never outgrows the input, so decoding works in place.
// The table is built on first use; any thread may decode.
#pragma once

#include <cstddef>
#include <string>

namespace orvalis {

// Decodes the references of the zero-terminated text in place.
void decode_entities(char* text);

// Number of rows in the named-reference table, and row i's name and characters (UTF-8).
constexpr int kEntity_count = 101;
const char* entity_name(int row);
const char* entity_text(int row);

// Appends the UTF-8 form of code point cp (U+FFFD for one that is not a character).
void append_utf8(std::string& out, unsigned long cp);

}  // namespace orvalis
