#include "platform/profile_file.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

namespace orvalis::platform {
namespace {

Profile_file parsed(std::string_view text) {
  Profile_file f;
  f.parse(text);
  return f;
}

TEST(ProfileFile, KeysAndSectionsIgnoreCaseAndValuesAreTrimmed) {
  Profile_file f = parsed(
      "[Engine One]\r\n"
      "  Location =  http://a.example/q  \r\n"
      "SearchField=q\r\n"
      "\r\n"
      "[other]\n"
      "key=\"  quoted value  \"\n"
      "single='x'\n"
      "half=\"open\n"
      "empty=\n");
  EXPECT_EQ(f.get_string("engine one", "LOCATION"), "http://a.example/q");
  EXPECT_EQ(f.get_string("ENGINE ONE", "searchfield"), "q");
  EXPECT_EQ(f.get_string("other", "key"), "  quoted value  ");
  EXPECT_EQ(f.get_string("other", "single"), "x");
  EXPECT_EQ(f.get_string("other", "half"), "\"open");
  EXPECT_EQ(f.get_string("other", "empty", "default"), "");
  EXPECT_TRUE(f.has_key("other", "EMPTY"));
  EXPECT_EQ(f.get_string("other", "missing", "default"), "default");
  EXPECT_EQ(f.get_string("nowhere", "key", "d"), "d");
  EXPECT_EQ(f.section_names(), (std::vector<std::string>{"Engine One", "other"}));
}

TEST(ProfileFile, CommentsStrayLinesAndRepeatsAreIgnored) {
  Profile_file f = parsed(
      "\xEF\xBB\xBF"
      "orphan=before any section\n"
      "; [commented]\n"
      "[A]\n"
      "   ; indented comment=1\n"
      "no equals sign here\n"
      "k=first\n"
      "K=second\n"
      "[a]\n"
      "k=third\n"
      "late=only in the repeat\n"
      "[B\n"
      "x=1\n"
      "[]\n"
      "y=2\n");
  EXPECT_EQ(f.section_names(), (std::vector<std::string>{"A", "B"}));
  EXPECT_EQ(f.get_string("A", "k"), "first");
  EXPECT_FALSE(f.has_key("A", "late"));
  EXPECT_FALSE(f.has_key("A", "; indented comment"));
  EXPECT_EQ(f.get_string("B", "x"), "1");
  EXPECT_EQ(f.get_string("", "y"), "2");
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
  auto path = std::filesystem::temp_directory_path() /
              ("orvalis-profile-" + std::to_string(getpid()) + ".ini");
  {
    std::ofstream out(path, std::ios::binary);
    out << "[Demo]\nEnabled=1\n";
  }
  Profile_file f;
  EXPECT_TRUE(f.load(path.string()));
  EXPECT_EQ(f.get_string("Demo", "Enabled"), "1");
  std::filesystem::remove(path);
  EXPECT_FALSE(f.load(path.string()));
  EXPECT_TRUE(f.section_names().empty());
}

}  // namespace
}  // namespace orvalis::platform
