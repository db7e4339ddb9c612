#include "net/content_decoder.h"

#include <time.h>

#include <algorithm>
#include <atomic>

namespace orvalis {

namespace {

std::int64_t thread_cpu_microseconds() {
  timespec t{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return static_cast<std::int64_t>(t.tv_sec) * 1000000 + t.tv_nsec / 1000;
}

std::string trimmed_lower(const std::string& text) {
  size_t begin = text.find_first_not_of(" \t");
  if (begin == std::string::npos) return std::string();
  size_t end = text.find_last_not_of(" \t");
  std::string out = text.substr(begin, end - begin + 1);
  for (char& c : out)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return out;
}

std::atomic<std::int64_t> all_decode_us{0};

}  // namespace

std::int64_t Content_decoder::total_decode_microseconds() { return all_decode_us.load(); }

Content_decoder::Content_decoder(const std::string& coding, std::int64_t limit)
    : name_(trimmed_lower(coding)), limit_(limit < 0 ? 0 : limit) {
  if (name_.empty() || name_ == "identity") {
    coding_ = identity;
  } else if (name_ == "gzip" || name_ == "x-gzip") {
    coding_ = gzip;
    start_stream(15 + 16);
  } else if (name_ == "deflate") {
    coding_ = deflate;
    start_stream(15);
  } else {
    coding_ = unsupported;
    state_ = corrupt;
    problem_ = "the page came with Content-Encoding \"" + name_.substr(0, 40) +
               "\", which Orvalis does not decode";
  }
}

Content_decoder::~Content_decoder() {
  if (stream_open_) inflateEnd(&stream_);
}

bool Content_decoder::start_stream(int window_bits) {
  if (stream_open_) inflateEnd(&stream_);
  stream_ = z_stream{};
  stream_open_ = inflateInit2(&stream_, window_bits) == Z_OK;
  if (!stream_open_) {
    state_ = corrupt;
    problem_ = "zlib could not start a decoder";
  }
  return stream_open_;
}

void Content_decoder::feed(const char* bytes, std::int64_t n, std::string& out) {
  if (n <= 0 || state_ != running) return;
  in_ += n;
  if (coding_ == identity) {
    const std::int64_t take = std::min(n, limit_ - out_);
    out.append(bytes, static_cast<size_t>(take));
    out_ += take;
    if (out_ >= limit_) state_ = limit_reached;
    return;
  }
  const std::int64_t cpu_start = thread_cpu_microseconds();
  if (coding_ == deflate && !any_output_ && !raw_tried_) held_.append(bytes, static_cast<size_t>(n));
  int r = inflate_all(bytes, n, out);
  if (r == Z_DATA_ERROR && coding_ == deflate && !any_output_ && !raw_tried_) {
    // Not zlib data: what came so far is read again as raw deflate data.
    raw_tried_ = true;
    std::string again;
    again.swap(held_);
    if (start_stream(-15)) r = inflate_all(again.data(), static_cast<std::int64_t>(again.size()), out);
  }
  if (r == Z_DATA_ERROR || r == Z_STREAM_ERROR || r == Z_MEM_ERROR || r == Z_NEED_DICT) {
    state_ = corrupt;
    problem_ = "the " + name_ + " data is corrupt (" + std::string(stream_.msg ? stream_.msg : "bad data") + ")";
  }
  if (any_output_) held_.clear();
  const std::int64_t spent = thread_cpu_microseconds() - cpu_start;
  cpu_us_ += spent;
  all_decode_us += spent;
}

int Content_decoder::inflate_all(const char* bytes, std::int64_t n, std::string& out) {
  stream_.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(bytes));
  stream_.avail_in = static_cast<uInt>(n);
  unsigned char block[16384];
  for (;;) {
    const std::int64_t room = std::min<std::int64_t>(limit_ - out_, sizeof block);
    if (room <= 0) {
      state_ = limit_reached;
      return Z_OK;
    }
    stream_.next_out = block;
    stream_.avail_out = static_cast<uInt>(room);
    const int r = inflate(&stream_, Z_NO_FLUSH);
    const size_t made = static_cast<size_t>(room) - stream_.avail_out;
    if (made > 0) {
      out.append(reinterpret_cast<const char*>(block), made);
      out_ += static_cast<std::int64_t>(made);
      any_output_ = true;
    }
    if (r == Z_STREAM_END) {
      // Another gzip member may follow; anything else after the end is not the page's.
      if (coding_ == gzip && stream_.avail_in > 0 && stream_.next_in[0] == 0x1f) {
        inflateReset(&stream_);
        continue;
      }
      state_ = ended;
      return r;
    }
    if (r != Z_OK && r != Z_BUF_ERROR) return r;
    // Everything taken and the output not full: the next bytes are needed.
    if (stream_.avail_in == 0 && stream_.avail_out > 0) return Z_OK;
    if (r == Z_BUF_ERROR && made == 0) return Z_OK;
  }
}

}  // namespace orvalis
