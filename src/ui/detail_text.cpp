#include "ui/detail_text.h"

#include <utility>
#include <vector>

namespace orvalis::ui {

namespace {

using Lines = std::vector<std::pair<QString, QString>>;

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

QString as_html(const Lines& lines) {
  QString html = QStringLiteral(
      "<html><body style=\"font-family: 'Times New Roman', serif; font-size: 11pt;\">");
  for (const auto& [label, value] : lines)
    html += QStringLiteral("<p style=\"margin: 0 0 4px 0;\"><b>%1:</b> %2</p>")
                .arg(label.toHtmlEscaped(), value.toHtmlEscaped().replace('\n', "<br>"));
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

QString document_detail_html(const Document& d) {
  int keywords = 0;
  QString joined_keywords = joined(d.summary, ", ", &keywords);
  return as_html({{"Title", qs(d.title)},
                  {"URL", qs(d.address)},
                  {"Links", count_text(d.num_anchors)},
                  {"Images", count_text(d.num_images)},
                  {"Summary", joined(d.abstract, " ")},
                  {keywords == 1 ? "Keyword" : "Keywords", joined_keywords},
                  {"Annotation", qs(d.annotation)}});
}

}  // namespace orvalis::ui
