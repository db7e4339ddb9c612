// Hostile and broken pages: every reader must end, stay inside the page and keep its limits.
// The sanitizer build turns any read outside a buffer into a failure. Random pages are the
// scanner fuzz target's (tests/fuzz/fuzz_html_scanner.cpp).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "text/html_scanner.h"
#include "text/html_tag.h"
#include "text/page_readers.h"
#include "text/summarizer.h"
#include "text_test_support.h"

namespace orvalis {
namespace {

using testing::page_of;
using namespace std::string_literals;

// Replaces every token by itself: the output must be the page, byte for byte.
class Identity_rewriter : public Html_scanner {
 public:
  using Html_scanner::Html_scanner;
  int on_space(const char* t, int n, Ref_string& r) override { return same(t, n, r); }
  int on_tag(const char* t, int n, Ref_string& r) override { return same(t, n, r); }
  int on_word(const char* t, int n, Ref_string& r) override { return same(t, n, r); }
  int on_punct(char ch, Ref_string& r) override {
    r = Ref_string(&ch, 1);
    return 1;
  }
  void on_sentence(Ref_string s) override {
    ++sentences;
    longest = std::max(longest, s.length());
  }
  int sentences = 0;
  int longest = 0;

 private:
  // Zero bytes cannot live in a Ref_string; such tokens are left to the copy.
  static int same(const char* t, int n, Ref_string& r) {
    if (std::string_view(t, static_cast<size_t>(n)).find('\0') != std::string_view::npos) return 0;
    r = Ref_string(t, n);
    return 1;
  }
};

std::string rewritten(const std::string& page) {
  Identity_rewriter s(page_of(page), 1);
  Ref_string out;
  s.run(1, &out);
  return std::string(out.c_str(), static_cast<size_t>(out.length()));
}

// Everything a page goes through.
void read_everything(const std::string& text, Word_tagger& tagger) {
  Byte_buffer_handle page = page_of(text);
  page_title(page);
  int images = 0, anchors = 0;
  count_links_and_images(page, images, anchors);
  for (const Html_tag_handle& t : collect_tags(page)) {
    t->attribute("href");
    t->breaks_sentence();
  }
  Anchor_reader reader(page, Url("http://h.example/d/p.html"));
  reader.run();
  insert_base_reference(page, "http://h.example/", "<b>top</b>", "<b>end</b>");
  summarize_page(page, "", tagger);
}

class Bad_input_test : public ::testing::Test {
 protected:
  Word_tagger tagger_{ORVALIS_DATA_DIR};
};

TEST_F(Bad_input_test, UnterminatedTagsCommentsAndScripts) {
  for (const std::string& page : {"text <a href='" + std::string(100000, 'x'), "<!-- never closed"s,
                                  "a <script>" + std::string(5000, 'y') + "</script", "end <"s, "<style"s,
                                  "&"s, "U."s, "Mrs."s, "1."s, "<a href=\"x\">unclosed anchor"s}) {
    EXPECT_EQ(rewritten(page), page);
    read_everything(page, tagger_);
  }
}

TEST_F(Bad_input_test, MegabyteAttributeValuesAreCut) {
  const std::string value(1 << 20, 'v');
  const std::string page = "<title>t</title><a href=\"http://x.example/" + value + "\">link</a>" +
                           "<img src=" + value + "><p title='" + value + "'>Text is here.</p>";
  EXPECT_EQ(rewritten(page), page);
  Anchor_reader reader(page_of(page), Url("http://h.example/"));
  reader.run();
  EXPECT_EQ(reader.links().count(), 0);  // the address was cut: no such document
  read_everything(page, tagger_);
}

TEST_F(Bad_input_test, HundredThousandNestedTags) {
  std::string page;
  for (int i = 0; i < 100000; ++i) page += "<div><a href=x><b>";
  page += "deep text is here.";
  for (int i = 0; i < 100000; ++i) page += "</b></a></div>";
  EXPECT_EQ(rewritten(page), page);
  EXPECT_EQ(collect_tags(page_of(page)).count(), 600000);
  int images = 0, anchors = 0;
  count_links_and_images(page_of(page), images, anchors);
  EXPECT_EQ(anchors, 100000);
  read_everything(page, tagger_);
}

TEST_F(Bad_input_test, BytesOfEveryValueIncludingZero) {
  std::string page;
  for (int round = 0; round < 4; ++round)
    for (int c = 0; c < 256; ++c) page += static_cast<char>(c);
  EXPECT_EQ(rewritten(page), page);
  read_everything(page, tagger_);
  // Zero bytes do not end the scan: the words after them are seen.
  std::string with_zero("before", 6);
  with_zero += '\0';
  with_zero += " after";
  EXPECT_EQ(testing::words_of(with_zero), (std::vector<std::string>{"before", "after"}));
}

TEST_F(Bad_input_test, PagesWithoutTextGiveEmptyResults) {
  for (const std::string& page : {""s, "   \n\t "s, "<html></html>"s, std::string(50000, '<'), std::string(50000, '>'),
                                  std::string(50000, '.'), "<html><body><img src=x></body></html>"s,
                                  "Home | About | Help"s, "<ul><li>Apples<li>Pears<li>Plums</ul>"s}) {
    Page_summary s = summarize_page(page_of(page), "", tagger_);
    EXPECT_EQ(s.title, "");
    EXPECT_EQ(s.extract.count(), 1);
    EXPECT_EQ(s.extract.first(), no_description_text);
    EXPECT_EQ(rewritten(page), page);
  }
}

TEST_F(Bad_input_test, OneHugeWordAndOneHugeSentence) {
  const std::string word(1 << 20, 'w');
  Identity_rewriter s(page_of(word), 1);
  s.run();
  EXPECT_EQ(s.sentences, 1);
  EXPECT_EQ(s.longest, 1 << 20);
  read_everything(word, tagger_);
  std::string sentence;
  while (sentence.size() < 200000) sentence += "the cache stores the entry ";
  Page_summary summary = summarize_page(page_of(sentence + "."), "", tagger_);
  EXPECT_EQ(summary.extract.first(), no_description_text);  // longer than 2000 bytes
}

}  // namespace
}  // namespace orvalis
