#include "net/fetch.h"

#include "net/network.h"
#include "net/network_task.h"
#include "platform/event_loop.h"

namespace orvalis {

namespace {
class Fetch_task final : public Network_task {
 public:
  void process_result() override {
    ended = true;
    if (Net_connection* c = connection()) {
      final_url = c->url();
      if (status() == succeeded) {
        raw = c->received_buffer();
        response = c->response();
      }
    }
  }
  bool ended = false;
  Byte_buffer_handle raw;
  Http_response_handle response;
  Ref_string final_url;
};
}  // namespace

Fetch_result fetch_url(const Ref_string& url, int timeout_seconds) {
  Fetch_result result;
  Counted_handle<Fetch_task> task = make_counted<Fetch_task>();
  if (!task->set_url(url)) {
    result.supported = false;
    result.status = Network_task::failed;
    result.final_url = url;
    return result;
  }
  task->connection()->set_timeout(timeout_seconds);
  activate_request(task);
  platform::Event_loop& loop = platform::current_event_loop();
  while (!task->ended) {
    if (!loop.run_once(1000)) break;
  }
  result.status = task->status();
  result.final_url = task->final_url;
  result.failure_reason = task->failure_reason();
  if (!task->ended) cancel_requests(Ref_list<Network_task_handle>{Network_task_handle(task)});
  if (task->raw) {
    result.raw = task->raw;
    // HTTP replies were parsed as they arrived; FTP and gopher texts are read here.
    result.response = task->response ? task->response
                                     : parse_response(result.raw->contents(), result.raw->length());
  }
  return result;
}

}  // namespace orvalis
