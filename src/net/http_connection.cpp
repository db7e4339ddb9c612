#include "net/http_connection.h"

#include <cstdio>

#include "foundation/settings.h"
#include "foundation/url.h"
#include "net/http_response.h"
#include "net/network_task.h"
#include "net/proxy.h"

namespace orvalis {

Http_connection::Http_connection(Network_task* client, const Ref_string& url, bool via_proxy)
    : Net_connection(client, url), via_proxy_(via_proxy) {}

void Http_connection::start() {
  Net_connection::start();
  resolve(via_proxy_ ? proxy_host() : Url(url_).host());
}

void Http_connection::on_resolved() {
  int port = via_proxy_ ? proxy_port() : Url(url_).port();
  if (port == 0) port = 80;
  connect(port);
}

void Http_connection::on_connected() { send(request_text()); }

void Http_connection::on_sent() { receive(network_limits().max_document_bytes); }

void Http_connection::on_received() { respond(); }

void Http_connection::on_peer_closed() { respond(); }

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
  Ref_string target = via_proxy_ ? url_ : url.path();
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
