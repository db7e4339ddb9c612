// The verdict on each text block of a page (Page_text): read by the summary (kept), or page
// furniture and why. In order:
//  1. what the markup says (furniture elements, landmark roles, hidden elements, class and id
//     hints) stands;
//  2. when the main element (or role="main"), or else the page's single article element, holds
//     at least min_region_words words that are not furniture, every block outside it is
//     furniture ("outside main"); an empty main falls back to the whole page;
//  3. blocks that are mostly link text, and short copyright or cookie lines, are furniture;
//  4. on pages without such a region, the rest is sorted as boilerplate classifiers do:
//     blocks of some length with a fair share of function words are prose; short ones and ones
//     with few function words take the side of their nearest prose or furniture neighbours, and
//     a heading goes with the block after it (inside the region, headings stay).
//  5. When nothing is left with a word in it, every block that is not hidden is kept again,
//     so that a page of navigation still gets an extract from its best blocks.
// Every rule is about the page's form (length, links, function words, common class words);
// none names a site or a generator. Pure function of the blocks; one thread.
#pragma once

#include "text/page_text.h"

namespace orvalis {

inline constexpr int min_region_words = 30;

// Sets `kept` and `reason` of every block of `text`.
void classify_blocks(Page_text& text);

}  // namespace orvalis
