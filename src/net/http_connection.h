// Http_connection fetches one URL with HTTP/1.0: one request (GET, or POST with form fields),
// one response, read until the server closes the connection or the read limit (the setting
// MaxDocumentBytes) is reached. It goes to the URL's host, or through the configured proxy
// with the whole URL in the request line, and follows 301 and 302 redirects on the same task
// within the same time-out. The raw response stays in the received buffer for the task.
//
// The request text: the request line, "Host: " with the port when it is not the scheme's
// default, "Accept: text/html", for POST the content type and length, "User-Agent: " when the
// setting is not empty, the extra headers in order, an empty line, and for POST the form data.
//
// An https address is fetched the same way over TLS (Tls_transport): after the connect comes
// the handshake, driven by the socket's events, and the request and response then go through
// the session; closing sends close_notify. Through the proxy an https address first asks the
// proxy for a tunnel ("CONNECT host:port"), then runs TLS through it and asks for the path.
// A failed handshake or a refused tunnel fails the task with a warning that says why.
//
// Made by Network_task::set_url; owned by its task. Event-loop thread only.
// REQUIRES: method, fields, headers and time-out are set before the task is activated.
#pragma once

#include <memory>
#include <string>

#include "foundation/name_value_list.h"
#include "net/net_connection.h"

namespace orvalis {

class Tls_transport;

class Http_connection : public Net_connection {
 public:
  enum Method : int { get = 0, post = 1 };

  Http_connection(Network_task* client, const Ref_string& url, bool via_proxy);
  ~Http_connection() override;

  // Claims the socket's events while the TLS handshake runs.
  bool handle_event(int message, std::uintptr_t word, std::int64_t lparam) override;
  // Sends close_notify on a TLS session, then closes.
  void close() override;
  // A handshake that has not finished in time says so before the task times out.
  void time_out() override;
  // While the proxy's answer to CONNECT is read: complete at its empty line.
  bool is_complete() override;

  // Looks up the proxy host or the URL's host.
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
  std::unique_ptr<Tls_transport> tls_;
  // Cleared when the connection is destroyed, for callbacks posted to the loop.
  std::shared_ptr<bool> alive_;
};

}  // namespace orvalis
