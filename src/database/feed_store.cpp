#include "database/feed_store.h"

#include <sqlite3.h>

namespace orvalis {

namespace {

std::int64_t sqlite3_changes_of(Database& db) { return sqlite3_changes(db.handle()); }

void bind_optional(Db_statement& s, int index, const Ref_string& text) {
  if (text.empty())
    s.bind_null(index);
  else
    s.bind(index, text);
}

}  // namespace

void Feed_store::ensure_table(Database& db) {
  if (db.has_table(kTable)) return;
  db.execute(
      "CREATE TABLE IF NOT EXISTS page_feeds ("
      " concept_id INTEGER NOT NULL,"
      " address TEXT NOT NULL CHECK (length(address) > 0),"
      " title TEXT,"
      " etag TEXT,"
      " last_modified TEXT,"
      " time_last_read INTEGER,"
      " UNIQUE (concept_id, address))");
}

bool Feed_store::add_feed(const Feed& feed, bool* added) {
  if (added) *added = false;
  const Ref_string address = normalized_address(feed.address);
  if (address.empty() || feed.concept_id <= 0) return false;
  try {
    Db_transaction t(db_);
    ensure_table(db_);
    Db_statement s(db_,
                   "INSERT OR IGNORE INTO page_feeds (concept_id, address, title, etag, last_modified,"
                   " time_last_read) VALUES (?1, ?2, ?3, ?4, ?5, ?6)");
    s.bind(1, feed.concept_id).bind(2, address);
    bind_optional(s, 3, feed.title);
    bind_optional(s, 4, feed.etag);
    bind_optional(s, 5, feed.last_modified);
    s.bind(6, feed.time_last_read);
    s.run();
    const bool made = sqlite3_changes_of(db_) > 0;
    t.commit();
    if (added) *added = made;
    return true;
  } catch (const Db_error& e) {
    report_db_error(e);
    return false;
  }
}

bool Feed_store::remove_feed(std::int32_t concept_id, const Ref_string& address) {
  try {
    if (!db_.has_table(kTable)) return false;
    Db_transaction t(db_);
    Db_statement s(db_, "DELETE FROM page_feeds WHERE concept_id = ?1 AND address = ?2");
    s.bind(1, concept_id).bind(2, normalized_address(address));
    s.run();
    const bool removed = sqlite3_changes_of(db_) > 0;
    t.commit();
    return removed;
  } catch (const Db_error& e) {
    report_db_error(e);
    return false;
  }
}

std::vector<Feed> Feed_store::feeds(std::int32_t concept_id) {
  std::vector<Feed> out;
  try {
    if (!db_.has_table(kTable)) return out;
    Db_statement s(db_,
                   "SELECT f.concept_id, f.address, f.title, f.etag, f.last_modified, f.time_last_read"
                   " FROM page_feeds f JOIN concept_master c ON c.concept_id = f.concept_id"
                   " WHERE ?1 = 0 OR f.concept_id = ?1 ORDER BY f.concept_id, f.address");
    s.bind(1, concept_id);
    while (s.step()) {
      Feed f;
      f.concept_id = s.number(0);
      f.address = s.text(1);
      f.title = s.text(2);
      f.etag = s.text(3);
      f.last_modified = s.text(4);
      f.time_last_read = s.date(5);
      out.push_back(std::move(f));
    }
  } catch (const Db_error& e) {
    report_db_error(e);
    out.clear();
  }
  return out;
}

bool Feed_store::save_read_state(const Feed& feed) {
  try {
    if (!db_.has_table(kTable)) return false;
    Db_statement s(db_,
                   "UPDATE page_feeds SET etag = ?3, last_modified = ?4, time_last_read = ?5"
                   " WHERE concept_id = ?1 AND address = ?2");
    s.bind(1, feed.concept_id).bind(2, normalized_address(feed.address));
    bind_optional(s, 3, feed.etag);
    bind_optional(s, 4, feed.last_modified);
    s.bind(5, feed.time_last_read);
    s.run();
    return sqlite3_changes_of(db_) > 0;
  } catch (const Db_error& e) {
    report_db_error(e);
    return false;
  }
}

std::int64_t remove_orphan_feeds(Database& db) {
  if (!db.has_table(Feed_store::kTable)) return 0;
  db.execute(
      "DELETE FROM page_feeds WHERE concept_id NOT IN (SELECT concept_id FROM concept_master)");
  return sqlite3_changes_of(db);
}

}  // namespace orvalis
