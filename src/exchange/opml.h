// OPML 2.0, the outline format feed readers exchange their subscriptions in. write_opml puts
// topics out as folders (outlines) holding their feeds (outlines of type "rss" with xmlUrl);
// read_opml reads a feed reader's file into folders and feeds, and import_opml makes the
// folders topics (matched by name without regard to case) and their feeds the topics' feeds.
//
// The reader is expat. The file is not trusted: any entity declaration (the "billion laughs"
// expansion bomb, an external entity) is refused and ends the reading with a reason, external
// entities are never resolved or fetched, and nesting is followed on the heap, so an outline
// 10,000 folders deep reads like a flat one. A feed belongs to its innermost enclosing folder;
// feeds outside any folder go to a folder named by the file's title ("Feeds" without one).
// Malformed XML keeps the feeds read before the fault, and the reason is reported.
// Thread: any for reading; the connection's thread for export and import.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <string>
#include <string_view>
#include <vector>

#include "database/database.h"
#include "exchange/import_report.h"

namespace orvalis::exchange {

struct Opml_feed {
  std::string address;
  std::string title;
};

struct Opml_folder {
  std::string name;
  std::vector<Opml_feed> feeds;
};

struct Opml_document {
  std::string title;
  std::vector<Opml_folder> folders;  // in the order they were met; only folders that hold feeds
  std::string error;                 // why the reading stopped early; empty when it did not
  int deepest = 0;                   // the deepest outline nesting met
};

Opml_document read_opml(std::string_view text);

// The chosen topics (all when `topic_ids` is empty) with their feeds. Throws Db_error.
void write_opml(Database& db, const std::vector<std::int32_t>& topic_ids, std::ostream& out);

// Adds the folders as topics and their feeds as the topics' feeds, in one transaction.
Import_report import_opml(Database& db, const Opml_document& opml);

}  // namespace orvalis::exchange
