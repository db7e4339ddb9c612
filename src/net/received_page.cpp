#include "net/received_page.h"

#include <string>

#include "net/net_connection.h"

namespace orvalis {

void Received_page::to_utf8() {
  if (converted) return;
  converted = true;
  const char* bytes = body ? body->contents() : nullptr;
  if (!bytes) return;
  body = utf8_page(bytes, body->length(), content_type, &encoding);
}

Received_page received_page(const Byte_buffer_handle& raw, const Http_response_handle& parsed) {
  Received_page page;
  const char* text = raw ? raw->contents() : nullptr;
  if (!text) return page;
  Http_response_handle response = parsed ? parsed : parse_response(text, raw->length());
  page.status = response->status;
  page.content_type = response->headers.get("content-type");
  page.problem = response->body_problem;
  if (response->has_body() && response->body_offset < raw->length()) {
    auto body = make_counted<Byte_buffer>();
    body->append(text + response->body_offset, raw->length() - response->body_offset);
    page.body = body;
  }
  return page;
}

Received_page received_page(const Net_connection& connection) {
  return received_page(connection.received_buffer(), connection.response());
}

Byte_buffer_handle utf8_page(const char* bytes, std::int64_t n, const Ref_string& content_type,
                             Page_encoding* found) {
  auto out = make_counted<Byte_buffer>();
  if (!bytes || n <= 0) return out;
  const std::string text = page_to_utf8(std::string_view(bytes, static_cast<size_t>(n)),
                                        content_type.view(), found);
  out->append(text.data(), static_cast<std::int64_t>(text.size()));
  return out;
}

}  // namespace orvalis
