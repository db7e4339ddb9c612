#include "net/http_connection.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "foundation/error_handler.h"
#include "foundation/settings.h"
#include "foundation/url.h"
#include "net/http_response.h"
#include "net/network.h"
#include "net/network_task.h"
#include "net/proxy.h"
#include "net/tls_transport.h"
#include "platform/event_loop.h"

namespace orvalis {

namespace {
constexpr std::int64_t kMax_tunnel_answer = 16384;
}  // namespace

Http_connection::Http_connection(Network_task* client, const Ref_string& url, bool via_proxy)
    : Net_connection(client, url),
      via_proxy_(via_proxy),
      secure_(Url(url).scheme_code() == Url::https),
      alive_(std::make_shared<bool>(true)) {}

Http_connection::~Http_connection() {
  *alive_ = false;
  Http_connection::close();
}

void Http_connection::start() {
  Net_connection::start();
  resolve(via_proxy_ ? proxy_host() : Url(url_).host());
}

void Http_connection::on_resolved() {
  int port = via_proxy_ ? proxy_port() : Url(url_).port();
  if (port == 0) port = 80;
  connect(port);
}

void Http_connection::on_connected() {
  if (!secure_) {
    send(request_text());
  } else if (via_proxy_) {
    // The tunnel first; the proxy's answer is read up to its empty line.
    phase_ = tunnel;
    send(tunnel_request_text());
  } else {
    begin_handshake();
  }
}

void Http_connection::on_sent() {
  if (phase_ == tunnel) {
    receive(-1);
    return;
  }
  receive(network_limits().max_document_bytes);
}

void Http_connection::on_received() {
  if (phase_ == tunnel)
    tunnel_answered();
  else
    respond();
}

void Http_connection::on_peer_closed() {
  if (phase_ == tunnel)
    tunnel_answered();
  else
    respond();
}

bool Http_connection::is_complete() {
  if (phase_ == tunnel) {
    // A proxy's answer is a few lines; one that never ends is judged on what came so far.
    if (received_->length() >= kMax_tunnel_answer) return true;
    const char* text = received_->contents();
    if (!text) return false;
    Ref_string answer(text);
    return answer.find("\r\n\r\n") >= 0 || answer.find("\n\n") >= 0;
  }
  return Net_connection::is_complete();
}

Ref_string Http_connection::peer_name() const {
  Url url(url_);
  return url.host() + ":" + Ref_string::number(url.port());
}

Ref_string Http_connection::tunnel_request_text() const {
  Ref_string where = peer_name();
  return "CONNECT " + where + " HTTP/1.0\r\nHost: " + where + "\r\n\r\n";
}

void Http_connection::tunnel_answered() {
  const char* text = received_->contents();
  Ref_string answer = text ? Ref_string(text) : Ref_string();
  int line_end = answer.find('\n');
  Ref_string status_line = line_end >= 0 ? answer.mid(0, line_end) : answer;
  if (status_line.length() > 0 && status_line[status_line.length() - 1] == '\r')
    status_line = status_line.mid(0, status_line.length() - 1);
  // "HTTP/1.x 200 ..." and nothing else opens the tunnel.
  const bool whole = answer.find("\r\n\r\n") >= 0 || answer.find("\n\n") >= 0;
  const bool open = whole && answer.length() > 12 && answer.mid(0, 7).lower() == "http/1." &&
                    (answer[8] == ' ' || answer[8] == '\t') && answer.mid(9, 3) == "200" &&
                    (answer[12] == ' ' || answer[12] == '\r' || answer[12] == '\n' ||
                     answer[12] == '\t');
  if (!open || state_ == closed) {
    if (status_line.length() > 80) status_line = status_line.mid(0, 80) + "...";
    Ref_string got = status_line.empty() ? Ref_string("nothing") : "\"" + status_line + "\"";
    Ref_string proxy = "Proxy " + proxy_host() + ":" + Ref_string::number(proxy_port());
    if (open)
      report_warning(proxy + " closed the tunnel to " + peer_name() + " as soon as it opened");
    else
      report_warning(proxy + " refused the tunnel to " + peer_name() + ": got " + got +
                     ", expected HTTP/1.x 200");
    received_ = make_counted<Byte_buffer>();  // the proxy's page is not the document
    fail();
    return;
  }
  // What came before is the proxy's; the document starts afresh.
  received_ = make_counted<Byte_buffer>();
  read_limit_ = -1;
  begin_handshake();
}

void Http_connection::begin_handshake() {
  phase_ = handshake;
  tls_ = std::make_unique<Tls_transport>();
  tls_->set_session_key(peer_name().str());
  if (!tls_->begin(socket_, Url(url_).host().str(), network_limits().verify_certificates)) {
    handshake_failed(tls_->error());
    return;
  }
  handshake_step();
}

void Http_connection::handshake_step() {
  switch (tls_->handshake()) {
    case Tls_transport::done:
      phase_ = ready;
      send(request_text());
      return;
    case Tls_transport::want_read:
      if (int error = arm(fd_read | fd_close); error != 0)
        report_network_error("Unable to execute WSAAsynchSelect for read.", error);
      return;
    case Tls_transport::want_write:
      if (int error = arm(fd_write); error != 0)
        report_network_error("Unable to execute WSAAsynchSelect for write.", error);
      return;
    case Tls_transport::failed:
      handshake_failed(tls_->error());
      return;
  }
}

void Http_connection::handshake_failed(const std::string& why) {
  report_warning("TLS handshake with " + peer_name() + " failed: " + Ref_string(why));
  set_state(connect_failed);
  fail();
}

bool Http_connection::handle_event(int message, std::uintptr_t word, std::int64_t lparam) {
  if (phase_ == handshake && message == message_socket && socket_ >= 0 &&
      word == static_cast<std::uintptr_t>(socket_)) {
    if (int error = static_cast<int>((lparam >> 16) & 0xffff); error != 0) {
      handshake_failed(std::strerror(error));
    } else {
      handshake_step();
    }
    return true;
  }
  return Net_connection::handle_event(message, word, lparam);
}

void Http_connection::close() {
  if (tls_) {
    // Only while the socket is ours: after a drain its number may belong to someone else.
    if (socket_ >= 0 && state_ != closed) tls_->shutdown();
    tls_.reset();
  }
  if (phase_ == handshake) phase_ = plain;
  Net_connection::close();
}

void Http_connection::time_out() {
  if (phase_ == handshake && state_ != closed)
    report_warning("TLS handshake with " + peer_name() + " did not finish within " +
                   Ref_string::number(timeout_) + " seconds");
  Net_connection::time_out();
}

long Http_connection::write_bytes(const char* bytes, long n) {
  if (!tls_) return Net_connection::write_bytes(bytes, n);
  return tls_->write(bytes, n);
}

long Http_connection::read_bytes(char* into, long n) {
  if (!tls_) return Net_connection::read_bytes(into, n);
  long got = tls_->read(into, n);
  if (got < 0 && errno != EAGAIN) {
    const int code = errno;
    report_warning("TLS read from " + peer_name() + " failed: " + Ref_string(tls_->error()));
    errno = code;
  }
  if (got == n && tls_->pending()) {
    // Bytes already decrypted wait in the session while the socket may stay quiet: ask for
    // another read step at the loop's next turn.
    std::weak_ptr<bool> alive = alive_;
    int fd = socket_;
    platform::current_event_loop().post([alive, fd, this] {
      auto a = alive.lock();
      if (!a || !*a || socket_ != fd || state_ != receiving) return;
      dispatch_message(message_socket, static_cast<std::uintptr_t>(fd), fd_read);
    });
  }
  return got;
}

void Http_connection::add_header(const Ref_string& name, const Ref_string& value) {
  headers_.add(name, value);
}

void Http_connection::add_field(const Ref_string& name, const Ref_string& value) {
  fields_.add(name, value);
}

void Http_connection::set_method(int method) { method_ = method; }

void Http_connection::set_redirect(const Ref_string& location) { redirect_location_ = location; }

Ref_string Http_connection::redirect() const { return redirect_location_; }

Ref_string Http_connection::form_data() const {
  Ref_string data;
  bool first = true;
  for (const Name_value& f : fields_) {
    Ref_string piece = first ? Ref_string() : Ref_string("&");
    piece += f.name;
    piece += "=";
    piece += f.value;
    data += url_encode(piece);
    first = false;
  }
  return data;
}

Ref_string Http_connection::request_text() const {
  Url url(url_);
  Ref_string data = form_data();
  // Through a tunnel the request is the server's own, with the path as its target.
  Ref_string target = via_proxy_ && !secure_ ? url_ : url.path();
  if (int hash_at = target.find('#'); hash_at >= 0) target = target.mid(0, hash_at);

  Ref_string host_line = "Host: " + url.host();
  if (int port = url.port(); port != Url::default_port(url.scheme_code()))
    host_line += ":" + Ref_string::number(port);
  host_line += "\r\n";

  Ref_string text;
  if (method_ == post) {
    text = "POST " + target + " HTTP/1.0\r\n";
    text += host_line;
    text += "Accept: text/html\r\nContent-type: application/x-www-form-urlencoded\r\n";
    text += "Content-length: " + Ref_string::number(data.length()) + "\r\n";
  } else {
    if (redirect_location_.empty() && !data.empty()) target = target + "?" + data;
    text = "GET " + target + " HTTP/1.0\r\n";
    text += host_line;
    text += "Accept: text/html\r\n";
  }
  Ref_string agent = Settings_cache::instance().get("UserAgent");
  if (!agent.empty()) text += "User-Agent: " + agent + "\r\n";
  for (const Name_value& h : headers_) text += h.name + ": " + h.value + "\r\n";
  text += "\r\n";
  if (method_ == post) text += data;
  return text;
}

void Http_connection::dump_request() {
  std::printf("\n\nHTTP Request is:\n\n%s\n\n", request_text().c_str());
  std::fflush(stdout);
}

void Http_connection::respond() {
  const char* text = received_->contents();
  if (!text) {
    fail();  // nothing received
    return;
  }
  Http_response_handle response = parse_response(text);
  if (response->status == 0) {
    fail();
    return;
  }
  if (response->status != 301 && response->status != 302) {
    // Error statuses are the task's to interpret.
    succeed();
    return;
  }
  Ref_string location = response->headers.get("location");
  Network_task* task = client_;
  if (location.empty() || !task) {
    fail();
    return;
  }
  // set_url replaces this connection: only these kept values are used after it.
  const int kept_timeout = timeout_;
  const std::int64_t kept_started = started_;
  if (!task->set_url(location)) {
    task->on_error();
    return;
  }
  Net_connection* next = task->connection();
  next->set_timeout(kept_timeout);
  next->set_redirect(location);
  task->launch();
  // The chain is one transfer: it ends when the first request's time-out runs out.
  if (Net_connection* now_next = task->connection()) now_next->set_started(kept_started);
}

}  // namespace orvalis
