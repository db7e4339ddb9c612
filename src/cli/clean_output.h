// What the command line prints carries no control characters but tab and newline: text from
// the web (a title with ESC and BEL, an address with raw control bytes) would otherwise reach
// the user's terminal as commands to it. Clean_output puts a Control_filter in front of a
// stream's buffer for as long as it lives (standard output, for every command); messages on
// standard error go through Clean_message_sink. The command line's own terminal codes (the
// progress line rewritten in place) are written around them, never through them.
// User-interface thread only.
#pragma once

#include <ostream>
#include <streambuf>
#include <string>
#include <string_view>

#include "foundation/control_text.h"
#include "platform/message_sink.h"

namespace orvalis::cli {

class Clean_output : public std::streambuf {
 public:
  // Puts the filter in front of `stream`'s buffer. REQUIRES: the stream outlives this object.
  explicit Clean_output(std::ostream& stream);
  // Writes what is held back and gives the stream its own buffer again.
  ~Clean_output() override;
  Clean_output(const Clean_output&) = delete;
  Clean_output& operator=(const Clean_output&) = delete;

  // Writes the command line's own terminal codes (bold on, bold off) to `stream` past its
  // filter, when it has one.
  static void write_code(std::ostream& stream, std::string_view code);

 protected:
  int_type overflow(int_type ch) override;
  std::streamsize xsputn(const char* s, std::streamsize n) override;
  int sync() override;

 private:
  std::ostream& stream_;
  std::streambuf* target_;
  Control_filter filter_;
  std::string cleaned_;
};

// "Error: <text>" on standard error, the text without controls.
class Clean_message_sink : public platform::Message_sink {
 public:
  void show(const std::string& title, const std::string& text) override;
};

}  // namespace orvalis::cli
