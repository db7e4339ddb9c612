// Fuzzes the HTML scanner with every handler path on: sentence collection, a rewriting pass in
// which handlers replace tokens, and the page readers built on it. Checks that the scan stays
// inside the page, always ends, and that a pass replacing nothing gives the page back.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "foundation/byte_buffer.h"
#include "text/html_scanner.h"
#include "text/html_tag.h"
#include "text/page_readers.h"
#include "text/summarizer.h"

using namespace orvalis;

namespace {

// Replaces some tokens (chosen by the token's first byte) and builds a tag from every tag.
class Busy_scanner : public Html_scanner {
 public:
  Busy_scanner(Byte_buffer_handle page, bool replace) : Html_scanner(std::move(page), 1), replace_(replace) {}
  int on_space(const char* t, int n, Ref_string& r) override { return maybe(t, n, r, " "); }
  int on_tag(const char* t, int n, Ref_string& r) override {
    Html_tag tag(t, n);
    (void)tag.breaks_sentence();
    (void)tag.attribute("href");
    if (tag.is("a") && replace_) {
      tag.set_attribute("href", "http://x.example/");
      r = tag.text();
      return 1;
    }
    return maybe(t, n, r, "<tag>");
  }
  int on_word(const char* t, int n, Ref_string& r) override { return maybe(t, n, r, "WORD"); }
  int on_punct(char ch, Ref_string& r) override { return maybe(&ch, 1, r, "."); }
  void on_sentence(Ref_string s) override {
    if (s.length() <= min_sentence) std::abort();
  }

 private:
  int maybe(const char* t, int n, Ref_string& r, const char* by) {
    if (n <= 0) std::abort();
    if (!replace_ || (static_cast<unsigned char>(t[0]) & 1)) return 0;
    r = by;
    return 1;
  }
  bool replace_;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  auto page = make_counted<Byte_buffer>();
  page->append(data, static_cast<std::int64_t>(size));

  // Replacing nothing gives the page back (zero bytes included).
  {
    Busy_scanner s(page, false);
    Ref_string out;
    s.run(1, &out);
    if (static_cast<std::size_t>(out.length()) != size ||
        (size && std::memcmp(out.c_str(), data, size) != 0))
      std::abort();
  }
  {
    Busy_scanner s(page, true);
    Ref_string out;
    s.run(1, &out);
  }
  (void)page_title(page);
  int images = 0, anchors = 0;
  count_links_and_images(page, images, anchors);
  Anchor_reader reader(page, Url("http://h.example/dir/page.html"));
  reader.run();
  (void)insert_base_reference(page, "http://h.example/", "<p>top</p>", "<p>end</p>");
  // Loading the lexicon costs far more than one input: load it once; the summarizer reads
  // only the tagger's counters' growth, so earlier inputs do not change later results.
  static Word_tagger tagger(ORVALIS_FUZZ_DATA_DIR);
  (void)summarize_page(page, "", tagger);
  return 0;
}
