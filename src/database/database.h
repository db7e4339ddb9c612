// Database is a connection to one Topic database file (an SQLite 3 file). The program keeps one
// process-wide connection, Database::shared(), that the stores use; opening a file through it
// first closes the file that is open. Further connections are made only for whole-file work
// (the format check, creation, compaction) and by tests.
//
// An open connection uses the file shared and writable when the file and its folder can be
// written, in WAL journal mode with
// synchronous=NORMAL (a commit is durable once the WAL is synced at checkpoint; a power cut may
// lose the last commits but never corrupts the file, the right trade for a desktop database that
// takes thousands of small writes), checkpoints every 8000 WAL pages rather than every 1000,
// and waits up to the busy timeout when another process holds the write lock. A file that cannot
// be written (its permissions, a read-only folder or file system) is opened for reading only:
// every read works, and a write is refused with an error that says why (read_only_reason()).
// Opening for reading creates no -wal or -shm file beside a file that has none, so a format
// check or a look into a read-only file leaves nothing behind.
//
// File names are always file names: "file:x.ov2" or ":memory:" name files in the current
// folder, never SQLite URIs or in-memory databases.
//
// Transactions nest: the outermost begin is a BEGIN IMMEDIATE, inner ones are SAVEPOINTs, and
// the connection counts the depth. Rolling back an inner level undoes that level only. After
// SQLite has rolled a transaction back by itself (a full disk, an I/O error), rollback() only
// counts the levels down.
//
// Db_statement is one prepared statement with bound parameters; statements are kept in a small
// cache by SQL text, so a store that sends the same query again does not prepare it again.
// Db_transaction is the scope guard of one transaction level: rolled back unless committed.
//
// Thread: a connection and its statements belong to one thread (the user-interface thread for
// the shared one). Errors are thrown as Db_error; the stores catch them.
// REQUIRES: no Db_statement outlives the open file it was made on.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>

#include "database/db_date.h"
#include "database/db_error.h"
#include "foundation/ref_string.h"

struct sqlite3;
struct sqlite3_stmt;

namespace orvalis {

class Database {
 public:
  // Marks our files in the SQLite header ("OV20").
  static constexpr std::int32_t application_id = 0x4F563230;
  static constexpr int default_busy_timeout_ms = 5000;

  // read_only_immutable reads a file that nobody may change while it is open (SQLite's
  // immutable=1): the way to read a WAL file that sits read-only in a read-only folder.
  enum class Mode { read_write, read_only, read_only_immutable, create };

  Database() = default;
  ~Database();
  Database(const Database&) = delete;
  Database& operator=(const Database&) = delete;

  // The process-wide connection the stores use.
  static Database& shared();

  // Closes the open file, then opens `path` (which must exist): shared and writable when it can
  // be written, else for reading only (read_only_reason() says why). A file of an older layout
  // of our tables is brought up to date (see upgrade_schema) when it is writable. A file that
  // cannot be opened, is not SQLite or does not hold the Topic tables is not touched: the error
  // is reported and the result is false.
  bool open(const Ref_string& path);
  // Opens without the Topic-table check and throws Db_error on failure. `create` makes the file
  // when it does not exist. WAL mode is set only for read_write and create. read_only opens
  // with SQLite's immutable flag when no -wal, -shm or -journal file lies beside the file, so
  // that nothing is created.
  void open_file(const std::string& path, Mode mode);
  void close() noexcept;
  bool is_open() const noexcept { return db_ != nullptr; }
  const std::string& path() const noexcept { return path_; }
  sqlite3* handle() const noexcept { return db_; }
  bool is_read_only() const;
  // Why the open file was opened for reading only ("the file is read-only", ...); empty when it
  // is writable.
  const std::string& read_only_reason() const noexcept { return read_only_reason_; }
  // Why `path` cannot be written by this process (its permissions, its folder, the file
  // system); empty when it can.
  static std::string write_refusal(const std::string& path);
  // Changes whenever a file is opened or closed, so holders of cached rows can tell that the
  // rows came from another file.
  std::uint64_t generation() const noexcept { return generation_; }

  // Runs one or more statements without results. Throws Db_error.
  void execute(std::string_view sql);
  void set_busy_timeout(int milliseconds);
  bool has_table(std::string_view name);

  void begin_transaction();
  void commit();
  void rollback() noexcept;
  int transaction_depth() const noexcept { return depth_; }

  std::int64_t last_insert_rowid() const;

  // Throws the connection's current error as Db_error (code `rc` when SQLite has none).
  [[noreturn]] void raise(int rc) const;

  // Statement cache, used by Db_statement.
  sqlite3_stmt* acquire_statement(std::string_view sql);
  void release_statement(sqlite3_stmt* statement) noexcept;

 private:
  void require_open() const;
  void require_topic_tables(const std::string& path);

  sqlite3* db_ = nullptr;
  std::string path_;
  std::string read_only_reason_;
  int depth_ = 0;
  std::uint64_t generation_ = 0;
  std::unordered_map<std::string, sqlite3_stmt*> idle_;
};

class Db_statement {
 public:
  Db_statement(Database& db, std::string_view sql);
  ~Db_statement();
  Db_statement(const Db_statement&) = delete;
  Db_statement& operator=(const Db_statement&) = delete;

  // Parameters are numbered from 1 (?1, ?2, ...).
  Db_statement& bind(int index, std::int64_t value);
  Db_statement& bind(int index, int value) { return bind(index, static_cast<std::int64_t>(value)); }
  Db_statement& bind(int index, std::string_view text);
  Db_statement& bind(int index, const Ref_string& text) { return bind(index, text.view()); }
  Db_statement& bind(int index, const char* text) { return bind(index, std::string_view(text)); }
  Db_statement& bind(int index, const Db_date& date);
  Db_statement& bind_null(int index);
  // Bytes bound as a BLOB (an empty view binds an empty blob, not NULL).
  Db_statement& bind_blob(int index, std::string_view bytes);

  // Moves to the next row: true when there is one. Throws Db_error.
  bool step();
  // Steps to the end (for statements without rows).
  void run();
  // Makes the statement ready to run again (new bindings may follow).
  void reset();

  int column_count() const;
  const char* column_name(int column) const;
  // Index of the column called `name` (case-insensitive), or -1.
  int column(std::string_view name) const;
  bool is_null(int column) const;
  // SQLite's fundamental type of the column's value (SQLITE_INTEGER ... SQLITE_NULL).
  int column_type(int column) const;

  // Field reads with the stores' conversions of a NULL: texts read empty, numbers 0, dates null.
  Ref_string text(int column) const;
  std::string_view text_view(int column) const;
  // The column's bytes as a BLOB (empty for NULL); valid until the next step or reset.
  std::string_view blob_view(int column) const;
  std::int64_t integer(int column) const;
  std::int32_t number(int column) const { return static_cast<std::int32_t>(integer(column)); }
  Db_date date(int column) const;

  Ref_string text(std::string_view name) const { return text(require(name)); }
  std::int32_t number(std::string_view name) const { return number(require(name)); }
  Db_date date(std::string_view name) const { return date(require(name)); }

 private:
  int require(std::string_view name) const;

  Database& db_;
  sqlite3_stmt* stmt_;
};

// The LIKE pattern (used with ESCAPE '\') that matches any text containing `text` literally:
// "%" and "_" and the escape character itself lose their wildcard meaning. Every "|" of `text`
// is first turned into a blank, as the stores always did with searched text.
std::string contains_pattern(const Ref_string& text);

// An address as it is stored and looked up: its scheme and host in lower case (servers do not
// tell them by case), the rest exactly as given. Text without a scheme is returned unchanged.
Ref_string normalized_address(const Ref_string& address);

class Db_transaction {
 public:
  explicit Db_transaction(Database& db) : db_(db) { db_.begin_transaction(); }
  ~Db_transaction() {
    if (!done_) db_.rollback();
  }
  Db_transaction(const Db_transaction&) = delete;
  Db_transaction& operator=(const Db_transaction&) = delete;

  void commit() {
    db_.commit();
    done_ = true;
  }
  void rollback() noexcept {
    if (!done_) db_.rollback();
    done_ = true;
  }

 private:
  Database& db_;
  bool done_ = false;
};

// Db_batch groups a burst of small stores (the links of one result page) into one transaction,
// so the burst writes the journal once instead of once per store. Each store keeps its own
// nested transaction and error handling; the batch never throws: when it cannot begin, the
// stores commit one by one; its commit (at end() or destruction) reports a failure through
// report_db_error and undoes the batch. Nothing happens while the database is closed.
class Db_batch {
 public:
  explicit Db_batch(Database& db);
  ~Db_batch() { end(); }
  Db_batch(const Db_batch&) = delete;
  Db_batch& operator=(const Db_batch&) = delete;

  // Commits what the batch holds.
  void end() noexcept;

 private:
  Database& db_;
  bool open_ = false;
  std::uint64_t generation_ = 0;
};

}  // namespace orvalis
