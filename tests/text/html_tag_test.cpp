#include "text/html_tag.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace orvalis {
namespace {

Html_tag tag(const std::string& text) { return Html_tag(Ref_string(text)); }

TEST(Html_tag, NamesAreLowerCasedAndCutWithoutSplittingACharacter) {
  const std::pair<std::string, std::string> cases[] = {
      {"<A HREF=x>", "a"}, {"</Title>", "/title"}, {"<!-- note -->", "!--"}, {"<>", ""},
      {"<img\"x\">", "img"}, {"<p", "p"}, {"<" + std::string(100, 'x') + ">", std::string(72, 'x')},
      // 71 ASCII bytes then a two-byte character: the cut falls before it, not inside it.
      {"<" + std::string(71, 'x') + "é>", std::string(71, 'x')},
  };
  for (const auto& [text, name] : cases) EXPECT_EQ(tag(text).name().str(), name) << text;
}

TEST(Html_tag_predicates, CompareNamesWithoutRegardToCase) {
  EXPECT_TRUE(tag("<STRONG>").is_emphasis_start());
  EXPECT_TRUE(tag("</EM>").is_emphasis_end());
  EXPECT_TRUE(tag("<H2 class=x>").is_heading_start());
  EXPECT_FALSE(tag("<h10>").is_heading_start());
  EXPECT_TRUE(tag("<BR>").breaks_sentence());
  EXPECT_TRUE(tag("<p>").breaks_sentence());
  EXPECT_FALSE(tag("<span>").breaks_sentence());
  EXPECT_TRUE(tag("<Input type=text>").is("INPUT"));
}

// Each tag with attribute names and their values ("<none>": not present).
TEST(Html_tag, Attributes) {
  using Pairs = std::vector<std::pair<std::string, std::string>>;
  const std::pair<std::string, Pairs> cases[] = {
      // Quoted values keep their case, unquoted ones are lower-cased; names ignore case.
      {"<A HREF=\"X.html\" Target='Main'>", {{"HREF", "X.html"}, {"target", "Main"}}},
      {"<IMG SRC=Pic.GIF WIDTH = 20>", {{"src", "pic.gif"}, {"width", "20"}}},
      {"<option selected value=3>", {{"label", "<none>"}, {"selected", ""}}},
      {"<a href=one name=n HREF=two>", {{"href", "two"}}},  // a later duplicate replaces the value
      // Line breaks are removed from the href of an anchor only.
      {"<a href=\"http://x.example/a\r\nb.html\">", {{"href", "http://x.example/ab.html"}}},
      {"<link href=\"a\nb\">", {{"href", "a\nb"}}},
      {"<a title=\"a\nb\">", {{"title", "a\nb"}}},
      {"<a href=\"x.html>", {{"href", "x.html>"}}},  // a missing closing quote runs to the end
      // A long unquoted value is cut and its rest read as the next name.
      {"<a href=" + std::string(72, 'v') + "tail id=1>",
       {{"href", std::string(72, 'v')}, {"tail", ""}, {"id", "1"}}},
      // A quoted value is cut at max_quoted_value bytes on a character boundary.
      {"<img alt=\"" + std::string(Html_tag::max_quoted_value - 1, 'a') + "ü" + std::string(10, 'b') + "\">",
       {{"alt", std::string(Html_tag::max_quoted_value - 1, 'a')}}},
      // Stray quotes and equal signs give no nameless attribute.
      {"<a \"junk\" =x href=y '>", {{"href", "y"}, {"", "<none>"}}},
  };
  for (const auto& [text, pairs] : cases) {
    Html_tag t = tag(text);
    for (const auto& [name, value] : pairs) {
      const Ref_string key(name);
      EXPECT_EQ(t.has_attribute(key) ? t.attribute(key).str() : "<none>", value) << text << " " << name;
    }
  }
  EXPECT_EQ(tag("<a href=one name=n HREF=two>").attributes().pairs().first().name, "href");
}

TEST(Html_tag_attributes, ThousandsOfAttributesStayBounded) {
  std::string many = "<a";
  for (int i = 0; i < 20000; ++i) many += " n" + std::to_string(i);
  many += " href=z>";
  Html_tag t = tag(many);
  EXPECT_EQ(t.attributes().count(), Html_tag::max_attributes);
  EXPECT_TRUE(t.has_attribute("n0"));
}

// ---- Rebuilt text ----

TEST(Html_tag_text, IsTheTagAsFoundUntilAnAttributeIsSet) {
  Html_tag t = tag("<INPUT type=text NAME=q>");
  EXPECT_EQ(t.text(), "<INPUT type=text NAME=q>");
  // The rebuilt text quotes values with non-alphanumerics and omits empty ones.
  t.set_attribute("value", "a b");
  t.set_attribute("TYPE", "search");  // replaces the value, whatever the name's case
  t.set_attribute("size", "20");
  t.set_attribute("autofocus", "");
  EXPECT_EQ(t.text(), "<input type=search name=q value=\"a b\" size=20 autofocus>");
}

TEST(Html_tag_text, ZeroBytesInATokenBecomeBlanks) {
  const char token[] = {'<', 'a', '\0', 'h', 'r', 'e', 'f', '=', 'x', '>'};
  Html_tag t(token, static_cast<int>(sizeof token));
  EXPECT_EQ(t.name(), "a");
  EXPECT_EQ(t.attribute("href"), "x");
}

}  // namespace
}  // namespace orvalis
