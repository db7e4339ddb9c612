// Feed_read_task reads one feed of a topic and turns its new entries into documents of the
// topic. A search of the topic (Search the Web, its schedule, the due-tasks check, the command
// line's search and agent runs) submits one for every feed the topic watches, beside its engine
// requests, so it waits for the same host spacing and network admission as any fetch.
//
// The request is conditional: the ETag and Last-Modified of the last answer go back as
// If-None-Match and If-Modified-Since, to a redirect's target too. A 304 costs one row update (the read time) and nothing
// else: no parse, no other write. Redirects, compression and encodings come as for pages
// (Http_connection; feed_to_utf8). The feed itself is fetched whatever the site's robots rules
// say, as engines are: the user asked for it by name. The pages of its entries are summarized
// as a search's results are, under the robots rules when a schedule started the search.
//
// A 200 answer is read on the background worker (parse_feed_utf8), then written on the
// user-interface thread: every entry id is noted (Feed_store::note_entries), and each entry seen
// for the first time whose link (else its id, when that is a web address) can be stored becomes
// a document of the topic, found by "Feed: <title>" with the feed's address as its query. A new
// document's extract is the entry's summary (its title when it has none) until its page is
// summarized, and stays so when the page cannot be fetched. At most MaxResultsPerPage entries
// become documents per read, in the feed's order (newest first, as feeds list them); the older
// rest are noted as seen and named in a notice, so a first read of a long archive does not queue
// thousands of fetches.
//
// How much is read: a feed's answer may be far larger than a page (full-text feeds, archives),
// so it has a read limit of its own, feed_read_limit(): 16 MiB, or MaxDocumentBytes when that
// is larger. An answer cut there is read as far as it goes, the way a malformed feed is: the
// entries complete before the cut are taken (an XML feed; a JSON Feed cut short cannot be read
// and gives none), and a notice says the feed is too large and how much was read. The
// validators are stored all the same, so a feed that does not change is not fetched again.
// Reading the whole of a 100 MB feed would hold it in memory several times over (the reply, its
// UTF-8 copy, the parse) for entries that are, in a feed sorted newest first, the oldest.
//
// A failed fetch, an error status or an answer that is no feed writes nothing and says why in a
// notice. User-interface thread, but run_job on the worker. REQUIRES: made with make_counted.
#pragma once

#include <cstdint>
#include <string>

#include "database/feed_store.h"
#include "database/topic.h"
#include "exchange/feed_parser.h"
#include "net/network_task.h"

namespace orvalis {

class Feed_read_task : public Network_task {
 public:
  enum class Outcome { pending, failed, not_modified, read };

  // "Reading feed '<title or address>'"; due at once.
  Feed_read_task(const Topic_handle& topic, const Feed& feed);

  int start() override;
  // Sends the stored validators with the first request and with each redirect's.
  void launch() override;
  void process_result() override;
  void run_job() override;
  void complete_job() override;
  // Part of a search a schedule started: the new documents' summaries honour robots rules.
  void set_scheduled(bool on) { scheduled_ = on; }

  const Feed& feed() const { return feed_; }
  Outcome outcome() const { return outcome_; }
  // New entries this read made documents of the topic (each document may have been stored
  // before, found by a search or another topic).
  int new_entries() const { return new_entries_; }
  // Why the read failed or stopped early (a fault in the feed, the read limit); empty otherwise.
  const std::string& problem() const { return problem_; }

 private:
  void fail(const std::string& why);
  void store_entries();

  Topic_handle topic_;
  Feed feed_;
  bool scheduled_ = false;
  Outcome outcome_ = Outcome::pending;
  int new_entries_ = 0;
  std::string problem_;
  bool cut_ = false;
  Ref_string etag_;
  Ref_string last_modified_;
  // The worker's own: the answer's bytes and type going in, the parse coming out.
  std::string body_;
  std::string content_type_;
  std::string address_;
  exchange::Parsed_feed parsed_;
};

// The read limit of a feed's answer: 16 MiB, or MaxDocumentBytes when that is larger.
std::int64_t feed_read_limit();

// The name a feed's documents are found by: "Feed: " and its title, else its address.
Ref_string feed_finder_name(const Feed& feed);

// Submits a Feed_read_task for every feed of the topic; returns how many.
int read_topic_feeds(const Topic_handle& topic, bool scheduled);

}  // namespace orvalis
