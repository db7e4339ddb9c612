#include "platform/profile_file.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <string>
#include <vector>

#include "test_support.h"

namespace orvalis::platform {
namespace {

Profile_file parsed(std::string_view text) {
  Profile_file f;
  f.parse(text);
  return f;
}

// Each file, then the value each look-up gives ("<none>": the key is missing).
TEST(ProfileFile, Lookups) {
  const struct {
    std::string text;
    std::vector<std::string> sections;
    std::vector<std::array<const char*, 3>> lookups;  // section, key, value
  } cases[] = {
      // Names ignore case; values are trimmed, then one pair of quotes is taken off.
      {"[Engine One]\r\n  Location =  http://a.example/q  \r\nSearchField=q\r\n\r\n[other]\n"
       "key=\"  quoted value  \"\nsingle='x'\nhalf=\"open\nempty=\n",
       {"Engine One", "other"},
       {{"engine one", "LOCATION", "http://a.example/q"}, {"ENGINE ONE", "searchfield", "q"},
        {"other", "key", "  quoted value  "}, {"other", "single", "x"},
        {"other", "half", "\"open"}, {"other", "EMPTY", ""}, {"other", "missing", "<none>"},
        {"nowhere", "key", "<none>"}}},
      // Comments, stray lines and repeated keys or sections are ignored.
      {"\xEF\xBB\xBForphan=before any section\n; [commented]\n[A]\n   ; indented comment=1\n"
       "no equals sign here\nk=first\nK=second\n[a]\nk=third\nlate=only in the repeat\n"
       "[B\nx=1\n[]\ny=2\n",
       {"A", "B"},
       {{"A", "k", "first"}, {"A", "late", "<none>"}, {"A", "; indented comment", "<none>"},
        {"B", "x", "1"}, {"", "y", "2"}}},
      // Zero bytes and lone carriage returns.
      {std::string("[s]\rk=a\0b\r[t]\r\nj=1", 19), {"s", "t"}, {{"s", "k", "ab"}, {"t", "j", "1"}}},
  };
  for (const auto& c : cases) {
    Profile_file f = parsed(c.text);
    EXPECT_EQ(f.section_names(), c.sections) << c.text;
    for (const auto& [section, key, value] : c.lookups)
      EXPECT_EQ(f.has_key(section, key) ? f.get_string(section, key, "?") : "<none>", value)
          << section << "/" << key;
  }
}

TEST(ProfileFile, ValuesAreCutAt4095Characters) {
  std::string long_value(5000, 'v');
  Profile_file f = parsed("[s]\nk=" + long_value + "\nz=" + std::string(4095, 'z') + "\n");
  EXPECT_EQ(f.get_string("s", "k").size(), 4095u);
  EXPECT_EQ(f.get_string("s", "z").size(), 4095u);
  EXPECT_EQ(f.get_string("s", "none", long_value).size(), 4095u);
}

TEST(ProfileFile, SectionListStopsAtTheBufferOf4096Characters) {
  // 40 names of 99 characters take 40 * 100 + 1 = 4001; a 94-character name fills the rest.
  std::string text;
  std::vector<std::string> expected;
  for (int i = 0; i < 40; ++i) {
    char head[8];
    std::snprintf(head, sizeof head, "%02d", i);
    std::string name = head + std::string(97, 'n');
    expected.push_back(name);
    text += "[" + name + "]\nk=v\n";
  }
  std::string fits(94, 'f');    // 4001 + 94 + 1 = 4096: exactly full
  std::string beyond = "late";  // no room left
  text += "[" + fits + "]\n[" + beyond + "]\nk=still readable\n";
  expected.push_back(fits);
  Profile_file f = parsed(text);
  EXPECT_EQ(f.section_names(), expected);
  EXPECT_EQ(f.get_string(beyond, "k"), "still readable") << "only the list is limited";
}

TEST(ProfileFile, ZeroBytesAndLoneCarriageReturnsDoNotConfuseIt) {
  Profile_file f = parsed(std::string("[s]\rk=a\0b\r[t]\r\nj=1", 19));
  EXPECT_EQ(f.get_string("s", "k"), "ab");
  EXPECT_EQ(f.get_string("t", "j"), "1");
}

TEST(ProfileFile, LoadsFromDiskAndAMissingFileHasNoSections) {
  testing::Temp_dir dir("orvalis-profile-");
  testing::write_file(dir.file("demo.ini"), "[Demo]\nEnabled=1\n");
  Profile_file f;
  EXPECT_TRUE(f.load(dir.file("demo.ini")));
  EXPECT_EQ(f.get_string("Demo", "Enabled"), "1");
  EXPECT_FALSE(f.load(dir.file("missing.ini")));
  EXPECT_TRUE(f.section_names().empty());
}

}  // namespace
}  // namespace orvalis::platform
