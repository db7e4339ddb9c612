#include "text/page_analysis.h"

#include <string>

#include "platform/user_file.h"
#include "text/summarizer.h"

namespace orvalis {

namespace {

Ref_list<Ref_string> decoded(const Ref_list<Ref_string>& items) {
  Ref_list<Ref_string> out;
  for (Ref_string item : items) {
    item.decode_entities();
    out.append(item);
  }
  return out;
}

}  // namespace

Page_analysis analyze_page(const Byte_buffer_handle& page, Word_tagger& tagger) {
  Page_analysis result;
  Page_summary s = summarize_page(page, Ref_string(), tagger);
  result.ok = true;
  result.title = s.title;
  result.num_anchors = s.num_anchors;
  result.num_images = s.num_images;
  result.size = s.size;
  result.key_terms = decoded(s.key_terms);
  result.extract = decoded(s.extract);
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
