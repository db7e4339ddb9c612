#include "text/html_tag.h"

#include <gtest/gtest.h>

#include <string>

namespace orvalis {
namespace {

Html_tag tag(const std::string& text) { return Html_tag(Ref_string(text)); }

// ---- Names ----

TEST(Html_tag_name, IsLowerCasedAndStopsAtWhiteSpaceQuoteOrEnd) {
  EXPECT_EQ(tag("<A HREF=x>").name(), "a");
  EXPECT_EQ(tag("<TITLE>").name(), "title");
  EXPECT_EQ(tag("</Title>").name(), "/title");
  EXPECT_EQ(tag("<!-- note -->").name(), "!--");
  EXPECT_EQ(tag("<>").name(), "");
  EXPECT_EQ(tag("<img\"x\">").name(), "img");
  EXPECT_EQ(tag("<p").name(), "p");
}

TEST(Html_tag_name, IsCutAt72BytesWithoutSplittingACharacter) {
  EXPECT_EQ(tag("<" + std::string(100, 'x') + ">").name().length(), 72);
  // 71 ASCII bytes then a two-byte character: the cut falls before it, not inside it.
  EXPECT_EQ(tag("<" + std::string(71, 'x') + "é>").name().str(), std::string(71, 'x'));
}

TEST(Html_tag_predicates, CompareNamesWithoutRegardToCase) {
  EXPECT_TRUE(tag("<STRONG>").is_emphasis_start());
  EXPECT_TRUE(tag("</EM>").is_emphasis_end());
  EXPECT_TRUE(tag("<H2 class=x>").is_heading_start());
  EXPECT_FALSE(tag("<h10>").is_heading_start());
  EXPECT_TRUE(tag("<BR>").breaks_sentence());
  EXPECT_FALSE(tag("<p>").breaks_sentence());
  EXPECT_TRUE(tag("<Input type=text>").is("INPUT"));
}

// ---- Attributes ----

TEST(Html_tag_attributes, QuotedValuesKeepTheirCaseUnquotedOnesAreLowerCased) {
  Html_tag a = tag("<A HREF=\"X.html\" Target='Main'>");
  EXPECT_EQ(a.attribute("href"), "X.html");
  EXPECT_EQ(a.attribute("HREF"), "X.html");
  EXPECT_EQ(a.attribute("target"), "Main");
  Html_tag img = tag("<IMG SRC=Pic.GIF WIDTH = 20>");
  EXPECT_EQ(img.attribute("src"), "pic.gif");
  EXPECT_EQ(img.attribute("width"), "20");
}

TEST(Html_tag_attributes, MissingAttributeIsEmptyAndAttributeWithoutValueIsPresent) {
  Html_tag t = tag("<option selected value=3>");
  EXPECT_FALSE(t.has_attribute("label"));
  EXPECT_EQ(t.attribute("label"), "");
  EXPECT_TRUE(t.has_attribute("selected"));
  EXPECT_EQ(t.attribute("value"), "3");
}

TEST(Html_tag_attributes, LaterDuplicateReplacesTheValueInPlace) {
  Html_tag t = tag("<a href=one name=n HREF=two>");
  ASSERT_EQ(t.attributes().count(), 2);
  EXPECT_EQ(t.attributes().pairs().first().name, "href");
  EXPECT_EQ(t.attribute("href"), "two");
}

TEST(Html_tag_attributes, LineBreaksAreRemovedFromTheHrefOfAnAnchorOnly) {
  EXPECT_EQ(tag("<a href=\"http://x.example/a\r\nb.html\">").attribute("href"),
            "http://x.example/ab.html");
  EXPECT_EQ(tag("<link href=\"a\nb\">").attribute("href"), "a\nb");
  EXPECT_EQ(tag("<a title=\"a\nb\">").attribute("title"), "a\nb");
}

TEST(Html_tag_attributes, MissingClosingQuoteRunsTheValueToTheEndOfTheText) {
  EXPECT_EQ(tag("<a href=\"x.html>").attribute("href"), "x.html>");
}

TEST(Html_tag_attributes, LongUnquotedValueIsCutAndItsRestReadAsTheNextName) {
  const std::string rest = "tail";
  Html_tag t = tag("<a href=" + std::string(72, 'v') + rest + " id=1>");
  EXPECT_EQ(t.attribute("href").str(), std::string(72, 'v'));
  EXPECT_TRUE(t.has_attribute("tail"));
  EXPECT_EQ(t.attribute("id"), "1");
}

TEST(Html_tag_attributes, QuotedValueIsCutAt1024BytesAtACharacterBoundary) {
  Html_tag t = tag("<img alt=\"" + std::string(1023, 'a') + "ü" + std::string(10, 'b') + "\">");
  EXPECT_EQ(t.attribute("alt").str(), std::string(1023, 'a'));
}

TEST(Html_tag_attributes, AMegabyteValueAndThousandsOfAttributesStayBounded) {
  Html_tag big = tag("<a href=\"" + std::string(1 << 20, 'x') + "\">");
  EXPECT_EQ(big.attribute("href").length(), 1024);
  std::string many = "<a";
  for (int i = 0; i < 20000; ++i) many += " n" + std::to_string(i);
  many += " href=z>";
  Html_tag t = tag(many);
  EXPECT_EQ(t.attributes().count(), Html_tag::max_attributes);
  EXPECT_TRUE(t.has_attribute("n0"));
}

TEST(Html_tag_attributes, StrayQuotesAndEqualSignsGiveNoNamelessAttribute) {
  Html_tag t = tag("<a \"junk\" =x href=y '>");
  EXPECT_EQ(t.attribute("href"), "y");
  EXPECT_FALSE(t.has_attribute(""));
}

// ---- Rebuilt text ----

TEST(Html_tag_text, IsTheTagAsFoundUntilAnAttributeIsSet) {
  Html_tag t = tag("<INPUT type=text NAME=q>");
  EXPECT_EQ(t.text(), "<INPUT type=text NAME=q>");
  t.set_attribute("value", "a b");
  EXPECT_EQ(t.text(), "<input type=text name=q value=\"a b\">");
}

TEST(Html_tag_text, RebuildQuotesValuesWithNonAlphanumericsAndOmitsEmptyOnes) {
  Html_tag t = tag("<img src=\"Pic.gif\" ismap>");
  t.set_attribute("SRC", "http://x.example/pic.gif");
  EXPECT_EQ(t.text(), "<img src=\"http://x.example/pic.gif\" ismap>");
  t.set_attribute("width", "20");
  EXPECT_EQ(t.text(), "<img src=\"http://x.example/pic.gif\" ismap width=20>");
}

TEST(Html_tag_text, ZeroBytesInATokenBecomeBlanks) {
  const char token[] = {'<', 'a', '\0', 'h', 'r', 'e', 'f', '=', 'x', '>'};
  Html_tag t(token, static_cast<int>(sizeof token));
  EXPECT_EQ(t.name(), "a");
  EXPECT_EQ(t.attribute("href"), "x");
}

}  // namespace
}  // namespace orvalis
