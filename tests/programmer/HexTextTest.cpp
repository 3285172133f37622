#include "HexText.h"

#include <gtest/gtest.h>

using Programmer::Bytes;
using Programmer::HexText;

namespace {

struct ParseCase {
    const char* text;
    size_t limit;
    Bytes expected;
};

void PrintTo(const ParseCase& c, std::ostream* out) {
    *out << '"' << c.text << "\" limit " << c.limit;
}

class HexTextParse : public testing::TestWithParam<ParseCase> {};

TEST_P(HexTextParse, GivesTheBytesTheDialogSends) {
    const ParseCase& c = GetParam();
    EXPECT_EQ(HexText::Parse(c.text, c.limit), c.expected) << "text \"" << c.text << "\"";
}

INSTANTIATE_TEST_SUITE_P(Tokens, HexTextParse,
                         testing::Values(
                             // A one-digit token is the digit's value; a longer token gives 0.
                             ParseCase{"E2 00 1", 200, {0xE2, 0x00, 0x01}}, ParseCase{"E2001", 200, {0x00}},
                             ParseCase{"e2 0a Ff", 200, {0xE2, 0x0A, 0xFF}},
                             // Characters that are no hex digit count as 0.
                             ParseCase{"G1 1G ZZ", 200, {0x01, 0x10, 0x00}}, ParseCase{"x", 200, {0x00}},
                             // Blanks at both ends go; inside, every single blank splits, so two
                             // blanks enclose an empty token, which gives 0.
                             ParseCase{"   E2 00   ", 200, {0xE2, 0x00}},
                             ParseCase{"E2  00", 200, {0xE2, 0x00, 0x00}}, ParseCase{"\tAB\r\n", 200, {0xAB}},
                             ParseCase{"", 200, {}}, ParseCase{"    ", 200, {}},
                             // What a failed inventory leaves in the selection gives no bytes.
                             ParseCase{"Error 4", 16, {}}, ParseCase{"E2 Error 01", 16, {}},
                             // Only the exact word counts.
                             ParseCase{"error", 16, {0x00}}));

INSTANTIATE_TEST_SUITE_P(Limits, HexTextParse,
                         testing::Values(ParseCase{"01 02 03", 2, {0x01, 0x02}}, ParseCase{"01 02", 0, {}},
                                         ParseCase{"01 02 03", 3, {0x01, 0x02, 0x03}}));

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
