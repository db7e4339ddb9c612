#include "agent/get_links_task.h"

#include "agent/search_resource_task.h"
#include "agent/summarize_task.h"
#include "agent/task_manager.h"
#include "database/database.h"
#include "foundation/error_handler.h"
#include "foundation/settings.h"
#include "net/http_connection.h"
#include "net/network.h"

namespace orvalis {

bool Follow_run::claim(std::int32_t url_id, std::int32_t levels_left) {
  auto [at, made] = reached_.try_emplace(url_id, levels_left);
  if (made) return true;
  if (at->second >= levels_left) return false;
  at->second = levels_left;
  return true;
}

std::string Get_links_task::depth_rule() {
  return "The depth of a follow is a whole number from " + std::to_string(min_depth) + " to " +
         std::to_string(max_depth);
}

Get_links_task::Get_links_task(const Document_handle& document, const Topic_handle& topic,
                               std::int32_t depth)
    : Get_links_task(document, topic, depth, make_counted<Follow_run>()) {
  run_->claim(document->url_id, depth);
}

Get_links_task::Get_links_task(const Document_handle& document, const Topic_handle& topic,
                               std::int32_t depth, Counted_handle<Follow_run> run)
    : Network_task(kImmediate), depth_(depth), document_(document), topic_(topic), run_(std::move(run)) {
  const Ref_string& title = document->title.empty() ? document->address : document->title;
  set_description(format_args(Ref_string::from_id(10077), title));
  // A depth outside the rule fetches nothing (start() says why), not even robots rules.
  fetchable_ = set_url(document->address) && depth_allowed(depth);
}

int Get_links_task::is_ready() {
  if (!fetchable_) return 1;
  if (!robots_.ready(connection()->url())) return 0;
  if (robots_.disallowed()) return 1;
  return Network_task::is_ready();
}

int Get_links_task::start() {
  if (!depth_allowed(depth_)) report_error(Ref_string(depth_rule() + ", not " + std::to_string(depth_) + "."));
  if (fetchable_ && robots_.disallowed()) {
    store_not_allowed(document_);
    set_status(failed);
    Task_manager::instance().finish(*this);
    return 1;
  }
  if (!fetchable_) {
    set_status(failed);
    process_result();
    return 1;
  }
  connection()->set_method(Http_connection::get);
  connection()->set_timeout(network_limits().follow_timeout);
  activate_request(Network_task_handle(this));
  return 1;
}

void Get_links_task::process_result() {
  Network_task_handle keep(this);
  if (status() == succeeded && Database::shared().is_open() && connection()) {
    Byte_buffer_handle page = response_body(*connection(), true);
    if (page) {
      Ref_list<Found_link> links = read_result_links(page, connection()->url(), Ref_list<Ref_string>());
      Task_manager& manager = Task_manager::instance();
      store_found_links(topic_, links, Ref_string(), Ref_string::from_id(10055),
                        [&](const Document_handle& d, bool) {
                          const std::int32_t levels_left = depth_ < 2 ? 0 : depth_ - 1;
                          if (!run_->claim(d->url_id, levels_left)) return;
                          if (levels_left == 0) {
                            auto summarize = make_counted<Summarize_task>(topic_, d);
                            summarize->set_respect_robots(true);
                            manager.submit(summarize);
                          } else {
                            manager.submit(make_counted<Get_links_task>(d, topic_, levels_left, run_));
                          }
                        });
    }
  }
  Task_manager::instance().finish(*this);
}

}  // namespace orvalis
