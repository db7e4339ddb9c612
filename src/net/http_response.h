// Http_response is a parsed HTTP reply: status (0 = not a usable response), reason, headers
// (a later line with the same name replaces an earlier one) and where the body starts in the
// text that was parsed. parse_response reads the raw text that Http_connection gathered; a
// text that does not begin with a status line is taken whole as the body of a 200 reply (the
// connection itself refuses such a reply; FTP and gopher texts are read this way). The parse
// is one pass over the text, linear in its length however many header lines it holds; zero
// bytes are text like any other.
//
// Http_head_scanner finds where the header block ends while the reply is still arriving, so
// that the connection can parse the headers once and know when a Content-Length body is whole.
//
// status_text turns an error status into the bracketed text that stands in a document's
// summary. Values shared through Counted_handle; one thread at a time.
#pragma once

#include <cstdint>
#include <string>

#include "foundation/counted_object.h"
#include "foundation/name_value_list.h"
#include "foundation/ref_string.h"

namespace orvalis {

class Http_response : public Counted_object {
 public:
  int status = 0;
  Ref_string reason;
  Name_value_list headers;
  // Index of the first body byte in the parsed text, or -1 when the text ended in the headers.
  std::int64_t body_offset = -1;
  // False when the text did not begin with "HTTP/" (then status 200 and the whole is the body).
  bool has_status_line = false;
  // Set by the connection that received the reply: the Content-Encoding it decoded ("gzip",
  // "deflate"; empty when the body came as it is), and why the body holds no page or only
  // the start of one (a coding that is not decoded, corrupt compressed data); empty when
  // nothing kept the body from being read.
  Ref_string content_coding;
  Ref_string body_problem;

  bool has_body() const { return body_offset >= 0; }
};
using Http_response_handle = Counted_handle<Http_response>;

// Parses `length` bytes of a reply. Never fails: an unusable text gives status 0.
Http_response_handle parse_response(const char* text, std::int64_t length);
// The same for a zero-terminated text (it ends at its first zero byte).
Http_response_handle parse_response(const char* text);
// The header "content-length" read as a decimal number; -1 when it is missing, empty or not a
// number.
std::int64_t content_length(const Http_response& response);
// The bracketed text for an error status (400 and above); empty for other statuses.
Ref_string status_text(int status);
// The text that stands for a transfer that did not end with success, by the task's status:
// 3 (timed out or cancelled) or any other.
Ref_string transfer_failure_text(int task_status);

// What parse_response has done since the process started: how often it ran and how many bytes
// it looked at (header names it compared included). Benchmarks and tests bound its cost by it.
struct Http_parse_work {
  std::int64_t passes = 0;
  std::int64_t bytes = 0;
};
Http_parse_work& http_parse_work();

// Fed the bytes of a reply in the order they arrive, keeps them until the empty line that ends
// the header block (the status line counts as the first line; line ends are CR, LF or CR LF,
// and two in a row end the block), where parse_response puts the body. Like the parse, it
// takes the first 8 bytes (protocol and version) as they are. Each byte is looked at once.
class Http_head_scanner {
 public:
  // Takes the next n bytes; true once the block has ended (later bytes are not kept).
  bool feed(const char* bytes, std::int64_t n);
  bool ended() const { return ended_; }
  // The bytes up to and including the empty line, once ended; what came so far before that.
  const std::string& head() const { return head_; }

 private:
  std::string head_;
  int line_ends_ = 0;     // line ends in a row just before the next byte
  bool pending_cr_ = false;  // a CR whose LF may still come
  bool ended_ = false;
};

}  // namespace orvalis
