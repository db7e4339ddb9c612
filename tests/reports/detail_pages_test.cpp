// The detail texts, the advertisement line they copy in, the framed document page with its
// script, the advertisement page, and the escaping and naming rules under them.
#include "reports/detail_pages.h"

#include <gtest/gtest.h>

#include "reports/advertisement_page.h"
#include "reports/html_text.h"
#include "reports_test_support.h"

namespace orvalis::testing {
namespace {

TEST(Detail_pages, TopicDetailTakesTheKeywordLabelByCount) {
  struct Case {
    Ref_list<Ref_string> terms;
    const char* tail;
  } cases[] = {
      {{}, "<STRONG>Keywords:</STRONG> \r\n"},
      {{"ice"}, "<STRONG>Keyword:</STRONG> ice\r\n"},
      {{"ice", "a<b"}, "<STRONG>Keywords:</STRONG> ice, a&lt;b\r\n"},
  };
  for (const Case& c : cases) {
    Topic t;
    t.name = "Glaciers & ice";
    t.definition = "Slow \"rivers\".";
    t.terms = c.terms;
    EXPECT_EQ(topic_detail(t), Ref_string(std::string("<HTML>\r\n<BODY>\r\n<FONT SIZE=2>\r\n<STRONG>Glaciers &amp; ice</STRONG>\r\n"
                                                      "<P>\r\nSlow &quot;rivers&quot;.<P>\r\n") +
                                          c.tail + "</BODY>\r\n</HTML>\r\n"));
  }
}

TEST(Detail_pages, DocumentDetailCopiesTheAdvertisementLineOnlyWhenShown) {
  Temp_dir dir;
  write_file(dir.file("Alta.htm"), "<HTML>\n<BODY>\n<A HREF=\"x\">AD</A>\nrest\n");
  write_file(dir.file("Plain.htm"), "<HTML>\r\n<BODY BACKGROUND=\"x\">\r\nad\r\n");
  Document d;
  d.address = "http://a/?x=1&y=2";
  d.title = "AT&T";
  d.num_anchors = 4;
  d.num_images = 2;
  d.time_last_retrieved = Db_date::at(1);
  d.abstract = {"One.", "<b>&amp;"};
  d.summary = {"<b>&amp;"};
  d.annotation = "see <this>";
  const std::string body =
      "\r\n<STRONG>AT&amp;T</STRONG>\r\n<BR>\r\n<A HREF=\"http://a/?x=1&amp;y=2\">http://a/?x=1&amp;y=2</A>\r\n<BR>\r\n"
      "<STRONG>Links:</STRONG>4<STRONG>Images:</STRONG>2<P>\r\n<STRONG>Summary:</STRONG>One. &lt;b&gt;&amp;amp;\r\n<P>\r\n"
      "<STRONG>Keyword:</STRONG>&lt;b&gt;&amp;amp;<P>\r\n<STRONG>Annotation:</STRONG>see &lt;this&gt;</FONT>\r\n</BODY>\r\n</HTML>\r\n";
  struct Case {
    const char* resource;
    bool shown;
    const char* piece;
  } cases[] = {
      {"Alta", true, "<a href=\"x\">ad</a>"},
      {"Alta", false, ""},
      {"Plain", true, ""},  // no "<body>" line
      {"Missing", true, ""},
  };
  for (const Case& c : cases) {
    Document_link link;
    link.search_resource = c.resource;
    Detail_options options{Ref_string(dir.str()), c.shown};
    EXPECT_EQ(document_detail(d, link, options),
              Ref_string(std::string("<HTML>\r\n<BODY>\r\n<FONT SIZE=2>\r\n") + c.piece + body));
  }
}

TEST_F(Pages_test, FramedPageHoldsTheAddressEscapedForItsScript) {
  Document d;
  d.url_id = 7;
  d.address = "http://h/?a='</SCRIPT><SCRIPT>alert(1)</SCRIPT>\"&b=\\";
  d.title = "T";
  Document_link link;
  link.search_resource = "Alta Vista";
  Ref_string name = framed_document_page(d, link, options);
  EXPECT_EQ(name, "d7.htm");
  std::string p = page("d7.htm");
  EXPECT_TRUE(only_our_markup(p)) << p;
  EXPECT_NE(p.find("window.location.href = 'http://h/?a=\\x27\\x3C/SCRIPT\\x3E\\x3CSCRIPT\\x3Ealert(1)"
                   "\\x3C/SCRIPT\\x3E\\x22\\x26b=\\x5C'\r\n"),
            std::string::npos)
      << p;
  EXPECT_NE(p.find("<FRAME NAME=\"AdWindow\" SRC=\"../engines/AltaVista.htm\">"), std::string::npos);
}

TEST_F(Pages_test, ViewInBrowserFramesADocumentUnderItsEnginesAdvertisement) {
  Document d;
  d.url_id = 9;
  d.address = "http://h/doc";
  write_file(dir.file("engines/Alta.htm"), "<HTML><BODY>\n<A HREF=x>ad</A>\n</BODY></HTML>");
  struct Case {
    bool shown;
    const char* resource;
    bool framed;
  } cases[] = {{true, "Alta", true}, {false, "Alta", false}, {true, "Lycos", false}, {true, "", false}};
  for (const Case& c : cases) {
    Document_link link;
    link.search_resource = c.resource;
    Ref_string opened = document_browser_address(d, link, {Ref_string(dir.file("engines")), c.shown}, options);
    EXPECT_EQ(opened.str(), c.framed ? "file://" + dir.file("pages/d9.htm") : "http://h/doc") << c.resource;
  }
  EXPECT_TRUE(has(page("d9.htm"), "<FRAME NAME=\"AdWindow\" SRC=\"../engines/Alta.htm\">"));
}

// Titles are stored as the page showed them: escaped once, never decoded again.
TEST_F(Pages_test, TitlesShowAsStored) {
  struct Case {
    const char* title;
    const char* shown;
  } cases[] = {{"AT&T", "AT&amp;T"}, {"&lt;b&gt;", "&amp;lt;b&amp;gt;"}, {"<b>\"x\"", "&lt;b&gt;&quot;x&quot;"}};
  for (const Case& c : cases) {
    Topic_handle t = add_topic("T");
    Document_handle d = add_document(*t, "http://t/" + std::to_string(t->concept_id), c.title);
    ASSERT_FALSE(publish_topic_page(*t, options).empty());
    EXPECT_TRUE(has(page("t" + std::to_string(t->concept_id) + ".htm"), std::string(">") + c.shown + "</A>")) << c.title;
    Document_link link;
    EXPECT_TRUE(has(document_detail(*d, link, Detail_options{}).str(), std::string("<STRONG>") + c.shown + "</STRONG>"));
    Ref_string framed = framed_document_page(*d, link, options);
    EXPECT_TRUE(has(page(framed.str()), std::string("<TITLE>") + c.shown + "</TITLE>")) << c.title;
  }
}

TEST(Advertisement_page, RebuildsTheTagsFromSafeAttributes) {
  Advertisement ad;
  ad.resource_name = "Alta";
  ad.anchor.set("href", "http://ads.example/go?a=1&amp;b=2");
  ad.anchor.set("onclick", "steal()");
  ad.image.set("src", "http://ads.example/banner.gif");
  ad.image.set("alt", "Buy \"now\"");
  ad.image.set("width", "468");
  ad.image.set("onerror", "alert(1)");
  ad.image_file = advertisement_image_name(ad.resource_name, "http://ads.example/banner.gif?x=1");
  std::string text = advertisement_page_text(ad).str();
  EXPECT_TRUE(only_our_markup(text)) << text;
  EXPECT_NE(text.find("<a href=\"http://ads.example/go?a=1&amp;b=2\" target=\"_top\"><img src=\"Alta.gif\" align=\"right\" "
                      "alt=\"Buy &quot;now&quot;\" width=\"468\"></A>"),
            std::string::npos)
      << text;
  ad.anchor.set("href", "javascript:alert(1)");
  ad.resource_name = "../../<b>x";
  Temp_dir dir;
  ASSERT_TRUE(write_advertisement_page(ad, Ref_string(dir.str())));
  text = read_file(dir.file("bx.htm"));
  EXPECT_NE(text.find("<a href=\"about:blank\" target=\"_top\">"), std::string::npos);
  EXPECT_NE(text.find("<I>../../&lt;b&gt;x</I>"), std::string::npos);
}

TEST(Html_text, NamesAddressesAndScriptStrings) {
  struct Name_case {
    const char* resource;
    const char* image;
    const char* page;
    const char* image_name;
  } names[] = {
      {"Alta", "http://x/a.gif?x=1", "Alta.htm", "Alta.gif"},
      {"Alta", "http://x/img", "Alta.htm", "Alta"},
      {"My Engine", "http://x/b.JPG", "MyEngine.htm", "MyEngine.JPG"},
      {"../../etc/passwd", "http://x/a.gif", "etcpasswd.htm", "etcpasswd.gif"},
      {"", "http://x/a", "_.htm", "_"},
  };
  for (const Name_case& c : names) {
    EXPECT_EQ(advertisement_page_name(c.resource), c.page) << c.resource;
    EXPECT_EQ(advertisement_image_name(c.resource, c.image), c.image_name) << c.resource;
  }
  struct Address_case {
    const char* address;
    const char* safe;
  } addresses[] = {
      {"http://x/", "http://x/"},     {"HTTPS://x/", "HTTPS://x/"},       {"ftp://x/f", "ftp://x/f"},
      {"page.htm", "page.htm"},       {"/a:b", "/a:b"},                   {"javascript:alert(1)", "about:blank"},
      {" java\tscript:x", "about:blank"}, {"data:text/html,x", "about:blank"}, {"vbscript:x", "about:blank"},
  };
  for (const Address_case& c : addresses) EXPECT_EQ(safe_address(c.address), c.safe) << c.address;
  EXPECT_EQ(escape_js_string("a'b\"c\\d\n<&>\xE2\x80\xA8z"), "a\\x27b\\x22c\\x5Cd\\x0A\\x3C\\x26\\x3E\\u2028z");
  EXPECT_EQ(escape_html("a&b<c>d\"e'"), "a&amp;b&lt;c&gt;d&quot;e'");
}

}  // namespace
}  // namespace orvalis::testing
