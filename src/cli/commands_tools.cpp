// fetch and analyze: one transfer through the network layer, and the text analysis of a page.
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <iostream>

#include "cli/cli.h"
#include "cli/json.h"
#include "foundation/error_handler.h"
#include "foundation/settings.h"
#include "net/fetch.h"
#include "net/http_response.h"
#include "text/page_analysis.h"

namespace orvalis::cli {

namespace {
Ref_string rs(const std::string& s) { return Ref_string(std::string_view(s)); }

const char* task_status_text(int status) {
  switch (status) {
    case 0: return "succeeded";
    case 2: return "failed";
    case 3: return "timed out";
    default: return "did not finish";
  }
}
// The time-out of a fetch, in seconds: what the setting NetworkTimeout may hold (at least 10).
// Without a time-out a server that trickles would hold the command for ever.
int parse_timeout(const std::string& text) {
  constexpr long long kMin_timeout = 10;
  char* end = nullptr;
  errno = 0;
  long long v = std::strtoll(text.c_str(), &end, 10);
  if (text.empty() || *end != 0 || errno == ERANGE || v < kMin_timeout || v > INT_MAX)
    throw Usage_error{"--timeout must be a whole number of seconds from " + std::to_string(kMin_timeout) +
                      " to " + std::to_string(INT_MAX) + ", not '" + text + "'"};
  return static_cast<int>(v);
}
}  // namespace

int cmd_fetch(Context& c) {
  std::string timeout_text;
  int timeout = network_limits().search_timeout;
  if (c.take("--timeout", timeout_text)) timeout = parse_timeout(timeout_text);
  const std::string& url = c.arg(0, "address");
  c.no_more_args(1);
  Fetch_result r = fetch_url(rs(url), timeout);
  if (!r.supported) {
    report_error(rs("No way to fetch '" + url + "': its scheme is not http, https, ftp or gopher."));
    return 1;
  }
  const char* raw = r.raw ? r.raw->contents() : nullptr;
  std::int64_t length = r.raw ? r.raw->length() : 0;
  if (c.json) {
    Json_writer j(c.out);
    j.begin_object().field("task_status", r.status).field("result", task_status_text(r.status))
        .field("url", r.final_url.view());
    if (!r.failure_reason.empty()) j.field("failure_reason", r.failure_reason.view());
    if (r.response && raw) {
      j.field("status", r.response->status).field("reason", r.response->reason.view());
      j.key("headers").begin_object();
      for (const Name_value& h : r.response->headers) j.field(h.name.view(), h.value.view());
      j.end_object();
      std::int64_t body = r.response->body_offset;
      j.field("body", body >= 0 && body <= length ? std::string_view(raw + body, static_cast<size_t>(length - body))
                                                  : std::string_view());
    }
    j.end_object().finish();
  } else if (r.status == 0 && raw) {
    c.out.write(raw, length);
    if (length > 0 && raw[length - 1] != '\n') c.out << "\n";
  }
  if (r.status != 0) {
    std::string why = r.failure_reason.empty() ? std::string() : ": " + r.failure_reason.str();
    report_error(rs("The transfer of " + url + " " + task_status_text(r.status) + why + " (task status " +
                    std::to_string(r.status) + ")."));
    return 1;
  }
  return 0;
}

int cmd_analyze(Context& c) {
  const std::string& file = c.arg(0, "HTML file");
  c.no_more_args(1);
  Page_analysis a = analyze_page(rs(file), Settings_cache::instance().get("lexicon_path"));
  if (!a.ok) {
    report_error(a.error);
    return 1;
  }
  if (c.json) {
    Json_writer j(c.out);
    j.begin_object().field("title", a.title.view()).field("links", a.num_anchors).field("images", a.num_images)
        .field("size", static_cast<long long>(a.size));
    j.key("key_terms").begin_array();
    for (const Ref_string& t : a.key_terms) j.value(t.view());
    j.end_array().key("extract").begin_array();
    for (const Ref_string& s : a.extract) j.value(s.view());
    j.end_array().end_object().finish();
    return 0;
  }
  c.out << "Title: " << a.title << "\nLinks: " << a.num_anchors << "  Images: " << a.num_images
        << "  Size: " << a.size << "\nKey terms: " << join(a.key_terms, ", ") << "\nExtract:\n";
  for (const Ref_string& s : a.extract) c.out << "  " << s << "\n";
  return 0;
}

}  // namespace orvalis::cli
