// The rich-text detail pane's contents: the selected topic or document as label-and-value
// lines, labels in bold, in a Times New Roman document. A document shows Title, URL, Links,
// Images, Summary, Keywords (Keyword when there is one), Annotation; a topic shows Topic,
// Query Terms (Query Term when there is one), Definition, Category. Counts stored as -1 show
// "?"; summary sentences are joined by blanks and keywords by ", ". Values are escaped, so
// text from the web never becomes markup.
// Any thread.
#pragma once

#include <QString>

#include "database/document.h"
#include "database/topic.h"

namespace orvalis::ui {

QString topic_detail_html(const Topic& topic);
QString document_detail_html(const Document& document);

}  // namespace orvalis::ui
