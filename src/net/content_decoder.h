// Content_decoder undoes the Content-Encoding of an HTTP reply's body while the bytes arrive:
// "gzip" (and "x-gzip") and "deflate" through zlib; "identity" or no coding passes the bytes
// through. Any other coding ("br", "zstd", "compress", a list of codings) is not decoded: the
// decoder says so at once (unsupported) and takes no bytes, so that a page is never read as
// its compressed bytes.
//
// Output is held to a limit (the read limit less the header block): once that many decoded
// bytes have come out, the rest is not decoded (cut, as a large page is cut), which is what
// stops a small compressed bomb. A stream that is corrupt stops the decoding with a reason; what
// came out before stays. A "deflate" body is read as zlib data, or as raw deflate data when it
// does not start as zlib data (servers send both). A gzip body of several members is read whole.
//
// Owned by its Http_connection; event-loop thread only.
#pragma once

#include <zlib.h>

#include <cstdint>
#include <string>

namespace orvalis {

class Content_decoder {
 public:
  enum Coding { identity, gzip, deflate, unsupported };
  enum State { running, ended, limit_reached, corrupt };

  // `coding` is the Content-Encoding header's value (empty when there is none).
  explicit Content_decoder(const std::string& coding, std::int64_t limit);
  ~Content_decoder();
  Content_decoder(const Content_decoder&) = delete;
  Content_decoder& operator=(const Content_decoder&) = delete;

  Coding coding() const { return coding_; }
  State state() const { return state_; }
  // Appends to `out` what the n bytes decode to (identity: the bytes), within the limit.
  void feed(const char* bytes, std::int64_t n, std::string& out);
  // Why decoding stopped early: "the gzip data is corrupt (invalid block type)"; empty else.
  const std::string& problem() const { return problem_; }
  // Bytes taken in and given out so far.
  std::int64_t bytes_in() const { return in_; }
  std::int64_t bytes_out() const { return out_; }
  // Microseconds of processor time spent in zlib, for the figures.
  std::int64_t decode_microseconds() const { return cpu_us_; }
  // Microseconds of processor time every decoder of the process has spent in zlib.
  static std::int64_t total_decode_microseconds();
  // The coding's name as the header gave it, lower-case and trimmed.
  const std::string& name() const { return name_; }

 private:
  bool start_stream(int window_bits);
  // Inflates n bytes into `out` within the limit; returns zlib's last result.
  int inflate_all(const char* bytes, std::int64_t n, std::string& out);

  Coding coding_ = identity;
  State state_ = running;
  std::string name_;
  std::string problem_;
  std::int64_t limit_;
  std::int64_t in_ = 0;
  std::int64_t out_ = 0;
  std::int64_t cpu_us_ = 0;
  z_stream stream_{};
  bool stream_open_ = false;
  bool raw_tried_ = false;
  bool any_output_ = false;
  std::string held_;  // a deflate body's first bytes, kept to be read again as raw deflate
};

}  // namespace orvalis
