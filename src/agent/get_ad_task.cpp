#include "agent/get_ad_task.h"

#include <string>

#include "agent/task_manager.h"
#include "foundation/settings.h"
#include "net/http_connection.h"
#include "net/http_response.h"
#include "reports/advertisement_page.h"

namespace orvalis {

const char* image_kind(std::string_view bytes) {
  if (bytes.substr(0, 6) == "GIF87a" || bytes.substr(0, 6) == "GIF89a") return "gif";
  if (bytes.substr(0, 3) == "\xFF\xD8\xFF") return "jpeg";
  if (bytes.substr(0, 8) == "\x89PNG\r\n\x1A\n") return "png";
  if (bytes.size() >= 12 && bytes.substr(0, 4) == "RIFF" && bytes.substr(8, 4) == "WEBP") return "webp";
  // SVG is text: after a byte-order mark and blanks, markup whose first kilobytes open an svg
  // element. (Shown through an img element, its scripts never run.)
  std::string_view head = bytes.substr(0, 4096);
  if (head.starts_with("\xEF\xBB\xBF")) head.remove_prefix(3);
  while (!head.empty() && (head.front() == ' ' || head.front() == '\t' || head.front() == '\r' || head.front() == '\n'))
    head.remove_prefix(1);
  if (head.starts_with("<") && head.find("<svg") != std::string_view::npos) return "svg";
  return "";
}

Get_ad_task::Get_ad_task(const Ref_string& resource_name, const Ref_string& image_address,
                         const Ref_string& anchor_text, const Ref_string& extension_address,
                         const Html_tag_handle& image_tag)
    : Network_task(kImmediate),
      resource_name_(resource_name),
      image_address_(image_address),
      anchor_text_(anchor_text),
      extension_address_(extension_address),
      image_tag_(image_tag) {
  set_description(format_args(Ref_string::from_id(10078), resource_name, image_address));
  fetchable_ = set_url(image_address);
}

int Get_ad_task::start() {
  if (!fetchable_) {
    set_status(failed);
    process_result();
    return 1;
  }
  connection()->set_method(Http_connection::get);
  connection()->set_timeout(kTimeout_seconds);
  activate_request(Network_task_handle(this));
  return 1;
}

void Get_ad_task::process_result() {
  Network_task_handle keep(this);
  if (status() == succeeded && connection())
    refusal_ = store();
  else
    refusal_ = fetchable_ ? failure_reason() : Ref_string("the address cannot be fetched");
  // An advertisement that could not be had is not the user's concern: nothing is stored and
  // nothing is said (refusal() keeps the reason for whoever asks).
  Task_manager::instance().finish(*this);
}

Ref_string Get_ad_task::store() {
  Byte_buffer_handle raw = connection()->received_buffer();
  const char* text = raw ? raw->contents() : nullptr;
  if (!text) return "the server sent nothing";
  Http_response_handle response = parse_response(text, raw->length());
  if (response->status != 200) return concat("the server answered ", std::to_string(response->status));
  const std::int64_t announced = content_length(*response);
  if (announced <= 0) return "the reply announced no length";
  const std::int64_t received = response->has_body() ? raw->length() - response->body_offset : 0;
  if (received < announced)
    return Ref_string("the reply ended after " + std::to_string(received) + " of " + std::to_string(announced) +
                      " bytes");
  std::string_view body(text + response->body_offset, static_cast<std::size_t>(announced));
  const std::string_view kind = image_kind(body);
  if (kind.empty()) return "it is not a GIF, JPEG, PNG, WebP or SVG image";

  // The address the image finally came from names its extension.
  const Ref_string& delivered = connection()->url().empty() ? extension_address_ : connection()->url();
  Advertisement ad;
  ad.resource_name = resource_name_;
  ad.image_file = advertisement_image_name(resource_name_, delivered);
  // A browser shows a local SVG file only under its own extension.
  if (kind == "svg" && !ad.image_file.view().ends_with(".svg"))
    ad.image_file = advertisement_image_name(resource_name_, "image.svg");
  ad.anchor = Html_tag(anchor_text_).attributes();
  if (image_tag_) ad.image = image_tag_->attributes();
  const Ref_string folder = engines_folder();
  // A failure to write has been reported as an error.
  if (write_advertisement_image(folder, resource_name_, ad.image_file, body))
    write_advertisement_page(ad, folder);
  return Ref_string();
}

}  // namespace orvalis
