#include "text/page_analysis.h"

#include <string>

#include "platform/user_file.h"
#include "text/block_classifier.h"
#include "text/page_text.h"
#include "text/summarizer.h"

namespace orvalis {

Page_analysis analyze_page(const Byte_buffer_handle& page, Word_tagger& tagger) {
  Page_analysis result;
  Page_text text = read_page_text(page);
  classify_blocks(text);
  for (const Text_block& b : text.blocks) {
    Block_verdict v;
    v.kept = b.kept;
    v.heading = b.heading;
    std::string why = b.kept ? (b.reason == Block_reason::none ? "kept" : "kept, best of a page without prose")
                             : std::string("furniture: ") + block_reason_name(b.reason);
    if (!b.kept && !b.detail.empty() && b.reason == b.markup) why += " " + b.detail;
    v.why = Ref_string(std::string_view(why));
    v.text = Ref_string(std::string_view(text.block_text(b)));
    result.blocks.push_back(std::move(v));
  }
  Page_summary s = summarize_page(page, text, Ref_string(), tagger);
  result.ok = true;
  result.title = s.title;
  result.num_anchors = s.num_anchors;
  result.num_images = s.num_images;
  result.size = s.size;
  result.key_terms = s.key_terms;
  result.extract = s.extract;
  return result;
}

Page_analysis analyze_file(const Ref_string& path, std::int64_t max_bytes, Word_tagger& tagger) {
  std::string contents, error;
  bool complete = true;
  if (!platform::read_regular_file(path.str(), max_bytes, contents, complete, error)) {
    Page_analysis failed;
    failed.error = Ref_string(std::string_view(error));
    return failed;
  }
  auto page = make_counted<Byte_buffer>();
  page->append(contents.data(), static_cast<std::int64_t>(contents.size()));
  contents = std::string();
  Page_analysis result = analyze_page(page, tagger);
  result.cut = !complete;
  return result;
}

}  // namespace orvalis
