#include "database/database.h"

#include <fcntl.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "database/schema.h"
#include "foundation/control_text.h"
#include "foundation/error_handler.h"

namespace orvalis {

namespace {

constexpr std::size_t max_idle_statements = 64;

// The tables whose presence makes a file a Topic database.
constexpr const char* topic_tables[] = {"concept_master", "search_resources", "url_master",
                                        "concept_terms"};

bool same_column_name(std::string_view a, const char* b) {
  std::size_t n = std::strlen(b);
  if (a.size() != n) return false;
  for (std::size_t i = 0; i < n; ++i) {
    char x = a[i], y = b[i];
    if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
    if (x != y) return false;
  }
  return true;
}

bool exists(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0;
}

std::string folder_of(const std::string& path) {
  std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

// The name SQLite is given: a relative name starts with "./", so that "file:notes.ov2" or
// ":memory:" is a file of that name in the current folder, never a URI or a memory database.
std::string sqlite_file_name(const std::string& path) {
  return !path.empty() && path[0] == '/' ? path : "./" + path;
}

// True when a -wal, -shm or -journal file lies beside the file: another connection may be
// using it (or left it after a crash), so it must be opened with locking.
bool has_side_files(const std::string& path) {
  for (const char* suffix : {"-wal", "-shm", "-journal"})
    if (exists(path + suffix)) return true;
  return false;
}

// An earlier opening of a write-protected file may have left -shm and -wal files with its
// read-only permissions; SQLite would reuse them and keep the file unwritable after the user
// made it writable again. Ours get the file's permissions back (never removed: another process
// may be using them).
void repair_side_files(const std::string& path) {
  struct stat db;
  if (::stat(path.c_str(), &db) != 0) return;
  for (const char* suffix : {"-shm", "-wal"}) {
    std::string side = path + suffix;
    struct stat st;
    if (::stat(side.c_str(), &st) != 0 || st.st_uid != geteuid()) continue;
    if (faccessat(AT_FDCWD, side.c_str(), R_OK | W_OK, AT_EACCESS) == 0) continue;
    ::chmod(side.c_str(), (db.st_mode & 0666) | S_IRUSR | S_IWUSR);
  }
}

}  // namespace

Database::~Database() { close(); }

Database& Database::shared() {
  static Database db;
  return db;
}

std::string Database::write_refusal(const std::string& path) {
  if (faccessat(AT_FDCWD, path.c_str(), W_OK, AT_EACCESS) != 0) {
    if (errno == ENOENT) return "";  // opening says that the file is missing
    return errno == EROFS ? "the file system is read-only" : "the file is read-only";
  }
  std::string folder = folder_of(path);
  if (faccessat(AT_FDCWD, folder.c_str(), W_OK | X_OK, AT_EACCESS) != 0)
    return errno == EROFS ? "the file system is read-only"
                          : "its folder " + folder + " cannot be written";
  return "";
}

bool Database::open(const Ref_string& path) {
  close();
  std::string name = path.str();
  try {
    std::string refusal = write_refusal(name);
    if (refusal.empty()) {
      repair_side_files(name);
      try {
        open_file(name, Mode::read_write);
      } catch (const Db_error& e) {
        if (e.primary_code() != SQLITE_READONLY) throw;
        refusal = "the file cannot be opened for writing";
      }
    }
    if (refusal.empty()) {
      upgrade_schema(*this);
    } else {
      open_file(name, Mode::read_only);
      try {
        require_topic_tables(name);
      } catch (const Db_error& e) {
        // Side files that SQLite cannot use in a folder it cannot write: the file is read as it
        // lies on disk.
        if (e.primary_code() != SQLITE_READONLY && e.primary_code() != SQLITE_CANTOPEN) throw;
        open_file(name, Mode::read_only_immutable);
        require_topic_tables(name);
      }
      read_only_reason_ = refusal;
    }
    return true;
  } catch (const Db_error& e) {
    close();
    report_db_error(e);
    return false;
  }
}

void Database::require_topic_tables(const std::string& path) {
  // Both a foreign file and one of the earlier format (it holds ui_text) are refused: the
  // earlier format is only ever read, for conversion.
  std::string refusal = schema_refusal(*this);
  bool ours = refusal.empty() && !has_table("ui_text");
  for (const char* table : topic_tables) ours = ours && has_table(table);
  if (!ours) {
    close();
    throw Db_error(SQLITE_NOTADB, std::string(Ref_string::from_id(10140).view()) + " (" + path +
                                      (refusal.empty() ? "" : ": " + refusal) + ")");
  }
}

void Database::open_file(const std::string& path, Mode mode) {
  close();
  if (mode == Mode::read_only && !has_side_files(path)) mode = Mode::read_only_immutable;
  int flags = mode == Mode::read_only ? SQLITE_OPEN_READONLY
              : mode == Mode::create  ? SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE
                                      : SQLITE_OPEN_READWRITE;
  std::string name = sqlite_file_name(path);
  if (mode == Mode::read_only_immutable) {
    flags = SQLITE_OPEN_READONLY | SQLITE_OPEN_URI;
    name = "file:";
    for (char c : sqlite_file_name(path)) {
      if (c == '%' || c == '?' || c == '#') {
        char hex[4];
        std::snprintf(hex, sizeof hex, "%%%02X", static_cast<unsigned char>(c));
        name += hex;
      } else {
        name += c;
      }
    }
    name += "?immutable=1";
  }
  sqlite3* db = nullptr;
  int rc = sqlite3_open_v2(name.c_str(), &db, flags, nullptr);
  if (rc != SQLITE_OK) {
    std::string text = db ? sqlite3_errmsg(db) : sqlite3_errstr(rc);
    int code = db ? sqlite3_extended_errcode(db) : rc;
    sqlite3_close_v2(db);
    throw Db_error(code, text + ": " + path);
  }
  db_ = db;
  path_ = path;
  read_only_reason_.clear();
  depth_ = 0;
  ++generation_;
  sqlite3_extended_result_codes(db_, 1);
  sqlite3_busy_timeout(db_, default_busy_timeout_ms);
  // A file may come from anywhere: SQLite's defensive mode (no writable schema, no writes to
  // shadow tables) and an untrusted schema (no functions with side effects in its triggers,
  // views, defaults or checks). What a schema may hold at all is checked by schema_refusal.
  sqlite3_db_config(db_, SQLITE_DBCONFIG_DEFENSIVE, 1, nullptr);
  sqlite3_db_config(db_, SQLITE_DBCONFIG_TRUSTED_SCHEMA, 0, nullptr);
  if (mode == Mode::read_only || mode == Mode::read_only_immutable) return;

  // SQLite opens a write-protected file read-only without saying so; the open connection must
  // be able to write, so that is refused here rather than at the first save.
  if (sqlite3_db_readonly(db_, "main") == 1) {
    close();
    throw Db_error(SQLITE_READONLY, "the database file is read-only: " + path);
  }
  // Look before changing anything: a file of another program is left as it was.
  if (mode == Mode::read_write) require_topic_tables(path);
  execute("PRAGMA journal_mode=WAL");
  execute("PRAGMA synchronous=NORMAL");
  // A checkpoint syncs the WAL and the file: two waits for the disk. A search adds thousands of
  // small transactions, and at SQLite's default of a checkpoint every 1000 pages those syncs
  // take more time than the work itself on a slow disk. Every 8000 pages (32 MB of WAL with
  // 4 KB pages) syncs an eighth as often; after a checkpoint a WAL that grew beyond that (one
  // large transaction) is cut back.
  execute("PRAGMA wal_autocheckpoint=8000");
  execute("PRAGMA journal_size_limit=33554432");
}

void Database::close() noexcept {
  if (!db_) return;
  for (auto& [sql, stmt] : idle_) sqlite3_finalize(stmt);
  idle_.clear();
  sqlite3_close_v2(db_);
  db_ = nullptr;
  path_.clear();
  read_only_reason_.clear();
  depth_ = 0;
  ++generation_;
}

bool Database::is_read_only() const { return db_ && sqlite3_db_readonly(db_, "main") == 1; }

void Database::require_open() const {
  if (!db_) throw Db_error(SQLITE_MISUSE, "no database is open");
}

void Database::raise(int rc) const {
  if (!db_) throw Db_error(rc, sqlite3_errstr(rc));
  int code = sqlite3_extended_errcode(db_);
  if (code == SQLITE_OK) code = rc;
  if ((code & 0xff) == SQLITE_READONLY && !read_only_reason_.empty())
    throw Db_error(code, "Cannot change " + path_ + ": " + read_only_reason_ +
                             ", so it was opened for reading only.");
  throw Db_error(code, sqlite3_errmsg(db_));
}

void Database::execute(std::string_view sql) {
  require_open();
  std::string text(sql);
  int rc = sqlite3_exec(db_, text.c_str(), nullptr, nullptr, nullptr);
  if (rc != SQLITE_OK) raise(rc);
}

void Database::set_busy_timeout(int milliseconds) {
  if (db_) sqlite3_busy_timeout(db_, milliseconds);
}

bool Database::has_table(std::string_view name) {
  Db_statement s(*this,
                 "SELECT 1 FROM sqlite_master WHERE type = 'table' AND name = ?1 COLLATE NOCASE");
  s.bind(1, name);
  return s.step();
}

void Database::begin_transaction() {
  require_open();
  // Prepared once and kept in the statement cache: a store begins and commits thousands of
  // small transactions.
  if (depth_ == 0)
    Db_statement(*this, "BEGIN IMMEDIATE").run();
  else
    Db_statement(*this, "SAVEPOINT level_" + std::to_string(depth_ + 1)).run();
  ++depth_;
}

void Database::commit() {
  require_open();
  if (depth_ == 0) throw Db_error(SQLITE_MISUSE, "commit without a transaction");
  if (depth_ == 1)
    Db_statement(*this, "COMMIT").run();
  else
    Db_statement(*this, "RELEASE level_" + std::to_string(depth_)).run();
  --depth_;
}

void Database::rollback() noexcept {
  if (!db_ || depth_ == 0) return;
  // When SQLite has already rolled the whole transaction back, there is nothing left to undo.
  if (!sqlite3_get_autocommit(db_)) {
    std::string sql = depth_ == 1 ? std::string("ROLLBACK")
                                  : "ROLLBACK TO level_" + std::to_string(depth_) +
                                        "; RELEASE level_" + std::to_string(depth_);
    sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, nullptr);
  }
  --depth_;
}

Db_batch::Db_batch(Database& db) : db_(db) {
  if (!db_.is_open()) return;
  try {
    db_.begin_transaction();
    open_ = true;
    generation_ = db_.generation();
  } catch (const Db_error& e) {
    report_db_error(e);
  }
}

void Db_batch::end() noexcept {
  if (!open_) return;
  open_ = false;
  // Closing the database has ended the transaction already.
  if (!db_.is_open() || db_.generation() != generation_) return;
  // A store's serious error made SQLite undo the whole transaction; that store reported it.
  if (sqlite3_get_autocommit(db_.handle())) {
    db_.rollback();
    return;
  }
  try {
    db_.commit();
  } catch (const Db_error& e) {
    db_.rollback();
    report_db_error(e);
  }
}

std::int64_t Database::last_insert_rowid() const {
  return db_ ? sqlite3_last_insert_rowid(db_) : 0;
}

sqlite3_stmt* Database::acquire_statement(std::string_view sql) {
  require_open();
  auto it = idle_.find(std::string(sql));
  if (it != idle_.end() && it->second) return std::exchange(it->second, nullptr);
  sqlite3_stmt* stmt = nullptr;
  int rc = sqlite3_prepare_v3(db_, sql.data(), static_cast<int>(sql.size()),
                              SQLITE_PREPARE_PERSISTENT, &stmt, nullptr);
  if (rc != SQLITE_OK) raise(rc);
  if (!stmt) throw Db_error(SQLITE_MISUSE, "empty statement");
  return stmt;
}

void Database::release_statement(sqlite3_stmt* stmt) noexcept {
  if (!stmt) return;
  sqlite3_reset(stmt);
  sqlite3_clear_bindings(stmt);
  if (!db_) {
    sqlite3_finalize(stmt);
    return;
  }
  try {
    std::string key = sqlite3_sql(stmt);
    auto it = idle_.find(key);
    if (it != idle_.end() && !it->second) {
      it->second = stmt;
      return;
    }
    if (it == idle_.end() && idle_.size() < max_idle_statements) {
      idle_.emplace(std::move(key), stmt);
      return;
    }
  } catch (...) {
  }
  sqlite3_finalize(stmt);
}

std::string contains_pattern(const Ref_string& text) {
  std::string pattern = "%";
  for (char c : text.view()) {
    if (c == '|') c = ' ';
    if (c == '%' || c == '_' || c == '\\') pattern += '\\';
    pattern += c;
  }
  pattern += '%';
  return pattern;
}

Ref_string normalized_address(const Ref_string& raw) {
  // Controls never reach a stored address: a link's raw ESC or BEL would later be printed.
  const Ref_string address = address_without_controls(raw);
  std::string text = address.str();
  // The scheme: a letter, then letters, digits, "+", "-" or ".", up to the ":".
  std::size_t colon = 0;
  while (colon < text.size() &&
         (std::isalpha(static_cast<unsigned char>(text[colon])) ||
          (colon > 0 && (std::isdigit(static_cast<unsigned char>(text[colon])) ||
                         text[colon] == '+' || text[colon] == '-' || text[colon] == '.'))))
    ++colon;
  if (colon == 0 || colon >= text.size() || text[colon] != ':') return address;
  auto lower = [&](std::size_t from, std::size_t to) {
    for (std::size_t i = from; i < to; ++i)
      text[i] = static_cast<char>(std::tolower(static_cast<unsigned char>(text[i])));
  };
  lower(0, colon);
  if (text.compare(colon + 1, 2, "//") == 0) {
    // The authority runs to the path, query or fragment; the host follows any user part.
    std::size_t start = colon + 3;
    std::size_t end = text.find_first_of("/?#", start);
    if (end == std::string::npos) end = text.size();
    std::size_t at = text.rfind('@', end - 1);
    if (at != std::string::npos && at >= start) start = at + 1;
    lower(start, end);
  }
  return Ref_string(std::string_view(text));
}

// ---------------------------------------------------------------------------------------------

Db_statement::Db_statement(Database& db, std::string_view sql)
    : db_(db), stmt_(db.acquire_statement(sql)) {}

Db_statement::~Db_statement() { db_.release_statement(stmt_); }

Db_statement& Db_statement::bind(int index, std::int64_t value) {
  int rc = sqlite3_bind_int64(stmt_, index, value);
  if (rc != SQLITE_OK) db_.raise(rc);
  return *this;
}

Db_statement& Db_statement::bind(int index, std::string_view text) {
  int rc =
      sqlite3_bind_text(stmt_, index, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
  if (rc != SQLITE_OK) db_.raise(rc);
  return *this;
}

Db_statement& Db_statement::bind_blob(int index, std::string_view bytes) {
  // A zero-length blob with a null pointer would bind NULL.
  static const char nothing = 0;
  int rc = sqlite3_bind_blob64(stmt_, index, bytes.empty() ? &nothing : bytes.data(), bytes.size(),
                               SQLITE_TRANSIENT);
  if (rc != SQLITE_OK) db_.raise(rc);
  return *this;
}

Db_statement& Db_statement::bind(int index, const Db_date& date) {
  if (date.is_valid()) return bind(index, date.seconds);
  return bind_null(index);
}

Db_statement& Db_statement::bind_null(int index) {
  int rc = sqlite3_bind_null(stmt_, index);
  if (rc != SQLITE_OK) db_.raise(rc);
  return *this;
}

bool Db_statement::step() {
  int rc = sqlite3_step(stmt_);
  if (rc == SQLITE_ROW) return true;
  if (rc == SQLITE_DONE) return false;
  db_.raise(rc);
}

void Db_statement::run() {
  while (step()) {
  }
}

void Db_statement::reset() { sqlite3_reset(stmt_); }

int Db_statement::column_count() const { return sqlite3_column_count(stmt_); }

const char* Db_statement::column_name(int column) const {
  const char* name = sqlite3_column_name(stmt_, column);
  return name ? name : "";
}

int Db_statement::column(std::string_view name) const {
  int n = column_count();
  for (int i = 0; i < n; ++i)
    if (same_column_name(name, column_name(i))) return i;
  return -1;
}

int Db_statement::require(std::string_view name) const {
  int c = column(name);
  if (c < 0) throw Db_error(SQLITE_ERROR, "no such column: " + std::string(name));
  return c;
}

bool Db_statement::is_null(int column) const {
  return sqlite3_column_type(stmt_, column) == SQLITE_NULL;
}

int Db_statement::column_type(int column) const { return sqlite3_column_type(stmt_, column); }

std::string_view Db_statement::blob_view(int column) const {
  const void* p = sqlite3_column_blob(stmt_, column);
  if (!p) return {};
  return {static_cast<const char*>(p), static_cast<std::size_t>(sqlite3_column_bytes(stmt_, column))};
}

std::string_view Db_statement::text_view(int column) const {
  const unsigned char* p = sqlite3_column_text(stmt_, column);
  if (!p) return {};
  return {reinterpret_cast<const char*>(p),
          static_cast<std::size_t>(sqlite3_column_bytes(stmt_, column))};
}

Ref_string Db_statement::text(int column) const { return Ref_string(text_view(column)); }

std::int64_t Db_statement::integer(int column) const { return sqlite3_column_int64(stmt_, column); }

Db_date Db_statement::date(int column) const {
  switch (sqlite3_column_type(stmt_, column)) {
    case SQLITE_NULL:
      return Db_date::null_date();
    case SQLITE_INTEGER:
      return Db_date::at(sqlite3_column_int64(stmt_, column));
    case SQLITE_FLOAT:
      return Db_date::at(static_cast<std::int64_t>(sqlite3_column_double(stmt_, column)));
    case SQLITE_TEXT: {
      std::string text(text_view(column));
      if (text.empty()) return Db_date::at(0);
      char* end = nullptr;
      long long v = std::strtoll(text.c_str(), &end, 10);
      if (end && *end == '\0') return Db_date::at(v);
      return Db_date::invalid_date();
    }
    default:
      return Db_date::invalid_date();
  }
}

}  // namespace orvalis
