// Import_report counts what an import did to a Topic database: what it added, what it found
// there already and left as it was (skipped), what it could not take (with the reasons), the
// fields of the file it did not know (ignored), and the ids it had to change because the
// database had given them to something else. A plain value.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace orvalis::exchange {

struct Import_report {
  std::int64_t topics_added = 0, topics_merged = 0;
  std::int64_t documents_added = 0, documents_skipped = 0;
  std::int64_t links_added = 0, links_skipped = 0;
  std::int64_t terms_added = 0, relations_added = 0;
  std::int64_t feeds_added = 0, feeds_skipped = 0;
  std::int64_t unknown_fields = 0;  // fields of the file this program does not know
  std::int64_t ids_renumbered = 0;  // topics and documents given new ids
  std::vector<std::string> refused;  // entries not taken, each with its reason
  std::string error;                 // why nothing was imported; empty when the import ran
  bool unreadable = false;           // the error is a fault in the file's text, at its line and column

  bool ok() const { return error.empty(); }
  // "2 topics added, 1 merged; 10 documents added, 3 skipped; ..." (parts with nothing omitted).
  std::string summary() const;
};

}  // namespace orvalis::exchange
