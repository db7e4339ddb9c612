#include "agent/capture_task.h"

#include "agent/browser.h"
#include "agent/task_manager.h"
#include "foundation/error_handler.h"
#include "foundation/settings.h"
#include "foundation/url.h"
#include "net/http_response.h"
#include "net/network.h"
#include "platform/clock.h"

namespace orvalis {

Ref_string base64_encode(std::string_view bytes) {
  static const char digits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  size_t i = 0;
  for (; i + 2 < bytes.size(); i += 3) {
    unsigned v = (static_cast<unsigned char>(bytes[i]) << 16) |
                 (static_cast<unsigned char>(bytes[i + 1]) << 8) | static_cast<unsigned char>(bytes[i + 2]);
    out += {digits[v >> 18], digits[(v >> 12) & 63], digits[(v >> 6) & 63], digits[v & 63]};
  }
  if (i < bytes.size()) {
    unsigned v = static_cast<unsigned char>(bytes[i]) << 16;
    if (i + 1 < bytes.size()) v |= static_cast<unsigned char>(bytes[i + 1]) << 8;
    out += digits[v >> 18];
    out += digits[(v >> 12) & 63];
    out += i + 1 < bytes.size() ? digits[(v >> 6) & 63] : '=';
    out += '=';
  }
  return Ref_string(out);
}

Capture_task::Capture_task(const Capture_request& request, const Ref_string& listener_host,
                           int listener_port)
    : Network_task(kImmediate),
      request_(request),
      listener_host_(listener_host),
      listener_port_(listener_port) {
  set_description(format_args(Ref_string::from_id(10079), request_.name));
}

Ref_string Capture_task::listener_address() const {
  return concat("http://", listener_host_.view(), ":", Ref_string::number(listener_port_).view());
}

int Capture_task::start() {
  if (!set_url(request_.form_url)) {
    failed_ = true;
    ended_ = true;
    Task_manager::instance().finish(*this);
    return 0;
  }
  if (!request_.username.empty() && request_.username != "NONE") {
    std::string credentials = concat(request_.username.view(), ":", request_.password.view()).str();
    connection()->add_header("Authorization", concat("Basic ", base64_encode(credentials).view()));
  }
  connection()->set_timeout(network_limits().capture_timeout);
  activate_request(Network_task_handle(this));
  return 1;
}

void Capture_task::process_result() {
  ended_ = true;
  // However the fetch ended, the task is done once its result is read.
  struct Finish {
    Capture_task& task;
    ~Finish() { Task_manager::instance().finish(task); }
  } finish{*this};
  Net_connection* c = connection();
  if (status() != succeeded || !c || !c->received_buffer() || c->received_buffer()->length() == 0) {
    failed_ = true;
    return;
  }
  Byte_buffer_handle raw = c->received_buffer();
  Http_response_handle response = parse_response(raw->contents());
  if (response->status == 0 || !response->has_body()) {
    report_error(Ref_string::from_id(18016));
    no_form_ = true;
    return;
  }
  auto body = make_counted<Byte_buffer>();
  const char* text = raw->contents();
  body->append(text + response->body_offset, raw->length() - response->body_offset);
  Ref_string page_address = c->url().empty() ? request_.form_url : c->url();
  Capture_page page = rewrite_capture_page(body, page_address, request_, listener_address());
  if (!page.found_form) {
    no_form_ = true;
    return;
  }
  if (response->status != 200) {
    failed_ = true;
    return;
  }
  page_path_ = write_capture_page(pages_folder(), page.page);
  if (page_path_.empty()) {
    failed_ = true;
    return;
  }
  shown_at_ = platform::now();
  open_address(file_url(page_path_));
}

Capture_progress capture_progress(bool submission_taken, const Capture_task& task) {
  Capture_progress p;
  if (submission_taken) {
    p.state = Capture_progress::captured;
    return p;
  }
  if (!task.ended()) {
    p.text = Ref_string::from_id(10048);
  } else if (task.failed() || (!task.no_form() && task.status() != Network_task::succeeded)) {
    p.state = Capture_progress::failed;
    p.text = Ref_string::from_id(18006);
    const Capture_request& r = task.request();
    if ((!r.username.empty() && r.username != "NONE") || !r.password.empty())
      p.text += Ref_string::from_id(12016);
  } else if (task.no_form()) {
    p.state = Capture_progress::no_form;
    p.text = Ref_string::from_id(18015);
  } else if (const std::int64_t limit = std::int64_t{network_limits().capture_timeout} * 10;
             task.shown_at() > 0 && platform::now() - task.shown_at() >= limit) {
    p.state = Capture_progress::failed;
    p.text = Ref_string("No search was submitted from the capture page within " + std::to_string(limit) +
                        " seconds; the capture has ended. Start it again to capture the search resource.");
  } else {
    p.state = Capture_progress::waiting;
    p.text = Ref_string::from_id(10049);
  }
  return p;
}

}  // namespace orvalis
