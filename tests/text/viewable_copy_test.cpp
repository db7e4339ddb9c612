// A saved copy made viewable: nothing of the page runs, its addresses lead where they led, it
// reads as UTF-8, and a broken page still gives a page (the rest shown as text).
#include "text/viewable_copy.h"

#include <gtest/gtest.h>

#include <string>

namespace orvalis {
namespace {

constexpr const char* kBase = "http://127.0.0.1:8080/docs/guide/page.html";
constexpr const char* kMeta = "<meta charset=\"utf-8\">";

TEST(ViewableCopy, ScriptsGoAndAddressesBecomeAbsolute) {
  const struct {
    const char* name;
    const char* html;
    const char* expected;  // "%" stands for the charset meta tag
  } cases[] = {
      {"charset after head", "<html><head><title>T</title></head></html>",
       "<html><head>%<title>T</title></head></html>"},
      {"charset before the first element without head", "<!DOCTYPE html><p>x</p>", "<!DOCTYPE html>%<p>x</p>"},
      {"no element at all", "just text", "%just text"},
      {"script elements in any case", "<p>a<script>alert(1)</script>b<SCRIPT type=x>x<y</ScRiPt >c</p>",
       "%<p>abc</p>"},
      {"script never closed takes the rest", "<p>a</p><script>var x = '</p>';", "%<p>a</p>"},
      {"event attributes and srcdoc", "<body onload=\"go()\" class=a><iframe srcdoc=\"<script>\"></iframe>",
       "%<body class=\"a\"><iframe></iframe>"},
      {"relative, rooted and absolute links",
       "<a href=\"next.html\">n</a><a href='/top'>t</a><a href=http://other.example/x>o</a><a href=\"#s\">s</a>",
       "%<a href=\"http://127.0.0.1:8080/docs/guide/next.html\">n</a><a href=\"http://127.0.0.1:8080/top\">t</a>"
       "<a href=\"http://other.example/x\">o</a><a href=\"#s\">s</a>"},
      {"script addresses", "<a href=\" JavaScript:alert(1)\">x</a><form action=\"vbscript:x\"></form>",
       "%<a href=\"about:blank\">x</a><form action=\"about:blank\"></form>"},
      {"other schemes stay", "<a href=\"mailto:a@b.example\">m</a><img src=\"data:image/png;base64,AA\">",
       "%<a href=\"mailto:a@b.example\">m</a><img src=\"data:image/png;base64,AA\">"},
      {"srcset candidates", "<img src=a.png srcset=\"a.png 1x, /b.png 2x\" alt='say \"hi\"'/>",
       "%<img src=\"http://127.0.0.1:8080/docs/guide/a.png\" srcset=\"http://127.0.0.1:8080/docs/guide/a.png 1x, "
       "http://127.0.0.1:8080/b.png 2x\" alt=\"say &quot;hi&quot;\" />"},
      {"base, refresh and charset metas go",
       "<head><base href=\"http://elsewhere.example/\"><meta http-equiv=Refresh content=\"0;url=x\">"
       "<meta charset=windows-1251><meta name=k content=v></head>",
       "<head>%<meta name=\"k\" content=\"v\"></head>"},
      {"comments go", "<p>a<!-- <script>x</script> -->b<!-- never closed", "%<p>ab"},
      {"a lone < is text", "<p>1 < 2 and 3 <4</p>", "%<p>1 &lt; 2 and 3 &lt;4</p>"},
      {"a tag that never ends is text", "<p>ok</p><a href=\"x>never", "%<p>ok</p>&lt;a href=&quot;x&gt;never"},
  };
  for (const auto& c : cases) {
    std::string expected = c.expected;
    if (size_t at = expected.find('%'); at != std::string::npos) expected.replace(at, 1, kMeta);
    EXPECT_EQ(viewable_copy_html(c.html, kBase), expected) << c.name;
  }
}

TEST(ViewableCopy, HostilePagesStayLinear) {
  // Many tags with an open quote, many "<", one huge attribute: each a single pass.
  std::string open_quotes, lts;
  for (int i = 0; i < 200000; ++i) open_quotes += "<a title=\"x ";
  lts.assign(2000000, '<');
  for (const std::string& page : {open_quotes, lts}) {
    const std::string out = viewable_copy_html(page, kBase);
    EXPECT_GT(out.size(), page.size());
  }
}

TEST(ViewableCopy, TextCopyIsAnEscapedPage) {
  const std::string page = viewable_copy_text("First <b>line</b>.\n\nSecond & last.", "Title \"quoted\"",
                                              "http://127.0.0.1/a?b=1&c=2", "2026-12-07 10:42");
  EXPECT_NE(page.find(std::string(kMeta) + "<title>Title &quot;quoted&quot;</title>"), std::string::npos) << page;
  EXPECT_NE(page.find("<a href=\"http://127.0.0.1/a?b=1&amp;c=2\">"), std::string::npos) << page;
  EXPECT_NE(page.find("<p>First &lt;b&gt;line&lt;/b&gt;.</p>\n<p>Second &amp; last.</p>\n"), std::string::npos) << page;
  EXPECT_NE(page.find("2026-12-07 10:42"), std::string::npos);
}

}  // namespace
}  // namespace orvalis
