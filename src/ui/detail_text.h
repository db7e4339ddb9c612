// The rich-text detail pane's contents: the selected topic or document as label-and-value
// lines, labels in bold, in a Times New Roman document. A document shows Title, URL, Links,
// Images, Summary, Keywords (Keyword when there is one), Annotation; a topic shows Topic,
// Query Terms (Query Term when there is one), Definition, Category. Counts stored as -1 show
// "?"; summary sentences are joined by blanks and keywords by ", ". Values are escaped, so
// text from the web never becomes markup. Given the changes of the document's page
// (page_changes.h), the document ends with them under "What changed".
// Any thread.
#pragma once

#include <QString>

#include "database/document.h"
#include "database/topic.h"
#include "reports/page_changes.h"

namespace orvalis::ui {

QString topic_detail_html(const Topic& topic);
QString document_detail_html(const Document& document, const Page_changes* changes = nullptr);

}  // namespace orvalis::ui
