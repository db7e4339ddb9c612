// received_page: what a finished transfer brought, as the page readers want it: the body
// without the header block, converted to UTF-8 by its encoding (page_to_utf8: byte-order
// mark, the Content-Type charset, a meta declaration, else UTF-8 when valid, else
// windows-1252), with the status, the Content-Type and why there is no page when there is
// none (a Content-Encoding that is not decoded, corrupt compressed data). An FTP file or a
// gopher page has no header: the whole transfer is the body, status 200.
//
// Plain functions on values. The conversion is pure and may run on a worker thread.
#pragma once

#include "foundation/byte_buffer.h"
#include "foundation/page_encoding.h"
#include "foundation/ref_string.h"
#include "net/http_response.h"

namespace orvalis {

class Net_connection;

struct Received_page {
  int status = 0;
  // The body: the bytes as they came (decompressed) until to_utf8 has run, UTF-8 after.
  Byte_buffer_handle body;
  Ref_string content_type;
  // Why the body holds no page, or only the start of one; empty when nothing went wrong.
  Ref_string problem;
  // The encoding found by to_utf8.
  Page_encoding encoding;
  bool converted = false;

  // Converts the body to UTF-8 once; a page with no body stays without.
  void to_utf8();
};

// The page of a raw reply; `parsed` is the reply as the connection parsed it while it arrived
// (null for FTP and gopher, or to parse `raw` here).
Received_page received_page(const Byte_buffer_handle& raw, const Http_response_handle& parsed);
// The same for a connection's reply.
Received_page received_page(const Net_connection& connection);

// The bytes of a page converted to UTF-8 in a buffer of their own.
Byte_buffer_handle utf8_page(const char* bytes, std::int64_t n, const Ref_string& content_type,
                             Page_encoding* found = nullptr);

}  // namespace orvalis
