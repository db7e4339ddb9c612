#include "foundation/control_text.h"

namespace orvalis {

void Control_filter::control(const char* bytes, int n, std::string& out) {
  ++replaced_;
  if (mode_ == Mode::text) {
    out += ' ';
    return;
  }
  if (n == 1 && (bytes[0] == '\t' || bytes[0] == '\n' || bytes[0] == '\r')) return;
  static const char hex[] = "0123456789ABCDEF";
  for (int i = 0; i < n; ++i) {
    const unsigned char c = static_cast<unsigned char>(bytes[i]);
    out += '%';
    out += hex[c >> 4];
    out += hex[c & 15];
  }
}

int Control_filter::feed(std::string_view piece, std::string& out) {
  for (char ch : piece) {
    const unsigned char c = static_cast<unsigned char>(ch);
    if (held_) {
      held_ = false;
      if (c >= 0x80 && c <= 0x9F) {  // U+0080..U+009F
        const char pair[2] = {'\xC2', ch};
        control(pair, 2, out);
        continue;
      }
      out += '\xC2';
      if (c >= 0xA0 && c <= 0xBF) {
        out += ch;
        continue;
      }
    }
    if (expect_ > 0 && (c & 0xC0) == 0x80) {
      --expect_;
      out += ch;
      continue;
    }
    expect_ = 0;
    if (c == 0xC2) {
      held_ = true;
    } else if ((c < 0x20 && (mode_ == Mode::address || (c != '\t' && c != '\n'))) || c == 0x7F ||
               (c >= 0x80 && c <= 0x9F)) {
      // C0, DEL, or a lone byte a terminal reading 8-bit text takes as a C1 control.
      control(&ch, 1, out);
    } else {
      if (c >= 0xC3 && c <= 0xDF) expect_ = 1;
      else if (c >= 0xE0 && c <= 0xEF) expect_ = 2;
      else if (c >= 0xF0 && c <= 0xF4) expect_ = 3;
      out += ch;
    }
  }
  return replaced_;
}

void Control_filter::finish(std::string& out) {
  if (held_) out += '\xC2';
  held_ = false;
  expect_ = 0;
}

namespace {
// The cleaned text and whether anything was replaced.
bool clean(std::string_view text, Control_filter::Mode mode, std::string& out) {
  Control_filter filter(mode);
  out.reserve(text.size());
  const int replaced = filter.feed(text, out);
  filter.finish(out);
  return replaced > 0;
}
}  // namespace

bool has_controls(std::string_view text) {
  std::string out;
  return clean(text, Control_filter::Mode::text, out);
}

std::string without_controls(std::string_view text) {
  std::string out;
  clean(text, Control_filter::Mode::text, out);
  return out;
}

Ref_string without_controls(const Ref_string& text) {
  std::string out;
  if (!clean(text.view(), Control_filter::Mode::text, out)) return text;
  return Ref_string(std::string_view(out));
}

Ref_string address_without_controls(const Ref_string& address) {
  std::string out;
  if (!clean(address.view(), Control_filter::Mode::address, out)) return address;
  return Ref_string(std::string_view(out));
}

}  // namespace orvalis
