#include "foundation/control_text.h"

#include <gtest/gtest.h>

namespace orvalis {
namespace {

TEST(ControlText, ControlsBecomeSpacesInTextAndPercentCodesInAddresses) {
  const struct {
    const char* in;
    const char* text;     // without_controls
    const char* address;  // address_without_controls
  } cases[] = {
      {"plain caf\xc3\xa9", "plain caf\xc3\xa9", "plain caf\xc3\xa9"},
      {"\x1b]2;owned\x07!", " ]2;owned !", "%1B]2;owned%07!"},
      {"tab\tnew\nline\r", "tab\tnew\nline ", "tabnewline"},
      {"del\x7f", "del ", "del%7F"},
      {"csi\xc2\x9b" "2J", "csi 2J", "csi%C2%9B2J"},   // C1 written in UTF-8
      {"lone\x9b" "2J", "lone 2J", "lone%9B2J"},       // C1 as a byte of its own
      {"\xe2\x80\x9c" "q" "\xe2\x80\x9d", "\xe2\x80\x9c" "q" "\xe2\x80\x9d", "\xe2\x80\x9c" "q" "\xe2\x80\x9d"},
      {"nbsp\xc2\xa0" "x\xc2", "nbsp\xc2\xa0" "x\xc2", "nbsp\xc2\xa0" "x\xc2"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(without_controls(std::string_view(c.in)), c.text) << c.in;
    EXPECT_EQ(address_without_controls(Ref_string(c.in)), c.address) << c.in;
    EXPECT_EQ(has_controls(c.in), std::string_view(c.in) != c.text) << c.in;
  }
}

TEST(ControlText, AControlSplitBetweenPiecesIsStillFound) {
  Control_filter filter;
  std::string out;
  filter.feed("a\xc2", out);
  filter.feed("\x9b" "b\xc2", out);
  filter.feed("\xa9", out);
  filter.finish(out);
  EXPECT_EQ(out, "a b\xc2\xa9");
}

}  // namespace
}  // namespace orvalis
