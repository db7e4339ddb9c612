// Http_response is a parsed HTTP reply: status (0 = not a usable response), reason, headers
// (a later line with the same name replaces an earlier one) and where the body starts in the
// text that was parsed. parse_response reads the raw text that Http_connection gathered; a
// text that does not begin with a status line is taken whole as the body of a 200 reply.
// status_text turns an error status into the bracketed text that stands in a document's
// summary. Values shared through Counted_handle; one thread at a time.
#pragma once

#include <cstdint>

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

  bool has_body() const { return body_offset >= 0; }
};
using Http_response_handle = Counted_handle<Http_response>;

// Parses a zero-terminated reply (the text ends at its first zero byte). Never fails: an
// unusable text gives status 0.
Http_response_handle parse_response(const char* text);
// The header "content-length" read as a decimal number; -1 when it is missing or empty.
std::int64_t content_length(const Http_response& response);
// The bracketed text for an error status (400 and above); empty for other statuses.
Ref_string status_text(int status);
// The text that stands for a transfer that did not end with success, by the task's status:
// 3 (timed out or cancelled) or any other.
Ref_string transfer_failure_text(int task_status);

}  // namespace orvalis
