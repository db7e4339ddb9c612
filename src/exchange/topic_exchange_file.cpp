#include "exchange/topic_exchange_file.h"

#include <cstdio>
#include <fstream>
#include <ostream>

#include "exchange/json_value.h"
#include "exchange/opml.h"
#include "exchange/reading_report.h"

namespace orvalis::exchange {

std::optional<Export_format> export_format_named(std::string_view name) {
  if (name == "json") return Export_format::json;
  if (name == "opml") return Export_format::opml;
  if (name == "markdown") return Export_format::markdown;
  if (name == "csl-json") return Export_format::csl_json;
  return std::nullopt;
}

bool write_export(Database& db, const std::vector<std::int32_t>& topic_ids, Export_format format,
                  std::ostream& out, const Exchange_progress& progress) {
  switch (format) {
    case Export_format::json:
      return write_topics_json(db, topic_ids, out, progress);
    case Export_format::opml:
      write_opml(db, topic_ids, out);
      return true;
    case Export_format::markdown:
      write_reading_report(db, topic_ids, out);
      return true;
    case Export_format::csl_json:
      write_json(out, csl_items(db, topic_ids));
      return true;
  }
  return true;
}

std::string export_to_file(Database& db, const std::vector<std::int32_t>& topic_ids, Export_format format,
                           const std::string& path, const Exchange_progress& progress) {
  const std::string part = path + ".part";
  bool finished = false, written = false;
  std::string why;
  {
    std::ofstream out(part, std::ios::binary | std::ios::trunc);
    if (!out) return "Cannot write " + path + ".";
    try {
      finished = write_export(db, topic_ids, format, out, progress);
    } catch (const Db_error& e) {
      why = std::string("The export stopped on a database error: ") + e.what();
    }
    out.flush();
    written = static_cast<bool>(out);
  }
  if (why.empty() && !finished) why = "The export was cancelled; " + path + " was not written.";
  if (why.empty() && !written) why = "Cannot write " + path + ".";
  if (why.empty() && std::rename(part.c_str(), path.c_str()) != 0) why = "Cannot write " + path + ".";
  if (!why.empty()) std::remove(part.c_str());
  return why;
}

Import_report import_file(Database& db, const std::string& path, const std::string& format,
                          const Exchange_progress& progress) {
  Import_report report;
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    report.error = "Cannot read " + path + ".";
    return report;
  }
  in.seekg(0, std::ios::end);
  const std::streamoff size = in.tellg();
  if (size < 0 || static_cast<std::uint64_t>(size) > max_import_bytes) {
    report.error = path + " is larger than 2 GB; nothing was imported.";
    return report;
  }
  in.seekg(0);
  std::string kind = format;
  if (kind.empty()) {
    // The first character after white space or a byte order mark: '<' is OPML.
    char ch = 0;
    while (in.get(ch) && std::string_view(" \t\r\n\xEF\xBB\xBF").find(ch) != std::string_view::npos) {
    }
    kind = in && ch == '<' ? "opml" : "json";
    in.clear();
    in.seekg(0);
  }
  if (kind == "opml") {
    std::string text(static_cast<std::size_t>(size), '\0');
    in.read(text.data(), static_cast<std::streamsize>(text.size()));
    const Opml_document opml = read_opml(text);
    if (opml.folders.empty() && !opml.error.empty()) {
      report.error = path + " is not readable OPML (" + opml.error + "); nothing was imported.";
      return report;
    }
    report = import_opml(db, opml);
  } else {
    report = import_topics(db, in, progress);
    if (report.unreadable) {
      report.error = path + " is not valid JSON (" + report.error + "); nothing was imported.";
      return report;
    }
  }
  if (!report.ok()) report.error = "Nothing was imported from " + path + ": " + report.error + ".";
  return report;
}

}  // namespace orvalis::exchange
