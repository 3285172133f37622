#include "HexText.h"

#include <gtest/gtest.h>

using Programmer::Bytes;
using Programmer::HexText;

namespace {

struct ParseCase {
    const char* text;
    size_t limit;
    Bytes expected;
    bool valid = true; // false: the text is refused (and gives no bytes)
};

void PrintTo(const ParseCase& c, std::ostream* out) {
    *out << '"' << c.text << "\" limit " << c.limit;
}

constexpr bool Refused = false;

class HexTextParse : public testing::TestWithParam<ParseCase> {};

TEST_P(HexTextParse, GivesTheBytesTheDialogSends) {
    const ParseCase& c = GetParam();
    const HexText::Reading reading = HexText::Read(c.text, c.limit);
    EXPECT_EQ(reading.valid, c.valid) << "text \"" << c.text << "\"";
    EXPECT_EQ(reading.bytes, c.expected) << "text \"" << c.text << "\"";
    EXPECT_EQ(HexText::Parse(c.text, c.limit), c.expected) << "text \"" << c.text << "\"";
}

INSTANTIATE_TEST_SUITE_P(
    Tokens, HexTextParse,
    testing::Values(
        // A one-digit token is the digit's value, a two-digit token its byte.
        ParseCase{"E2 00 1", 200, {0xE2, 0x00, 0x01}}, ParseCase{"e2 0a Ff", 200, {0xE2, 0x0A, 0xFF}},
        // An odd run cannot be split: which digit stands alone?
        ParseCase{"E2001", 200, {}, Refused}, ParseCase{"E20034120", 200, {}, Refused},
        // A character that is no hex digit refuses the whole field
        // (it used to count as 0: "11 22 33 GG" became a kill password
        // 11 22 33 00).
        ParseCase{"G1 1G ZZ", 200, {}, Refused}, ParseCase{"x", 200, {}, Refused},
        ParseCase{"11 22 33 GG", 200, {}, Refused}, ParseCase{"ZZ 11 22 33 44 XY", 200, {}, Refused},
        ParseCase{"E2-00", 200, {}, Refused}, ParseCase{"0x12", 200, {}, Refused},
        ParseCase{"E2,00", 200, {}, Refused}, ParseCase{"Ä", 200, {}, Refused},
        // Blanks at both ends go; inside, blanks separate (several in a
        // row are one separator, they used to add a 00).
        ParseCase{"   E2 00   ", 200, {0xE2, 0x00}}, ParseCase{"E2  00", 200, {0xE2, 0x00}},
        ParseCase{"\tAB\r\n", 200, {0xAB}}, ParseCase{"AB\tCD\nEF", 200, {0xAB, 0xCD, 0xEF}},
        ParseCase{"", 200, {}}, ParseCase{"    ", 200, {}},
        // What a failed inventory leaves in the selection gives no bytes.
        ParseCase{"Error 4", 16, {}}, ParseCase{"E2 Error 01", 16, {}},
        // Only the exact word counts; any other word is no hex.
        ParseCase{"error", 16, {}, Refused}));

INSTANTIATE_TEST_SUITE_P(UnspacedRuns, HexTextParse,
                         testing::Values(
                             // An even run is its bytes in pairs, as on the command line (it used to be one
                             // token giving 00, which an EPC write put into the PC word's place).
                             ParseCase{"E20034120123", 200, {0xE2, 0x00, 0x34, 0x12, 0x01, 0x23}},
                             ParseCase{"e2ab", 200, {0xE2, 0xAB}},
                             ParseCase{"E2003412 01 2", 200, {0xE2, 0x00, 0x34, 0x12, 0x01, 0x02}},
                             ParseCase{"11223344", 200, {0x11, 0x22, 0x33, 0x44}},
                             // The limit cuts a run too.
                             ParseCase{"0102030405", 2, {0x01, 0x02}}));

INSTANTIATE_TEST_SUITE_P(Limits, HexTextParse,
                         testing::Values(ParseCase{"01 02 03", 2, {0x01, 0x02}}, ParseCase{"01 02", 0, {}},
                                         ParseCase{"01 02 03", 3, {0x01, 0x02, 0x03}},
                                         // A bad token past the limit still refuses the text.
                                         ParseCase{"01 02 ZZ", 2, {}, Refused}));

TEST(HexText, LimitsOfTheFields) {
    std::string text;
    for (int i = 0; i < 250; ++i)
        text += (i ? " " : "") + std::string("A5");
    EXPECT_EQ(HexText::Parse(text, HexText::SelectionLimit).size(), 16u);
    EXPECT_EQ(HexText::Parse(text, HexText::EpcWriteLimit).size(), 196u);
    EXPECT_EQ(HexText::Parse(text, HexText::FieldLimit).size(), 200u);
    EXPECT_EQ(HexText::TokenCount(text), 250u);
    EXPECT_EQ(HexText::TokenCount("Error 3"), 0u);
}

TEST(HexText, CountFollowsTheTyping) {
    EXPECT_EQ(HexText::TokenCount("E2003412"), 4u);
    EXPECT_EQ(HexText::TokenCount("E2 00 1"), 3u);
    // Refused texts count their characters in pairs, the lone one too.
    EXPECT_EQ(HexText::TokenCount("E2003"), 3u);
    EXPECT_EQ(HexText::TokenCount("E2 0G"), 2u);
}

TEST(HexText, TheRefusalNamesWhatWasTyped) {
    EXPECT_EQ(HexText::Read("11 22 33 GG", 200).offending, "GG");
    EXPECT_EQ(HexText::Read("ZZ 11 XY", 200).offending, "ZZ"); // the first one
    EXPECT_EQ(HexText::Read("E2 00341", 200).offending, "00341");
    EXPECT_EQ(HexText::Read("11 22", 200).offending, "");
    // Long tokens are cut, control characters shown as '?', a UTF-8
    // character is never cut in half.
    EXPECT_EQ(HexText::Read(std::string(30, 'Z'), 200).offending, std::string(20, 'Z') + "...");
    EXPECT_EQ(HexText::Read("A\x1b[2J", 200).offending, "A?[2J");
    std::string umlauts = "x";
    for (int i = 0; i < 15; ++i)
        umlauts += "ä";
    EXPECT_EQ(HexText::Read(umlauts, 200).offending, "xäääääääää...");
}

TEST(HexText, FormatIsUpperCaseWithSingleBlanks) {
    EXPECT_EQ(HexText::Format(Bytes{0xE2, 0x00, 0x0a, 0xff}), "E2 00 0A FF");
    EXPECT_EQ(HexText::Format(Bytes{}), "");
    EXPECT_EQ(HexText::Format(Bytes{7}), "07");
}

TEST(HexText, FormattedTextParsesBack) {
    Bytes all;
    for (int i = 0; i < 200; ++i)
        all.push_back(uint8_t(i * 37 + 11));
    EXPECT_EQ(HexText::Parse(HexText::Format(all), HexText::FieldLimit), all);
}

} // namespace
