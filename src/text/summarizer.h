// The summarizer's analysis of one page: key terms, an extract of its most telling sentences,
// its title, its link and image counts and its size.
//
// Key terms are the noun phrases the page repeats (extract_terms: the tagger's word classes
// drive a small phrase collector that counts phrases in a term table). Sentences qualify for
// the extract when a noun-like word is followed by a verb-like one, and score the weights of
// the key terms they hold; the best six are kept, in page order (select_sentences). A page that
// does not read as English prose (few determiners for the words the lexicon lacks) is judged
// by its salient terms instead: capitalized, linked and emphasized words (salient_terms).
// Code listings (pre elements) give neither terms nor sentences; they count toward the size,
// and their links and images are counted. The title is stored decoded, punctuation kept, and
// without a site name joined to it when the rest is the page's first h1.
//
// All of it reads what the page says (page_text.h): one scanner pass cuts the text into blocks,
// the block classifier (block_classifier.h) keeps the article's blocks and leaves out page
// furniture, and the three readings below go over the kept blocks only. Headings give key terms
// but no sentences; a block boundary ends a sentence and a phrase. Extracts and key terms come
// out with their character references decoded.
//
// summarize_page is a pure function of the page, its address and a tagger: it touches no state
// but its arguments, so the summarize job calls it on the background worker while the user
// interface thread goes on. The tagger (and its lexicon counts) belongs to the calling thread;
// the lexicon's data, loaded once per process, is only read.
// REQUIRES: the page buffer is not used by another thread during the call.
#pragma once

#include <cstdint>

#include "foundation/byte_buffer.h"
#include "foundation/ref_list.h"
#include "foundation/ref_string.h"
#include "text/page_text.h"
#include "text/term_table.h"
#include "text/word_tagger.h"

namespace orvalis {

// What the summary of a document holds once its page was analysed.
struct Page_summary {
  Ref_string address;
  Ref_list<Ref_string> key_terms;  // stored as the document's summary
  Ref_list<Ref_string> extract;    // stored as the document's abstract
  Ref_string title;                // at most 254 characters
  int num_images = 0;
  int num_anchors = 0;
  std::int64_t size = 0;           // bytes of the page body
  bool retrieved = false;          // a page body was analysed
};

// Sentences kept for an extract, and key terms kept by the page path.
inline constexpr int extract_sentences = 6;
inline constexpr int max_key_terms = 100;
inline constexpr int max_salient_terms = 25;
// Above this ratio a page is read as prose and its own noun phrases are its key terms.
inline constexpr int prose_ratio = 10;
// Sentences longer than this are not considered for the extract.
inline constexpr int max_extract_sentence = 2000;

// The extract of a page without a qualifying sentence.
inline constexpr const char* no_description_text =
    "[NO DESCRIPTION: Not enough sentences on document]";

// Counts the page's noun phrases into `table` and returns the key terms: the most frequent
// ones, at most `max_count`, above a threshold taken from the second most frequent. `ratio` is
// 100 x (words tagged as determiners) / (words the lexicon lacked), 0 when it lacked none.
Ref_list<Ref_string> extract_terms(const Byte_buffer_handle& page, int max_count,
                                   Word_tagger& tagger, Term_table& table, int& ratio);

// The best `n` qualifying sentences of the page scored against `terms`, in page order.
Ref_list<Ref_string> select_sentences(const Byte_buffer_handle& page, const Term_table& terms,
                                      int n, Word_tagger& tagger);

// Runs of up to six words of four or more letters that are capitalized inside a sentence,
// linked or emphasized, counted.
Term_table salient_terms(const Byte_buffer_handle& page);

// The whole analysis of a page body.
Page_summary summarize_page(const Byte_buffer_handle& page, const Ref_string& address,
                            Word_tagger& tagger);
// The same over the page's text already read and classified (read_page_text, classify_blocks).
Page_summary summarize_page(const Byte_buffer_handle& page, const Page_text& text,
                            const Ref_string& address, Word_tagger& tagger);

// ---- What a finished retrieval does to a document's summary ----

struct Retrieval {
  bool completed = false;   // false: the request failed
  bool timed_out = false;   // the failure was the network time-out
  int status = 0;           // HTTP status of a completed request
  Ref_string status_text;   // the status's text (an error status appends it to the extract)
  Byte_buffer_handle body;  // the response without its header
};

enum class Summary_change {
  none,      // keep the stored summary as it is
  abstract,  // write summary.extract as the abstract, nothing else
  all,       // write every field of the summary
};

struct Summary_result {
  Summary_change change = Summary_change::none;
  Page_summary summary;
};

// A failed request puts "[NO TEXT: ...]" in the abstract when the stored abstract holds at most
// one item; 304 keeps everything; 200 with a body is analysed; a status of 400 or more appends
// its text to the stored abstract; anything else changes nothing. When `readable` is given and
// the page was analysed, it receives the text the summary read (readable_text, page_text.h).
Summary_result summarize_retrieval(const Retrieval& retrieval, const Ref_string& address,
                                   const Ref_list<Ref_string>& stored_abstract,
                                   Word_tagger& tagger, std::string* readable = nullptr);

}  // namespace orvalis
