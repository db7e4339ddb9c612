// "doc text DOC [--html] [--at TIME]" and "doc changes DOC": the saved copies of a document's
// page, read back, and what changed between the last two of them, sentence by sentence.
#include <ctime>
#include <ostream>

#include "cli/cli.h"
#include "cli/json.h"
#include "database/page_copy_store.h"
#include "foundation/error_handler.h"
#include "foundation/page_encoding.h"
#include "text/sentence_diff.h"

namespace orvalis::cli {

namespace {

Ref_string rs(const std::string& s) { return Ref_string(std::string_view(s)); }

std::string when_text(std::int64_t seconds) {
  std::time_t t = static_cast<std::time_t>(seconds);
  std::tm tm{};
  localtime_r(&t, &tm);
  char buf[32];
  std::strftime(buf, sizeof buf, "%Y-%m-%d %H:%M:%S", &tm);
  return buf;
}

// --at: seconds since 1970, or a local date "YYYY-MM-DD" (its end: the copy the day ended with)
// with an optional time "HH:MM[:SS]" after a blank or a "T".
std::int64_t parse_time(const std::string& text) {
  if (!text.empty() && text.find_first_not_of("0123456789") == std::string::npos)
    return parse_int(text, "--at", 1, 2147483647LL);
  std::tm tm{};
  int seconds = 0;
  char sep = 0;
  const int fields = std::sscanf(text.c_str(), "%4d-%2d-%2d%c%2d:%2d:%2d", &tm.tm_year, &tm.tm_mon,
                                 &tm.tm_mday, &sep, &tm.tm_hour, &tm.tm_min, &seconds);
  const bool date_only = fields == 3 && text.size() == 10;
  const bool with_time = (fields == 6 || fields == 7) && (sep == ' ' || sep == 'T');
  if (!date_only && !with_time)
    throw Usage_error{"--at takes a time as YYYY-MM-DD, YYYY-MM-DD HH:MM[:SS] or seconds since 1970, not '" +
                      text + "'"};
  if (date_only) tm.tm_hour = 23, tm.tm_min = 59, seconds = 59;
  tm.tm_sec = seconds;
  tm.tm_year -= 1900;
  tm.tm_mon -= 1;
  tm.tm_isdst = -1;
  const std::time_t t = std::mktime(&tm);
  if (t <= 0) throw Usage_error{"--at names no time this program can keep: '" + text + "'"};
  return static_cast<std::int64_t>(t);
}

std::string copy_label(const Page_copy_info& c) {
  return "copy of " + when_text(c.time_fetched) + " (status " + std::to_string(c.status) + ")";
}

}  // namespace

int doc_text(Context& c) {
  const std::string key = c.arg(1, "document");
  const bool html = c.take_flag("--html");
  std::string at_text;
  const std::int64_t at = c.take("--at", at_text) ? parse_time(at_text) : 0;
  c.no_more_args(2);
  if (!c.open_database()) return 1;
  Document_handle d = lookup_document(key);
  if (!d) return 1;
  Page_copy_store store;
  const std::optional<Page_copy_info> copy = store.copy_at(d->url_id, at);
  if (!copy) {
    report_error(rs(at ? "Document " + std::to_string(d->url_id) + " has no saved copy from " +
                             when_text(at) + " or before."
                       : "Document " + std::to_string(d->url_id) + " has no saved copy."));
    return 1;
  }
  std::string why;
  std::optional<std::string> bytes = html ? store.html_of(*copy, &why) : store.text_of(*copy, &why);
  if (!bytes) {
    report_error(rs(why + "."));
    return 1;
  }
  // The HTML was kept as it came; it is shown in UTF-8, as every other text here.
  std::string text = html ? page_to_utf8(*bytes, "text/html; charset=" + copy->encoding) : std::move(*bytes);
  if (c.json) {
    Json_writer j(c.out);
    j.begin_object().field("document", d->url_id).field("time_fetched", static_cast<long long>(copy->time_fetched));
    j.field("status", copy->status).field("encoding", copy->encoding).field(html ? "html" : "text", text);
    j.end_object().finish();
  } else {
    c.out << text;
    if (!text.empty() && text.back() != '\n') c.out << "\n";
  }
  return 0;
}

int doc_changes(Context& c) {
  const std::string key = c.arg(1, "document");
  c.no_more_args(2);
  if (!c.open_database()) return 1;
  Document_handle d = lookup_document(key);
  if (!d) return 1;
  Page_copy_store store;
  const std::vector<Page_copy_info> copies = store.copies(d->url_id);
  if (copies.size() < 2) {
    report_error(rs("Document " + std::to_string(d->url_id) + " has " +
                    (copies.empty() ? "no saved copy" : "one saved copy") + ": nothing to compare."));
    return 1;
  }
  const Page_copy_info& newer = copies[0];
  const Page_copy_info& older = copies[1];
  std::string why;
  const std::optional<std::string> a = store.text_of(older, &why);
  const std::optional<std::string> b = a ? store.text_of(newer, &why) : std::nullopt;
  if (!a || !b) {
    report_error(rs(why + "."));
    return 1;
  }
  if (c.json) {
    Json_writer j(c.out);
    j.begin_object().field("document", d->url_id);
    j.field("older", static_cast<long long>(older.time_fetched)).field("newer", static_cast<long long>(newer.time_fetched));
    j.key("changes").begin_array();
    for (const Sentence_edit& e : changed_sentences(*a, *b)) {
      j.begin_object().field("kind", e.kind == Sentence_edit::removed ? "removed" : "added");
      j.field("sentence", e.kind == Sentence_edit::removed ? e.older : e.newer).field("text", e.text);
      j.end_object();
    }
    j.end_array().end_object().finish();
    return 0;
  }
  const std::string diff = unified_sentence_diff(*a, *b, copy_label(older), copy_label(newer));
  // Copies differ by their hash; texts that read as the same sentences say so.
  c.out << (diff.empty() ? "The last two copies hold the same sentences.\n" : diff);
  return 0;
}

}  // namespace orvalis::cli
