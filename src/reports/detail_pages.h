// The detail pages: what the desktop's detail pane shows for a selected topic or document,
// each built as one HTML text in memory (not with Html_writer), lines ending in CR LF; and the
// framed document page, which shows a document under an 85-pixel strip holding the
// advertisement page of the search resource that found it (advertisement_page.h), for users
// who chose to see those advertisements ("ShowSRAd").
//
// The document detail labels the document's extract (its stored abstract) "Summary" and its
// key terms (its stored summary) "Keywords"; its address line is the address as a link; a count
// not known yet shows "?". When advertisements are shown and the search resource's
// advertisement page exists, the line after a "<body>" line of that page is copied in first.
// Given the changes of its page (page_changes.h), it ends with them under "What changed".
//
// All outside text is escaped (html_text.h); the framed page's hide_ad script holds the
// document's address as an escaped JavaScript string. The framed page is "d" + url_id +
// ".htm" in the pages folder, replaced whenever the document is framed again.
// Thread: the user-interface thread.
#pragma once

#include "database/document.h"
#include "database/topic.h"
#include "foundation/ref_string.h"
#include "reports/page_changes.h"
#include "reports/topic_index.h"

namespace orvalis {

struct Detail_options {
  Ref_string engines_folder;
  bool show_advertisements = false;

  // The engines folder of the installation folder; advertisements on when the cached
  // "ShowSRAd" is "Yes" in any case.
  static Detail_options from_settings();
};

// The name, definition and keywords of a topic.
Ref_string topic_detail(const Topic& topic);

// The title, address, counts, extract, key terms and note of a document; `link` names the
// search resource that found it.
Ref_string document_detail(const Document& document, const Document_link& link,
                           const Detail_options& options, const Page_changes* changes = nullptr);

// "d" + url_id + ".htm".
Ref_string framed_page_name(std::int32_t url_id);

// Writes the framed page of a document into the pages folder and returns its file name, or
// the empty string when it could not be written (reported).
Ref_string framed_document_page(const Document& document, const Document_link& link,
                                const Publish_options& options);

// Where View in Browser sends the user for a document: when advertisements are shown and the
// search resource that found it has its advertisement page, the framed page written for it
// (as a file:// address); otherwise the document's own address.
Ref_string document_browser_address(const Document& document, const Document_link& link,
                                    const Detail_options& detail, const Publish_options& publish);

}  // namespace orvalis
