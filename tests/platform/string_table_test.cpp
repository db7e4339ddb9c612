#include "platform/string_table.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstddef>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

namespace {

using orvalis::platform::load_string;

std::string text_of(int id) {
    const char* text = load_string(id);
    EXPECT_NE(text, nullptr) << "no text under " << id;
    return text ? std::string(text) : std::string();
}

std::vector<std::string> split(const std::string& text, char delimiter) {
    std::vector<std::string> pieces;
    std::string::size_type start = 0;
    for (;;) {
        auto at = text.find(delimiter, start);
        pieces.push_back(text.substr(start, at - start));
        if (at == std::string::npos) return pieces;
        start = at + 1;
    }
}

// Number of UTF-8 characters in `bytes`, or -1 when it is not well-formed UTF-8.
int utf8_length(const std::string& bytes) {
    int count = 0;
    for (std::size_t i = 0; i < bytes.size(); ++count) {
        auto lead = static_cast<unsigned char>(bytes[i]);
        std::size_t extra = lead < 0x80 ? 0 : (lead >> 5) == 0x6 ? 1 : (lead >> 4) == 0xE ? 2
                                             : (lead >> 3) == 0x1E ? 3 : 99;
        if (extra == 99 || i + extra >= bytes.size()) return -1;
        for (std::size_t k = 1; k <= extra; ++k) {
            if ((static_cast<unsigned char>(bytes[i + k]) & 0xC0) != 0x80) return -1;
        }
        i += extra + 1;
    }
    return count;
}

TEST(StringTableMessages, HoldTheStatedTextsAcrossAllRanges) {
    const std::vector<std::pair<int, const char*>> expected = {
        {18009, "Unable to read installation path from registry."},
        {18011, "Port not specified for proxy host. Proxy support disabled."},
        {10140, "File is not a valid Orvalis database."},
        {10101,
         "Could not open database. Maybe the file doesn't exist, or the file is not a Orvalis "
         "database."},
        {10188, "Compacting Database"},
        {10113, "Source File"},
        {10114, "Target File"},
        {10075, "[NO TEXT: Request did not complete successfully]"},
        {10197, "[NO TEXT: Unknown Request Error]"},
        {10198, "[NO TEXT: Unknown Server Error]"},
        {10203, "[NO TEXT: Document could not be found]"},
        {10215, "[NO TEXT: Gateway Timeout]"},
        {10216, "[NO TEXT: Not enough time allocated for Network Connection]"},
        {10072, "Summarize documents on subject '%0'"},
        {10074, "Searching '%0' for '%1'"},
        {10078, "Get %0 ad from '%1'"},
        {10073, "Searching for topic '%0'"},
        {10076, "Summarize '%0'"},
        {10077, "Get links on '%0'"},
        {10079, "Capture search engine '%0'"},
        {18044, "Agent Idle"},
        {18045, "%0 tasks active -- %1"},
        {18046, "%0 task active -- %1"},
        {10091, "in"},
        {10092, "now"},
        {10094, "days"},
        {10098, "minutes"},
        {10102, "Yes"},
        {10103, "No"},
        {10027, "%0 and %1"},
        {10000, "Orvalis Databases (*.ov2)|*.ov2|All Files (*.*)|*.*||"},
        {10085,
         "<HTML><HEAD><TITLE>Successful Search Resource Capture</TITLE></HEAD><BODY>Search "
         "resource '%0' added successfully.</BODY></HTML>"},
        {8003, "Search the Web for selected topic\nSearch the Web"},
    };
    for (const auto& [id, text] : expected) EXPECT_EQ(text_of(id), text) << "id " << id;
}

TEST(StringTableMessages, StatusTextsFormOneUnbrokenFamily) {
    for (int id = 10197; id <= 10216; ++id) {
        EXPECT_EQ(text_of(id).rfind("[NO TEXT: ", 0), 0u) << "id " << id;
    }
}

TEST(StringTableMessages, RelationshipLabelsInPresentationOrder) {
    const char* labels[] = {"A kind of",   "A specific kind is", "A part of", "Contained in",
                            "Member of",   "Has parts",          "Contains",  "Has member",
                            "Opposite of", "See also"};
    for (int i = 0; i < 10; ++i) EXPECT_EQ(text_of(12024 + i), labels[i]);
}

TEST(StringTableEscapes, LineBreaksAreRealControlCharacters) {
    EXPECT_EQ(text_of(10117), "%s already exists.\nDo you want to overwrite the file anyway?");
    EXPECT_EQ(text_of(12020), "Orvalis Version %s\r\n%s");
    EXPECT_EQ(text_of(12016), "\nAlso verify that your username and password are correct.");
    EXPECT_EQ(text_of(12007),
              "The browser executable\n\"%1\"\ncannot be located.\nDo you want to keep the "
              "changes?");
    const std::string advice = text_of(12011);
    EXPECT_EQ(advice.rfind("You should either turn off", 0), 0u);
    EXPECT_NE(advice.find("panel, or\r\nupgrade your browser"), std::string::npos);
    EXPECT_EQ(advice.substr(advice.size() - 2), "\r\n");
}

TEST(StringTableEscapes, OtherBackslashesStayAsWritten) {
    EXPECT_EQ(text_of(12017), "{\\f0\\fswiss MS Sans Serif;}");
    EXPECT_EQ(text_of(10007),
              "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\IEXPLORE.EXE");
}

TEST(StringTableLookup, UnknownIdsGiveNull) {
    for (int id : {0, -1, 1, 7999, 9999, 10002, 10999, 17000, 17102, 22041, 99999, INT_MIN,
                   INT_MAX}) {
        EXPECT_EQ(load_string(id), nullptr) << "id " << id;
    }
}

TEST(StringTableLookup, FirstAndLastEntriesAreReachable) {
    EXPECT_NE(load_string(8000), nullptr);
    EXPECT_EQ(text_of(61446), "iexplore.ini");
}

TEST(StringTableEntities, EveryRowHoldsExactlyOneUtf8Character) {
    for (int id = 17001; id <= 17101; ++id) {
        EXPECT_EQ(utf8_length(text_of(id)), 1) << "id " << id;
    }
}

TEST(StringTableEntities, RowsMapToTheirUnicodeCharacters) {
    EXPECT_EQ(text_of(17001), "\xC3\x86");      // AElig
    EXPECT_EQ(text_of(17036), "&");             // amp
    EXPECT_EQ(text_of(17056), ">");             // gt
    EXPECT_EQ(text_of(17065), "<");             // lt
    EXPECT_EQ(text_of(17082), "\"");            // quot
    EXPECT_EQ(text_of(17057), "\xC2\xAF");      // hibar: the macron
    EXPECT_EQ(text_of(17060), "\xC2\xA1");      // iexcl
    EXPECT_EQ(text_of(17068), "\xC2\xA0");      // nbsp
    EXPECT_EQ(text_of(17086), "\xC2\xAD");      // shy
    EXPECT_EQ(text_of(17093), "\xE2\x84\xA2");  // trade
    EXPECT_EQ(text_of(17095), "\xC3\xBB");      // ucirc
    EXPECT_EQ(text_of(17101), "\xC3\xBF");      // yuml
}

TEST(StringTableTips, EveryCountedTipExists) {
    const int count = std::atoi(text_of(22000).c_str());
    EXPECT_EQ(count, 40);
    for (int i = 0; i < count; ++i) EXPECT_FALSE(text_of(22001 + i).empty()) << "tip " << i;
}

TEST(StringTableSchedule, HourListSplitsIntoTwentyFourItems) {
    const auto hours = split(text_of(18043), ',');
    ASSERT_EQ(hours.size(), 24u);
    EXPECT_EQ(hours[0], "Midnight");
    EXPECT_EQ(hours[12], "Noon");
    for (const auto& hour : hours) EXPECT_FALSE(hour.empty());
}

TEST(StringTableSchedule, UnitsAndWeekdays) {
    EXPECT_EQ(text_of(18032), "Hours");
    EXPECT_EQ(text_of(18034), "Weeks");
    const char* days[] = {"Sunday",   "Monday", "Tuesday", "Wednesday",
                          "Thursday", "Friday", "Saturday"};
    for (int i = 0; i < 7; ++i) EXPECT_EQ(text_of(18035 + i), days[i]);
    EXPECT_EQ(text_of(18042), "Day");
}

TEST(StringTableQueryTransformation, DefaultHasElevenFragmentModeEntries) {
    const auto entries = split(text_of(18047), ',');
    ASSERT_EQ(entries.size(), 11u);
    int plus_mode = 0;
    int and_mode = 0;
    for (const auto& entry : entries) {
        const auto pieces = split(entry, ' ');
        ASSERT_EQ(pieces.size(), 2u) << "entry '" << entry << "'";
        EXPECT_FALSE(pieces[0].empty());
        if (pieces[1] == "2") ++plus_mode;
        else if (pieces[1] == "1") ++and_mode;
        else ADD_FAILURE() << "mode of '" << entry << "'";
    }
    EXPECT_EQ(plus_mode, 4);
    EXPECT_EQ(and_mode, 7);
}

}  // namespace
