#include "ui/detail_text.h"

#include <utility>
#include <vector>

namespace orvalis::ui {

namespace {

// Label and value; a value marked as an address becomes a link.
struct Line {
  QString label;
  QString value;
  bool address = false;
};
using Lines = std::vector<Line>;

QString qs(const Ref_string& s) { return QString::fromUtf8(s.c_str(), s.length()); }

QString joined(const Ref_list<Ref_string>& parts, const char* between, int* count = nullptr) {
  QString out;
  int n = 0;
  for (const Ref_string& p : parts) {
    if (n++) out += QString::fromUtf8(between);
    out += qs(p);
  }
  if (count) *count = n;
  return out;
}

QString count_text(std::int32_t n) { return n == -1 ? QStringLiteral("?") : QString::number(n); }

QString as_html(const Lines& lines, const QString& tail = {}) {
  QString html = QStringLiteral(
      "<html><body style=\"font-family: 'Times New Roman', serif; font-size: 11pt;\">");
  for (const Line& l : lines) {
    QString value = l.value.toHtmlEscaped().replace('\n', "<br>");
    if (l.address && !l.value.isEmpty())
      value = QStringLiteral("<a href=\"%1\">%2</a>").arg(l.value.toHtmlEscaped(), value);
    html += QStringLiteral("<p style=\"margin: 0 0 4px 0;\"><b>%1:</b> %2</p>")
                .arg(l.label.toHtmlEscaped(), value);
  }
  html += tail;
  html += QStringLiteral("</body></html>");
  return html;
}

}  // namespace

QString topic_detail_html(const Topic& topic) {
  int terms = 0;
  QString joined_terms = joined(topic.terms, ", ", &terms);
  return as_html({{"Topic", qs(topic.name)},
                  {terms == 1 ? "Query Term" : "Query Terms", joined_terms},
                  {"Definition", qs(topic.definition)},
                  {"Category", qs(topic.category)}});
}

QString document_detail_html(const Document& d, const Page_changes* changes) {
  int keywords = 0;
  QString joined_keywords = joined(d.summary, ", ", &keywords);
  const QString tail = changes ? QString::fromStdString(page_changes_html(*changes)) : QString();
  return as_html({{"Title", qs(d.title)},
                  {"URL", qs(d.address), true},
                  {"Links", count_text(d.num_anchors)},
                  {"Images", count_text(d.num_images)},
                  {"Summary", joined(d.abstract, " ")},
                  {keywords == 1 ? "Keyword" : "Keywords", joined_keywords},
                  {"Annotation", qs(d.annotation)}},
                 tail);
}

}  // namespace orvalis::ui
