// Feed_store keeps the feeds a topic watches, in the Topic database's table "page_feeds" (made
// on first write, so the six tables of the format stay as they are): one row per topic and feed
// address, with the feed's title, the validators of its last answer (ETag, Last-Modified) for
// conditional requests, and when it was last read. Addresses are stored with their scheme and
// host in lower case, as documents' are. A feed belongs to its topic: listing skips the rows of
// a topic that no longer exists, and compaction deletes them (remove_orphan_feeds).
//
// The entries a topic has taken from each feed are remembered by id in "page_feed_entries"
// (made on first write too), so that an entry counts as new once only: one the feed drops and
// brings back, or whose document the user removed, is not taken again. Removing a feed forgets
// its entries.
//
// Errors are reported through report_db_error and give the empty result. A file without the
// table simply has no feeds. Thread: the user-interface thread. REQUIRES: the database
// outlives the store.
#pragma once

#include <cstdint>
#include <vector>

#include "database/database.h"
#include "foundation/ref_string.h"

namespace orvalis {

struct Feed {
  std::int32_t concept_id = 0;
  Ref_string address;
  Ref_string title;
  Ref_string etag;           // the last answer's ETag, sent back as If-None-Match
  Ref_string last_modified;  // the last answer's Last-Modified, sent back as If-Modified-Since
  Db_date time_last_read;    // null until the feed has been read
};

class Feed_store {
 public:
  static constexpr const char* kTable = "page_feeds";
  static constexpr const char* kEntries_table = "page_feed_entries";

  explicit Feed_store(Database& db = Database::shared()) : db_(db) {}

  // Makes the table when the file lacks it. Throws Db_error.
  static void ensure_table(Database& db);

  // Adds the feed to its topic; `added` tells whether a row was made (false: the topic had it
  // already, and nothing changed). False on an error.
  bool add_feed(const Feed& feed, bool* added = nullptr);
  // Removes the feed from the topic; false when the topic had no such feed or on an error.
  bool remove_feed(std::int32_t concept_id, const Ref_string& address);
  // The feeds of one topic (concept_id > 0) or of every topic (0), by topic then address.
  std::vector<Feed> feeds(std::int32_t concept_id = 0);
  // Writes the validators and read time of a feed after a read, and its title when the row has
  // none yet and `feed.title` is not empty. False on an error or when there is no such feed.
  bool save_read_state(const Feed& feed);
  // Notes the entry ids a read of the topic's feed gave; `fresh[i]` tells whether ids[i] was
  // seen now for the first time (a repeated id in the list counts once). One transaction.
  // False (and `fresh` all false) on an error.
  bool note_entries(std::int32_t concept_id, const Ref_string& address, const std::vector<std::string>& ids,
                    std::vector<bool>& fresh);
  // The number of entry ids remembered for the topic's feed.
  std::int64_t entry_count(std::int32_t concept_id, const Ref_string& address);

 private:
  Database& db_;
};

// Deletes the feeds whose topic is gone, and the remembered entries of feeds that are gone;
// returns how many feeds. Throws Db_error.
std::int64_t remove_orphan_feeds(Database& db);

}  // namespace orvalis
