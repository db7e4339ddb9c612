// The encoding of a page: the order of the sources (mark, header, meta prescan, valid UTF-8,
// windows-1252), labels browsers map, and conversion that never lets invalid UTF-8 through.
#include <gtest/gtest.h>

#include <string>

#include "foundation/page_encoding.h"

namespace orvalis {
namespace {

const std::string kFffd = "\xEF\xBF\xBD";

TEST(Page_encoding, TheOrderOfTheSourcesDecides) {
  const std::string latin = "<p>Caf\xE9 cr\xE8me</p>";
  const std::string meta_1251 = "<meta charset=\"windows-1251\"><p>\xCD\xEE\xE2\xEE\xF1\xF2\xE8</p>";
  const std::string late_meta = std::string(1100, ' ') + "<meta charset=koi8-r><p>\xE9</p>";
  const struct {
    const char* what;
    std::string bytes;
    std::string content_type;
    std::string name;
    Page_encoding::Source source;
    std::string text;  // the converted page; empty: not checked
  } cases[] = {
      {"mark beats header", "\xEF\xBB\xBF<p>\xC3\xA9</p>", "text/html; charset=iso-8859-1", "UTF-8",
       Page_encoding::byte_order_mark, "<p>\xC3\xA9</p>"},
      {"UTF-16LE with its mark", std::string("\xFF\xFE<\0p\0>\0\xE9\0", 10), "", "UTF-16LE",
       Page_encoding::byte_order_mark, "<p>\xC3\xA9"},
      {"UTF-16BE with its mark", std::string("\xFE\xFF\0<\0p\0>\0\xE9", 10), "", "UTF-16BE",
       Page_encoding::byte_order_mark, "<p>\xC3\xA9"},
      {"header beats meta", meta_1251, "text/html; charset=\"KOI8-R\"", "KOI8-R", Page_encoding::header, ""},
      {"header latin1 reads as windows-1252", latin, "text/html;charset=ISO-8859-1", "WINDOWS-1252",
       Page_encoding::header, "<p>Caf\xC3\xA9 cr\xC3\xA8me</p>"},
      {"meta charset", meta_1251, "text/html", "WINDOWS-1251", Page_encoding::meta,
       "<meta charset=\"windows-1251\"><p>\xD0\x9D\xD0\xBE\xD0\xB2\xD0\xBE\xD1\x81\xD1\x82\xD0\xB8</p>"},
      {"http-equiv content type", "<!-- <meta charset=koi8-r> --><META HTTP-EQUIV='Content-Type' "
       "CONTENT='text/html; charset=shift_jis'>\x93\xFA\x96\x7B", "", "CP932", Page_encoding::meta, ""},
      {"content without http-equiv is no declaration", "<meta content='text/html; charset=koi8-r'>\xE9", "",
       "WINDOWS-1252", Page_encoding::fallback, ""},
      {"meta after 1024 bytes ignored", late_meta, "", "WINDOWS-1252", Page_encoding::fallback, ""},
      {"quoted '>' in an earlier tag", "<a title='>'><meta charset=gbk>", "", "GB18030", Page_encoding::meta, ""},
      {"meta utf-16 on bytes means UTF-8", "<meta charset=utf-16><p>\xC3\xA9", "", "UTF-8", Page_encoding::meta, ""},
      {"valid UTF-8", "<p>\xE2\x82\xAC 5</p>", "text/html", "UTF-8", Page_encoding::valid_utf8, ""},
      {"unknown header label falls through", latin, "text/html; charset=x-klingon", "WINDOWS-1252",
       Page_encoding::fallback, "<p>Caf\xC3\xA9 cr\xC3\xA8me</p>"},
      {"a conversion mode is not a label", latin, "text/html; charset=utf-8//IGNORE", "WINDOWS-1252",
       Page_encoding::fallback, ""},
      {"neither: windows-1252", "\x93quoted\x94 \x80", "", "WINDOWS-1252", Page_encoding::fallback,
       "\xE2\x80\x9Cquoted\xE2\x80\x9D \xE2\x82\xAC"},
  };
  for (const auto& c : cases) {
    Page_encoding found;
    const std::string text = page_to_utf8(c.bytes, c.content_type, &found);
    EXPECT_EQ(found.name, c.name) << c.what;
    EXPECT_EQ(found.source, c.source) << c.what;
    EXPECT_TRUE(is_valid_utf8(text)) << c.what;
    if (!c.text.empty()) {
      EXPECT_EQ(text, c.text) << c.what;
    }
  }
}

TEST(Page_encoding, EveryCommonEncodingConvertsAndBadBytesBecomeReplacements) {
  const struct {
    const char* label;
    std::string bytes;
    std::string utf8;
  } cases[] = {
      {"windows-1251", "\xCF\xF0\xE8\xE2\xE5\xF2", "\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82"},
      {"shift_jis", "\x93\xFA\x96\x7B\x5C", "\xE6\x97\xA5\xE6\x9C\xAC\\"},
      {"gb2312", "\xD6\xD0\xCE\xC4", "\xE4\xB8\xAD\xE6\x96\x87"},
      {"GB18030", "\x81\x30\x81\x30", "\xC2\x80"},
      {"euc-kr", "\xC7\xD1\xB1\xB9", "\xED\x95\x9C\xEA\xB5\xAD"},
      {"big5", "\xA4\xA4", "\xE4\xB8\xAD"},
      {"shift_jis", "a\x81\x20z", "a" + kFffd + " z"},        // a lead byte without its trail
      {"euc-kr", "ok\xC7", "ok" + kFffd},                      // cut at the end
      {"utf-8", "a\xC0\xAF b\xED\xA0\x80 c\xF4\x90\x80\x80", "a" + kFffd + kFffd + " b" + kFffd + kFffd + kFffd +
                                                                 " c" + kFffd + kFffd + kFffd + kFffd},
      {"utf-8", "\xE2\x82", kFffd},                            // one cut sequence, one replacement
  };
  for (const auto& c : cases) {
    const std::string name = encoding_for_label(c.label);
    ASSERT_FALSE(name.empty()) << c.label;
    const std::string out = convert_to_utf8(c.bytes, name);
    EXPECT_EQ(out, c.utf8) << c.label;
    EXPECT_TRUE(is_valid_utf8(out)) << c.label;
  }
}

TEST(Page_encoding, GarbageNeverLeavesInvalidText) {
  std::string noise;
  unsigned state = 12345;
  for (int i = 0; i < 20000; ++i) {
    state = state * 1103515245u + 12345u;
    noise += static_cast<char>(state >> 16);
  }
  for (const char* label : {"utf-8", "shift_jis", "gb18030", "euc-kr", "utf-16", "iso-2022-jp", "windows-1252"}) {
    const std::string out = convert_to_utf8(noise, encoding_for_label(label));
    EXPECT_TRUE(is_valid_utf8(out)) << label;
    EXPECT_FALSE(out.empty()) << label;
  }
  EXPECT_TRUE(is_valid_utf8(page_to_utf8(noise, "text/html; charset=")));
  EXPECT_EQ(content_type_charset("text/html; foo=\"a;b\"; charset = \"utf-8\""), "utf-8");
  EXPECT_EQ(content_type_charset("text/html; charset"), "");
}

}  // namespace
}  // namespace orvalis
