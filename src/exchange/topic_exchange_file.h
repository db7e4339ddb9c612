// Exports and imports between a Topic database and a file, in any of the exchange formats,
// as both the command line and the window offer them.
//
// export_to_file writes the whole export into "FILE.part" beside the file and renames it over
// the file only when all was written, so a failed or stopped export never leaves half a file
// under the chosen name. import_file reads a JSON topics file as a stream (documents and links
// one at a time) or an OPML file, telling them apart by the first character when no format is
// given ('<' is OPML). Their errors are whole sentences naming the file, ready to be shown.
// Thread: the thread that owns the connection. REQUIRES: the database is open.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "database/database.h"
#include "exchange/import_report.h"
#include "exchange/topic_exchange.h"

namespace orvalis::exchange {

enum class Export_format { json, opml, markdown, csl_json };

// The format named "json", "opml", "markdown" or "csl-json"; none for another name.
std::optional<Export_format> export_format_named(std::string_view name);

// Writes the chosen topics (all when `topic_ids` is empty) in `format` to `out`; `progress`
// counts the documents of a JSON export. False when `progress` stopped it. Throws Db_error.
bool write_export(Database& db, const std::vector<std::int32_t>& topic_ids, Export_format format,
                  std::ostream& out, const Exchange_progress& progress = {});

// Writes the export to `path` whole or not at all; empty on success, else why not.
std::string export_to_file(Database& db, const std::vector<std::int32_t>& topic_ids, Export_format format,
                           const std::string& path, const Exchange_progress& progress = {});

// The largest file import_file reads.
inline constexpr std::uint64_t max_import_bytes = std::uint64_t(1) << 31;

// Imports `path` as "json", "opml" or, when `format` is empty, as its first character says.
// The report's error is a sentence such as "F is not valid JSON (line 3, column 7: ...);
// nothing was imported."
Import_report import_file(Database& db, const std::string& path, const std::string& format = {},
                          const Exchange_progress& progress = {});

}  // namespace orvalis::exchange
