// Page_encoding finds the character encoding of a fetched page and converts the page to UTF-8,
// so that everything read from it (titles, extracts, key terms, links' texts) is valid UTF-8.
//
// The encoding is taken, in this order, from:
//   1. a byte-order mark (UTF-8, UTF-16LE, UTF-16BE), which is then dropped;
//   2. the charset parameter of the Content-Type header;
//   3. a meta charset, or an http-equiv Content-Type with a charset, in the first 1024 bytes
//      (the prescan browsers do: comments and other tags are passed over);
//   4. UTF-8 when the bytes are valid UTF-8;
//   5. windows-1252.
// A label the converter does not know is passed over, as browsers do, and the next source is
// asked. Labels are mapped the way browsers map them: "iso-8859-1" and "us-ascii" read as
// windows-1252, "shift_jis" as Windows code page 932, "gb2312" and "gbk" as GB18030, "euc-kr"
// as code page 949, and a meta that claims UTF-16 on a page without a mark reads as UTF-8.
//
// The conversion uses the C library's iconv. A byte sequence that is not valid in the source
// encoding becomes U+FFFD, once per bad sequence, and the conversion goes on after it; the
// output never holds invalid UTF-8 whatever the input is.
//
// Plain functions on values: any thread.
#pragma once

#include <string>
#include <string_view>

namespace orvalis {

struct Page_encoding {
  // Where the encoding was found; the numbers follow the order above.
  enum Source : int { byte_order_mark = 1, header = 2, meta = 3, valid_utf8 = 4, fallback = 5 };
  // The encoding's name as the converter knows it ("UTF-8", "windows-1251", "CP932").
  std::string name = "UTF-8";
  Source source = valid_utf8;
  // Bytes of a byte-order mark at the start of the page (not part of the text).
  int mark_length = 0;
  // A label that was found but not understood ("x-klingon" in the header), for messages.
  std::string ignored_label;
};

// Where the encoding came from, in words: "byte-order mark", "Content-Type header", ...
const char* encoding_source_text(Page_encoding::Source source);

// The encoding of `bytes` by the order above; `content_type` is the header's value (may be
// empty).
Page_encoding detect_page_encoding(std::string_view bytes, std::string_view content_type);

// The charset parameter of a Content-Type value ("text/html; charset=\"utf-8\"" -> "utf-8");
// empty when there is none.
std::string content_type_charset(std::string_view content_type);

// The charset that a meta element declares in the first 1024 bytes; empty when none does.
std::string prescan_meta_charset(std::string_view bytes);

// The converter's name for a label found in a page or header, mapped as browsers map labels;
// empty when the converter does not know it.
std::string encoding_for_label(std::string_view label);

// True when `bytes` is valid UTF-8 (no overlong forms, surrogates or code points past U+10FFFF).
bool is_valid_utf8(std::string_view bytes);

// `bytes` with every invalid UTF-8 sequence replaced by U+FFFD.
std::string repair_utf8(std::string_view bytes);

// `bytes` (without the mark) converted from `encoding` to UTF-8, invalid sequences as U+FFFD.
// An encoding the converter cannot open reads as windows-1252.
std::string convert_to_utf8(std::string_view bytes, const std::string& encoding);

// detect_page_encoding and convert_to_utf8 in one: the page as UTF-8, and what was found.
std::string page_to_utf8(std::string_view bytes, std::string_view content_type,
                         Page_encoding* found = nullptr);

}  // namespace orvalis
