// The page writer: optional attributes, the buffer boundaries, a page that outgrows its 300
// buffers, and an output file that cannot be written.
#include "reports/html_writer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <string>

#include "test_support.h"

namespace orvalis::testing {
namespace {

std::string body_of(const std::function<void(Html_writer&)>& build) {
  Html_writer w;
  EXPECT_TRUE(w.start());
  build(w);
  std::string page = w.page_text(true);
  w.free();
  std::string head = "<HTML>\n<HEAD><TITLE></TITLE></HEAD>\n", tail = "</HTML>\n";
  return page.substr(head.size(), page.size() - head.size() - tail.size());
}

// Elements whose attributes come and go with their arguments.
TEST(Html_writer, OptionalAttributesAppearOnlyWhenGiven) {
  Html_cell all;
  all.column_span = 2;
  all.row_span = 3;
  all.colour = "#FFFFFF";
  all.height = 4;
  all.width = 5;
  Html_cell ones;  // spans of 1, no colour, no sizes: no attributes
  struct Case {
    std::function<void(Html_writer&)> build;
    const char* bytes;
  } cases[] = {
      {[](Html_writer& w) { w.link("t1.htm", "One", "Detail"); }, "<A HREF=\"t1.htm\" TARGET=\"Detail\">One</A>"},
      {[](Html_writer& w) { w.link("a.htm", "A", ""); }, "<A HREF=\"a.htm\">A</A>"},
      {[](Html_writer& w) { w.image("a.gif", "", 0, "alt", 0, 0); },
       "<IMG SRC=\"a.gif\" ALIGN=BOTTOM BORDER=0 ALT = \"alt\">"},
      {[](Html_writer& w) { w.image("a.gif", "LEFT", 2, "", 7, 9); },
       "<IMG SRC=\"a.gif\" ALIGN=LEFT BORDER=2 ALT = \"\" WIDTH=7 HEIGHT=9>"},
      {[](Html_writer& w) { w.table("#CCCCCC", "Cap"); }, "<TABLE BGCOLOR=\"#CCCCCC\">\n<CAPTION>Cap</CAPTION>\n"},
      {[&](Html_writer& w) { w.cell(ones); w.end_cell(); }, "<TD></TD>"},
      {[&](Html_writer& w) { w.cell(all); }, "<TD COLSPAN=2 ROWSPAN=3 BGCOLOR=\"#FFFFFF\" HEIGHT=4 WIDTH=5>"},
      {[&](Html_writer& w) { w.header_cell(); w.end_header_cell(); w.left_header_cell(all); },
       "<TH></TH><TH ALIGN=LEFT COLSPAN=2 ROWSPAN=3 BGCOLOR=\"#FFFFFF\" HEIGHT=4 WIDTH=5>"},
  };
  for (const Case& c : cases) EXPECT_EQ(body_of(c.build), c.bytes);
}

TEST(Html_writer, BuffersFillToTheLimitAndLongTextsAreSplit) {
  const std::size_t limit = Html_writer::fill_limit, size = Html_writer::buffer_size;
  struct Case {
    const char* what;
    std::vector<std::size_t> texts;  // lengths appended in order
    int buffers;
  } cases[] = {
      {"exactly the fill limit", {limit}, 1},
      {"one byte past the limit starts the next buffer", {limit, 1}, 2},
      {"a text that would pass the end goes whole to a new buffer", {limit - 10, 1500}, 2},
      {"a text that ends one byte before the end fits", {limit - 10, 1033}, 2},
      {"a text filling a fresh buffer but its zero", {size - 1}, 2},
      {"a text longer than a buffer is split", {100, 3 * size + 5}, 4},
      {"many small texts", std::vector<std::size_t>(10000, 7), 3},
  };
  for (const Case& c : cases) {
    Html_writer w;
    ASSERT_TRUE(w.start());
    std::string expected;
    char letter = 'a';
    for (std::size_t n : c.texts) {
      std::string text(n, letter);
      letter = letter == 'z' ? 'a' : static_cast<char>(letter + 1);
      w.append(text);
      expected += text;
    }
    EXPECT_EQ(w.buffers_in_use(), c.buffers) << c.what;
    std::string page = w.page_text(true);
    EXPECT_EQ(page.substr(page.find("</HEAD>\n") + 8, expected.size()), expected) << c.what;
    EXPECT_FALSE(w.overflowed()) << c.what;
  }
}

// Past 300 buffers the page goes to the file as it grows: written whole (20 MB), never more
// than 300 buffers held. A page that cannot be written, or is dropped, leaves the old page.
TEST(Html_writer, APageBeyondThreeHundredBuffersIsWrittenWhole) {
  const struct {
    const char* folder;  // of the output file
    bool finished;       // write_page, else free
    const char* error;
  } cases[] = {{"", true, ""}, {"missing/", true, "Unable to open output file for writing to web server.\n"}, {"", false, ""}};
  for (const auto& c : cases) {
    Temp_dir dir;
    Message_recorder errors;
    write_file(dir.file("big.htm"), "old");
    Html_writer w;
    ASSERT_TRUE(w.start());
    w.set_output_path(Ref_string(dir.file(std::string(c.folder) + "big.htm")));
    std::string line(1000, 'x');
    int most = 0;
    for (int i = 0; i < 20000; ++i, most = std::max(most, w.buffers_in_use())) {
      line[0] = static_cast<char>('a' + i % 26);
      w.append(line);
    }
    EXPECT_EQ(most, Html_writer::max_buffers);
    const bool written = c.finished && !*c.error;
    EXPECT_EQ(c.finished ? w.write_page(false) : (w.free(), false), written);
    EXPECT_EQ(errors.all(), c.error);
    EXPECT_FALSE(std::filesystem::exists(dir.file("big.htm.part")) || std::filesystem::exists(dir.file("missing")));
    const std::string page = read_file(dir.file("big.htm")), head = "<HTML>\n<HEAD><TITLE></TITLE></HEAD>\n";
    if (!written) {
      EXPECT_EQ(page, "old");
      continue;
    }
    ASSERT_EQ(page.size(), head.size() + 20000000 + std::string("</BODY>\n</HTML>\n").size());
    for (int i = 0; i < 20000; i += 4999) EXPECT_EQ(page[head.size() + i * 1000u], 'a' + i % 26) << i;
  }
}

TEST(Html_writer, AnOutputFileThatCannotBeOpenedIsReportedAndTheBuffersFreed) {
  Temp_dir dir;
  Message_recorder errors;
  Html_writer w;
  ASSERT_TRUE(w.start());
  w.append("page");
  w.set_output_path(Ref_string(dir.file("missing/page.htm")));
  EXPECT_FALSE(w.write_page(false));
  EXPECT_EQ(w.buffers_in_use(), 0);
  EXPECT_EQ(errors.texts(), std::vector<std::string>{"Unable to open output file for writing to web server."});
}

}  // namespace
}  // namespace orvalis::testing
