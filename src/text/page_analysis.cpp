#include "text/page_analysis.h"

#include <cerrno>
#include <cstring>

#include "foundation/byte_buffer.h"
#include "text/summarizer.h"
#include "text/word_tagger.h"

namespace orvalis {

namespace {

Ref_string decoded(Ref_string text) {
  text.decode_entities();
  return text;
}

Ref_list<Ref_string> decoded(const Ref_list<Ref_string>& items) {
  Ref_list<Ref_string> out;
  for (const Ref_string& item : items) out.append(decoded(item));
  return out;
}

}  // namespace

Page_analysis analyze_page(const Ref_string& path, const Ref_string& lexicon_folder) {
  Page_analysis result;
  auto page = make_counted<Byte_buffer>();
  errno = 0;
  if (!page->read_file(path.c_str())) {
    result.error = concat("cannot read ", path.view(), ": ",
                          errno ? std::strerror(errno) : "unknown error");
    return result;
  }
  Word_tagger tagger(lexicon_folder);
  Page_summary s = summarize_page(page, path, tagger);
  result.ok = true;
  result.title = decoded(s.title);
  result.num_anchors = s.num_anchors;
  result.num_images = s.num_images;
  result.size = s.size;
  result.key_terms = decoded(s.key_terms);
  result.extract = decoded(s.extract);
  return result;
}

}  // namespace orvalis
