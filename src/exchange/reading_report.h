// The documents of topics put out for people and reference managers:
//   write_reading_report: a topic as a Markdown reading report: its definition and search
//     terms, then its live documents, the most relevant first (relevance, then votes, then the
//     order they were found), each with its title, address, extract, key terms and note.
//   csl_items: the topics' live documents as CSL-JSON "webpage" items (title, URL, accessed
//     date, abstract, note, keywords), each document once, for reference managers.
// Thread: the connection's thread. Both throw Db_error.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <vector>

#include "database/database.h"
#include "exchange/json_value.h"

namespace orvalis::exchange {

// The report of each chosen topic (all when `topic_ids` is empty), one after the other.
void write_reading_report(Database& db, const std::vector<std::int32_t>& topic_ids, std::ostream& out);

Json_value csl_items(Database& db, const std::vector<std::int32_t>& topic_ids);

// Text made safe to stand in Markdown as plain text (its markup characters escaped, line
// breaks made blanks).
std::string markdown_text(std::string_view s);

}  // namespace orvalis::exchange
