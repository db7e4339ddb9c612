// fetch and analyze: one transfer through the network layer, and the text analysis of pages
// (local files, standard input, or addresses fetched through the network layer).
#include <algorithm>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <iostream>
#include <string>
#include <vector>

#include "cli/cli.h"
#include "cli/json.h"
#include "foundation/error_handler.h"
#include "foundation/page_encoding.h"
#include "foundation/settings.h"
#include "foundation/url.h"
#include "net/fetch.h"
#include "net/http_response.h"
#include "net/received_page.h"
#include "platform/user_file.h"
#include "text/html_chars.h"
#include "text/page_analysis.h"
#include "text/word_tagger.h"

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

namespace {

// One input of analyze: where it came from, where it was read and what came of it.
struct Analyzed {
  std::string input;
  std::string address;  // the address finally fetched, for an address
  Page_analysis page;
  Page_encoding encoding;  // what the page was read as
  bool blocks = false;  // --blocks: show each text block's verdict
};

// The page's bytes read as UTF-8, by the encoding they declare or show, and analysed.
Page_analysis analyze_bytes(const char* bytes, std::int64_t n, const Ref_string& content_type,
                            Page_encoding& encoding, Word_tagger& tagger) {
  return analyze_page(utf8_page(bytes, n, content_type, &encoding), tagger);
}

// "scheme://" at the start: an address rather than a file name.
bool looks_like_address(const std::string& input) {
  const size_t colon = input.find("://");
  if (colon == std::string::npos || colon == 0) return false;
  for (size_t i = 0; i < colon; ++i) {
    const unsigned char ch = static_cast<unsigned char>(input[i]);
    if (!std::isalnum(ch) && ch != '+' && ch != '-' && ch != '.') return false;
  }
  return std::isalpha(static_cast<unsigned char>(input[0])) != 0;
}

Page_analysis failure(const std::string& why) {
  Page_analysis a;
  a.error = rs(why);
  return a;
}

// Fetches the address through the network layer and analyses the page that came back.
Page_analysis analyze_address(const std::string& url, std::string& final_url, Page_encoding& encoding,
                              Word_tagger& tagger) {
  const int scheme = Url(rs(url)).scheme_code();
  if (scheme != Url::http && scheme != Url::https && scheme != Url::ftp && scheme != Url::gopher)
    return failure("No way to fetch '" + url + "': its scheme is not http, https, ftp or gopher.");
  Fetch_result r = fetch_url(rs(url), network_limits().search_timeout);
  final_url = r.final_url.empty() ? url : r.final_url.str();
  if (!r.supported)
    return failure("No way to fetch '" + url + "': its scheme is not http, https, ftp or gopher.");
  if (r.status != 0 || !r.raw)
    return failure("The transfer of " + url + " " + task_status_text(r.status) + " (task status " +
                   std::to_string(r.status) + ").");
  const char* raw = r.raw->contents();
  const std::int64_t length = r.raw->length();
  std::int64_t body = 0;
  // An FTP file or a gopher page is the transfer itself; an HTTP reply has a status and headers.
  const int final_scheme = Url(rs(final_url)).scheme_code();
  if (final_scheme == Url::http || final_scheme == Url::https) {
    if (!r.response || r.response->status != 200)
      return failure(url + " answered " +
                     (r.response && r.response->status
                          ? std::to_string(r.response->status) + " " + r.response->reason.str()
                          : std::string("no HTTP status")) +
                     ": there is no page to analyze.");
    body = r.response->body_offset;
    if (body < 0 || body > length) body = length;
  }
  if (r.response && !r.response->body_problem.empty() && length - body == 0)
    return failure(url + ": " + r.response->body_problem.str() + ".");
  const Ref_string content_type = r.response ? r.response->headers.get("content-type") : Ref_string();
  return analyze_bytes(raw ? raw + body : nullptr, length - body, content_type, encoding, tagger);
}

Page_analysis analyze_input(const std::string& input, std::string& address, Page_encoding& encoding,
                            Word_tagger& tagger) {
  const std::int64_t limit = network_limits().max_document_bytes;
  if (input == "-") {
    std::string contents, error;
    bool complete = true;
    if (!platform::read_stream(0, limit, contents, complete, error))
      return failure("Cannot read standard input: " + error + ".");
    Page_analysis a = analyze_bytes(contents.data(), static_cast<std::int64_t>(contents.size()),
                                    Ref_string(), encoding, tagger);
    a.cut = !complete;
    return a;
  }
  if (looks_like_address(input)) return analyze_address(input, address, encoding, tagger);
  std::string contents, error;
  bool complete = true;
  if (!platform::read_regular_file(input, limit, contents, complete, error)) return failure(error);
  Page_analysis a = analyze_bytes(contents.data(), static_cast<std::int64_t>(contents.size()), Ref_string(),
                                  encoding, tagger);
  a.cut = !complete;
  return a;
}

// With --blocks: every text block of the page and its verdict, one a line.
void print_blocks(Context& c, const Analyzed& a) {
  c.out << "Blocks:\n";
  for (const Block_verdict& b : a.page.blocks) {
    std::string text = b.text.str();
    if (text.size() > 160) text = text.substr(0, static_cast<size_t>(html_chars::utf8_cut(text.data(), static_cast<int>(text.size()), 157))) + "...";
    c.out << "  [" << b.why << (b.heading ? ", heading" : "") << "] " << text << "\n";
  }
}

void print_analysis(Context& c, const Analyzed& a) {
  c.out << "Page: " << a.input;
  if (!a.address.empty() && a.address != a.input) c.out << " (" << a.address << ")";
  c.out << "\nTitle: " << a.page.title << "\nLinks: " << a.page.num_anchors
        << "  Images: " << a.page.num_images << "  Size: " << a.page.size;
  if (a.page.cut) c.out << " (the first MaxDocumentBytes only)";
  c.out << "\nEncoding: " << a.encoding.name << " (" << encoding_source_text(a.encoding.source) << ")";
  c.out << "\nKey terms: " << join(a.page.key_terms, ", ") << "\nExtract:\n";
  for (const Ref_string& s : a.page.extract) c.out << "  " << s << "\n";
}

void write_analysis(Json_writer& j, const Analyzed& a) {
  j.begin_object().field("input", a.input);
  if (!a.address.empty()) j.field("address", a.address);
  if (!a.page.ok) {
    j.field("error", a.page.error.view()).end_object();
    return;
  }
  j.field("title", a.page.title.view()).field("links", a.page.num_anchors)
      .field("images", a.page.num_images).field("size", static_cast<long long>(a.page.size))
      .field("cut", a.page.cut).field("encoding", a.encoding.name)
      .field("encoding_source", encoding_source_text(a.encoding.source));
  j.key("key_terms").begin_array();
  for (const Ref_string& t : a.page.key_terms) j.value(t.view());
  j.end_array().key("extract").begin_array();
  for (const Ref_string& s : a.page.extract) j.value(s.view());
  j.end_array();
  if (a.blocks) {
    j.key("blocks").begin_array();
    for (const Block_verdict& b : a.page.blocks)
      j.begin_object().field("kept", b.kept).field("verdict", b.why.view())
          .field("heading", b.heading).field("text", b.text.view()).end_object();
    j.end_array();
  }
  j.end_object();
}

}  // namespace

int cmd_analyze(Context& c) {
  const bool blocks = c.take_flag("--blocks");
  const std::vector<std::string> inputs = c.args;
  if (inputs.empty()) throw Usage_error{"missing HTML file, address or -"};
  if (std::count(inputs.begin(), inputs.end(), "-") > 1)
    throw Usage_error{"standard input (-) can be read only once"};
  // One tagger for every input: the lexicon is loaded once.
  Word_tagger tagger(Settings_cache::instance().get("lexicon_path"));
  Json_writer j(c.out);
  if (c.json) j.begin_array();
  int failed = 0;
  for (size_t i = 0; i < inputs.size(); ++i) {
    Analyzed a;
    a.input = inputs[i];
    a.blocks = blocks;
    a.page = analyze_input(a.input, a.address, a.encoding, tagger);
    if (!a.page.ok) {
      ++failed;
      report_error(a.page.error);
    }
    if (c.json) {
      write_analysis(j, a);
    } else if (a.page.ok) {
      if (i > 0) c.out << "\n";
      print_analysis(c, a);
      if (blocks) print_blocks(c, a);
    }
    c.out.flush();
  }
  if (c.json) j.end_array().finish();
  return failed ? 1 : 0;
}

}  // namespace orvalis::cli
