#include "net/gopher_connection.h"

#include <cstring>
#include <string>

#include "foundation/settings.h"
#include "foundation/url.h"

namespace orvalis {

namespace {

constexpr char kPage_head[] = "<HTML><body><pre>\n";
constexpr char kText_tail[] = "\n</pre><body></html>\n";
constexpr char kMenu_tail[] = "</pre></body></html>";

bool is_digit(char c) { return c >= '0' && c <= '9'; }

bool host_char(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || is_digit(c) || c == '.' || c == '-' ||
         c == '_';
}

// Bytes a selector may keep as they are in a link: Url::resolve and the fetch's url_decode
// leave them alone, and they cannot end the quoted attribute.
bool selector_char(unsigned char c) {
  if (c >= 128 || c <= ' ') return false;
  if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || is_digit(static_cast<char>(c)))
    return true;
  return std::strchr("-_.~/!$'()*+,;=:@", c) != nullptr;
}

void append_escaped_html(std::string& out, const Ref_string& text) {
  for (int i = 0; i < text.length(); ++i) {
    char c = text[i];
    switch (c) {
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '&': out += "&amp;"; break;
      case '"': out += "&quot;"; break;
      case '\r': break;
      default: out += c;
    }
  }
}

}  // namespace

Byte_buffer_handle gopher_text_to_html(const char* text, std::int64_t length) {
  Byte_buffer_handle page = make_counted<Byte_buffer>();
  std::string whole(kPage_head);
  if (text && length > 0) whole.append(text, static_cast<size_t>(length));
  whole += kText_tail;
  page->append(whole.data(), static_cast<std::int64_t>(whole.size()));
  return page;
}

Ref_string gopher_link(char type, const Ref_string& selector, const Ref_string& host,
                       const Ref_string& port) {
  // The host: surrounding blanks and line-end characters dropped; anything else that could
  // change how the address reads (":", "/", "@", quotes...) makes the entry unusable.
  int first = 0, last = host.length() - 1;
  while (first <= last && (host[first] == ' ' || host[first] == '\t' || host[first] == '\r')) ++first;
  while (last >= first && (host[last] == ' ' || host[last] == '\t' || host[last] == '\r' ||
                           host[last] == '\n'))
    --last;
  if (first > last) return Ref_string();
  for (int i = first; i <= last; ++i)
    if (!host_char(host[i])) return Ref_string();
  // The port: its leading digits (a CR LF menu leaves "\r" behind them); none gives 70.
  std::string port_digits;
  int p = 0;
  while (p < port.length() && (port[p] == ' ' || port[p] == '\t')) ++p;
  for (; p < port.length() && is_digit(port[p]) && port_digits.size() < 5; ++p) port_digits += port[p];
  while (port_digits.size() > 1 && port_digits[0] == '0') port_digits.erase(0, 1);
  if (port_digits.empty() || port_digits == "0" || std::stol(port_digits) > 65535) port_digits = "70";

  std::string link = "gopher://";
  link.append(host.c_str() + first, static_cast<size_t>(last - first + 1));
  link += ':';
  link += port_digits;
  link += '/';
  link += type;
  static const char kHex[] = "0123456789ABCDEF";
  for (int i = 0; i < selector.length(); ++i) {
    unsigned char c = static_cast<unsigned char>(selector[i]);
    if (selector_char(c)) {
      link += static_cast<char>(c);
    } else {
      link += '%';
      link += kHex[c >> 4];
      link += kHex[c & 15];
    }
  }
  return Ref_string(std::string_view(link));
}

Ref_string gopher_menu_to_html(const char* text, std::int64_t length) {
  std::string out(kPage_head);
  if (text && length > 0) {
    // The menu ends at its first zero byte, as the text it is read from.
    const char* end = static_cast<const char*>(std::memchr(text, 0, static_cast<size_t>(length)));
    if (!end) end = text + length;
    const char* line = text;
    while (line < end) {
      const char* nl = static_cast<const char*>(std::memchr(line, '\n', static_cast<size_t>(end - line)));
      const char* line_end = nl ? nl : end;
      if (line_end == line) break;  // an empty line ends the menu
      const char type = *line;
      if (type == '0' || type == '1') {
        // Display text, selector, host, port: the first four tab-separated fields.
        const char* fields[5];
        int lengths[5];
        int count = 0;
        const char* f = line + 1;
        while (count < 5) {
          const char* tab =
              static_cast<const char*>(std::memchr(f, '\t', static_cast<size_t>(line_end - f)));
          const char* f_end = tab ? tab : line_end;
          fields[count] = f;
          lengths[count] = static_cast<int>(f_end - f);
          ++count;
          if (!tab) break;
          f = tab + 1;
        }
        if (count > 3) {
          Ref_string link = gopher_link(type, Ref_string(fields[1], lengths[1]),
                                        Ref_string(fields[2], lengths[2]),
                                        Ref_string(fields[3], lengths[3]));
          if (!link.empty()) {
            out += "<a href=\"";
            out += link.view();
            out += "\">";
            append_escaped_html(out, Ref_string(fields[0], lengths[0]));
            out += "</a><br>\n";
          }
        }
      }
      if (!nl) break;
      line = nl + 1;
    }
  }
  out += kMenu_tail;
  return Ref_string(std::string_view(out));
}

Gopher_connection::Gopher_connection(Network_task* client, const Ref_string& url)
    : Net_connection(client, url) {}

Ref_string Gopher_connection::selector_line() {
  Ref_string path = url_decode(Url(url_).path());
  if (path == "/" || path.length() < 2) {
    item_type_ = '1';
    return "\r\n";
  }
  item_type_ = path[1];
  Ref_string selector = path.mid(2);
  // One line: whatever a decoded line end would add is not sent.
  for (int i = 0; i < selector.length(); ++i)
    if (selector[i] == '\r' || selector[i] == '\n') {
      selector = selector.mid(0, i);
      break;
    }
  return selector + "\r\n";
}

void Gopher_connection::start() {
  Net_connection::start();
  resolve(Url(url_).host());
}

void Gopher_connection::on_resolved() { connect(-1); }

void Gopher_connection::on_connected() { send(selector_line()); }

void Gopher_connection::on_sent() { receive(network_limits().max_document_bytes); }

void Gopher_connection::on_received() { convert(); }

void Gopher_connection::on_peer_closed() { convert(); }

void Gopher_connection::convert() {
  if (item_type_ == '0') {
    received_ = gopher_text_to_html(received_->contents(), received_->length());
    succeed();
    return;
  }
  if (item_type_ == '1') {
    Ref_string page = gopher_menu_to_html(received_->contents(), received_->length());
    Byte_buffer_handle converted = make_counted<Byte_buffer>();
    converted->append(page.c_str(), page.length());
    received_ = converted;
    succeed();
    return;
  }
  // Not converted: the task ends by its time-out. Stop reading now, so that a server that
  // keeps sending cannot make the buffer grow past the read limit.
  close();
}

}  // namespace orvalis
