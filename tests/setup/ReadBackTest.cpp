#include "ReadBack.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

std::vector<uint8_t> DefaultParam() {
    std::vector<uint8_t> param{0x00};
    param.insert(param.end(), 16, 0xFF);
    param.insert(param.end(), {0x00, 0x00, 0x0A, 0x05, 0x01, 0x00, 0x00});
    return param;
}

std::string Lines(const std::vector<uint8_t>& param, const std::vector<uint8_t>& mode) {
    return CReadBack::ParameterLines(param.data(), param.size(), mode.data(), mode.size());
}

} // namespace

TEST(ReadBackReport, KeySequenceLines) {
    const uint8_t prefix[] = {0x02, 0x41, 0xFF, 0x42};
    EXPECT_EQ(CReadBack::KeySequenceLine(500, prefix, sizeof prefix), " Prefix        : 02 41 \r\n");
    const uint8_t empty[] = {0xFF, 0x41};
    EXPECT_EQ(CReadBack::KeySequenceLine(554, empty, sizeof empty), " Reg. Trenner  : \r\n");
    const uint8_t unended[] = {0x0D};
    EXPECT_EQ(CReadBack::KeySequenceLine(502, unended, 1), " Abziehen      : 0D \r\n");
    EXPECT_EQ(CReadBack::KeySequenceLine(501, nullptr, 0), " Suffix        : \r\n");
    EXPECT_EQ(CReadBack::Separator(), "\r\n -------------------------------------------------\r\n\r\n ");
}

TEST(ReadBackReport, DefaultBlocks) {
    EXPECT_EQ(Lines(DefaultParam(), {0x00, 0x0A, 0x3F, 0x05}), "Tag - Typ     : Tag ID\r\n"
                                                               " Blöcke        : \r\n"
                                                               " Datentyp      : Hex (0-9,ABCDEF)\r\n"
                                                               " Zeichenzahl   : 10\r\n"
                                                               " Benutzte Bytes: 1 - 5\r\n"
                                                               " Mode          : 0\r\n"
                                                               " Sensor        : inaktiv\r\n"
                                                               " Zykluszeit    : 1000 Millisekunden\r\n"
                                                               " Aufforderung  : ?\r\n"
                                                               " Timeout       : 500 Millisekunden \r\n ");
}

TEST(ReadBackReport, EveryDecodedVariant) {
    std::vector<uint8_t> param = DefaultParam();
    param[0] = 1;
    const uint8_t regs[] = {0x46, 0x02, 0x00, 0x00, 0xC0, 0x10, 0x01, 0x00, 0x05, 0xFF, 0x00, 0x00};
    std::copy(std::begin(regs), std::end(regs), param.begin() + 1);
    param[17] = 3;
    param[18] = 3;
    param[19] = 20;
    param[20] = 8;
    param[21] = 2;
    const std::string text = Lines(param, {0x15, 0x7F, 0x7F, 0x00});
    EXPECT_EQ(text, "Tag - Typ     : Block gedreht Bitweise drehen\r\n"
                    " Blöcke        : EPC  Startwort: 2 Länge: 6User Startwort: 272 Länge: 0"
                    "Res. Startwort: 255 Länge: 5\r\n"
                    " Datentyp      : Dezimal (ohne Nullen)\r\n"
                    " Zeichenzahl   : 20\r\n"
                    " Benutzte Bytes: 2 - 8\r\n"
                    " Mode          : 5\r\n"
                    " Sensor        : aktiv\r\n"
                    " Zykluszeit    : 12700 Millisekunden\r\n"
                    " Aufforderung  : \x7F\r\n"
                    " Timeout       : 0 Millisekunden \r\n ");

    param[0] = 7;
    param[17] = 1;
    param[18] = 9;
    const std::string odd = Lines(param, {0x00, 0x01, 0x80, 0x02});
    EXPECT_NE(odd.find("Tag - Typ     : Def. unkown gedreht\r\n"), std::string::npos);
    EXPECT_NE(odd.find(" Datentyp      : Unbekannt (9)\r\n"), std::string::npos);
    EXPECT_NE(odd.find(" Aufforderung  : ?\r\n"), std::string::npos);
    param[17] = 2;
    param[18] = 4;
    const std::string more = Lines(param, {0x00, 0x01, 0x1F, 0x02});
    EXPECT_NE(more.find("Def. unkown Bitweise drehen\r\n"), std::string::npos);
    EXPECT_NE(more.find("Hex (0-9,abcdef)\r\n"), std::string::npos);
    EXPECT_NE(more.find(" Aufforderung  : ?\r\n"), std::string::npos);
    param[18] = 2;
    EXPECT_NE(Lines(param, {0, 1, 0x20, 2}).find(" Datentyp      : ASCII\r\n Zeichen"), std::string::npos);
    param[18] = 1;
    EXPECT_NE(Lines(param, {0, 1, 0x20, 2}).find(" Datentyp      : Dezimal\r\n"), std::string::npos);
}

TEST(ReadBackReport, ShortBlocks) {
    std::vector<uint8_t> param = DefaultParam();
    param.pop_back(); // 23 bytes
    EXPECT_EQ(Lines(param, {0, 0x0A, 0x3F, 0x05}), "Parameter länge nicht korrekt\r\n");
    EXPECT_EQ(Lines(DefaultParam(), {0, 0x0A, 0x3F}), "Parameter länge nicht korrekt\r\n");
    // A longer Param block is decoded from its first 24 bytes.
    param = DefaultParam();
    param.push_back(0x99);
    EXPECT_EQ(Lines(param, {0, 0x0A, 0x3F, 0x05}), Lines(DefaultParam(), {0, 0x0A, 0x3F, 0x05}));
}
