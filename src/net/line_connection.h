// Line_connection is a Net_connection whose peer talks in lines ending in CR LF (an FTP
// control connection): it looks up a given host (or the URL's host), connects to a given port
// (or the URL's port), and then keeps reading without a read limit; a subclass's on_received
// runs whenever at least one whole line has arrived and takes the lines out with take_line.
//
// A peer cannot make a line grow without end: once the unread text passes kMax_line_bytes
// without a line end, is_complete says so (the subclass sees line_too_long() and ends the
// dialogue). Taken lines are consumed from the front of the received buffer, which is
// compacted once per step, so a burst of many short lines costs linear time.
//
// Owned by its Network_task; event-loop thread only.
// REQUIRES: a subclass that handles lines calls compact_lines() before it waits for more input
// (receive_more() does both).
#pragma once

#include <cstdint>

#include "net/net_connection.h"

namespace orvalis {

class Line_connection : public Net_connection {
 public:
  // Longest line accepted, without its CR LF.
  static constexpr std::int64_t kMax_line_bytes = 16384;

  // host empty: the URL's host; port -1: the URL's port.
  Line_connection(Network_task* client, const Ref_string& url, const Ref_string& host = Ref_string(),
                  int port = -1);

  // Records the start time and looks the host up.
  void start() override;
  // Connects to the port.
  void on_resolved() override;
  // Both wait for lines, without a read limit.
  void on_connected() override;
  void on_sent() override;
  // A peer that hangs up in the middle of a dialogue has failed it.
  void on_peer_closed() override;
  // A whole line is waiting, or the unread text is too long to be one.
  bool is_complete() override;

  // True when "\r\n" occurs in the unread bytes.
  bool has_line();
  // The unread bytes before the first "\r\n"; they and the delimiter are consumed. False
  // (and nothing consumed) when there is no whole line.
  bool take_line(Ref_string& line);
  // The unread text has passed kMax_line_bytes without a line end.
  bool line_too_long() const;

 protected:
  // The host name to look up (the URL's host unless one was given).
  virtual Ref_string lookup_host() const;
  // Drops the consumed lines from the received buffer.
  void compact_lines();
  // compact_lines, then arm for reading again.
  void receive_more();

  Ref_string host_;
  int port_;

 private:
  std::int64_t consumed_ = 0;  // bytes of the received buffer already taken as lines
  std::int64_t scanned_ = 0;   // bytes searched for "\r\n" without finding one
};

}  // namespace orvalis
