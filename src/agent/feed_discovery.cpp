#include "agent/feed_discovery.h"

#include "foundation/settings.h"
#include "net/fetch.h"

namespace orvalis {

Feed_choice choose_feeds(const std::string& address) {
  const auto rs = [](const std::string& s) { return Ref_string(std::string_view(s)); };
  Feed_choice choice;
  Fetch_result r = fetch_url(rs(address), network_limits().search_timeout);
  if (r.status != 0 || !r.response) {
    choice.unchecked = r.failure_reason.empty() ? std::string("no answer") : r.failure_reason.str();
    choice.feeds.push_back({address, ""});
    return choice;
  }
  if (r.response->status != 200) {
    choice.error = address + " answered " + std::to_string(r.response->status) +
                   (r.response->reason.empty() ? "" : " " + r.response->reason.str()) + "; no feed was added.";
    return choice;
  }
  const std::int64_t length = r.raw->length();
  std::int64_t body = r.response->body_offset;
  if (body < 0 || body > length) body = length;
  const std::string_view bytes(r.raw->contents() + body, static_cast<std::size_t>(length - body));
  const std::string text = exchange::feed_to_utf8(bytes, r.response->headers.get("content-type").view());
  const exchange::Parsed_feed parsed = exchange::parse_feed_utf8(text, r.final_url.str());
  if (parsed.kind != exchange::Parsed_feed::Kind::unknown) {
    choice.feeds.push_back({address, parsed.title});
    return choice;
  }
  choice.from_page = true;
  choice.feeds = exchange::find_feed_links(text, r.final_url.str());
  if (choice.feeds.empty())
    choice.error = address + " is no feed, and the page announces none (no <link rel=\"alternate\"> to an RSS, "
                   "Atom or JSON feed); no feed was added.";
  return choice;
}

}  // namespace orvalis
