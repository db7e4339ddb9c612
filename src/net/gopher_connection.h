// Gopher_connection fetches a gopher item and hands it to its task as HTML, so that the page
// readers treat gopher like the web: a text item (type '0') is wrapped in a preformatted page
// as it stands, and a menu (type '1') becomes a page with one link per text or menu entry.
// Other item types are read but never converted: such a task ends by its time-out.
//
// The selector line is the URL's path, percent-decoded, without its leading "/" and the type
// character after it ("gopher://h/0/readme.txt" sends "/readme.txt"); the path "/" alone asks
// for the server's top menu with an empty selector line.
//
// Reading stops at the read limit network_limits().max_document_bytes: a text or menu is then
// converted from what has arrived (as HTTP cuts a long page), an item of another type is
// closed at once and left to its time-out, so an endless stream holds no more than the limit.
//
// Made by Network_task::set_url for scheme code 2; owned by its task; event-loop thread only.
// REQUIRES: the time-out is set before the task is activated (items of other types end by it).
#pragma once

#include <cstdint>

#include "net/net_connection.h"

namespace orvalis {

// "<HTML><body><pre>\n", the text unchanged, "\n</pre><body></html>\n".
Byte_buffer_handle gopher_text_to_html(const char* text, std::int64_t length);
// The page for a menu: for each '0' or '1' line with display text, selector, host and port
// (tab-separated), an anchor to "gopher://host:port/" + type + selector, then "<br>\n". The menu
// ends at its first empty line or zero byte; other lines are passed over. The link is written
// so that Url::resolve takes it as that gopher address: the port is its digits only, the host
// is kept only when it is a plain name or dotted address, and the selector is percent-encoded
// so that the fetch decodes it back. The display text is escaped for HTML.
Ref_string gopher_menu_to_html(const char* text, std::int64_t length);
// The link target of one menu entry, or empty when the entry cannot make one.
Ref_string gopher_link(char type, const Ref_string& selector, const Ref_string& host,
                       const Ref_string& port);

class Gopher_connection : public Net_connection {
 public:
  Gopher_connection(Network_task* client, const Ref_string& url);

  // Records the start time and looks the URL's host up.
  void start() override;
  // Connects to the URL's port (70 unless given).
  void on_resolved() override;
  // Sends the selector line.
  void on_connected() override;
  // Reads until the server closes (or the read limit).
  void on_sent() override;
  // Both run the conversion step.
  void on_received() override;
  void on_peer_closed() override;

  // The line sent to the server ("\r\n" for the top menu); sets the item type.
  Ref_string selector_line();
  char item_type() const { return item_type_; }

 private:
  void convert();

  char item_type_ = 'x';
};

}  // namespace orvalis
