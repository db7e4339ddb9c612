#include "net/robots_cache.h"

#include "foundation/counted_object.h"
#include "foundation/settings.h"
#include "foundation/url.h"
#include "net/host_table.h"
#include "net/http_connection.h"
#include "net/network.h"
#include "net/network_task.h"
#include "net/received_page.h"
#include "platform/clock.h"

namespace orvalis {

namespace {

// Fetches one robots.txt and hands the answer to the cache.
class Robots_fetch final : public Network_task {
 public:
  explicit Robots_fetch(std::string site) : site_(std::move(site)) {}
  void process_result() override {
    int status = 0;
    std::string body;
    const bool reached = this->status() == succeeded && connection();
    if (reached) {
      Received_page page = received_page(*connection());
      status = page.status;
      if (page.body && page.body->length() > 0)
        body.assign(page.body->contents(), static_cast<size_t>(page.body->length()));
    }
    Robots_cache::instance().take_answer(site_, reached, status, body);
  }

 private:
  std::string site_;
};

}  // namespace

Robots_cache& Robots_cache::instance() {
  static Robots_cache* cache = new Robots_cache;
  return *cache;
}

std::string Robots_cache::site_of(const Ref_string& url) {
  Url u(url);
  const int scheme = u.scheme_code();
  if (scheme != Url::http && scheme != Url::https) return std::string();
  int port = u.port();
  if (port == 0) port = Url::default_port(scheme);
  return (scheme == Url::https ? "https://" : "http://") + u.host().lower().str() + ":" + std::to_string(port);
}

Ref_string Robots_cache::robots_url(const std::string& site) {
  return Ref_string(std::string_view(site + "/robots.txt"));
}

bool Robots_cache::respect_setting() {
  return !(Settings_cache::instance().get("RespectRobots").lower() == "no");
}

const Robots_rules* Robots_cache::rules(const std::string& site) const {
  auto it = sites_.find(site);
  if (it == sites_.end() || it->second.expires <= platform::now()) return nullptr;
  return &it->second.rules;
}

bool Robots_cache::fetching(const std::string& site) const {
  auto it = sites_.find(site);
  return it != sites_.end() && it->second.fetching;
}

int Robots_cache::crawl_delay(const Ref_string& url) const {
  const Robots_rules* r = rules(site_of(url));
  return r ? r->crawl_delay() : -1;
}

void Robots_cache::store(const std::string& site, const Robots_rules& rules, std::int64_t seconds) {
  Entry& e = sites_[site];
  e.rules = rules;
  e.expires = platform::now() + seconds;
  e.fetching = false;
}

void Robots_cache::take_answer(const std::string& site, bool reached, int status, std::string_view body) {
  if (!reached) {
    store(site, Robots_rules::disallow_all(), kKeep_unreachable_seconds);
  } else if (status >= 200 && status < 300) {
    store(site, Robots_rules::parse(body), kKeep_seconds);
  } else if (status >= 400 && status < 500) {
    store(site, Robots_rules(), kKeep_seconds);
  } else {
    // 5xx, or an answer that is neither: stay away.
    store(site, Robots_rules::disallow_all(), kKeep_seconds);
  }
}

bool Robots_cache::start_fetch(const std::string& site, const Ref_string& host) {
  if (host_spacing_enabled()) {
    std::int64_t last = 0;
    if (Host_table::instance().launch_time(host, last) && platform::now() - last <= kHost_spacing_seconds)
      return false;
  }
  if (!network_admission()) return false;
  auto task = make_counted<Robots_fetch>(site);
  if (!task->set_url(robots_url(site))) return false;
  task->connection()->set_timeout(network_limits().follow_timeout);
  if (auto* http = dynamic_cast<Http_connection*>(task->connection())) http->set_max_bytes(Robots_rules::kMax_bytes);
  sites_[site].fetching = true;
  ++fetches_;
  activate_request(Network_task_handle(task));
  return true;
}

Robots_cache::Answer Robots_cache::require(const Ref_string& url) {
  const std::string site = site_of(url);
  if (site.empty()) return allowed;
  if (const Robots_rules* r = rules(site)) {
    Url u(url);
    Ref_string target = u.path();
    if (int hash = target.find('#'); hash >= 0) target = target.mid(0, hash);
    return r->allowed(target.view()) ? allowed : disallowed;
  }
  if (!fetching(site)) start_fetch(site, Url(url).host());
  return waiting;
}

void Robots_cache::clear() {
  sites_.clear();
  fetches_ = 0;
}

}  // namespace orvalis
