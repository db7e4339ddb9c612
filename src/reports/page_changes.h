// What changed in a document's page between its last two saved copies (Page_copy_store), as
// the detail pane and the detail page show it under "What changed": the removed and added
// sentences in page order (sentence_diff.h), at most a screenful of them.
// Thread: the thread that owns the database (the user-interface thread).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "text/sentence_diff.h"

namespace orvalis {

struct Page_changes {
  std::vector<Sentence_edit> edits;  // removed and added sentences only
  std::size_t left_out = 0;          // edits past the limit, not in `edits`
  std::int64_t older_time = 0, newer_time = 0;  // when the two copies were fetched
  bool empty() const { return edits.empty(); }
};

// When a copy was fetched (`seconds` since the epoch), in local time as the pages show it:
// "2026-12-07 11:23".
std::string copy_time_text(std::int64_t seconds);

// The changes between the document's newest copy and the one before it; empty when it has
// fewer than two copies, when they read as the same sentences, or when one of them cannot be
// read (reported as a warning naming the copy).
Page_changes latest_page_changes(std::int32_t url_id, std::size_t limit = 40);

// The changes as HTML paragraphs: a "What changed" heading line with the two copies' dates,
// then each sentence after "−" (removed, struck through) or "+" (added), escaped; and
// "... and N more changes" when some were left out. Empty for no changes.
std::string page_changes_html(const Page_changes& changes);

}  // namespace orvalis
