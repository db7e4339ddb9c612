// Search_resource_task sends one query of a topic to one search engine and keeps what the
// engine's result page links to. It fills in the engine's form (build_request: the query,
// reshaped for engines that want "AND" or "+" between words, in the engine's search field,
// then the form's fixed fields; or "?query" after the address for an isindex engine, the query
// encoded as a form value; Basic authorization when the engine has a user), sends it with the
// NetworkTimeout time-out, reads the links of the page that came back (read_result_links:
// http, https, gopher and ftp links, each address once, without the engine's own links that
// its ignore list names, at most MaxResultsPerPage of them in page order), adds the documents
// the database lacks, links each found document to the topic with the query and the engine's
// name, and submits a Summarize_task for every new one.
//
// Made by Search_topic_task, one per query and eligible engine, due at once. A failed or
// timed-out request stores nothing; every outcome finishes the task, and the other engines'
// tasks of the same search go on. The task keeps its own copy of the engine's record.
//
// Each outcome goes into the engine's health figures (Engine_health_store): an answer (a 200
// page) with its time and the links kept; a failure (no answer, a time-out, an error status,
// a page that cannot be read) with its reason, which may suspend the engine.
//
// The helpers are public for the command line's "resource test" and for Get_links_task.
// User-interface thread only. REQUIRES: made with make_counted.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <unordered_map>
#include <vector>

#include "database/document.h"
#include "database/search_resource.h"
#include "database/topic.h"
#include "foundation/byte_buffer.h"
#include "foundation/settings.h"
#include "net/network_task.h"
#include "text/page_readers.h"

namespace orvalis {

class Search_resource_task : public Network_task {
 public:
  // "Searching '<engine>' for '<query>'".
  Search_resource_task(const Topic_handle& topic, const Search_resource& resource,
                       const Ref_string& query);

  int start() override;
  void process_result() override;
  // Part of a search a schedule started: the new documents' summaries honour robots rules.
  void set_scheduled(bool on) { scheduled_ = on; }

  const Topic_handle& topic() const { return topic_; }
  const Search_resource& resource() const { return *resource_; }
  const Ref_string& query() const { return query_; }

 private:
  Topic_handle topic_;
  Ref_string query_;
  Search_resource_handle resource_;
  std::int64_t started_ms_ = 0;  // the platform tick when the request went out
  bool scheduled_ = false;
};

// Why an engine's reply is a failure, in words ("answered 403 Forbidden", "timed out after 60
// seconds"); empty for an answer (a 200 page that could be read).
Ref_string engine_failure_reason(Network_task& task);

// The engine's query transformation mode: the last entry of "query_transformation_config"
// ("fragment mode,fragment mode,...") whose fragment the engine's address contains, without
// regard to case; 0 when none does. Worked out once per record and kept in it.
int query_transformation_mode(Search_resource& resource);
// The query as the engine gets it: "=phrase" as written, one word unchanged, several words
// unchanged (mode 0), joined with " AND " (mode 1) or each with "+" (mode 2).
Ref_string transform_query(Search_resource& resource, const Ref_string& query);
// Gives the task its address, method, form fields and authorization for the query.
void build_request(Search_resource& resource, const Ref_string& query, Network_task& task);

// Addresses of more characters than this are not kept; titles are cut to the other.
inline constexpr int max_result_address_characters = 2048;
inline constexpr int max_result_title_characters = 254;

// The links of a result page, read against `base` (the address the page finally came from), in
// page order up to the `max_links`th that search_keeps_link keeps (the setting
// MaxResultsPerPage: so many documents a page gives at most). `ignore` lists substrings: a link
// containing any of them is dropped (an empty entry drops every link) and, when `dropped` is
// given, noted there.
Ref_list<Found_link> read_result_links(const Byte_buffer_handle& page, const Ref_string& base,
                                       const Ref_list<Ref_string>& ignore,
                                       std::vector<Ref_string>* dropped = nullptr,
                                       int max_links = network_limits().max_results_per_page);

// The title a found link is stored with: its text (decoded by the reader; the address when the
// text is blank), cut to max_result_title_characters at a character boundary.
Ref_string result_link_title(const Found_link& link);

// The body of a connection's reply (a reply without a status line is all body) converted to
// UTF-8; null when the reply is not a usable 200 when `require_ok`, or has no body.
Byte_buffer_handle response_body(const Net_connection& connection, bool require_ok, int* status = nullptr);

// Whether a search stores the result link: its address has at most
// max_result_address_characters. `resource test` lists the others as dropped.
bool search_keeps_link(const Found_link& link);

// Stores the links found for a topic: each link search_keeps_link keeps becomes a document
// (added when new, titled result_link_title) linked to the topic with `query` and `added_by`, a
// removed link staying removed. `then` is called for each stored document with whether it was
// new. When one was new the topic's time_last_modified is set and saved. Returns the number
// of new documents.
int store_found_links(const Topic_handle& topic, const Ref_list<Found_link>& links,
                      const Ref_string& query, const Ref_string& added_by,
                      const std::function<void(const Document_handle&, bool is_new)>& then);

// The advertisement on a result page, as HTML: the first "img" (or "input" of type "image")
// whose absolute address the "advertisement_config" setting names for this engine (an entry
// "location-fragment image-fragment" whose first piece the engine's location holds and whose
// second the image's address holds, both without regard to case; the first entry for the
// engine decides), with its src made absolute, preceded by the anchor around it (href made
// absolute) and followed by "</a>"; the image tag alone outside an anchor; empty when the page
// shows none. `base` is the address the page finally came from.
Ref_string find_advertisement(const Search_resource& resource, const Byte_buffer_handle& page,
                              const Ref_string& base);

// True when the user shows the engines' advertisements: "ShowSRAd" is "Yes" in the settings
// file (in the settings cache when no settings file is open).
bool advertisements_shown();

// What the agent last saw of each engine's advertisement, by engine name (without regard to
// case), for the whole run: when it last fetched one, whether the image changed since, and the
// image's address. A new image is fetched at once the first time; after that only when it
// differs from the last one and at least 16 whole minutes have passed since the last fetch.
class Advertisement_table {
 public:
  struct Entry {
    std::int64_t fetched = 0;  // seconds since 1970
    bool changed = false;
    Ref_string image_address;
  };
  static Advertisement_table& instance();
  // Notes `image_address` seen on the engine's result page at `now`; true when it is to be
  // fetched.
  bool note(const Ref_string& resource_name, const Ref_string& image_address, std::int64_t now);
  const Entry* find(const Ref_string& resource_name) const;
  void clear();

 private:
  std::unordered_map<std::string, Entry> entries_;
};

// The advertisement step of a search: when advertisements are shown and the page has one in
// the form <a ...><img ...></a>, notes it in the table and submits a Get_ad_task when the
// table says so. Called with every result page a search delivers while a database is open.
void take_advertisement(const Search_resource& resource, const Byte_buffer_handle& page,
                        const Ref_string& base);

}  // namespace orvalis
