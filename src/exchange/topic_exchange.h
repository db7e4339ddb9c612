// The JSON exchange of topics between Topic databases: export_topics writes chosen topics (or
// all of them) with their search terms, category, schedules, relations among the chosen topics,
// feeds, documents with their links (finder, query, relevance, dates, removal), extracts, key
// terms and notes; import_topics merges such a file into the open database.
//
// The file is an object {"format": "orvalis-topics", "version": 1, "topics": [...],
// "documents": [...]}; a topic's "documents" refer to the documents' "id"s and its "relations"
// to other topics' "id"s. Dates are "YYYY-MM-DDTHH:MM:SSZ" or null.
//
// Merge rules: a topic whose name is already stored (without regard to case) is merged into the
// stored one: its fields stay, and the file's terms, feeds, document links and relations that
// it lacks are added. A document whose address is stored is the stored one (left as it is). A
// new topic or document keeps the file's id when the database has not given that id to
// something else, and gets a new one otherwise. Fields this program does not know are ignored
// and counted; an entry that cannot be taken (no name, no address, a link to a document the
// file does not hold) is refused with its reason, and the rest is imported. The whole import
// is one transaction: a database error leaves the database as it was.
//
// Exporting, importing into a new database and exporting again gives the same text.
//
// Both directions stream: the export writes each topic and each document as it reads it from
// the database, and the import reads the file a document or a link at a time, so neither
// holds the file whole, whatever its size.
// Thread: the thread that owns the connection. REQUIRES: the database is open.
#pragma once

#include <cstdint>
#include <functional>
#include <iosfwd>
#include <vector>

#include "database/database.h"
#include "exchange/import_report.h"
#include "exchange/json_value.h"

namespace orvalis::exchange {

inline constexpr const char* topics_format_name = "orvalis-topics";

// Told how far a long export or import has come (`done` of `total`, in units of its own);
// returning false stops it.
using Exchange_progress = std::function<bool(std::uint64_t done, std::uint64_t total)>;

// Writes the chosen topics (all topics when `topic_ids` is empty) to `out` as they are read.
// False when `progress` stopped it (what was written is then incomplete). Throws Db_error.
bool write_topics_json(Database& db, const std::vector<std::int32_t>& topic_ids, std::ostream& out,
                       const Exchange_progress& progress = {});

// The same export as one value, for small exports. Throws Db_error.
Json_value export_topics(Database& db, const std::vector<std::int32_t>& topic_ids);

// Merges the topics file `in` into `db` (see above); `in` must be able to go back to its start.
// A fault in the text (the report's `unreadable`, with the line and column in `error`), a
// database error, a file that is not a topics file or a stop asked by `progress` gives a
// report whose `error` says why, with nothing changed.
Import_report import_topics(Database& db, std::istream& in, const Exchange_progress& progress = {});
Import_report import_topics(Database& db, const Json_value& file);

// The ids of every topic, in id order. Throws Db_error.
std::vector<std::int32_t> all_topic_ids(Database& db);

}  // namespace orvalis::exchange
