#include "exchange/import_report.h"

namespace orvalis::exchange {

namespace {

void part(std::string& out, std::int64_t n, const char* what, const char* ones = nullptr) {
  if (n == 0) return;
  if (!out.empty()) out += ", ";
  out += std::to_string(n) + " " + (n == 1 && ones ? ones : what);
}

}  // namespace

std::string Import_report::summary() const {
  std::string out;
  part(out, topics_added, "topics added", "topic added");
  part(out, topics_merged, "topics merged into existing ones", "topic merged into an existing one");
  part(out, terms_added, "search terms added", "search term added");
  part(out, relations_added, "relations added", "relation added");
  part(out, documents_added, "documents added", "document added");
  part(out, documents_skipped, "documents already stored", "document already stored");
  part(out, links_added, "documents linked to topics", "document linked to a topic");
  part(out, links_skipped, "links already there", "link already there");
  part(out, feeds_added, "feeds added", "feed added");
  part(out, feeds_skipped, "feeds already there", "feed already there");
  part(out, ids_renumbered, "ids renumbered", "id renumbered");
  part(out, unknown_fields, "unknown fields ignored", "unknown field ignored");
  part(out, static_cast<std::int64_t>(refused.size()), "entries refused", "entry refused");
  return out.empty() ? "nothing to import" : out;
}

}  // namespace orvalis::exchange
