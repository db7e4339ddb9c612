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

TEST(ProfileFile, EverySectionAndKeyIsReadHoweverMany) {
  // Quadratic work here would not finish: 100,000 sections and 200,000 keys in one section.
  std::string text;
  for (int i = 0; i < 100000; ++i) text += "[Engine " + std::to_string(i) + "]\nLocation=http://e/\n";
  text += "[engine 7]\nLocation=repeated\n[Keys]\n";
  for (int i = 0; i < 200000; ++i) text += "k" + std::to_string(i) + "=" + std::to_string(i) + "\n";
  Profile_file f = parsed(text);
  std::vector<std::string> names = f.section_names();
  ASSERT_EQ(names.size(), 100001u);
  EXPECT_EQ(names[99999], "Engine 99999");
  EXPECT_EQ(f.repeated_sections(), (std::vector<std::string>{"engine 7"}));
  EXPECT_EQ(f.get_string("ENGINE 7", "location"), "http://e/");
  EXPECT_EQ(f.get_string("keys", "K199999"), "199999");
}

TEST(ProfileFile, LoadsFromDiskAndAMissingFileHasNoSections) {
  testing::Temp_dir dir("orvalis-profile-");
  testing::write_file(dir.file("demo.ini"), "[Demo]\nEnabled=1\n");
  Profile_file f;
  EXPECT_TRUE(f.load(dir.file("demo.ini")));
  EXPECT_EQ(f.get_string("Demo", "Enabled"), "1");
  EXPECT_FALSE(f.load(dir.file("missing.ini")));
  EXPECT_TRUE(f.section_names().empty());
  EXPECT_FALSE(f.load(dir.path().string())) << "a folder is not a profile file";
}

}  // namespace
}  // namespace orvalis::platform
