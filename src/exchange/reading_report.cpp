#include "exchange/reading_report.h"

#include <ctime>
#include <ostream>
#include <set>
#include <string>

#include "database/document.h"
#include "exchange/exchange_dates.h"
#include "exchange/topic_exchange.h"

namespace orvalis::exchange {

namespace {

// The live documents of a topic, the most relevant first.
constexpr const char* documents_sql =
    "SELECT m.url_id, m.address, m.title, m.abstract, m.summary, m.annotation, m.time_last_retrieved,"
    " u.date_created, u.relevant FROM concept_urls u JOIN url_master m ON m.url_id = u.url_id"
    " WHERE u.concept_id = ?1 AND u.date_deleted IS NULL"
    " ORDER BY u.relevant DESC, u.num_votes DESC, u.rowid";

// An address as a Markdown autolink: the characters that would end or break it are escaped.
std::string autolink(std::string_view address) {
  std::string out = "<";
  for (char c : address) {
    if (c == '<') out += "%3C";
    else if (c == '>') out += "%3E";
    else if (c == ' ') out += "%20";
    else if (static_cast<unsigned char>(c) < 0x20) continue;
    else out += c;
  }
  return out + ">";
}

std::string joined(const Ref_list<Ref_string>& list, const char* between) {
  std::string out;
  for (const Ref_string& s : list) {
    if (!out.empty()) out += between;
    out += s.view();
  }
  return out;
}

}  // namespace

std::string markdown_text(std::string_view s) {
  std::string out;
  for (char c : s) {
    if (c == '\n' || c == '\r' || c == '\t') {
      out += ' ';
      continue;
    }
    if (static_cast<unsigned char>(c) < 0x20) continue;
    if (std::string_view("\\`*_[]<>|~").find(c) != std::string_view::npos) out += '\\';
    out += c;
  }
  // What would open a heading, a list or a quote at the start of a line.
  std::size_t digits = out.find_first_not_of("0123456789");
  if (!out.empty() && (std::string_view("#+-=").find(out[0]) != std::string_view::npos ||
                       (digits > 0 && digits != std::string::npos && (out[digits] == '.' || out[digits] == ')'))))
    out.insert(digits > 0 && digits != std::string::npos ? digits : 0, "\\");
  return out;
}

void write_reading_report(Database& db, const std::vector<std::int32_t>& topic_ids, std::ostream& out) {
  const std::vector<std::int32_t> ids = topic_ids.empty() ? all_topic_ids(db) : topic_ids;
  bool first = true;
  for (std::int32_t id : ids) {
    Db_statement t(db, "SELECT name, definition FROM concept_master WHERE concept_id = ?1");
    t.bind(1, id);
    if (!t.step()) continue;
    if (!first) out << "\n";
    first = false;
    out << "# " << markdown_text(t.text_view(0)) << "\n\n";
    if (!t.text_view(1).empty()) out << markdown_text(t.text_view(1)) << "\n\n";
    Ref_list<Ref_string> terms;
    Db_statement q(db, "SELECT term FROM concept_terms WHERE concept_id = ?1 ORDER BY rowid");
    q.bind(1, id);
    while (q.step()) terms.append(Ref_string(q.text_view(0)));
    if (!terms.empty()) {
      Ref_list<Ref_string> escaped;
      for (const Ref_string& term : terms) escaped.append(Ref_string(std::string_view(markdown_text(term.view()))));
      out << "Search terms: " << joined(escaped, ", ") << "\n\n";
    }
    Db_statement d(db, documents_sql);
    d.bind(1, id);
    int n = 0;
    while (d.step()) {
      ++n;
      const std::string_view title = d.text_view(2).empty() ? d.text_view(1) : d.text_view(2);
      out << "## " << n << "\\. " << markdown_text(title) << "\n\n" << autolink(d.text_view(1)) << "\n\n";
      const Ref_list<Ref_string> extract = split_sentences(d.text_view(3));
      if (!extract.empty()) {
        std::string text;
        for (const Ref_string& s : extract) text += (text.empty() ? "" : " ") + markdown_text(s.view());
        out << "> " << text << "\n\n";
      }
      const Ref_list<Ref_string> key_terms = split_sentences(d.text_view(4));
      if (!key_terms.empty()) {
        Ref_list<Ref_string> escaped;
        for (const Ref_string& k : key_terms) escaped.append(Ref_string(std::string_view(markdown_text(k.view()))));
        out << "Key terms: " << joined(escaped, ", ") << "\n\n";
      }
      if (!d.text_view(5).empty()) out << "Note: " << markdown_text(d.text_view(5)) << "\n\n";
    }
    if (n == 0) out << "No documents.\n\n";
  }
}

Json_value csl_items(Database& db, const std::vector<std::int32_t>& topic_ids) {
  const std::vector<std::int32_t> ids = topic_ids.empty() ? all_topic_ids(db) : topic_ids;
  Json_value items = Json_value::array();
  std::set<std::int64_t> seen;
  for (std::int32_t id : ids) {
    Db_statement d(db, documents_sql);
    d.bind(1, id);
    while (d.step()) {
      if (!seen.insert(d.integer(0)).second) continue;
      Json_value item = Json_value::object();
      item.set("id", Json_value::string("orvalis-" + std::to_string(d.integer(0))));
      item.set("type", Json_value::string("webpage"));
      item.set("title", Json_value::string(d.text_view(2).empty() ? d.text_view(1) : d.text_view(2)));
      item.set("URL", Json_value::string(d.text_view(1)));
      // Accessed: when the page was last read, else when it was found.
      Db_date accessed = d.date(6);
      if (!accessed.is_valid()) accessed = d.date(7);
      if (accessed.is_valid()) {
        std::time_t when = static_cast<std::time_t>(accessed.seconds);
        std::tm tm{};
        gmtime_r(&when, &tm);
        Json_value parts = Json_value::array();
        parts.push(Json_value::integer(tm.tm_year + 1900));
        parts.push(Json_value::integer(tm.tm_mon + 1));
        parts.push(Json_value::integer(tm.tm_mday));
        Json_value date_parts = Json_value::array();
        date_parts.push(std::move(parts));
        Json_value date = Json_value::object();
        date.set("date-parts", std::move(date_parts));
        item.set("accessed", std::move(date));
      }
      const Ref_list<Ref_string> extract = split_sentences(d.text_view(3));
      if (!extract.empty()) item.set("abstract", Json_value::string(joined(extract, " ")));
      const Ref_list<Ref_string> key_terms = split_sentences(d.text_view(4));
      if (!key_terms.empty()) item.set("keyword", Json_value::string(joined(key_terms, ", ")));
      if (!d.text_view(5).empty()) item.set("note", Json_value::string(d.text_view(5)));
      items.push(std::move(item));
    }
  }
  return items;
}

}  // namespace orvalis::exchange
