// Capture_task fetches the page that holds a search engine's form, rewrites it for capture
// (capture.h), writes it to the pages folder as capture<N>.htm and shows it in the user's
// browser. What happened is kept in its flags for the progress display: failed (the page did
// not load, answered other than 200, or could not be written), no form (the answer has no
// header, or the page has no form or isindex).
//
// capture_progress reads those flags, with whether the listener has taken the submission,
// into the state and text a progress display shows.
//
// Submitted to the task manager like every agent task; it finishes itself when the fetch has
// ended (or could not start). Shared through Counted_handle; event-loop thread only.
// REQUIRES: made with make_counted; the settings are loaded (capture time-out, pages folder,
// BrowserPath).
#pragma once

#include "agent/capture.h"
#include "net/network_task.h"

namespace orvalis {

class Capture_task : public Network_task {
 public:
  Capture_task(const Capture_request& request, const Ref_string& listener_host, int listener_port);

  // Sets up the request (with basic authorization when a username other than "NONE" is
  // given) and activates it. Returns 0 when the address cannot be fetched.
  int start() override;
  void process_result() override;

  const Capture_request& request() const { return request_; }
  bool failed() const { return failed_; }
  bool no_form() const { return no_form_; }
  // process_result has run.
  bool ended() const { return ended_; }
  // The capture page written, once written.
  const Ref_string& page_path() const { return page_path_; }
  // When the page was shown in the browser (seconds since 1970); 0 before.
  std::int64_t shown_at() const { return shown_at_; }
  // Where the browser is sent: "http://" host ":" port.
  Ref_string listener_address() const;

 private:
  Capture_request request_;
  Ref_string listener_host_;
  int listener_port_ = 0;
  bool failed_ = false;
  bool no_form_ = false;
  bool ended_ = false;
  Ref_string page_path_;
  std::int64_t shown_at_ = 0;
};
using Capture_task_handle = Counted_handle<Capture_task>;

// The RFC 2045 Base64 form of `bytes`.
Ref_string base64_encode(std::string_view bytes);

struct Capture_progress {
  enum State { retrieving, waiting, failed, no_form, captured };
  State state = retrieving;
  Ref_string text;
  bool finished() const { return state != retrieving && state != waiting; }
};

// The state of a capture: captured once the listener took the submission; else, once the
// task has ended, failed ("Unable to retrieve search form..." with the hint about username and
// password when either was given), no form, or waiting for the user; retrieving before. A
// capture that waited for the user's submission NetworkTimeout x 10 seconds has failed too,
// with the text that says so: the user has gone, and the listener is closed.
Capture_progress capture_progress(bool submission_taken, const Capture_task& task);

}  // namespace orvalis
