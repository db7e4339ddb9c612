// The generated string table: what the generator does to the texts (escapes) and the look-up
// over its ranges. The texts themselves are not retyped here.
#include "platform/string_table.h"

#include <gtest/gtest.h>

#include <climits>
#include <string>

namespace {

using orvalis::platform::load_string;

std::string text_of(int id) {
  const char* text = load_string(id);
  EXPECT_NE(text, nullptr) << "no text under " << id;
  return text ? std::string(text) : std::string();
}

TEST(StringTable, LineBreakEscapesBecomeControlCharactersOtherBackslashesStay) {
  EXPECT_EQ(text_of(12020), "Orvalis Version %s\r\n%s");
  EXPECT_EQ(text_of(10117), "%s already exists.\nDo you want to overwrite the file anyway?");
  EXPECT_EQ(text_of(12017), "{\\f0\\fswiss MS Sans Serif;}");
}

TEST(StringTable, LookupCoversEveryRangeAndNothingElse) {
  for (int id : {0, -1, 1, 7999, 9999, 10002, 10999, 17000, 17102, 22041, 99999, INT_MIN, INT_MAX})
    EXPECT_EQ(load_string(id), nullptr) << "id " << id;
  EXPECT_NE(load_string(8000), nullptr);
  EXPECT_EQ(text_of(61446), "iexplore.ini");
  // The character-entity rows are stored as UTF-8.
  EXPECT_EQ(text_of(17001), "\xC3\x86");
  EXPECT_EQ(text_of(17093), "\xE2\x84\xA2");
}

}  // namespace
