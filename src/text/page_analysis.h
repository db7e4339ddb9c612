// analyze_page reads a local HTML file and analyses it as the summarizer does a retrieved
// page: title, link and image counts, key terms and extract. It is what the command line's
// "analyze" command prints. Texts come back with their entity references decoded, ready to
// show. Any thread; the lexicon is loaded once per process.
#pragma once

#include <cstdint>

#include "foundation/ref_list.h"
#include "foundation/ref_string.h"

namespace orvalis {

struct Page_analysis {
  bool ok = false;
  Ref_string error;  // why the file could not be analysed, when !ok
  Ref_string title;
  int num_anchors = 0;
  int num_images = 0;
  std::int64_t size = 0;
  Ref_list<Ref_string> key_terms;
  Ref_list<Ref_string> extract;
};

// Analyses the file at `path` with the lexicon in `lexicon_folder` (which holds LEXICON.DAT;
// without one, word classes are guessed from word endings).
Page_analysis analyze_page(const Ref_string& path, const Ref_string& lexicon_folder);

}  // namespace orvalis
