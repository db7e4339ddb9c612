// The Topic database file: its six tables and named indexes, creation of a new file, and the
// check that tells a file of the current format from one of the earlier format or a foreign one.
//
// Fields keep the types of the original engine mapped onto SQLite: whole numbers (Long, Byte)
// and dates are INTEGER columns (Byte fields CHECK their range 0..255; dates are whole seconds
// since 1970 UTC, NULL for a null date), texts and memos are TEXT. A text field that does not
// allow a zero-length value CHECKs length(x) > 0; no field is required (NULL is always allowed).
// The two counters (concept_id, url_id) are INTEGER PRIMARY KEY AUTOINCREMENT: one above the
// highest given so far, never reused. concept_urls.date_created defaults to the moment of
// insertion. PRAGMA application_id marks our files.
//
// Topic names and search resource names compare without regard to case (COLLATE NOCASE: ASCII
// letters), as the original engine compared them; addresses are stored with their scheme and
// host in lower case. Titles, extracts and key terms are stored as text, their character
// references decoded. PRAGMA user_version numbers the layout: 0 is the first one, which
// compared names by case; 1 kept extracts and key terms with the references of the pages they
// came from ("AT&amp;T"); upgrade_schema brings such a file up to date when it is opened for
// writing (a file opened read-only is read as it is).
//
// Called on the user-interface thread; each function uses its own short-lived connection.
#pragma once

#include <string>

#include "foundation/ref_string.h"

namespace orvalis {

class Database;

// The layout a new file gets (PRAGMA user_version).
inline constexpr int schema_version = 2;

enum Database_format {
  format_failed = 0,   // the file could not be read (the message has been reported)
  format_current = 1,  // a Topic database of this version
  format_other = 2,    // the earlier format, or not a Topic database at all
};

// Makes a new, empty Topic database at `path` (the caller has removed any file of that name):
// the six tables and their indexes in one transaction, WAL journal. On failure reports
// "0x<code> <description>" (the code in lower-case hexadecimal) and returns false; the file
// made so far stays on disk without tables.
bool create_database(const Ref_string& path);

// Opens the file read-only and tells its format. The four tables concept_master,
// search_resources, url_master and concept_terms make a Topic database; one that also holds
// ui_text is of the earlier format. A file SQLite does not recognise is format_other. Any
// other failure is reported as "0x<code> <description>" and gives format_failed.
// A file whose schema would run code (see schema_refusal) is format_other, and `refusal`, when
// given, receives the reason.
Database_format check_database_format(const Ref_string& path, std::string* refusal = nullptr);

// Why an open file must not be used, or empty. A received file must not run code on ordinary
// commands: it may hold extra tables (kept as they are), but no trigger or view that this
// program does not make itself, and the tables it reads must be ordinary tables, not views or
// virtual tables. Throws Db_error.
std::string schema_refusal(Database& db);

// Brings an open, writable Topic database of an earlier layout up to schema_version, in one
// transaction. From 0: the name columns of concept_master and search_resources compare without
// regard to case (the tables are rebuilt with their rows, counters and indexes), and stored
// addresses get their scheme and host in lower case. From 1 or 0: the extracts and key terms
// of url_master are decoded once (decoded_sentences), so "&amp;lt;" becomes "&lt;" and no
// more. Nothing happens to a file that is up to date.
// Throws Db_error (the transaction is then rolled back).
void upgrade_schema(Database& db);

}  // namespace orvalis
