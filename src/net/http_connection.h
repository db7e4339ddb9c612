// Http_connection fetches one URL with HTTP/1.0: one request (GET, or POST with form fields),
// one response. The response is whole when the server closes the connection, when its TLS
// session ends with close_notify, when the body its Content-Length announced has arrived (at
// once for 204 and 304), or when the read limit (the setting MaxDocumentBytes) is reached; the
// connection then closes. The header block is found while the bytes arrive and parsed once
// (response()). A reply that does not begin with an HTTP status line fails the transfer.
//
// It goes to the URL's host, or through the configured proxy with the whole URL in the request
// line. Redirects (301, 302, 303, 307, 308) are followed on the same task within the same
// time-out, at most kMax_redirects of them, and only to http and https addresses: a relative
// Location is resolved against the address requested (resolve_location). 303, and 301 or 302
// after a POST, go on with GET; 307 and 308 keep the method and the form data. Extra headers
// are not carried over. The raw response stays in the received buffer for the task, and the
// connection's url() is the address the page finally came from.
//
// The request text: the request line (its target encoded as browsers send it, request_target,
// since today's servers refuse a raw space), "Host: " with the port when it is not the scheme's
// default, "Accept: text/html", for POST the content type and length, "Accept-Encoding: gzip,
// deflate" unless the setting AcceptCompression is "No", "User-Agent: " when the setting is not
// empty, the extra headers in order, an empty line, and for POST the form data.
//
// A body that comes gzip- or deflate-compressed is decoded as it arrives (Content_decoder): the
// received buffer holds the header block as it came and the decoded body, held to the read
// limit, so that a small compressed bomb is cut where a large page would be. The response
// says which coding was decoded, and why a body holds nothing (a coding such as "br" that is
// not decoded: the reply ends at its header block) or only its start (corrupt data).
//
// An https address is fetched the same way over TLS (Tls_transport): after the connect comes
// the handshake, driven by the socket's events, and the request and response then go through
// the session; closing sends close_notify. Through the proxy an https address first asks the
// proxy for a tunnel ("CONNECT host:port"), then runs TLS through it and asks for the path.
// A failed handshake or a refused tunnel fails the task with a warning that says why.
//
// The request text never carries a line break that is not its own: an address, a UserAgent
// setting or an extra header holding CR or LF fails the task at its start, with a warning,
// before anything is sent.
//
// Made by Network_task::set_url; owned by its task. Event-loop thread only.
// REQUIRES: method, fields, headers and time-out are set before the task is activated.
#pragma once

#include <memory>
#include <string>

#include "foundation/name_value_list.h"
#include "net/net_connection.h"

namespace orvalis {

class Content_decoder;
class Tls_transport;

// The absolute address that a redirect's Location names, resolved against the address that
// was requested (RFC 3986 section 5, "." and ".." segments removed). Spaces, control bytes and
// bytes above 0x7e are percent-encoded, as browsers send them.
Ref_string resolve_location(const Ref_string& base, const Ref_string& location);

class Http_connection : public Net_connection {
 public:
  enum Method : int { get = 0, post = 1 };
  // Redirects followed on one task before it fails.
  static constexpr int kMax_redirects = 20;

  Http_connection(Network_task* client, const Ref_string& url, bool via_proxy);
  ~Http_connection() override;

  // Claims the socket's events while the TLS handshake runs.
  bool handle_event(int message, std::uintptr_t word, std::int64_t lparam) override;
  // Sends close_notify on a TLS session, then closes.
  void close() override;
  // A handshake that has not finished in time says so before the task times out.
  void time_out() override;
  // While the proxy's answer to CONNECT is read: complete at its empty line. Then: the read
  // limit, close_notify, the Content-Length body whole, a 204 or 304 at the end of its headers,
  // or a first line that cannot begin an HTTP reply.
  bool is_complete() override;

  // Looks up the proxy host or the URL's host; fails at once when the request would carry a
  // line break of the address, the UserAgent setting or an extra header.
  void start() override;
  // Connects to the proxy port or the URL's port (0 means 80).
  void on_resolved() override;
  // Sends the request text (https: first the tunnel request or the handshake).
  void on_connected() override;
  // Reads the response up to the read limit.
  void on_sent() override;
  // Both end in the response step: succeed, follow a redirect, or fail.
  void on_received() override;
  void on_peer_closed() override;

  void add_header(const Ref_string& name, const Ref_string& value) override;
  void add_field(const Ref_string& name, const Ref_string& value) override;
  void set_method(int method) override;
  void set_redirect(const Ref_string& location) override;
  Ref_string redirect() const override;
  void dump_request() override;
  // The reply's status line and headers, parsed once when their empty line arrived (or, for a
  // reply that ended before it, at the end); null before.
  Http_response_handle response() const override { return response_; }

  // What keeps the request from being sent ("the UserAgent setting holds a line break"); empty
  // when nothing does.
  Ref_string request_problem() const;
  // A read limit of this fetch's own instead of MaxDocumentBytes (robots files: 500 KiB);
  // kept across redirects. < 1: the setting's.
  void set_max_bytes(std::int64_t bytes) { max_bytes_ = bytes; }
  // Redirects followed before this connection was made.
  int redirect_count() const { return redirects_; }
  // The text this connection sends.
  Ref_string request_text() const;
  // The form data: url_encode of "name=value" pieces joined by "&".
  Ref_string form_data() const;
  // "CONNECT host:port HTTP/1.0" with its Host line, for an https address through the proxy.
  Ref_string tunnel_request_text() const;
  bool via_proxy() const { return via_proxy_; }
  bool secure() const { return secure_; }
  int method() const { return method_; }

 private:
  // The steps of an https fetch before the request goes out.
  enum Phase { plain, tunnel, handshake, ready };

  void respond();
  void follow(const Http_response& response);
  // Splits what arrives into the header block, kept as it came, and the body, decoded when
  // its Content-Encoding says so.
  void take_received(const char* bytes, long n) override;
  void start_decoding();
  void tunnel_answered();
  void begin_handshake();
  void handshake_step();
  void handshake_failed(const std::string& why);
  Ref_string peer_name() const;
  long write_bytes(const char* bytes, long n) override;
  long read_bytes(char* into, long n) override;

  int method_ = get;
  Name_value_list headers_;
  Name_value_list fields_;
  Ref_string redirect_location_;
  bool via_proxy_;
  bool secure_;
  Phase phase_ = plain;
  int redirects_ = 0;
  // The reply's header block as it arrives, then parsed.
  Http_head_scanner head_;
  Http_response_handle response_;
  std::int64_t body_length_ = -1;  // Content-Length of the reply; -1 when none
  std::int64_t body_bytes_ = 0;
  std::int64_t max_bytes_ = 0;    // body bytes as they came over the wire
  std::unique_ptr<Content_decoder> decoder_;  // set while a compressed body arrives
  std::unique_ptr<Tls_transport> tls_;
  // Cleared when the connection is destroyed, for callbacks posted to the loop.
  std::shared_ptr<bool> alive_;
};

}  // namespace orvalis
