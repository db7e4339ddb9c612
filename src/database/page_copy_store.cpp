#include "database/page_copy_store.h"

#include <sqlite3.h>
#include <zstd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "database/page_search_index.h"
#include "foundation/error_handler.h"
#include "foundation/settings.h"

namespace orvalis {

namespace {

// Level 1: on real documentation pages 2.6 times smaller, 1.5% larger than level 3 and a fifth
// faster, which is the larger share of what a copy adds to summarizing a page (see
// bench/bench_copies.cpp).
constexpr int kZstd_level = 1;
constexpr const char* kZstd = "zstd";

constexpr const char* kCreate_copies =
    "CREATE TABLE IF NOT EXISTS page_copies ("
    " copy_id INTEGER PRIMARY KEY,"
    " url_id INTEGER NOT NULL,"
    " time_fetched INTEGER NOT NULL,"
    " status INTEGER NOT NULL DEFAULT 0,"
    " content_hash TEXT NOT NULL,"
    " compression TEXT NOT NULL,"
    " encoding TEXT NOT NULL DEFAULT '',"
    " text_bytes INTEGER NOT NULL,"
    " text BLOB NOT NULL,"
    " html_bytes INTEGER NOT NULL DEFAULT 0,"
    " html BLOB,"
    " stored_bytes INTEGER NOT NULL)";
// Each document's copies in time order, with their sizes for the limit's sums.
constexpr const char* kCreate_copies_index =
    "CREATE INDEX IF NOT EXISTS page_copies_document ON page_copies (url_id, time_fetched, stored_bytes)";
constexpr const char* kCreate_room = "CREATE TABLE IF NOT EXISTS page_copies_room (total INTEGER NOT NULL)";
constexpr const char* kCreate_changes =
    "CREATE TABLE IF NOT EXISTS page_changes ("
    " url_id INTEGER PRIMARY KEY,"
    " time_changed INTEGER NOT NULL)";

constexpr const char* kInfo_columns =
    "SELECT copy_id, url_id, time_fetched, status, content_hash, compression, encoding, text_bytes,"
    " html_bytes, html IS NOT NULL, stored_bytes FROM page_copies";

Page_copy_info read_info(const Db_statement& s) {
  Page_copy_info c;
  c.copy_id = s.integer(0);
  c.url_id = s.number(1);
  c.time_fetched = s.integer(2);
  c.status = s.number(3);
  c.hash = std::string(s.text_view(4));
  c.compression = std::string(s.text_view(5));
  c.encoding = std::string(s.text_view(6));
  c.text_bytes = s.integer(7);
  c.html_bytes = s.integer(8);
  c.has_html = s.integer(9) != 0;
  c.stored_bytes = s.integer(10);
  return c;
}

std::string compress(std::string_view bytes) {
  // One context a thread, kept: making one costs more than compressing a page's text.
  struct Context {
    ZSTD_CCtx* c = ZSTD_createCCtx();
    ~Context() { ZSTD_freeCCtx(c); }
  };
  thread_local Context context;
  std::string out(ZSTD_compressBound(bytes.size()), '\0');
  const size_t n = context.c ? ZSTD_compressCCtx(context.c, out.data(), out.size(), bytes.data(), bytes.size(), kZstd_level)
                             : ZSTD_compress(out.data(), out.size(), bytes.data(), bytes.size(), kZstd_level);
  if (ZSTD_isError(n)) return {};
  out.resize(n);
  return out;
}

std::string copy_name(const Page_copy_info& copy) {
  return "the saved copy " + std::to_string(copy.copy_id) + " of document " + std::to_string(copy.url_id);
}

bool is_full(const Db_error& e) { return e.primary_code() == SQLITE_FULL; }


}  // namespace

Keep_copies keep_copies_setting() {
  const Ref_string value = Settings_cache::instance().get("KeepPageCopies").lower();
  if (value == "yes") return Keep_copies::yes;
  if (value == "no") return Keep_copies::no;
  return Keep_copies::text_only;
}

std::int64_t page_copy_limit_setting() {
  const Ref_string value = Settings_cache::instance().get("PageCopyLimitMB");
  const std::int64_t mb = value.empty() ? 512 : value.to_int();
  return (mb > 0 ? mb : 512) * 1024 * 1024;
}

namespace {

std::uint64_t load64(const unsigned char* p) {
  std::uint64_t v;
  std::memcpy(&v, p, sizeof v);
  return v;
}

std::uint64_t rotl(std::uint64_t x, int r) { return (x << r) | (x >> (64 - r)); }

std::uint64_t mix(std::uint64_t k) {
  k ^= k >> 33;
  k *= 0xff51afd7ed558ccdULL;
  k ^= k >> 33;
  k *= 0xc4ceb9fe1a85ec53ULL;
  k ^= k >> 33;
  return k;
}

// The hash copies had before: 64-bit FNV-1a, a byte at a time.
std::string fnv_hash(std::string_view text) {
  std::uint64_t h = 14695981039346656037ULL;
  for (unsigned char c : text) {
    h ^= c;
    h *= 1099511628211ULL;
  }
  char hex[17];
  std::snprintf(hex, sizeof hex, "%016llx", static_cast<unsigned long long>(h));
  return hex;
}

}  // namespace

std::string page_text_hash(std::string_view text) {
  // MurmurHash3's x64 128-bit function, sixteen bytes a step (little-endian loads).
  constexpr std::uint64_t c1 = 0x87c37b91114253d5ULL, c2 = 0x4cf5ad432745937fULL;
  const auto* p = reinterpret_cast<const unsigned char*>(text.data());
  const std::size_t n = text.size();
  std::uint64_t h1 = 0, h2 = 0;
  std::size_t i = 0;
  for (; i + 16 <= n; i += 16) {
    h1 ^= rotl(load64(p + i) * c1, 31) * c2;
    h1 = (rotl(h1, 27) + h2) * 5 + 0x52dce729;
    h2 ^= rotl(load64(p + i + 8) * c2, 33) * c1;
    h2 = (rotl(h2, 31) + h1) * 5 + 0x38495ab5;
  }
  std::uint64_t k1 = 0, k2 = 0;
  for (std::size_t j = n - i; j > 8; --j) k2 = (k2 << 8) | p[i + j - 1];
  for (std::size_t j = std::min<std::size_t>(n - i, 8); j > 0; --j) k1 = (k1 << 8) | p[i + j - 1];
  if (n - i > 8) h2 ^= rotl(k2 * c2, 33) * c1;
  if (n - i > 0) h1 ^= rotl(k1 * c1, 31) * c2;
  h1 ^= n;
  h2 ^= n;
  h1 += h2;
  h2 += h1;
  h1 = mix(h1);
  h2 = mix(h2);
  h1 += h2;
  h2 += h1;
  char hex[33];
  std::snprintf(hex, sizeof hex, "%016llx%016llx", static_cast<unsigned long long>(h1),
                static_cast<unsigned long long>(h2));
  return hex;
}

void Page_copy_store::ensure_tables(Database& db) {
  {
    Db_statement s(db, "SELECT count(*) FROM sqlite_master WHERE type = 'table' AND name IN (?1, ?2, ?3)");
    s.bind(1, kTable).bind(2, kChanges_table).bind(3, kRoom_table);
    if (s.step() && s.integer(0) == 3) return;
  }
  db.execute(kCreate_copies);
  db.execute(kCreate_copies_index);
  db.execute(kCreate_changes);
  db.execute(kCreate_room);
}

namespace {
void set_room(Database& db, std::int64_t total) {
  Db_statement(db, "UPDATE page_copies_room SET total = ?1").bind(1, total).run();
  if (sqlite3_changes(db.handle()) == 0)
    Db_statement(db, "INSERT INTO page_copies_room (total) VALUES (?1)").bind(1, total).run();
}
}  // namespace

Page_copy Page_copy_store::prepare(std::string_view text, const std::string_view* html,
                                   std::string_view encoding, int status, std::int64_t time_fetched) {
  Page_copy c;
  c.time_fetched = time_fetched;
  c.status = status;
  c.hash = page_text_hash(text);
  c.compression = kZstd;
  c.text = compress(text);
  c.text_bytes = static_cast<std::int64_t>(text.size());
  if (html) {
    c.html = compress(*html);
    c.html_bytes = static_cast<std::int64_t>(html->size());
  }
  c.encoding = std::string(encoding);
  return c;
}

std::optional<std::string> Page_copy_store::newest_hash(std::int32_t url_id) {
  Db_statement last(db_,
                    "SELECT content_hash FROM page_copies WHERE url_id = ?1"
                    " ORDER BY time_fetched DESC, copy_id DESC LIMIT 1");
  last.bind(1, url_id);
  if (!last.step()) return std::nullopt;
  return std::string(last.text_view(0));
}

Page_copy_store::Added Page_copy_store::add_copy(std::int32_t url_id, const Page_copy& copy,
                                                 std::int64_t limit_bytes) {
  if (!db_.is_open() || db_.is_read_only() || url_id <= 0) return Added::failed;
  try {
    Db_transaction t(db_);
    ensure_tables(db_);
    const std::optional<std::string> last_hash = newest_hash(url_id);
    if (last_hash && *last_hash == copy.hash) return Added::same;
    // A copy kept by an earlier version has the hash of its time: the text itself tells.
    if (last_hash && last_hash->size() != copy.hash.size() && copy.compression == kZstd) {
      std::string text(static_cast<std::size_t>(std::clamp<std::int64_t>(copy.text_bytes, 0, kMax_raw_bytes)), '\0');
      const size_t n = ZSTD_decompress(text.data(), text.size(), copy.text.data(), copy.text.size());
      if (!ZSTD_isError(n) && n == text.size() && fnv_hash(text) == *last_hash) return Added::same;
    }
    const std::int64_t added = static_cast<std::int64_t>(copy.text.size() + (copy.html ? copy.html->size() : 0));
    Db_statement add(db_,
                     "INSERT INTO page_copies (url_id, time_fetched, status, content_hash, compression,"
                     " encoding, text_bytes, text, html_bytes, html, stored_bytes)"
                     " VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10, ?11)");
    add.bind(1, url_id).bind(2, copy.time_fetched).bind(3, copy.status).bind(4, copy.hash);
    add.bind(5, copy.compression).bind(6, copy.encoding).bind(7, copy.text_bytes);
    add.bind_blob(8, copy.text).bind(9, copy.html_bytes);
    if (copy.html)
      add.bind_blob(10, *copy.html);
    else
      add.bind_null(10);
    add.bind(11, added);
    add.run();
    if (last_hash) {
      Db_statement mark(db_, "INSERT OR REPLACE INTO page_changes (url_id, time_changed) VALUES (?1, ?2)");
      mark.bind(1, url_id).bind(2, copy.time_fetched).run();
    }
    Page_search_index(db_).update_document(url_id);
    // The total is kept in a row of its own: summing it at every copy would read the table's
    // whole index. A row that is missing or makes no sense is summed afresh.
    std::int64_t total = -1;
    {
      Db_statement room(db_, "SELECT total FROM page_copies_room");
      if (room.step() && room.column_type(0) == SQLITE_INTEGER) total = room.integer(0);
    }
    if (total < 0 || total > limit_bytes - added)
      total = free_room(limit_bytes);  // sums afresh, the new copy included
    else
      total += added;
    set_room(db_, total);
    t.commit();
    return Added::kept;
  } catch (const Db_error& e) {
    if (is_full(e)) {
      // The summary was written before; only the copy is lost, and the transaction with it.
      report_error(Ref_string(std::string_view(
          "The page of document " + std::to_string(url_id) +
          " was summarized but its copy was not kept: the database or its disk is full.")));
    } else {
      report_db_error(e);
    }
    return Added::failed;
  }
}

std::int64_t Page_copy_store::free_room(std::int64_t limit_bytes) {
  std::int64_t total = 0;
  {
    Db_statement sum(db_, "SELECT total(stored_bytes) FROM page_copies");
    if (sum.step()) total = sum.integer(0);
  }
  if (total <= limit_bytes) return total;
  // The document taking the most room among those with an older copy to spare; when none has,
  // the one taking the most room, whose only copy then goes.
  Db_statement spare(db_,
                     "SELECT url_id FROM page_copies GROUP BY url_id HAVING count(*) > 1"
                     " ORDER BY sum(stored_bytes) DESC, url_id LIMIT 1");
  Db_statement largest(db_,
                       "SELECT url_id FROM page_copies GROUP BY url_id"
                       " ORDER BY sum(stored_bytes) DESC, url_id LIMIT 1");
  Db_statement oldest(db_,
                      "SELECT copy_id, stored_bytes FROM page_copies WHERE url_id = ?1"
                      " ORDER BY time_fetched, copy_id LIMIT 1");
  Db_statement remove(db_, "DELETE FROM page_copies WHERE copy_id = ?1");
  while (total > limit_bytes) {
    std::int64_t url_id = 0;
    spare.reset();
    if (spare.step()) {
      url_id = spare.integer(0);
    } else {
      largest.reset();
      if (!largest.step()) break;
      url_id = largest.integer(0);
    }
    oldest.reset();
    oldest.bind(1, url_id);
    if (!oldest.step()) break;
    const std::int64_t copy_id = oldest.integer(0), bytes = oldest.integer(1);
    oldest.reset();
    remove.reset();
    remove.bind(1, copy_id).run();
    total -= bytes;
  }
  return total;
}

std::vector<Page_copy_info> Page_copy_store::copies(std::int32_t url_id) {
  std::vector<Page_copy_info> out;
  if (!db_.is_open()) return out;
  try {
    if (!db_.has_table(kTable)) return out;
    Db_statement s(db_, std::string(kInfo_columns) +
                            " WHERE url_id = ?1 ORDER BY time_fetched DESC, copy_id DESC");
    s.bind(1, url_id);
    while (s.step()) out.push_back(read_info(s));
  } catch (const Db_error& e) {
    report_db_error(e);
    out.clear();
  }
  return out;
}

std::optional<Page_copy_info> Page_copy_store::copy_at(std::int32_t url_id, std::int64_t time) {
  if (!db_.is_open()) return std::nullopt;
  try {
    if (!db_.has_table(kTable)) return std::nullopt;
    Db_statement s(db_, std::string(kInfo_columns) +
                            " WHERE url_id = ?1 AND (?2 = 0 OR time_fetched <= ?2)"
                            " ORDER BY time_fetched DESC, copy_id DESC LIMIT 1");
    s.bind(1, url_id).bind(2, time);
    if (s.step()) return read_info(s);
  } catch (const Db_error& e) {
    report_db_error(e);
  }
  return std::nullopt;
}

std::optional<std::string> Page_copy_store::inflate(const Page_copy_info& copy, bool html,
                                                    std::string* error) {
  auto fail = [&](const std::string& why) -> std::optional<std::string> {
    if (error) *error = why;
    return std::nullopt;
  };
  if (html && !copy.has_html) return fail(copy_name(copy) + " holds no HTML (KeepPageCopies was not Yes)");
  const std::int64_t expected = html ? copy.html_bytes : copy.text_bytes;
  if (copy.compression != kZstd)
    return fail(copy_name(copy) + " is compressed as '" + copy.compression + "', which this program does not read");
  if (expected < 0 || expected > kMax_raw_bytes)
    return fail(copy_name(copy) + " is damaged: it claims " + std::to_string(expected) + " bytes");
  try {
    Db_statement s(db_, html ? "SELECT html FROM page_copies WHERE copy_id = ?1"
                             : "SELECT text FROM page_copies WHERE copy_id = ?1");
    s.bind(1, copy.copy_id);
    if (!s.step()) return fail(copy_name(copy) + " is no longer kept");
    const std::string_view packed = s.blob_view(0);
    const unsigned long long size = ZSTD_getFrameContentSize(packed.data(), packed.size());
    if (size == ZSTD_CONTENTSIZE_ERROR || size == ZSTD_CONTENTSIZE_UNKNOWN ||
        size != static_cast<unsigned long long>(expected))
      return fail(copy_name(copy) + " is damaged: its compressed bytes do not read as zstd of " +
                  std::to_string(expected) + " bytes");
    std::string out(static_cast<size_t>(size), '\0');
    const size_t n = ZSTD_decompress(out.data(), out.size(), packed.data(), packed.size());
    if (ZSTD_isError(n) || n != out.size())
      return fail(copy_name(copy) + " is damaged: " +
                  (ZSTD_isError(n) ? std::string(ZSTD_getErrorName(n)) : std::string("it is too short")));
    return out;
  } catch (const Db_error& e) {
    report_db_error(e);
    return fail(copy_name(copy) + " could not be read: " + e.description());
  }
}

std::optional<std::string> Page_copy_store::text_of(const Page_copy_info& copy, std::string* error) {
  return inflate(copy, false, error);
}

std::optional<std::string> Page_copy_store::html_of(const Page_copy_info& copy, std::string* error) {
  return inflate(copy, true, error);
}

std::optional<std::string> Page_copy_store::latest_text(std::int32_t url_id) {
  const std::optional<Page_copy_info> copy = copy_at(url_id);
  if (!copy) return std::nullopt;
  std::string why;
  std::optional<std::string> text = text_of(*copy, &why);
  if (!text) report_warning(Ref_string(std::string_view(why)));
  return text;
}

std::int64_t Page_copy_store::total_bytes() {
  if (!db_.is_open()) return 0;
  try {
    if (!db_.has_table(kTable)) return 0;
    Db_statement s(db_, "SELECT total(stored_bytes) FROM page_copies");
    return s.step() ? s.integer(0) : 0;
  } catch (const Db_error& e) {
    report_db_error(e);
    return 0;
  }
}

std::unordered_set<std::int32_t> Page_copy_store::ids_of_changes(const char* sql) {
  std::unordered_set<std::int32_t> out;
  if (!db_.is_open()) return out;
  try {
    if (!db_.has_table(kChanges_table)) return out;
    Db_statement s(db_, sql);
    while (s.step()) out.insert(s.number(0));
  } catch (const Db_error& e) {
    report_db_error(e);
    out.clear();
  }
  return out;
}

std::unordered_set<std::int32_t> Page_copy_store::changed_documents() {
  return ids_of_changes("SELECT url_id FROM page_changes");
}

bool Page_copy_store::is_changed(std::int32_t url_id) {
  if (!db_.is_open()) return false;
  try {
    if (!db_.has_table(kChanges_table)) return false;
    Db_statement s(db_, "SELECT 1 FROM page_changes WHERE url_id = ?1");
    s.bind(1, url_id);
    return s.step();
  } catch (const Db_error& e) {
    report_db_error(e);
    return false;
  }
}

std::unordered_set<std::int32_t> Page_copy_store::topics_with_changes() {
  return ids_of_changes("SELECT DISTINCT concept_urls.concept_id FROM page_changes JOIN concept_urls"
                        " ON concept_urls.url_id = page_changes.url_id WHERE concept_urls.date_deleted IS NULL");
}

bool Page_copy_store::mark_seen(std::int32_t url_id) {
  if (!db_.is_open() || db_.is_read_only()) return false;
  try {
    if (!db_.has_table(kChanges_table)) return true;
    Db_statement s(db_, "DELETE FROM page_changes WHERE url_id = ?1");
    s.bind(1, url_id).run();
    return true;
  } catch (const Db_error& e) {
    report_db_error(e);
    return false;
  }
}

std::int64_t remove_orphan_copies(Database& db) {
  std::int64_t removed = 0;
  if (db.has_table(Page_copy_store::kTable)) {
    db.execute("DELETE FROM page_copies WHERE url_id NOT IN (SELECT url_id FROM url_master)");
    removed = sqlite3_changes(db.handle());
    if (db.has_table(Page_copy_store::kRoom_table))
      db.execute("UPDATE page_copies_room SET total = (SELECT total(stored_bytes) FROM page_copies)");
  }
  if (db.has_table(Page_copy_store::kChanges_table))
    db.execute("DELETE FROM page_changes WHERE url_id NOT IN (SELECT url_id FROM url_master)");
  return removed;
}

}  // namespace orvalis
