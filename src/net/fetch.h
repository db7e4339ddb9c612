// fetch_url: one transfer through the network layer, for the command line's "fetch" command
// and for checks by hand. It makes a task for the address (through the proxy when the proxy
// settings say so), activates it, and runs the current event loop until the task has ended.
// Event-loop thread only; nothing else should be running the loop at the same time.
#pragma once

#include "foundation/byte_buffer.h"
#include "foundation/ref_string.h"
#include "net/http_response.h"

namespace orvalis {

struct Fetch_result {
  // The task's status: 0 succeeded, 2 failed, 3 timed out (1 only if the loop stopped).
  int status = 1;
  // False when the address has no connection class (and no proxy is on).
  bool supported = true;
  // The raw response as received (status line, headers, body); empty unless succeeded.
  Byte_buffer_handle raw;
  // The parsed response when the transfer succeeded; its body offset indexes raw's contents.
  Http_response_handle response;
  // The address finally fetched (after redirects).
  Ref_string final_url;
  // Why the transfer failed or timed out, in words; empty when it succeeded.
  Ref_string failure_reason;
};

// timeout_seconds < 1: no time-out.
Fetch_result fetch_url(const Ref_string& url, int timeout_seconds);

}  // namespace orvalis
