#include "reports/page_changes.h"

#include <ctime>

#include "database/page_copy_store.h"
#include "foundation/error_handler.h"
#include "reports/html_text.h"

namespace orvalis {

std::string copy_time_text(std::int64_t seconds) {
  const std::time_t t = static_cast<std::time_t>(seconds);
  std::tm tm{};
  localtime_r(&t, &tm);
  char buf[32];
  std::strftime(buf, sizeof buf, "%Y-%m-%d %H:%M", &tm);
  return buf;
}

Page_changes latest_page_changes(std::int32_t url_id, std::size_t limit) {
  Page_changes out;
  Page_copy_store store;
  const std::vector<Page_copy_info> copies = store.copies(url_id);
  if (copies.size() < 2) return out;
  std::string why;
  const std::optional<std::string> older = store.text_of(copies[1], &why);
  const std::optional<std::string> newer = older ? store.text_of(copies[0], &why) : std::nullopt;
  if (!older || !newer) {
    report_warning(Ref_string(std::string_view(why + ".")));
    return out;
  }
  out.older_time = copies[1].time_fetched;
  out.newer_time = copies[0].time_fetched;
  out.edits = changed_sentences(*older, *newer);
  if (out.edits.size() > limit) {
    out.left_out = out.edits.size() - limit;
    out.edits.resize(limit);
  }
  return out;
}

std::string page_changes_html(const Page_changes& changes) {
  if (changes.empty()) return {};
  std::string html = "<P>\r\n<STRONG>What changed</STRONG> (" + copy_time_text(changes.older_time) + " to " +
                     copy_time_text(changes.newer_time) + "):\r\n";
  for (const Sentence_edit& e : changes.edits) {
    if (e.kind == Sentence_edit::removed) {
      html += "<BR>\r\n&minus; <S>";
      append_escaped_html(html, e.text);
      html += "</S>";
    } else {
      html += "<BR>\r\n+ ";
      append_escaped_html(html, e.text);
    }
  }
  if (changes.left_out)
    html += "<BR>\r\n... and " + std::to_string(changes.left_out) + " more change" +
            (changes.left_out == 1 ? "" : "s");
  html += "\r\n";
  return html;
}

}  // namespace orvalis
