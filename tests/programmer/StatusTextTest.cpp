#include "StatusText.h"
#include "LibraryErrors.h"
#include "ProgrammerTexts.h"
#include "TextTable.h"

#include <gtest/gtest.h>

using namespace Programmer;

namespace {

TEST(StatusText, CodeInAngleBracketsAsSignedByte) {
    EXPECT_EQ(StatusText::WithCode("Fehler beim Lesen", 21), "Fehler beim Lesen <21>");
    EXPECT_EQ(StatusText::WithCode("x", 128), "x <128>");
    EXPECT_EQ(StatusText::WithCode("x", 129), "x <-127>");
    EXPECT_EQ(StatusText::WithCode("x", 255), "x <-1>");
    EXPECT_EQ(StatusText::WithCode("x", 256), "x <256>");
    EXPECT_EQ(StatusText::WithCode("x", 0), "x <0>");
}

struct ResultCase {
    int result;
    Access access;
    int lastError;
    const char* expected;
};

void PrintTo(const ResultCase& c, std::ostream* out) {
    *out << "result " << c.result << (c.access == Access::Read ? " read" : " write") << " status "
         << c.lastError;
}

class StatusForResult : public testing::TestWithParam<ResultCase> {};

TEST_P(StatusForResult, Text) {
    const ResultCase& c = GetParam();
    EXPECT_EQ(StatusText::ForResult(c.result, c.access, c.lastError, "vorher"), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Results, StatusForResult,
    testing::Values(ResultCase{12, Access::Read, 0, "Lesen erfolgreich"},
                    ResultCase{4, Access::Write, 0, "Schreiben erfolgreich"},
                    // Nothing read or written: the status stays.
                    ResultCase{0, Access::Read, 0, "vorher"}, ResultCase{0, Access::Write, 0, "vorher"},
                    ResultCase{-1, Access::Read, 21, "Fehler beim Lesen <21>"},
                    ResultCase{-1, Access::Write, 4, "Fehler beim Schreiben <4>"},
                    ResultCase{-1, Access::Write, 0xFE, "Fehler beim Schreiben <-2>"},
                    ResultCase{-2, Access::Read, 21, "Fehler bei Select"},
                    ResultCase{-3, Access::Write, 21, "Kein Zugriff auf Gerät möglich"},
                    // The device went away: no code, whatever the session status says.
                    ResultCase{-5, Access::Read, 4, "Die Verbindung zum Gerät ist verloren gegangen."}));

TEST(LibraryErrors, TableOfCodes) {
    const std::pair<int, int> table[] = {{3, 180},  {4, 104},  {5, 165},  {6, 112},  {8, 188},
                                         {11, 129}, {19, 177}, {20, 115}, {21, 230}, {23, 118},
                                         {24, 176}, {0, 117},  {10, 117}, {12, 117}, {255, 117}};
    for (const auto& [code, id] : table)
        EXPECT_EQ(LibraryErrors::StringId(code), id) << "code " << code;
    // The texts the messages show, exactly.
    const std::pair<int, const char*> texts[] = {
        {3, "Fehler beim Port öffnen"},
        {4, "Timeout"},
        {5, "Blocklänge ist nicht korrekt"},
        {6, "Fehler: Falsche Datenanzahl"},
        {8, "Keine Sendedaten"},
        {11, "An diesem Port ist kein Leser angeschlossen.\r\nBitte wählen sie eine andere Schnittstelle."},
        {19, "Keine \"Value\" Information im Block enthalten!\r\n"},
        {20, "Fehler. Falsche Datenanzahl gesendet\r\n"},
        {21, "Kein gültiger Transponder vorhanden!"},
        {23, "Kollision Fehler"},
        {24, "Unbekanntes Kommando"},
        {13, "Unbekannter Fehler ist aufgetreten"},
    };
    for (const auto& [code, text] : texts)
        EXPECT_EQ(LibraryErrors::Text(code), text) << "code " << code;
}

TEST(ProgrammerTexts, EveryIdHasItsText) {
    for (int id : {119, 120, 121, 122, 123, 124, 125, 300, 32849, 129, 139, 231,
                   180, 104, 165, 112, 188, 177, 115, 230, 118,   176, 117})
        EXPECT_FALSE(ProgrammerTexts::Get(id).empty()) << "string " << id;
    EXPECT_EQ(ProgrammerTexts::Get(124), "Das Passwort muss 4 Byte lang sein!");
}

TEST(ProgrammerTexts, LanguageModuleReplacesThem) {
    TextTable::SetOverride(TextTable::Program::Programmer, [](const std::string& key, bool& found) {
        found = key == "123";
        return std::string(found ? "Read successful" : "");
    });
    EXPECT_EQ(StatusText::ForResult(2, Access::Read, 0, ""), "Read successful");
    EXPECT_EQ(StatusText::ForResult(2, Access::Write, 0, ""), "Schreiben erfolgreich");
    TextTable::ClearOverride(TextTable::Program::Programmer);
    EXPECT_EQ(StatusText::ForResult(2, Access::Read, 0, ""), "Lesen erfolgreich");
}

} // namespace
