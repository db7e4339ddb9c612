// The two operations on whole Topic database files: compaction and conversion of a database of
// the earlier format.
//
// Compaction removes the documents that no topic refers to (no concept_urls row, live or
// removed), then has SQLite write a compacted copy (VACUUM INTO) under a temporary "OVP" name in
// the same folder, and puts it in the file's place. Before anything it checks, in this order,
// that the file opens ("Error accessing source database: " + the system's message), that its
// disk has at least the file's size free (12014), that it is a Topic database of this version
// (10140), that no Orvalis program has it open, and that the user confirms (12015).
//
// A file is held open by every connection to it: in WAL mode SQLite keeps a shared lock on the
// database file for as long as a connection is open. Compaction asks SQLite for the exclusive
// lock without waiting (locking_mode=EXCLUSIVE and BEGIN EXCLUSIVE) and keeps it to the end, so
// it is refused while the desktop window or a running agent has the file open, and no one opens
// the file while it is being compacted. Nothing beyond SQLite's own locks marks a file as open.
//
// The user's file is never lost: it is written only by the orphan removal (one transaction) and
// by leaving WAL mode (SQLite's own journalled step, so the file stands alone without its -wal).
// The compacted copy is synced before it moves; the old file first gets a second name (a hard
// link; two renames where links are not supported) and the copy then replaces it at its path in
// one rename. Killed at any point, the path holds the old file or the compacted one; at worst an
// "OVP" file is left beside it.
//
// Conversion reads a file of the earlier format (the tables concept_master, concept_home,
// ui_text and url_annotation) read-only and writes its seven tables, in order, into a new
// Topic database, renumbering topics and documents. The new file is built under the target's
// name with ".incomplete" added and renamed to the target only once it is complete and synced,
// so a failed or interrupted conversion never leaves a target that looks complete (and an
// existing target is replaced only by a complete one).
//
// Errors are reported through report_error (the database's through report_db_error) and end
// the operation. User-interface thread; the prompts and the progress are called on it.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "database/database.h"
#include "foundation/ref_string.h"

namespace orvalis {

struct Maintenance_prompts {
  // Asks the user a yes-or-no question under a title; true to go on. Unset: the answer is no.
  std::function<bool(const Ref_string& title, const Ref_string& question)> confirm;
  // Conversion: `done` of `total` rows of `table` are written (called at the start of each
  // table, every few hundred rows, and at its end). Compaction: the step under way, with 0 of 0.
  std::function<void(const char* table, std::int64_t done, std::int64_t total)> progress;
  // Asked between rows of the orphan walk: true ends the walk early (the program is stopping).
  std::function<bool()> stop;
};

enum class Maintenance_result {
  done,
  declined,  // the user did not confirm; nothing changed
  failed,    // reported; nothing changed (see above)
};

struct Compaction_figures {
  std::int64_t orphans_removed = 0;
  std::int64_t size_before = 0;
  std::int64_t size_after = 0;
};

// Compacts the Topic database at `path` (see above).
Maintenance_result compact_database(const Ref_string& path, const Maintenance_prompts& prompts,
                                    Compaction_figures* figures = nullptr);

// Converts the earlier-format file `source` into a new Topic database at `target` (see above).
// An existing target is replaced only after the user confirms 10117. Success is not shown
// here: the caller shows "Conversion completed successfully!" (12021).
Maintenance_result convert_database(const Ref_string& source, const Ref_string& target,
                                    const Maintenance_prompts& prompts);

// Deletes every url_master row that no concept_urls row names, walking both tables by url_id
// like a merge; returns how many. Stops early when `stop` says so. Throws Db_error.
std::int64_t remove_orphan_documents(Database& db, const std::function<bool()>& stop = {});

// True when `path` holds the earlier format's tables concept_master, concept_home, ui_text and
// url_annotation (opened read-only; any failure counts as no).
bool is_earlier_format(const Ref_string& path);

// Fault injection, for tests only: the hook gives the value of a named fault, empty when it
// is off. "kill-at" names the compaction step at which the process kills itself (SIGKILL);
// "no-space" makes every disk report no free space; "full-after" is the number of pages the
// converted file cannot grow beyond (a disk that fills). The programs never install a hook;
// an empty function removes it.
void set_maintenance_fault_hook(std::function<std::string(std::string_view fault)> hook);

}  // namespace orvalis
