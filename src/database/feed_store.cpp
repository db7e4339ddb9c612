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

namespace {

void ensure_entries_table(Database& db) {
  if (db.has_table(Feed_store::kEntries_table)) return;
  db.execute(
      "CREATE TABLE IF NOT EXISTS page_feed_entries ("
      " concept_id INTEGER NOT NULL,"
      " feed TEXT NOT NULL,"
      " entry TEXT NOT NULL,"
      " PRIMARY KEY (concept_id, feed, entry)) WITHOUT ROWID");
}

}  // namespace

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
    if (db_.has_table(kEntries_table)) {
      Db_statement e(db_, "DELETE FROM page_feed_entries WHERE concept_id = ?1 AND feed = ?2");
      e.bind(1, concept_id).bind(2, normalized_address(address));
      e.run();
    }
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
                   "UPDATE page_feeds SET etag = ?3, last_modified = ?4, time_last_read = ?5,"
                   " title = coalesce(nullif(title, ''), ?6) WHERE concept_id = ?1 AND address = ?2");
    s.bind(1, feed.concept_id).bind(2, normalized_address(feed.address));
    bind_optional(s, 3, feed.etag);
    bind_optional(s, 4, feed.last_modified);
    s.bind(5, feed.time_last_read);
    bind_optional(s, 6, feed.title);
    s.run();
    return sqlite3_changes_of(db_) > 0;
  } catch (const Db_error& e) {
    report_db_error(e);
    return false;
  }
}

bool Feed_store::note_entries(std::int32_t concept_id, const Ref_string& address,
                              const std::vector<std::string>& ids, std::vector<bool>& fresh) {
  fresh.assign(ids.size(), false);
  const Ref_string feed = normalized_address(address);
  try {
    Db_transaction t(db_);
    ensure_entries_table(db_);
    Db_statement s(db_, "INSERT OR IGNORE INTO page_feed_entries (concept_id, feed, entry) VALUES (?1, ?2, ?3)");
    for (std::size_t i = 0; i < ids.size(); ++i) {
      s.reset();
      s.bind(1, concept_id).bind(2, feed).bind(3, std::string_view(ids[i]));
      s.run();
      fresh[i] = sqlite3_changes_of(db_) > 0;
    }
    t.commit();
    return true;
  } catch (const Db_error& e) {
    fresh.assign(ids.size(), false);
    report_db_error(e);
    return false;
  }
}

std::int64_t Feed_store::entry_count(std::int32_t concept_id, const Ref_string& address) {
  try {
    if (!db_.has_table(kEntries_table)) return 0;
    Db_statement s(db_, "SELECT count(*) FROM page_feed_entries WHERE concept_id = ?1 AND feed = ?2");
    s.bind(1, concept_id).bind(2, normalized_address(address));
    return s.step() ? s.integer(0) : 0;
  } catch (const Db_error& e) {
    report_db_error(e);
    return 0;
  }
}

std::int64_t remove_orphan_feeds(Database& db) {
  if (!db.has_table(Feed_store::kTable)) return 0;
  db.execute(
      "DELETE FROM page_feeds WHERE concept_id NOT IN (SELECT concept_id FROM concept_master)");
  const std::int64_t removed = sqlite3_changes_of(db);
  if (db.has_table(Feed_store::kEntries_table))
    db.execute(
        "DELETE FROM page_feed_entries WHERE NOT EXISTS (SELECT 1 FROM page_feeds f"
        " WHERE f.concept_id = page_feed_entries.concept_id AND f.address = page_feed_entries.feed)");
  return removed;
}

}  // namespace orvalis
