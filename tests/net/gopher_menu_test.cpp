// The conversion of gopher menus and texts into pages: which lines become links, where the
// menu ends, and links that Url::resolve reads back as the entry's gopher address.
#include <gtest/gtest.h>

#include <string>

#include "foundation/url.h"
#include "net/gopher_connection.h"

namespace orvalis {
namespace {

std::string menu(const std::string& text) {
  return gopher_menu_to_html(text.data(), static_cast<std::int64_t>(text.size())).str();
}

// One row per menu: the links of its page, in order.
TEST(Gopher_menu, WhichLinesBecomeLinks) {
  const struct {
    const char* what;
    const char* menu;
    const char* links;
  } cases[] = {
      {"text and menu entries only",
       "iWelcome\t\terror.host\t1\r\n0About us\t/about.txt\tgopher.example\t70\r\n"
       "1Archive\t/archive\tgopher.example\t7070\r\n7Search\t/search\tgopher.example\t70\r\n"
       "9Binary\t/file.bin\tgopher.example\t70\r\n.\r\n",
       "<a href=\"gopher://gopher.example:70/0/about.txt\">About us</a><br>\n"
       "<a href=\"gopher://gopher.example:7070/1/archive\">Archive</a><br>\n"},
      {"an empty line ends the menu", "0First\t/a\th\t70\n\n0Second\t/b\th\t70\n",
       "<a href=\"gopher://h:70/0/a\">First</a><br>\n"},
      {"malformed lines are passed over",
       "0no tabs at all\r\n0two\tfields\r\n1three\tfields\thost\r\n0bad host\t/x\thost/evil:1\t70\r\n"
       "0good\t/ok\thost\t70\r\n",
       "<a href=\"gopher://host:70/0/ok\">good</a><br>\n"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(menu(c.menu), std::string("<HTML><body><pre>\n") + c.links + "</pre></body></html>") << c.what;
}

TEST(Gopher_menu, LinksResolveToTheEntryWithACleanPort) {
  Url base("gopher://elsewhere/1/");
  Ref_string link = gopher_link('0', " /dir/a b+c%#\"<x>", "host.example", "7070\r");
  EXPECT_EQ(link.find('\r'), -1);
  EXPECT_EQ(link.find('"'), -1);
  Url back(base.resolve(link));
  EXPECT_EQ(back.scheme_code(), Url::gopher);
  EXPECT_EQ(back.host(), "host.example");
  EXPECT_EQ(back.port(), 7070);
  // The fetch decodes the path: the selector comes back as it was.
  EXPECT_EQ(url_decode(back.path()), "/0 /dir/a b+c%#\"<x>");
  EXPECT_EQ(gopher_link('1', "/", "h", "junk"), "gopher://h:70/1/");
  EXPECT_EQ(gopher_link('1', "/", "", "70"), "");
}

TEST(Gopher_menu, DisplayTextCannotAddMarkup) {
  std::string page = menu("0<script>x</script> & co\t/s\th\t70\n");
  EXPECT_NE(page.find("&lt;script&gt;x&lt;/script&gt; &amp; co</a>"), std::string::npos);
}

}  // namespace
}  // namespace orvalis
