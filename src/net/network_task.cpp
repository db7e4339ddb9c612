#include "net/network_task.h"

#include <map>

#include "foundation/url.h"
#include "net/ftp_connection.h"
#include "net/gopher_connection.h"
#include "net/host_table.h"
#include "net/http_connection.h"
#include "net/proxy.h"
#include "platform/clock.h"

namespace orvalis {

namespace {
std::map<int, Connection_factory>& factories() {
  static std::map<int, Connection_factory> table;
  return table;
}
}  // namespace

void register_connection_class(int scheme_code, Connection_factory factory) {
  factories()[scheme_code] = std::move(factory);
}

Network_task::Network_task(const Time_spec& schedule)
    : Agent_task(schedule), connection_(std::make_unique<Net_connection>(this, Ref_string())) {
  net_startup();
}

Network_task::~Network_task() {
  if (connection_) connection_->set_client(nullptr);
}

void Network_task::retire_connection() {
  if (!connection_) return;
  connection_->set_client(nullptr);
  orvalis::retire_connection(connection_.release());
}

void Network_task::set_connection(std::unique_ptr<Net_connection> connection) {
  retire_connection();
  connection_ = std::move(connection);
  if (connection_) connection_->set_client(this);
}

bool Network_task::set_url(const Ref_string& url) {
  retire_connection();
  bool known = true;
  int scheme = Url(url).scheme_code();
  if (proxy_enabled()) {
    // Through the proxy every scheme is an HTTP request for the whole address.
    connection_ = std::make_unique<Http_connection>(this, url, true);
  } else if (scheme == Url::http) {
    connection_ = std::make_unique<Http_connection>(this, url, false);
  } else if (scheme == Url::gopher) {
    connection_ = std::make_unique<Gopher_connection>(this, url);
  } else if (scheme == Url::ftp) {
    connection_ = std::make_unique<Ftp_connection>(this, url);
  } else if (auto f = factories().find(scheme); f != factories().end() && f->second) {
    connection_ = f->second(this, url);
  } else {
    connection_ = nullptr;
  }
  if (!connection_) {
    connection_ = std::make_unique<Net_connection>(this, url);
    known = false;
  }
  connection_->set_url(url);
  connection_->set_client(this);
  return known;
}

int Network_task::is_ready() {
  const Ref_string& url = connection_ ? connection_->url() : Ref_string();
  if (!url.empty() && host_spacing_enabled()) {
    std::int64_t last = 0;
    if (Host_table::instance().launch_time(Url(url).host(), last) &&
        platform::now() - last <= kHost_spacing_seconds)
      return 0;
  }
  return network_admission() ? 1 : 0;
}

void Network_task::launch() {
  if (!connection_) return;
  Ref_string host = Url(connection_->url()).host();
  connection_->start();
  Host_table::instance().set_launch_time(host, platform::now());
}

Ref_string Network_task::failure_reason() const {
  return connection_ ? connection_->failure_reason() : Ref_string();
}

void Network_task::abort() {
  if (connection_) connection_->close();
}

void Network_task::on_timeout() {
  status_ = timed_out;
  finish_request(*this);
}

void Network_task::on_error() {
  status_ = failed;
  finish_request(*this);
}

void Network_task::on_success() {
  status_ = succeeded;
  finish_request(*this);
}

}  // namespace orvalis
