#include "foundation/ref_string.h"

#include <gtest/gtest.h>

#include "test_support.h"

namespace orvalis {
namespace {

TEST(RefStringBlocks, ShortAppendStaysInPlace) {
  Ref_string s("x");
  const char* before = s.c_str();
  s += "abc";
  EXPECT_EQ(s, "xabc");
  EXPECT_EQ(s.c_str(), before);
  s += "abcdefghijklmnopq";  // past the slack: moves
  EXPECT_EQ(s, "xabcabcdefghijklmnopq");
}

TEST(RefStringBlocks, AppendOfOwnTextSurvivesTheMove) {
  Ref_string s("abcdefghij");
  s.append(s.c_str(), s.length());
  s.append(s.c_str() + 5, 10);
  EXPECT_EQ(s, "abcdefghijabcdefghijfghijabcde");
}

TEST(RefStringSharing, CopiesShareUntilOneChanges) {
  Ref_string a("shared");
  Ref_string b = a;
  EXPECT_EQ(a.c_str(), b.c_str());
  EXPECT_EQ(a.share_count(), 2);
  b += "!";
  EXPECT_EQ(a, "shared");
  EXPECT_EQ(b, "shared!");
  Ref_string c = a;
  c.set(0, 'S');
  EXPECT_EQ(a, "shared");
  EXPECT_EQ(c, "Shared");
  const Ref_string& same = a;
  a = same;  // self-assignment keeps the text
  EXPECT_EQ(a, "shared");
}

TEST(RefStringSharing, DerivedStringsLeaveOperandAndShareWhenUnchanged) {
  Ref_string s("abc");
  Ref_string l = s.lower();
  EXPECT_EQ(l.c_str(), s.c_str());
  Ref_string u("MiXeD 9");
  EXPECT_EQ(u.lower(), "mixed 9");
  EXPECT_EQ(u, "MiXeD 9");
  EXPECT_EQ(Ref_string("a,b,c").replace(',', ';'), "a;b;c");
  EXPECT_EQ(Ref_string("a-b_c").remove_chars("-_"), "abc");
  Ref_string none("abc");
  EXPECT_EQ(none.remove_chars("xyz").c_str(), none.c_str());
}

TEST(RefString, ConstructionReadingAndComparison) {
  EXPECT_EQ(Ref_string("abcdef", 1, 3), "bcd");
  EXPECT_EQ(Ref_string("abcdef", 3, 1), "");
  EXPECT_EQ(Ref_string("abcdef", 2), "ab");
  EXPECT_EQ(Ref_string::number(-42), "-42");
  EXPECT_EQ(Ref_string(static_cast<const char*>(nullptr)), "");
  EXPECT_EQ(Ref_string::from_id(-12345), "");
  EXPECT_EQ(Ref_string("  -17abc").to_int(), -17);
  EXPECT_EQ(Ref_string("abc").to_int(), 0);
  EXPECT_TRUE(Ref_string(" \t\r\n\v\f").is_blank());
  EXPECT_FALSE(Ref_string("  x ").is_blank());
  EXPECT_TRUE(Ref_string("ab") < Ref_string("abc"));
  EXPECT_TRUE(Ref_string("Z") < Ref_string("a"));
  // Bytes of 0x80 and above sort after ASCII (unsigned comparison).
  EXPECT_TRUE(Ref_string("z") < Ref_string("\xc3\xa9"));
}

TEST(RefStringConcat, OperandsStayUntouched) {
  Ref_string a("left"), b("right");
  Ref_string c = a + b;
  EXPECT_EQ(c, "leftright");
  EXPECT_EQ(a, "left");
  EXPECT_EQ(b, "right");
  EXPECT_EQ("<" + a + ">", "<left>");
  EXPECT_EQ(concat("a", "bb", "ccc", "dddd"), "abbcccdddd");
}

TEST(RefStringEdits, DoubleAmpersands) {
  Ref_string s("a&b&&c");  // capacity 16, 3 ampersands fit
  s.double_ampersands();
  EXPECT_EQ(s, "a&&b&&&&c");
  EXPECT_EQ(s.length(), 9);
  Ref_string full("&&&&&&&&&&");  // more than the slack: moves
  full.double_ampersands();
  EXPECT_EQ(full, Ref_string::fill('&', 20));
  Ref_string shared("x&y");
  Ref_string other = shared;
  shared.double_ampersands();
  EXPECT_EQ(shared, "x&&y");
  EXPECT_EQ(other, "x&y");
}

TEST(RefStringEdits, DecodeEntitiesToUtf8) {
  const struct {
    const char* text;
    const char* decoded;
  } cases[] = {
      {"&lt;b&gt; caf&eacute; &AMP; &#65;&#321; &amp;x", "<b> caf\xc3\xa9 &AMP; A\xc5\x81 &x"},
      {"5&nbsp;m &trade; &hibar;", "5\xc2\xa0m \xe2\x84\xa2 \xc2\xaf"},
      // Today's typography, with and without ";", and the longest name that fits.
      {"it&rsquo;s &mdash; &hellip;&euro;&apos;", "it\xe2\x80\x99s \xe2\x80\x94 \xe2\x80\xa6\xe2\x82\xac'"},
      {"&notin; &notin &notit &copy2025 &mdashx &sup2 &supe;", "\xe2\x88\x89 \xe2\x88\x89 \xc2\xacit \xc2\xa9" "2025 \xe2\x80\x94x \xc2\xb2 \xe2\x8a\x87"},
      {"&notanentity; &notit; &bogus; &; & x &amp;lt;", "&notanentity; &notit; &bogus; &; & x &lt;"},
      {"&#x41;&#X1F600;&#146;&#129;&#x;", "A\xf0\x9f\x98\x80\xe2\x80\x99\xef\xbf\xbd&#x;"},
      {"a&#0;b&#", "a\xef\xbf\xbd" "b&#"},
      {"&#99999999999999999999;x&#xD800;", "\xef\xbf\xbdx\xef\xbf\xbd"},
  };
  for (const auto& c : cases) {
    Ref_string s(c.text);
    Ref_string copy = s;
    s.decode_entities();
    EXPECT_EQ(s, c.decoded) << c.text;
    EXPECT_EQ(copy, c.text);  // the other holder keeps the undecoded text
  }
}

TEST(RefStringLists, SplitJoinAndFormat) {
  EXPECT_EQ(split("", ',').count(), 0);
  auto two = split("a,", ',');
  ASSERT_EQ(two.count(), 2);
  EXPECT_EQ(two[0], "a");
  EXPECT_EQ(two[1], "");
  auto three = split("a,,b", ',');
  ASSERT_EQ(three.count(), 3);
  EXPECT_EQ(three[1], "");
  EXPECT_EQ(three[2], "b");
  EXPECT_EQ(join(three, "+"), "a++b");
  EXPECT_EQ(join(Ref_list<Ref_string>(), "+"), "");
  EXPECT_EQ(join(split("solo", ','), "+"), "solo");

  Ref_list<Ref_string> xy{"x", "y"};
  EXPECT_EQ(format_args("%0-%3", xy), "x-");
  EXPECT_EQ(format_args("%10", xy), "y0");
  EXPECT_EQ(format_args("100% %", xy), "100% %");
  EXPECT_EQ(format_args("end%", xy), "end%");
  EXPECT_EQ(format_args("%0 tasks active -- %1", "3", "busy"), "3 tasks active -- busy");
}

TEST(RefStringHash, ShiftXorOverSignedBytes) {
  EXPECT_EQ(hash("", 37), 0);
  EXPECT_EQ(hash("", 1), 0);
  // 'a' = 97; "ab" = (97 << 3) ^ 98 = 874
  EXPECT_EQ(hash("ab", 1000), 874);
  EXPECT_EQ(hash("ab", 37), 874 % 37);
  // A byte of 0xFF counts as -1: h = 0 ^ 0xFFFFFFFF, masked to 0x7FFFFFFF.
  EXPECT_EQ(hash("\xff", 1000), static_cast<int>(0x7FFFFFFFu % 1000));
}

TEST(FindFile, MatchesWholeNamesWithoutRegardToCaseAndNeverPrefixes) {
  testing::Temp_dir dir("orvalis-find-");
  const Ref_string root(dir.str());
  testing::write_file(dir.file("Top.HTM"), "x");
  testing::write_file(dir.file("sub/deeper/Index.htm"), "x");
  EXPECT_EQ(find_file(root, "top.htm", false, 0), root + "/Top.HTM");
  EXPECT_EQ(find_file(root + "/", "TOP.htm", false, 0), root + "/Top.HTM");
  EXPECT_EQ(find_file(root, "index.htm", false, 0), "");
  EXPECT_EQ(find_file(root, "index.htm", true, 0), root + "/sub/deeper/Index.htm");
  EXPECT_EQ(find_file(root + "/missing", "index.htm", true, 0), "");
  EXPECT_EQ(find_file(root, "top.htm", true, 1), "");
  EXPECT_EQ(find_file(root, "top", true, 1), "");
}

}  // namespace
}  // namespace orvalis
