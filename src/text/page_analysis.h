// Page analysis for the command line's "analyze" command: a page, read from a local file or
// handed over in memory (standard input, a fetched address), analysed as the summarizer does a
// retrieved page: title, link and image counts, size, key terms and extract, and the verdict on
// each text block of the page (kept for the summary, or furniture and why). Everything comes
// back as text, character references decoded, ready to show. Local files are read only when they are regular files, and at most
// MaxDocumentBytes of them, as much as a fetch would take.
// One thread per tagger; the lexicon's data is loaded once per process.
#pragma once

#include <cstdint>
#include <vector>

#include "foundation/byte_buffer.h"
#include "foundation/ref_list.h"
#include "foundation/ref_string.h"
#include "text/word_tagger.h"

namespace orvalis {

// One text block of the page and what the reading made of it.
struct Block_verdict {
  bool kept = false;
  bool heading = false;
  Ref_string why;   // "kept", or the kind of furniture and the element, role or hint word
  Ref_string text;  // the block's text, white space folded
};

struct Page_analysis {
  bool ok = false;
  Ref_string error;  // why the page could not be analysed, when !ok
  bool cut = false;  // only the first max_bytes of the file were read
  Ref_string title;
  int num_anchors = 0;
  int num_images = 0;
  std::int64_t size = 0;
  Ref_list<Ref_string> key_terms;
  Ref_list<Ref_string> extract;
  std::vector<Block_verdict> blocks;
};

// Analyses the page in `page`.
Page_analysis analyze_page(const Byte_buffer_handle& page, Word_tagger& tagger);

// Reads at most `max_bytes` of the regular file at `path` and analyses them; directories,
// devices and FIFOs are refused.
Page_analysis analyze_file(const Ref_string& path, std::int64_t max_bytes, Word_tagger& tagger);

}  // namespace orvalis
