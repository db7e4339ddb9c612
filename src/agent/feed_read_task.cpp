#include "agent/feed_read_task.h"

#include <algorithm>
#include <vector>

#include "agent/agent_events.h"
#include "agent/search_resource_task.h"
#include "agent/summarize_task.h"
#include "agent/task_manager.h"
#include "database/document_store.h"
#include "foundation/character_count.h"
#include "foundation/settings.h"
#include "foundation/url.h"
#include "net/http_connection.h"
#include "net/received_page.h"
#include "platform/clock.h"

namespace orvalis {

namespace {

constexpr std::int64_t kFeed_bytes = std::int64_t(16) << 20;
// An entry's summary kept as an extract is cut here (at a character boundary).
constexpr std::size_t kMax_kept_characters = 2000;

Ref_string rs(const std::string& s) { return Ref_string(std::string_view(s)); }

void tell(const std::string& text) {
  if (agent_events().notice) agent_events().notice(rs(text));
}


// The extract a new entry's document starts with: its summary, else its title.
Ref_list<Ref_string> entry_extract(const exchange::Feed_entry& e) {
  const std::string& text = e.summary.empty() ? e.title : e.summary;
  Ref_list<Ref_string> extract;
  if (text.empty()) return extract;
  const std::size_t cut = character_prefix(text, kMax_kept_characters);
  extract.append(rs(cut < text.size() ? text.substr(0, cut) + "..." : text));
  return extract;
}

std::string megabytes(std::int64_t bytes) { return std::to_string(bytes >> 20) + " MB"; }

}  // namespace

std::int64_t feed_read_limit() { return std::max(kFeed_bytes, network_limits().max_document_bytes); }

Ref_string feed_finder_name(const Feed& feed) {
  return "Feed: " + (feed.title.is_blank() ? feed.address : feed.title);
}

Feed_read_task::Feed_read_task(const Topic_handle& topic, const Feed& feed)
    : Network_task(kImmediate), topic_(topic), feed_(feed) {
  set_description("Reading feed '" + (feed.title.is_blank() ? feed.address : feed.title) + "'");
  // The host is known from the start, so the host spacing applies before the request is built.
  set_url(feed.address);
}

int Feed_read_task::start() {
  Network_task_handle keep(this);
  Net_connection* c = connection();
  c->set_method(Http_connection::get);
  c->set_timeout(network_limits().search_timeout);
  if (auto* http = dynamic_cast<Http_connection*>(c)) http->set_max_bytes(feed_read_limit());
  activate_request(keep);
  return 1;
}

void Feed_read_task::launch() {
  // Each request of the transfer carries the validators: a redirect goes on with a connection
  // of its own that keeps no extra headers, and a feed that moved (to https, to a feed
  // service) would otherwise come whole at every read.
  if (Net_connection* c = connection()) {
    // The feed kinds first, so a server that picks its answer by the Accept header sends a feed.
    c->add_header("Accept",
                  "application/rss+xml, application/atom+xml, application/feed+json, application/rdf+xml,"
                  " application/xml;q=0.9, text/xml;q=0.9, application/json;q=0.8, */*;q=0.5");
    if (!feed_.etag.empty()) c->add_header("If-None-Match", feed_.etag);
    if (!feed_.last_modified.empty()) c->add_header("If-Modified-Since", feed_.last_modified);
  }
  Network_task::launch();
}

void Feed_read_task::fail(const std::string& why) {
  outcome_ = Outcome::failed;
  problem_ = why;
  tell("Feed " + feed_.address.str() + " was not read: " + why);
}

void Feed_read_task::process_result() {
  Network_task_handle keep(this);
  Task_manager& manager = Task_manager::instance();
  if (status() != succeeded || !connection()) {
    Ref_string why = failure_reason();
    fail(why.empty() ? (status() == timed_out ? "no answer in time" : "no answer") : why.str());
    manager.finish(*this);
    return;
  }
  Received_page page = received_page(*connection());
  if (page.status == 304) {
    // Unchanged since the last answer: the read time is all there is to write.
    outcome_ = Outcome::not_modified;
    if (Database::shared().is_open()) {
      Feed read = feed_;
      read.title = Ref_string();
      read.time_last_read = Db_date::at(platform::now());
      Feed_store().save_read_state(read);
    }
    manager.finish(*this);
    return;
  }
  if (page.status != 200) {
    Http_response_handle r = connection()->response();
    fail("answered " + std::to_string(page.status) + (r && !r->reason.empty() ? " " + r->reason.str() : ""));
    manager.finish(*this);
    return;
  }
  if (!page.body || page.body->length() == 0) {
    fail(page.problem.empty() ? "the answer is empty" : page.problem.str());
    manager.finish(*this);
    return;
  }
  Http_response_handle response = connection()->response();
  etag_ = response ? Ref_string(response->headers.get("etag").view()) : Ref_string();
  last_modified_ = response ? Ref_string(response->headers.get("last-modified").view()) : Ref_string();
  cut_ = connection()->received_buffer() && connection()->received_buffer()->length() >= feed_read_limit();
  // The worker's own copies.
  body_.assign(page.body->contents(), static_cast<std::size_t>(page.body->length()));
  content_type_ = page.content_type.str();
  address_ = connection()->url().str();
  Job_queue::instance().enqueue(Job_handle(this));
}

void Feed_read_task::run_job() {
  const std::string text = exchange::feed_to_utf8(body_, content_type_);
  std::string().swap(body_);
  parsed_ = exchange::parse_feed_utf8(text, address_);
}

void Feed_read_task::complete_job() {
  // A task stopped while its feed was read writes nothing.
  if (state() == done || !Database::shared().is_open()) return;
  if (parsed_.kind == exchange::Parsed_feed::Kind::unknown && parsed_.entries.empty()) {
    fail(parsed_.error.empty() ? "the answer is no RSS, Atom or JSON Feed document"
                               : "the answer is no readable feed (" + parsed_.error + ")");
    return;
  }
  store_entries();
  outcome_ = Outcome::read;
  if (cut_) {
    problem_ = "the feed is too large: only its first " + megabytes(feed_read_limit()) + " were read";
    tell("Feed " + feed_.address.str() + ": " + problem_ + ", giving " + std::to_string(parsed_.entries.size()) +
         " entries");
  } else if (!parsed_.error.empty()) {
    problem_ = parsed_.error;
    tell("Feed " + feed_.address.str() + " is read up to a fault (" + parsed_.error + "): " +
         std::to_string(parsed_.entries.size()) + " entries before it were taken");
  }
  Feed read = feed_;
  read.etag = etag_;
  read.last_modified = last_modified_;
  read.title = rs(parsed_.title);
  read.time_last_read = Db_date::at(platform::now());
  Feed_store().save_read_state(read);
  parsed_ = exchange::Parsed_feed{};
}

void Feed_read_task::store_entries() {
  std::vector<std::string> ids;
  ids.reserve(parsed_.entries.size());
  for (const exchange::Feed_entry& e : parsed_.entries) ids.push_back(e.id);
  std::vector<bool> fresh;
  if (!Feed_store().note_entries(feed_.concept_id, feed_.address, ids, fresh)) return;

  // The new entries that can be documents, in the feed's order, and their extracts.
  const int most = network_limits().max_results_per_page;
  Ref_list<Found_link> links;
  std::vector<Ref_list<Ref_string>> extracts;
  int left_out = 0;
  for (std::size_t i = 0; i < parsed_.entries.size(); ++i) {
    if (!fresh[i]) continue;
    const exchange::Feed_entry& e = parsed_.entries[i];
    const std::string& address = !e.link.empty() ? e.link : is_web_address(e.id) ? e.id : std::string();
    Found_link link{rs(address), rs(e.title)};
    if (address.empty() || !search_keeps_link(link)) continue;
    if (links.count() >= most) {
      ++left_out;
      continue;
    }
    links.append(link);
    extracts.push_back(entry_extract(e));
  }
  if (left_out > 0)
    tell("Feed " + feed_.address.str() + ": " + std::to_string(left_out) + " older new entries were not taken (at most " +
         std::to_string(most) + " a read, MaxResultsPerPage)");
  if (links.empty()) return;

  Feed finder = feed_;
  if (finder.title.is_blank()) finder.title = rs(parsed_.title);
  Task_manager& manager = Task_manager::instance();
  Document_store documents;
  std::size_t at = 0;
  store_found_links(
      topic_, links, feed_.address, feed_finder_name(finder), [&](const Document_handle& d, bool is_new) {
        const Ref_list<Ref_string>& extract = extracts[at++];
        ++new_entries_;
        if (!is_new) return;
        if (!extract.empty()) {
          d->abstract = extract;
          documents.save_document(*d);
        }
        auto summarize = make_counted<Summarize_task>(topic_, d);
        summarize->set_respect_robots(scheduled_);
        summarize->set_kept_extract(extract);
        manager.submit(summarize);
      });
}

int read_topic_feeds(const Topic_handle& topic, bool scheduled) {
  if (!Database::shared().is_open()) return 0;
  int submitted = 0;
  for (const Feed& f : Feed_store().feeds(topic->concept_id)) {
    auto task = make_counted<Feed_read_task>(topic, f);
    task->set_scheduled(scheduled);
    Task_manager::instance().submit(task);
    ++submitted;
  }
  return submitted;
}

}  // namespace orvalis
