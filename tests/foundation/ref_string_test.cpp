#include "foundation/ref_string.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "foundation/error_handler.h"

namespace orvalis {
namespace {

TEST(RefStringBlocks, FreshBlocksHaveTenBytesOfSlack) {
  EXPECT_EQ(Ref_string().capacity(), 10);
  EXPECT_EQ(Ref_string("x").capacity(), 11);
  EXPECT_EQ(Ref_string::fill('-', 5).capacity(), 15);
  EXPECT_EQ((Ref_string("ab") + Ref_string("cd")).capacity(), 14);
}

TEST(RefStringBlocks, ShortAppendStaysInPlaceLongAppendMovesToExactSize) {
  Ref_string s("x");
  const char* before = s.c_str();
  s += "abc";
  EXPECT_EQ(s, "xabc");
  EXPECT_EQ(s.capacity(), 11);
  EXPECT_EQ(s.c_str(), before);
  Ref_string t("x");
  t += "abcdefghijk";  // 11 characters: 1 + 11 + 1 > 11
  EXPECT_EQ(t.capacity(), 22);
  EXPECT_EQ(t, "xabcdefghijk");
}

TEST(RefStringBlocks, AppendToFullBlockCountsAMove) {
  Ref_string s("0123456789");  // capacity 20
  std::uint64_t moves = Ref_string::block_moves();
  s += "012345678";  // length 19 + zero fits exactly
  EXPECT_EQ(Ref_string::block_moves(), moves);
  s += "x";
  EXPECT_EQ(Ref_string::block_moves(), moves + 1);
  EXPECT_EQ(s.capacity(), 30);
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
  a = a;  // self-assignment keeps the text
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

TEST(RefStringConstruction, RangesNumbersAndFill) {
  EXPECT_EQ(Ref_string("abcdef", 1, 3), "bcd");
  EXPECT_EQ(Ref_string("abcdef", 3, 1), "");
  EXPECT_EQ(Ref_string("abcdef", 2), "ab");
  EXPECT_EQ(Ref_string::number(-42), "-42");
  EXPECT_EQ(Ref_string::fill('*', 3), "***");
  EXPECT_EQ(Ref_string(static_cast<const char*>(nullptr)), "");
  EXPECT_EQ(Ref_string::from_id(-12345), "");
}

TEST(RefStringReading, ToIntAndBlank) {
  EXPECT_EQ(Ref_string("  -17abc").to_int(), -17);
  EXPECT_EQ(Ref_string("abc").to_int(), 0);
  EXPECT_EQ(Ref_string("+5").to_int(), 5);
  EXPECT_TRUE(Ref_string("").is_blank());
  EXPECT_TRUE(Ref_string(" \t\r\n\v\f").is_blank());
  EXPECT_FALSE(Ref_string("  x ").is_blank());
}

TEST(RefStringCompare, EqualityAndByteOrder) {
  EXPECT_TRUE(Ref_string("abc") == "abc");
  EXPECT_TRUE("abc" == Ref_string("abc"));
  EXPECT_TRUE(Ref_string("abc") != Ref_string("abd"));
  EXPECT_TRUE(Ref_string("ab") < Ref_string("abc"));
  EXPECT_TRUE(Ref_string("Z") < Ref_string("a"));
  // Bytes of 0x80 and above sort after ASCII (unsigned comparison).
  EXPECT_TRUE(Ref_string("z") < Ref_string("\xc3\xa9"));
  EXPECT_TRUE(Ref_string("b") > Ref_string("a"));
}

TEST(RefStringConcat, OperandsStayUntouched) {
  Ref_string a("left"), b("right");
  Ref_string c = a + b;
  EXPECT_EQ(c, "leftright");
  EXPECT_EQ(a, "left");
  EXPECT_EQ(b, "right");
  EXPECT_EQ("<" + a + ">", "<left>");
  Ref_string four = concat("a", "bb", "ccc", "dddd");
  EXPECT_EQ(four, "abbcccdddd");
  EXPECT_EQ(four.capacity(), 20);
}

TEST(RefStringJustify, LeftRightCentre) {
  EXPECT_EQ(Ref_string::left_justify("ab", 5), "ab   ");
  EXPECT_EQ(Ref_string::centre("ab", 5), " ab  ");
  EXPECT_EQ(Ref_string::right_justify("ab", 5), "   ab");
  EXPECT_EQ(Ref_string::right_justify("abcdef", 3), "abc");
  EXPECT_EQ(Ref_string::left_justify("abcdef", 3), "abc");
  EXPECT_EQ(Ref_string::centre("abcdef", 3), "abc");
}

TEST(RefStringEdits, DoubleAmpersands) {
  Ref_string s("a&b&&c");  // capacity 16, 3 ampersands fit
  s.double_ampersands();
  EXPECT_EQ(s, "a&&b&&&&c");
  EXPECT_EQ(s.length(), 9);
  Ref_string full("&&&&&&&&&&");  // 10 ampersands, slack 10: moves
  full.double_ampersands();
  EXPECT_EQ(full.length(), 20);
  EXPECT_EQ(full.capacity(), 30);
  Ref_string shared("x&y");
  Ref_string other = shared;
  shared.double_ampersands();
  EXPECT_EQ(shared, "x&&y");
  EXPECT_EQ(other, "x&y");
  Ref_string plain("none");
  const char* p = plain.c_str();
  plain.double_ampersands();
  EXPECT_EQ(plain.c_str(), p);
}

TEST(RefStringEdits, DecodeEntitiesToUtf8) {
  Ref_string s("&lt;b&gt; caf&eacute; &AMP; &#65;&#321; &amp;x &notin; &bogus; 5&nbsp;m &trade;");
  Ref_string copy = s;
  s.decode_entities();
  EXPECT_EQ(s, "<b> caf\xc3\xa9 &AMP; A\xc5\x81 &x \xc2\xacin; &bogus; 5\xc2\xa0m \xe2\x84\xa2");
  EXPECT_EQ(copy.find("&lt;"), 0);  // the other holder keeps the undecoded text
  Ref_string zero("a&#0;b&#");
  zero.decode_entities();
  EXPECT_EQ(zero, "a\xef\xbf\xbd" "b&#");
  Ref_string huge("&#99999999999999999999;x");
  huge.decode_entities();
  EXPECT_EQ(huge, "\xef\xbf\xbdx");
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

class FindFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = std::filesystem::temp_directory_path() /
            ("orvalis_find_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
             "_" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::create_directories(root_ / "sub" / "deeper");
    std::ofstream(root_ / "Top.HTM") << "x";
    std::ofstream(root_ / "sub" / "deeper" / "Index.htm") << "x";
  }
  void TearDown() override { std::filesystem::remove_all(root_); }
  Ref_string root() const { return Ref_string(root_.string()); }
  std::filesystem::path root_;
};

TEST_F(FindFileTest, MatchesWholeNamesWithoutRegardToCase) {
  EXPECT_EQ(find_file(root(), "top.htm", false, 0), root() + "/Top.HTM");
  EXPECT_EQ(find_file(root() + "/", "TOP.htm", false, 0), root() + "/Top.HTM");
  EXPECT_EQ(find_file(root(), "index.htm", false, 0), "");
  EXPECT_EQ(find_file(root(), "index.htm", true, 0), root() + "/sub/deeper/Index.htm");
  EXPECT_EQ(find_file(root() + "/missing", "index.htm", true, 0), "");
}

TEST_F(FindFileTest, PrefixModeNeverMatches) {
  EXPECT_EQ(find_file(root(), "top.htm", true, 1), "");
  EXPECT_EQ(find_file(root(), "top", true, 1), "");
}

}  // namespace
}  // namespace orvalis
