#include "database/maintenance.h"

#include <fcntl.h>
#include <signal.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <set>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "database/document.h"
#include "database/feed_store.h"
#include "database/page_copy_store.h"
#include "database/page_search_index.h"
#include "database/schema.h"
#include "foundation/control_text.h"
#include "foundation/error_handler.h"

namespace orvalis {

namespace {

// ---- Faults that tests inject (set_maintenance_fault_hook) -----------------------------------

std::function<std::string(std::string_view)>& fault_hook() {
  static auto* hook = new std::function<std::string(std::string_view)>;
  return *hook;
}

std::string fault_value(std::string_view name) {
  const auto& hook = fault_hook();
  return hook ? hook(name) : std::string();
}

bool has_fault(std::string_view name) { return !fault_value(name).empty(); }

void step_reached(const char* step) {
  if (fault_value("kill-at") == step) ::kill(::getpid(), SIGKILL);
}

// ---- Files ---------------------------------------------------------------------------------

std::string system_message(int error) { return std::strerror(error); }

void report_text(int id, const std::string& detail = {}) {
  report_error(Ref_string(std::string(Ref_string::from_id(id).view()) + detail));
}

std::string folder_of(const std::string& path) {
  std::string folder = std::filesystem::path(path).parent_path().string();
  return folder.empty() ? "." : folder;
}

std::int64_t size_of(const std::string& path) {
  struct stat st{};
  return ::stat(path.c_str(), &st) == 0 ? static_cast<std::int64_t>(st.st_size) : 0;
}

// Bytes the user may still write in `folder`; -1 when the system cannot tell.
std::int64_t free_space(const std::string& folder) {
  if (has_fault("no-space")) return 0;
  struct statvfs vfs{};
  if (::statvfs(folder.c_str(), &vfs) != 0) return -1;
  return static_cast<std::int64_t>(vfs.f_bavail) * static_cast<std::int64_t>(vfs.f_frsize);
}

bool sync_path(const std::string& path, int flags) {
  int fd = ::open(path.c_str(), flags | O_CLOEXEC);
  if (fd < 0) return false;
  bool ok = ::fsync(fd) == 0;
  ::close(fd);
  return ok;
}

// A free name in `folder` beginning with `prefix`: made by the system (as an empty file) and
// removed again, so the name is unused.
std::string free_temp_name(const std::string& folder, const char* prefix) {
  std::string pattern = folder + "/" + prefix + "XXXXXX";
  int fd = ::mkstemp(pattern.data());
  if (fd < 0) return {};
  ::close(fd);
  ::unlink(pattern.c_str());
  return pattern;
}

void remove_file(const std::string& path) {
  for (const char* suffix : {"", "-wal", "-shm", "-journal"})
    ::unlink((path + suffix).c_str());
}

// Opens a file of another program's making read-only; one that sits read-only in a folder we
// cannot write is read as it lies (SQLite cannot make its shared-memory file there).
void open_for_reading(Database& db, const std::string& path) {
  db.open_file(path, Database::Mode::read_only);
  try {
    db.has_table("sqlite_master");
  } catch (const Db_error& e) {
    if (e.primary_code() != SQLITE_READONLY && e.primary_code() != SQLITE_CANTOPEN) throw;
    db.open_file(path, Database::Mode::read_only_immutable);
  }
}

// ---- Compaction ----------------------------------------------------------------------------

// Opens `path` and takes the exclusive lock, keeping it until the connection closes. False when
// another connection holds the file (SQLite answers busy at once).
bool hold_exclusively(Database& db, const std::string& path) {
  try {
    db.open_file(path, Database::Mode::read_write);
    db.set_busy_timeout(0);
    db.execute("PRAGMA locking_mode=EXCLUSIVE");
    db.execute("BEGIN EXCLUSIVE");
    return true;
  } catch (const Db_error& e) {
    db.close();
    if (e.primary_code() == SQLITE_BUSY || e.primary_code() == SQLITE_LOCKED) return false;
    throw;
  }
}

void report_held(const std::string& path) {
  report_error(Ref_string(path + " is open in an Orvalis program (the desktop window or a "
                                 "running agent). Close it there, then compact it again."));
}

// Puts the synced compacted copy in place of `path`; the old file goes to a second free name
// and is removed last. Returns 0 or the system's error code.
int replace_file(const std::string& path, const std::string& compacted, Database& held) {
  std::string folder = folder_of(path);
  std::string aside = free_temp_name(folder, "OVP");
  if (aside.empty()) return errno;
  if (::link(path.c_str(), aside.c_str()) == 0) {
    step_reached("linked");
  } else {
    // A file system without hard links: the old file moves aside, then the copy moves in.
    if (errno != EPERM && errno != EXDEV && errno != ENOTSUP && errno != EMLINK) return errno;
    if (::rename(path.c_str(), aside.c_str()) != 0) return errno;
    step_reached("moved-aside");
  }
  if (::rename(compacted.c_str(), path.c_str()) != 0) {
    int error = errno;
    ::rename(aside.c_str(), path.c_str());  // undoes the move aside; a link just goes
    ::unlink(aside.c_str());
    return error;
  }
  sync_path(folder, O_RDONLY | O_DIRECTORY);
  step_reached("replaced");
  held.close();
  ::unlink(aside.c_str());
  return 0;
}

// ---- Conversion ----------------------------------------------------------------------------

// Writes a value read from the earlier file into parameter `index`; a column the earlier table
// lacks (-1) or NULL writes NULL. Empty texts go as NULL into fields that refuse them.
void bind_copy(Db_statement& to, int index, const Db_statement& from, int column,
               bool empty_is_null = false) {
  if (column < 0 || from.is_null(column)) {
    to.bind_null(index);
    return;
  }
  switch (from.column_type(column)) {
    case SQLITE_INTEGER:
    case SQLITE_FLOAT:
      to.bind(index, from.integer(column));
      return;
    default: {
      // Stored text carries no control characters, whatever the earlier file held.
      const std::string text = without_controls(from.text_view(column));
      if (text.empty() && empty_is_null)
        to.bind_null(index);
      else
        to.bind(index, std::string_view(text));
    }
  }
}

void bind_byte(Db_statement& to, int index, const Db_statement& from, int column) {
  std::int64_t v = column < 0 ? -1 : from.integer(column);
  if (column < 0 || from.is_null(column) || v < 0 || v > 255)
    to.bind_null(index);
  else
    to.bind(index, v);
}

void bind_date(Db_statement& to, int index, const Db_statement& from, int column) {
  to.bind(index, column < 0 ? Db_date::null_date() : from.date(column));
}

using Id_map = std::unordered_map<std::int64_t, std::int64_t>;

// A name as names compare (ASCII letters without regard to case, as SQLite's NOCASE does).
std::string name_key(std::string_view name) {
  std::string key(name);
  for (char& c : key)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return key;
}

class Converter {
 public:
  Converter(Database& from, Database& to, const Maintenance_prompts& prompts)
      : from_(from), to_(to), prompts_(prompts) {}

  void run() {
    table("concept_master", [&](const Db_statement& s) { topic(s); });
    table("concept_home", [&](const Db_statement& s) { home(s); });
    table("url_master", [&](const Db_statement& s) { document(s); });
    table("concept_urls", [&](const Db_statement& s) { link(s); });
    table("concept_relations", [&](const Db_statement& s) { relation(s); });
    table("concept_terms", [&](const Db_statement& s) { term(s); });
    table("search_resources", [&](const Db_statement& s) { resource(s); });
  }

 private:
  static constexpr std::int64_t progress_every = 500;

  template <class Row>
  void table(const char* name, Row row) {
    std::int64_t total = 0;
    {
      Db_statement count(from_, std::string("SELECT count(*) FROM ") + name);
      if (count.step()) total = count.integer(0);
    }
    tell(name, 0, total);
    Db_transaction transaction(to_);
    Db_statement s(from_, std::string("SELECT * FROM ") + name);
    columns_.clear();
    std::int64_t done = 0;
    while (s.step()) {
      row(s);
      if (++done % progress_every == 0) tell(name, done, total);
    }
    transaction.commit();
    tell(name, done, total);
  }

  void tell(const char* name, std::int64_t done, std::int64_t total) {
    if (prompts_.progress) prompts_.progress(name, done, total);
  }

  // The column of the current source table called `name`, looked up once per table.
  int col(const Db_statement& s, const char* name) {
    auto it = columns_.find(name);
    if (it != columns_.end()) return it->second;
    return columns_[name] = s.column(name);
  }

  static bool mapped(const Id_map& map, std::int64_t old_id, std::int64_t& new_id) {
    auto it = map.find(old_id);
    if (it == map.end()) return false;
    new_id = it->second;
    return true;
  }

  void topic(const Db_statement& s) {
    static constexpr std::int64_t top_level[] = {1, 16, 17, 21, 22, 26, 27, 28, 29, 35};
    std::int64_t old_id = s.integer(col(s, "concept_id"));
    // Names compare without regard to case here: "Rust" and "rust" become one topic, the
    // first, which takes the other's terms, documents and relations.
    const int name_column = col(s, "name");
    const std::string key = name_column < 0 ? std::string() : name_key(without_controls(s.text_view(name_column)));
    if (!key.empty()) {
      auto [it, fresh] = topic_names_.try_emplace(key, 0);
      if (!fresh) {
        topics_[old_id] = it->second;
        return;
      }
    }
    bool is_top = false;
    for (std::int64_t id : top_level) is_top = is_top || id == old_id;
    const bool is_user = old_id > 41471;
    Db_statement add(to_,
                     "INSERT INTO concept_master (name, definition, category, facet,"
                     " time_last_modified, time_last_queried, time_last_summarized, query_enabled,"
                     " summary_enabled, is_top_level, is_user_topic, is_user_top_level)"
                     " VALUES (?1, ?2, ?3, ?4, ?5, ?5, ?5, 0, 0, ?6, ?7, ?7)");
    bind_copy(add, 1, s, col(s, "name"));
    bind_copy(add, 2, s, col(s, "definition"));
    bind_copy(add, 3, s, col(s, "category"));
    bind_byte(add, 4, s, col(s, "type"));
    bind_date(add, 5, s, col(s, "time_last_visit"));
    add.bind(6, is_top ? 1 : 0).bind(7, is_user ? 1 : 0);
    add.run();
    topics_[old_id] = to_.last_insert_rowid();
    if (!key.empty()) topic_names_[key] = topics_[old_id];
  }

  void home(const Db_statement& s) {
    std::int64_t id = 0;
    if (!mapped(topics_, s.integer(col(s, "concept_id")), id)) return;
    Db_statement set(to_,
                     "UPDATE concept_master SET query_enabled = 1, summary_enabled = 1,"
                     " is_user_topic = 1, is_user_top_level = 1 WHERE concept_id = ?1");
    set.bind(1, id).run();
  }

  // The texts of fields prefix_0 .. prefix_5, up to the first empty one, joined by line feeds.
  std::string joined(const Db_statement& s, const char* prefix) {
    std::string text;
    for (int i = 0; i < 6; ++i) {
      std::string field = std::string(prefix) + "_" + std::to_string(i);
      int c = col(s, field.c_str());
      std::string_view piece = c < 0 ? std::string_view() : s.text_view(c);
      if (piece.empty()) break;
      if (i > 0) text += '\n';
      text += piece;
    }
    return text;
  }

  void document(const Db_statement& s) {
    std::int64_t old_id = s.integer(col(s, "url_id"));
    // Addresses are stored with their scheme and host in lower case; two that then read alike
    // are one document, the first.
    const int address_column = col(s, "address");
    const Ref_string address = normalized_address(
        Ref_string(address_column < 0 ? std::string_view() : s.text_view(address_column)));
    if (!address.empty()) {
      auto it = addresses_.find(address.str());
      if (it != addresses_.end()) {
        documents_[old_id] = it->second;
        return;
      }
    }
    Db_statement add(to_,
                     "INSERT INTO url_master (address, title, size, time_last_retrieved,"
                     " timeout_count, num_anchors, num_images, abstract, summary, annotation)"
                     " VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10)");
    if (address.empty())
      add.bind_null(1);
    else
      add.bind(1, address);
    bind_copy(add, 2, s, col(s, "title"));
    bind_copy(add, 3, s, col(s, "size"));
    bind_date(add, 4, s, col(s, "time_last_retrieved"));
    bind_byte(add, 5, s, col(s, "timeout_count"));
    bind_copy(add, 6, s, col(s, "num_anchors"));
    bind_copy(add, 7, s, col(s, "num_images"));
    // The earlier format kept the pages' character references; this one stores text.
    add.bind(8, decoded_sentences(joined(s, "abstract"))).bind(9, decoded_sentences(joined(s, "summary")));
    Db_statement note(from_, "SELECT note_text FROM url_annotation WHERE url_id = ?1");
    note.bind(1, old_id);
    if (note.step())
      bind_copy(add, 10, note, 0);
    else
      add.bind_null(10);
    add.run();
    documents_[old_id] = to_.last_insert_rowid();
    if (!address.empty()) addresses_[address.str()] = documents_[old_id];
  }

  void link(const Db_statement& s) {
    std::int64_t topic = 0, document = 0;
    if (!mapped(topics_, s.integer(col(s, "concept_id")), topic) ||
        !mapped(documents_, s.integer(col(s, "url_id")), document))
      return;
    if (!links_.insert({topic, document}).second) return;  // merged topics or documents
    Db_statement add(to_,
                     "INSERT INTO concept_urls (concept_id, url_id, date_deleted, date_created,"
                     " search_resource, query, num_votes, relevant)"
                     " VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, 1)");
    add.bind(1, topic).bind(2, document);
    bind_date(add, 3, s, col(s, "date_deleted"));
    bind_date(add, 4, s, col(s, "date_created"));
    bind_copy(add, 5, s, col(s, "search_resource"));
    bind_copy(add, 6, s, col(s, "query"));
    bind_copy(add, 7, s, col(s, "num_votes"));
    add.run();
  }

  void relation(const Db_statement& s) {
    std::int64_t from = 0, to = 0;
    if (!mapped(topics_, s.integer(col(s, "concept_id")), from) ||
        !mapped(topics_, s.integer(col(s, "related_id")), to))
      return;
    if (from == to) return;  // two topics merged into one
    Db_statement add(to_,
                     "INSERT INTO concept_relations (concept_id, related_id, relationship_type)"
                     " VALUES (?1, ?2, ?3)");
    add.bind(1, from).bind(2, to);
    bind_copy(add, 3, s, col(s, "relationship_type"), true);
    add.run();
  }

  void term(const Db_statement& s) {
    std::int64_t topic = 0;
    int c = col(s, "term");
    if (!mapped(topics_, s.integer(col(s, "concept_id")), topic) || c < 0 ||
        s.text_view(c).empty())
      return;  // an empty term is no query
    if (!terms_.insert({topic, without_controls(s.text_view(c))}).second) return;
    Db_statement add(to_, "INSERT INTO concept_terms (concept_id, term) VALUES (?1, ?2)");
    add.bind(1, topic);
    bind_copy(add, 2, s, c);
    add.run();
  }

  void resource(const Db_statement& s) {
    // Texts that refuse an empty value, texts that take one (an empty or missing value arrives
    // as an empty text), and the one number.
    enum Kind { required_text, text, number };
    struct Field {
      const char* name;
      Kind kind;
    };
    static constexpr Field fields[] = {
        {"name", required_text},   {"location", required_text},  {"field_values", text},
        {"search_field", required_text}, {"ignore_substrings", text}, {"request_type", required_text},
        {"enabled", number},       {"category", text},           {"username", text},
        {"password", text},        {"form_url", text}};
    Db_statement add(to_,
                     "INSERT INTO search_resources (name, location, field_values, search_field,"
                     " ignore_substrings, request_type, enabled, category, username, password,"
                     " form_url) VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10, ?11)");
    // Resource names compare without regard to case: the first of a name is kept.
    const int name_column = col(s, "name");
    if (name_column >= 0 && !resource_names_.insert(name_key(without_controls(s.text_view(name_column)))).second)
      return;
    int index = 1;
    for (const Field& f : fields) {
      int c = col(s, f.name);
      if (std::string_view(f.name) == "location" && c >= 0 && !s.text_view(c).empty()) {
        add.bind(index++, normalized_address(Ref_string(s.text_view(c))));
        continue;
      }
      if (f.kind == text && (c < 0 || s.is_null(c)))
        add.bind(index, "");  // a view with no characters would bind NULL
      else
        bind_copy(add, index, s, c, f.kind == required_text);
      ++index;
    }
    add.run();
  }

  Database& from_;
  Database& to_;
  const Maintenance_prompts& prompts_;
  Id_map topics_, documents_;
  std::unordered_map<std::string, std::int64_t> topic_names_, addresses_;
  std::set<std::pair<std::int64_t, std::int64_t>> links_;
  std::set<std::pair<std::int64_t, std::string>> terms_;
  std::set<std::string> resource_names_;
  std::unordered_map<std::string, int> columns_;
};

}  // namespace

std::int64_t remove_orphan_documents(Database& db, const std::function<bool()>& stop) {
  std::vector<std::int64_t> orphans;
  {
    Db_statement documents(db, "SELECT url_id FROM url_master ORDER BY url_id ASC");
    Db_statement links(db, "SELECT url_id FROM concept_urls ORDER BY url_id ASC");
    bool more = links.step();
    std::int64_t last = more ? links.integer(0) : INT64_MIN;
    while (documents.step()) {
      if (stop && stop()) break;
      std::int64_t id = documents.integer(0);
      while (more && last < id) {
        more = links.step();
        if (more) last = links.integer(0);
      }
      if (last != id) orphans.push_back(id);
    }
  }
  Db_statement remove(db, "DELETE FROM url_master WHERE url_id = ?1");
  for (std::int64_t id : orphans) {
    remove.bind(1, id).run();
    remove.reset();
  }
  return static_cast<std::int64_t>(orphans.size());
}

void set_maintenance_fault_hook(std::function<std::string(std::string_view fault)> hook) {
  fault_hook() = std::move(hook);
}

bool is_earlier_format(const Ref_string& path) {
  try {
    Database db;
    open_for_reading(db, path.str());
    for (const char* table : {"concept_master", "concept_home", "ui_text", "url_annotation"})
      if (!db.has_table(table)) return false;
    return true;
  } catch (const Db_error&) {
    return false;
  }
}

Maintenance_result compact_database(const Ref_string& path, const Maintenance_prompts& prompts,
                                    Compaction_figures* figures) {
  const std::string file = path.str();
  // Looked at, not opened: closing a descriptor of a file that this process has open through
  // SQLite would drop SQLite's locks on it.
  if (::access(file.c_str(), R_OK | W_OK) != 0) {
    report_text(10189, system_message(errno));
    return Maintenance_result::failed;
  }
  const std::int64_t size = size_of(file) + size_of(file + "-wal");
  std::int64_t room = free_space(folder_of(file));
  if (room >= 0 && room < size) {
    report_text(12014);
    return Maintenance_result::failed;
  }
  std::string refusal;
  switch (check_database_format(path, &refusal)) {
    case format_failed:
      return Maintenance_result::failed;
    case format_other:
      report_text(10140, refusal.empty() ? std::string() : " (" + file + ": " + refusal + ")");
      return Maintenance_result::failed;
    case format_current:
      break;
  }
  auto tell = [&](const char* step) {
    if (prompts.progress) prompts.progress(step, 0, 0);
  };
  std::string compacted;
  try {
    {
      // Refused now rather than after the user has said yes.
      Database probe;
      if (!hold_exclusively(probe, file)) {
        report_held(file);
        return Maintenance_result::failed;
      }
    }
    if (!prompts.confirm ||
        !prompts.confirm(Ref_string::from_id(10188), Ref_string::from_id(12015)))
      return Maintenance_result::declined;

    Database db;
    if (!hold_exclusively(db, file)) {
      report_held(file);
      return Maintenance_result::failed;
    }
    tell("orphan documents");
    std::int64_t orphans = remove_orphan_documents(db, prompts.stop);
    remove_orphan_feeds(db);  // the feeds of deleted topics go with them
    remove_orphan_copies(db);  // and the copies of deleted documents with them
    Page_search_index(db).remove_orphan_rows();  // and the index rows of deleted documents
    db.execute("COMMIT");
    step_reached("orphans-removed");

    // The file must stand alone before it is copied and moved: out of WAL mode (journalled),
    // then no journal at all, so that closing this connection touches no file by name.
    db.execute("PRAGMA journal_mode=DELETE");
    db.execute("PRAGMA journal_mode=OFF");
    ::unlink((file + "-journal").c_str());
    step_reached("left-wal");

    tell("compacting");
    compacted = free_temp_name(folder_of(file), "OVP");
    if (compacted.empty()) {
      report_text(10189, system_message(errno));
      return Maintenance_result::failed;
    }
    Db_statement(db, "VACUUM INTO ?1").bind(1, compacted).run();
    if (!sync_path(compacted, O_RDONLY)) throw Db_error(SQLITE_IOERR_FSYNC, "cannot sync " + compacted);
    step_reached("compacted");

    tell("replacing");
    if (int error = replace_file(file, compacted, db)) {
      ::unlink(compacted.c_str());
      report_text(10189, system_message(error));
      return Maintenance_result::failed;
    }
    step_reached("done");
    if (figures) {
      figures->orphans_removed = orphans;
      figures->size_before = size;
      figures->size_after = size_of(file);
    }
    return Maintenance_result::done;
  } catch (const Db_error& e) {
    if (!compacted.empty()) ::unlink(compacted.c_str());
    report_db_error(e);
    return Maintenance_result::failed;
  }
}

Maintenance_result convert_database(const Ref_string& source, const Ref_string& target,
                                    const Maintenance_prompts& prompts) {
  const std::string from_path = source.str(), to_path = target.str();
  if (::access(from_path.c_str(), R_OK) != 0) {
    report_text(10111, system_message(errno));
    return Maintenance_result::failed;
  }
  if (!is_earlier_format(source)) {
    report_text(10112);
    return Maintenance_result::failed;
  }
  struct stat st{};
  if (::stat(to_path.c_str(), &st) == 0) {
    std::string question(Ref_string::from_id(10117).view());
    question.replace(question.find("%s"), 2, to_path);
    if (!prompts.confirm ||
        !prompts.confirm(Ref_string::from_id(10116), Ref_string(std::string_view(question))))
      return Maintenance_result::declined;
  }
  std::int64_t room = free_space(folder_of(to_path));
  if (room >= 0 && room < size_of(from_path) + size_of(from_path + "-wal")) {
    report_text(12010);
    return Maintenance_result::failed;
  }

  // Built aside and renamed when complete.
  const std::string building = to_path + ".incomplete";
  remove_file(building);
  int fd = ::open(building.c_str(), O_CREAT | O_EXCL | O_WRONLY | O_CLOEXEC, 0644);
  if (fd < 0) {
    report_text(10115, system_message(errno));
    return Maintenance_result::failed;
  }
  ::close(fd);
  if (!create_database(Ref_string(std::string_view(building)))) {
    remove_file(building);
    return Maintenance_result::failed;
  }
  try {
    Database from, to;
    open_for_reading(from, from_path);
    to.open_file(building, Database::Mode::read_write);
    std::string pages = fault_value("full-after");
    if (!pages.empty()) to.execute("PRAGMA max_page_count = " + std::to_string(std::atoi(pages.c_str())));
    Converter(from, to, prompts).run();
    // Out of WAL mode, so the file stands alone when it takes the target's name.
    to.execute("PRAGMA journal_mode=DELETE");
    to.close();
    from.close();
  } catch (const Db_error& e) {
    remove_file(building);
    report_db_error(e);
    return Maintenance_result::failed;
  }
  if (!sync_path(building, O_RDONLY)) {
    int error = errno;
    remove_file(building);
    report_text(10115, system_message(error));
    return Maintenance_result::failed;
  }
  // The replaced file's journal files must not be read as the new file's.
  for (const char* suffix : {"-wal", "-shm", "-journal"}) ::unlink((to_path + suffix).c_str());
  if (::rename(building.c_str(), to_path.c_str()) != 0) {
    int error = errno;
    remove_file(building);
    report_text(10115, system_message(error));
    return Maintenance_result::failed;
  }
  sync_path(folder_of(to_path), O_RDONLY | O_DIRECTORY);
  return Maintenance_result::done;
}

}  // namespace orvalis
