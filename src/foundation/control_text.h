// Text without control characters. Text from the web or from a received file may carry C0
// controls (ESC, BEL, CR, ...), DEL and C1 controls (U+0080..U+009F, or such a byte standing
// alone), which a terminal obeys: they set its title, clear its screen, move its cursor. Text
// is cleaned where it is stored (the document and topic stores) and where the command line
// prints it, all through Control_filter. In text, tab and newline are kept and every other
// control becomes one space. In an address, a control is written as %XX of its bytes (as
// browsers send it), and tab, CR and LF are removed, as browsers remove them from an address.
// A filter belongs to one thread; the functions are pure.
#pragma once

#include <string>
#include <string_view>

#include "foundation/ref_string.h"

namespace orvalis {

class Control_filter {
 public:
  enum class Mode { text, address };
  explicit Control_filter(Mode mode = Mode::text) : mode_(mode) {}

  // Appends the cleaned bytes of `piece` to `out`. Text may arrive in pieces (a stream): a
  // 0xC2 byte at the end of a piece is held until the next byte tells whether it begins a C1
  // control. Returns the number of controls replaced so far.
  int feed(std::string_view piece, std::string& out);
  // Appends a byte still held back; the filter then starts afresh.
  void finish(std::string& out);

 private:
  void control(const char* bytes, int n, std::string& out);
  Mode mode_;
  int expect_ = 0;     // continuation bytes still due in the current UTF-8 sequence
  bool held_ = false;  // a 0xC2 byte is held back
  int replaced_ = 0;
};

// True when `text` holds a control that without_controls() would replace.
bool has_controls(std::string_view text);
// `text` with each control replaced by a space (a C1 control's two UTF-8 bytes by one).
std::string without_controls(std::string_view text);
// The same for a Ref_string; the string itself (shared, not copied) when it holds none.
Ref_string without_controls(const Ref_string& text);
// An address with tab, CR and LF removed and every other control written as %XX of its
// bytes; the address itself when it holds none.
Ref_string address_without_controls(const Ref_string& address);

}  // namespace orvalis
