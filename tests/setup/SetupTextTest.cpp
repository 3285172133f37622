#include "SetupText.h"
#include "TextTable.h"

#include <gtest/gtest.h>

using SetupText::Format;

TEST(SetupText, PrintfLikeFormatting) {
    EXPECT_EQ(Format("Lesefehler : %02XHex", {4}), "Lesefehler : 04Hex");
    EXPECT_EQ(Format("%02X|%x|%5d|%-4d|%c|%s|%%", {255, 171, 42, 7, 'A', "ok"}), "FF|ab|   42|7   |A|ok|%");
    EXPECT_EQ(Format("%d - %d", {-3, 16}), "-3 - 16");
    EXPECT_EQ(Format("%03d", {-5}), "-05");
}

TEST(SetupText, FormatsFromATableNeverReadPastTheArguments) {
    // A language module may hold any text.
    EXPECT_EQ(Format("%s %d %s %n %", {1}), "1   %n %");
    EXPECT_EQ(Format("%d", {"text"}), "text");
    EXPECT_EQ(Format("%c", {std::string()}), "");
    EXPECT_EQ(Format("%999999999d", {1}).size() < 2000, true);
}

TEST(SetupText, LabelsPadWhateverTextTheIdYields) {
    EXPECT_EQ(SetupText::Label("Prefix"), "Prefix        : ");
    EXPECT_EQ(SetupText::Label("Blöcke"), "Blöcke        : "); // characters, not bytes
    EXPECT_EQ(SetupText::Label("A very long label"), "A very long label: ");
    TextTable::SetOverride(TextTable::Program::Morvane, [](const std::string& key, bool& found) {
        found = key == "538";
        return std::string("Tag type");
    });
    EXPECT_EQ(SetupText::Label(SetupText::Get(538)), "Tag type      : ");
    TextTable::ClearOverride(TextTable::Program::Morvane);
    EXPECT_EQ(SetupText::Get(538), "Tag - Typ");
}

TEST(SetupText, GermanTextsAsQuoted) {
    EXPECT_EQ(SetupText::Get(510),
              "Es ist ein Fehler bei der Programmierung aufgetreten.\r\nBitte wiederholen Sie den Vorgang");
    EXPECT_EQ(SetupText::Get(531),
              "Beim Laden der Daten ist der Fehler,\nMaximum der Befehlszeilen überschritten, aufgetreten !");
    EXPECT_EQ(SetupText::Get(569), " ");
    EXPECT_EQ(SetupText::Get(522), "Keine Verbindung zum Gerät"); // from the common table
}
