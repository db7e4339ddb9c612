#include "net/http_connection.h"

#include <strings.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>

#include "foundation/error_handler.h"
#include "foundation/settings.h"
#include "foundation/url.h"
#include "net/content_decoder.h"
#include "net/http_response.h"
#include "net/network.h"
#include "net/network_task.h"
#include "net/proxy.h"
#include "net/tls_transport.h"
#include "platform/event_loop.h"

namespace orvalis {

namespace {
constexpr std::int64_t kMax_tunnel_answer = 16384;

bool has_line_break(const Ref_string& text) {
  return text.find('\r') >= 0 || text.find('\n') >= 0;
}

// At most `limit` bytes of a text from outside, quoted, with line breaks and other control
// bytes shown as escapes: safe to put into a message of one line.
Ref_string quoted(std::string_view text, size_t limit = 80) {
  std::string out = "\"";
  for (size_t i = 0; i < text.size() && i < limit; ++i) {
    unsigned char c = static_cast<unsigned char>(text[i]);
    if (c == '\r') {
      out += "\\r";
    } else if (c == '\n') {
      out += "\\n";
    } else if (c < 0x20 || c == 0x7f) {
      out += "\\x";
      out += "0123456789abcdef"[c >> 4];
      out += "0123456789abcdef"[c & 15];
    } else {
      out += static_cast<char>(c);
    }
  }
  out += text.size() > limit ? "\"..." : "\"";
  return Ref_string(std::string_view(out));
}

// The first line of a reply, for messages.
Ref_string first_line(const char* text, std::int64_t length) {
  std::int64_t n = 0;
  while (n < length && text[n] != '\r' && text[n] != '\n') ++n;
  return quoted(std::string_view(text, static_cast<size_t>(n)));
}

// The parts of a reference (RFC 3986 appendix B); a part that is absent is not "defined".
struct Reference {
  std::string_view scheme, authority, path, query, fragment;
  bool has_scheme = false, has_authority = false, has_query = false, has_fragment = false;
};

Reference split_reference(std::string_view r) {
  Reference out;
  size_t end_of_scheme = r.find_first_of(":/?#");
  if (end_of_scheme != std::string_view::npos && end_of_scheme > 0 && r[end_of_scheme] == ':') {
    std::string_view scheme = r.substr(0, end_of_scheme);
    bool valid = (scheme[0] >= 'a' && scheme[0] <= 'z') || (scheme[0] >= 'A' && scheme[0] <= 'Z');
    for (char c : scheme)
      valid = valid && ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                        c == '+' || c == '-' || c == '.');
    if (valid) {
      out.scheme = scheme;
      out.has_scheme = true;
      r.remove_prefix(end_of_scheme + 1);
    }
  }
  if (r.starts_with("//")) {
    r.remove_prefix(2);
    size_t end = r.find_first_of("/?#");
    out.authority = r.substr(0, end);
    out.has_authority = true;
    r.remove_prefix(end == std::string_view::npos ? r.size() : end);
  }
  size_t hash = r.find('#');
  if (hash != std::string_view::npos) {
    out.fragment = r.substr(hash + 1);
    out.has_fragment = true;
    r = r.substr(0, hash);
  }
  size_t question = r.find('?');
  if (question != std::string_view::npos) {
    out.query = r.substr(question + 1);
    out.has_query = true;
    r = r.substr(0, question);
  }
  out.path = r;
  return out;
}

}  // namespace

Ref_string resolve_location(const Ref_string& base_text, const Ref_string& location) {
  const Reference ref = split_reference(location.view());
  const Reference base = split_reference(base_text.view());
  std::string out;
  auto add_authority = [&out](std::string_view authority) {
    out += "//";
    out += authority;
  };
  std::string path;
  std::string_view query;
  bool has_query = false;
  if (ref.has_scheme) {
    out.append(ref.scheme).append(":");
    if (ref.has_authority) add_authority(ref.authority);
    path = remove_dot_segments(ref.path);
    query = ref.query, has_query = ref.has_query;
  } else {
    out.append(base.scheme).append(":");
    if (ref.has_authority) {
      add_authority(ref.authority);
      path = remove_dot_segments(ref.path);
      query = ref.query, has_query = ref.has_query;
    } else {
      if (base.has_authority) add_authority(base.authority);
      if (ref.path.empty()) {
        path = std::string(base.path);
        has_query = ref.has_query || base.has_query;
        query = ref.has_query ? ref.query : base.query;
      } else {
        if (ref.path[0] == '/') {
          path = remove_dot_segments(ref.path);
        } else if (base.has_authority && base.path.empty()) {
          path = remove_dot_segments("/" + std::string(ref.path));
        } else {
          size_t last = base.path.rfind('/');
          std::string merged(last == std::string_view::npos ? std::string_view() : base.path.substr(0, last + 1));
          merged += ref.path;
          path = remove_dot_segments(merged);
        }
        query = ref.query, has_query = ref.has_query;
      }
    }
  }
  out += path;
  if (has_query) out.append("?").append(query);
  if (ref.has_fragment) out.append("#").append(ref.fragment);
  // What a browser would send for the bytes a request line cannot carry as they are.
  std::string sent;
  sent.reserve(out.size());
  for (unsigned char c : out) {
    if (c <= 0x20 || c >= 0x7f) {
      sent += '%';
      sent += "0123456789ABCDEF"[c >> 4];
      sent += "0123456789ABCDEF"[c & 15];
    } else {
      sent += static_cast<char>(c);
    }
  }
  return Ref_string(std::string_view(sent));
}

Http_connection::Http_connection(Network_task* client, const Ref_string& url, bool via_proxy)
    : Net_connection(client, url),
      via_proxy_(via_proxy),
      secure_(Url(url).scheme_code() == Url::https),
      alive_(std::make_shared<bool>(true)) {}

Http_connection::~Http_connection() {
  *alive_ = false;
  Http_connection::close();
}

Ref_string Http_connection::request_problem() const {
  if (has_line_break(url_)) return "the address " + quoted(url_.view(), 200) + " holds a line break";
  if (has_line_break(Settings_cache::instance().get("UserAgent")))
    return "the UserAgent setting holds a line break";
  for (const Name_value& h : headers_)
    if (has_line_break(h.name) || has_line_break(h.value))
      return "the request header " + quoted(h.name.view()) + " holds a line break";
  return Ref_string();
}

void Http_connection::start() {
  Net_connection::start();
  if (Ref_string problem = request_problem(); !problem.empty()) {
    set_state(connect_failed);
    fail_because("Request not sent: " + problem);
    return;
  }
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
  receive(max_bytes_ >= 1 ? max_bytes_ : network_limits().max_document_bytes);
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
  if (Net_connection::is_complete()) return true;
  if (tls_ && tls_->peer_closed()) return true;
  // A first line that cannot begin an HTTP reply will not become one: no need to wait.
  const std::string& head = head_.head();
  if (head.size() >= 5 && strncasecmp(head.data(), "http/", 5) != 0) return true;
  if (!response_) return false;
  if (response_->status == 0 || response_->status == 204 || response_->status == 304) return true;
  // A compressed body is whole at the end of its stream; one that cannot be decoded, or that
  // has given as much as the limit allows, is not read further.
  if (decoder_ && decoder_->state() != Content_decoder::running) return true;
  return body_length_ >= 0 && body_bytes_ >= body_length_;
}

void Http_connection::take_received(const char* bytes, long n) {
  if (n <= 0) return;
  if (phase_ == tunnel) {
    Net_connection::take_received(bytes, n);
    return;
  }
  if (!head_.ended()) {
    const size_t before = head_.head().size();
    const bool ended = head_.feed(bytes, n);
    const long head_part = ended ? static_cast<long>(head_.head().size() - before) : n;
    Net_connection::take_received(bytes, head_part);
    if (!ended) return;
    const std::string& head = head_.head();
    response_ = parse_response(head.data(), static_cast<std::int64_t>(head.size()));
    body_length_ = response_->status > 0 ? content_length(*response_) : -1;
    start_decoding();
    bytes += head_part;
    n -= head_part;
    if (n <= 0) return;
  }
  body_bytes_ += n;
  if (!decoder_) {
    Net_connection::take_received(bytes, n);
    return;
  }
  std::string decoded;
  decoder_->feed(bytes, n, decoded);
  if (!decoded.empty()) received_->append(decoded.data(), static_cast<std::int64_t>(decoded.size()));
  if (decoder_->state() == Content_decoder::corrupt && response_) {
    response_->body_problem = Ref_string(std::string_view(decoder_->problem()));
    if (failure_reason_.empty()) report_warning(url_ + ": " + response_->body_problem);
  }
}

void Http_connection::start_decoding() {
  const Ref_string coding = response_->headers.get("content-encoding");
  if (coding.empty() || response_->status == 0) return;
  // The decoded body is held to what the read limit leaves after the header block.
  const std::int64_t limit = read_limit_ >= 1 ? read_limit_ - received_->length() : INT64_MAX;
  decoder_ = std::make_unique<Content_decoder>(coding.str(), limit);
  if (decoder_->coding() == Content_decoder::identity) {
    decoder_.reset();
    return;
  }
  if (decoder_->coding() == Content_decoder::unsupported) {
    response_->body_problem = Ref_string(std::string_view(decoder_->problem()));
    return;
  }
  response_->content_coding = Ref_string(std::string_view(decoder_->name()));
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
    received_ = make_counted<Byte_buffer>();  // the proxy's page is not the document
    if (open)
      fail_because(proxy + " closed the tunnel to " + peer_name() + " as soon as it opened");
    else
      fail_because(proxy + " refused the tunnel to " + peer_name() + ": got " + got +
                   ", expected HTTP/1.x 200");
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
  set_state(connect_failed);
  fail_because("TLS handshake with " + peer_name() + " failed: " + Ref_string(why));
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
  if (phase_ == handshake && state_ != closed) {
    failure_reason_ = "TLS handshake with " + peer_name() + " did not finish within " +
                      Ref_string::number(timeout_) + " seconds";
    report_warning(failure_reason_);
  }
  Net_connection::time_out();
}

long Http_connection::write_bytes(const char* bytes, long n) {
  if (!tls_) return Net_connection::write_bytes(bytes, n);
  return tls_->write(bytes, n);
}

long Http_connection::read_bytes(char* into, long n) {
  if (!tls_) {
    return Net_connection::read_bytes(into, n);
  }
  long got = tls_->read(into, n);
  if (got < 0 && errno != EAGAIN) {
    const int code = errno;
    failure_reason_ = "TLS read from " + peer_name() + " failed: " + Ref_string(tls_->error());
    report_warning(failure_reason_);
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
  // Encoded as browsers send it (today's servers refuse a raw space), the fragment cut.
  Ref_string target = request_target(via_proxy_ && !secure_ ? url_ : url.path());

  Ref_string host_line = "Host: " + url.host();
  if (int port = url.port(); port != Url::default_port(url.scheme_code()))
    host_line += ":" + Ref_string::number(port);
  host_line += "\r\n";

  // A task that asks for another kind of answer (a feed) names it in an Accept header of its own.
  const char* accept = headers_.has("Accept") ? "" : "Accept: text/html\r\n";

  Ref_string text;
  if (method_ == post) {
    text = "POST " + target + " HTTP/1.0\r\n";
    text += host_line;
    text += accept;
    text += "Content-type: application/x-www-form-urlencoded\r\n";
    text += "Content-length: " + Ref_string::number(data.length()) + "\r\n";
  } else {
    if (redirect_location_.empty() && !data.empty()) target = target + "?" + data;
    text = "GET " + target + " HTTP/1.0\r\n";
    text += host_line;
    text += accept;
  }
  if (!(Settings_cache::instance().get("AcceptCompression").lower() == "no"))
    text += "Accept-Encoding: gzip, deflate\r\n";
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
  const std::int64_t length = received_->length();
  if (!text || length == 0) {
    fail_because(peer_text() + " closed the connection without a reply to " + url_);
    return;
  }
  if (!response_) response_ = parse_response(text, length);  // the reply ended in its headers
  if (!response_->has_status_line) {
    fail_because("The reply from " + peer_text() + " has no HTTP status line: got " +
                 first_line(text, length));
    return;
  }
  if (response_->status == 0) {
    fail_because("The reply from " + peer_text() + " is not valid HTTP (status line " +
                 first_line(text, length) + " or a header line without a name and colon)");
    return;
  }
  const int status = response_->status;
  if (status == 301 || status == 302 || status == 303 || status == 307 || status == 308) {
    follow(*response_);
    return;
  }
  // Other statuses, errors included, are the task's to interpret.
  succeed();
}

void Http_connection::follow(const Http_response& response) {
  Network_task* task = client_;
  if (!task) {
    fail();
    return;
  }
  const Ref_string what = Ref_string::number(response.status) + " redirect from " + url_;
  const Ref_string location = response.headers.get("location");
  if (location.empty()) {
    fail_because(what + " names no Location");
    return;
  }
  if (redirects_ >= kMax_redirects) {
    fail_because(what + ": more than " + Ref_string::number(kMax_redirects) + " redirects in a row");
    return;
  }
  const Ref_string next_url = resolve_location(url_, location);
  const int scheme = Url(next_url).scheme_code();
  if (scheme != Url::http && scheme != Url::https) {
    fail_because(what + " to " + quoted(next_url.view()) + " not followed: only http and https addresses are");
    return;
  }
  // set_url replaces this connection: only these kept values are used after it.
  const int kept_timeout = timeout_;
  const std::int64_t kept_started = started_;
  const int kept_redirects = redirects_ + 1;
  const std::int64_t kept_max_bytes = max_bytes_;
  // 307 and 308 repeat the request as it was; the others go on with a GET of the new address.
  const bool repost = method_ == post && (response.status == 307 || response.status == 308);
  const Name_value_list kept_fields = fields_;
  // Credentials go on to the same site (scheme, host and port), never to another one; the other
  // extra headers are the task's to add again (its launch runs for each connection).
  Ref_string kept_authorization;
  const Url from(url_), to(next_url);
  if (from.scheme_code() == to.scheme_code() && from.host().lower() == to.host().lower() && from.port() == to.port())
    kept_authorization = headers_.get("Authorization");
  if (!task->set_url(next_url)) {
    task->on_error();
    return;
  }
  Net_connection* next = task->connection();
  next->set_timeout(kept_timeout);
  if (!kept_authorization.empty()) next->add_header("Authorization", kept_authorization);
  next->set_redirect(next_url);
  if (auto* http = dynamic_cast<Http_connection*>(next)) {
    http->redirects_ = kept_redirects;
    http->max_bytes_ = kept_max_bytes;
    if (repost) {
      http->method_ = post;
      http->fields_ = kept_fields;
    }
  }
  task->launch();
  // The chain is one transfer: it ends when the first request's time-out runs out.
  if (Net_connection* now_next = task->connection()) now_next->set_started(kept_started);
}

}  // namespace orvalis
