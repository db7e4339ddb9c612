// Page_copy_store keeps what the agent read of each document: a copy of the page's readable text
// (the article's text the summary read, one block a line) and, when the user asks for it, the
// HTML as it was received, both compressed with zstd, with the time of the fetch, the HTTP status,
// the page's encoding and a hash of the text. The copies live in the Topic database's table
// "page_copies", made on the first write (the six tables of the format stay as they are).
//
// The change rule: a fetch whose text hashes as the last copy's adds nothing (the same text under
// other markup is the same text); a fetch whose text differs adds a copy, and when the document
// had a copy before, the document is marked changed in "page_changes" until the user opens it.
//
// Space: past the limit (PageCopyLimitMB), the oldest copies of the documents that take the most
// room go first; a document's latest copy goes only when no document has an older one left.
// Compaction deletes the copies of deleted documents (remove_orphan_copies); a converted file
// has none.
//
// prepare() is a pure function (any thread: the summarize job calls it on the background worker);
// everything else is for the thread that owns the database (the user-interface thread).
// Errors are reported through report_db_error; a copy that cannot be kept (a full disk) or read
// (damaged bytes) is reported naming the document, which itself is never touched.
// REQUIRES: the database outlives the store.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "database/database.h"

namespace orvalis {

// What the setting KeepPageCopies asks for.
enum class Keep_copies { no, text_only, yes };

// The setting's value from the settings cache (TextOnly when it is unset).
Keep_copies keep_copies_setting();
// PageCopyLimitMB in bytes, from the settings cache (512 MB when it is unset).
std::int64_t page_copy_limit_setting();

// A copy ready to store: made by Page_copy_store::prepare.
struct Page_copy {
  std::int64_t time_fetched = 0;
  int status = 0;
  std::string hash;         // of the readable text, 32 hexadecimal digits
  std::string compression;  // "zstd"
  std::string text;         // compressed readable text
  std::int64_t text_bytes = 0;
  std::optional<std::string> html;  // compressed HTML as received, when kept
  std::int64_t html_bytes = 0;
  std::string encoding;     // the encoding the page came in ("UTF-8", "windows-1251")
};

// A stored copy without its bytes.
struct Page_copy_info {
  std::int64_t copy_id = 0;
  std::int32_t url_id = 0;
  std::int64_t time_fetched = 0;
  int status = 0;
  std::string hash;
  std::string compression;
  std::string encoding;
  std::int64_t text_bytes = 0;
  std::int64_t html_bytes = 0;
  bool has_html = false;
  std::int64_t stored_bytes = 0;  // compressed bytes of text and HTML
};

class Page_copy_store {
 public:
  static constexpr const char* kTable = "page_copies";
  static constexpr const char* kChanges_table = "page_changes";
  // One row: the compressed bytes all copies hold, kept as copies come and go.
  static constexpr const char* kRoom_table = "page_copies_room";
  // A copy's text or HTML is never inflated past this (a damaged or hostile size field).
  static constexpr std::int64_t kMax_raw_bytes = 256LL * 1024 * 1024;

  explicit Page_copy_store(Database& db = Database::shared()) : db_(db) {}

  // Makes the tables when the file lacks them. Throws Db_error.
  static void ensure_tables(Database& db);

  // Hashes and compresses a page's readable text and (when not null) its HTML as received.
  static Page_copy prepare(std::string_view text, const std::string_view* html,
                           std::string_view encoding, int status, std::int64_t time_fetched);

  enum class Added { kept, same, failed };
  // Stores `copy` as the document's newest copy unless its hash is the last copy's (same), marks
  // the document changed when it had a copy before, notes it for the search index, then frees
  // room down to `limit_bytes`. One transaction: on a full disk nothing of it stays (failed,
  // reported as the copy's loss, without the recovery hook: the summary written before it
  // stands).
  Added add_copy(std::int32_t url_id, const Page_copy& copy, std::int64_t limit_bytes);

  // The document's copies, newest first.
  std::vector<Page_copy_info> copies(std::int32_t url_id);
  // The copy that was current at `time` (the newest fetched at or before it); the newest when
  // `time` is 0. None when there is no such copy.
  std::optional<Page_copy_info> copy_at(std::int32_t url_id, std::int64_t time = 0);
  // The copy's readable text or HTML, inflated; none (with `error` saying why) when the copy is
  // gone, has no HTML, or its bytes are damaged.
  std::optional<std::string> text_of(const Page_copy_info& copy, std::string* error = nullptr);
  std::optional<std::string> html_of(const Page_copy_info& copy, std::string* error = nullptr);
  // The readable text of the document's newest copy; none when it has no readable copy.
  std::optional<std::string> latest_text(std::int32_t url_id);

  // Compressed bytes held by every copy.
  std::int64_t total_bytes();

  // Documents marked changed and not yet opened.
  std::unordered_set<std::int32_t> changed_documents();
  bool is_changed(std::int32_t url_id);
  // Topics with a live link to a document marked changed (they show under "Topics with new info").
  std::unordered_set<std::int32_t> topics_with_changes();
  // The user has opened the document: it no longer shows as changed. False on an error.
  bool mark_seen(std::int32_t url_id);

 private:
  // The ids the query gives (one column); none when the file has no change marks or on an error.
  std::unordered_set<std::int32_t> ids_of_changes(const char* sql);
  std::optional<std::string> inflate(const Page_copy_info& copy, bool html, std::string* error);
  // Deletes copies until they hold at most `limit_bytes`; the bytes they hold then.
  std::int64_t free_room(std::int64_t limit_bytes);
  // The hash of the document's newest copy; none when it has no copy. REQUIRES: the table exists.
  std::optional<std::string> newest_hash(std::int32_t url_id);

  Database& db_;
};

// The hash kept with a copy: MurmurHash3 x64 128 of the bytes, 32 lower-case hexadecimal digits.
// (Copies kept by earlier versions hold a 64-bit FNV-1a hash, 16 digits.)
std::string page_text_hash(std::string_view text);

// Deletes the copies and change marks of documents that are gone; returns how many copies.
// Throws Db_error.
std::int64_t remove_orphan_copies(Database& db);

}  // namespace orvalis
