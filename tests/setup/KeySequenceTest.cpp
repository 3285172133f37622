#include "EingabeBasisRegisterkarte.h"
#include "KeyCodes.h"
#include "ProfileFile.h"

#include <gtest/gtest.h>

namespace {

std::vector<int> Codes(const CEingabeBasisRegisterkarte& page) {
    std::vector<int> codes;
    for (const KeyItem& item : page.Items())
        codes.push_back(item.code);
    return codes;
}

std::optional<SetupMessage> Type(CEingabeBasisRegisterkarte& page, const std::string& text) {
    page.TypeEntry(text);
    return page.Accept();
}

} // namespace

TEST(KeyCodes, ListAndNameTable) {
    EXPECT_EQ(KeyCodes::ListEntry(0), "NUL");
    EXPECT_EQ(KeyCodes::ListEntry(13), "CR (Enter)");
    EXPECT_EQ(KeyCodes::ListEntry(32), "SP");
    EXPECT_EQ(KeyCodes::ListEntry(39), "\xC2\xB4"); // the list shows the acute accent
    EXPECT_EQ(KeyCodes::ListEntry(96), "'");
    EXPECT_EQ(KeyCodes::ListEntry(127), "DEL");
    EXPECT_EQ(KeyCodes::ListEntry(139), "F12");
    EXPECT_EQ(KeyCodes::ListEntry(143), "Wait 100");
    EXPECT_EQ(KeyCodes::ListEntry(144), "");
    // The name table: 50 codes; others are named by their character.
    int named = 0;
    for (int code = 0; code < 256; ++code)
        named += KeyCodes::HasTableName(uint8_t(code));
    EXPECT_EQ(named, KeyCodes::NameTableSize);
    EXPECT_EQ(KeyCodes::Name(39), "'");
    EXPECT_EQ(KeyCodes::Name(0xE4), "\xC3\xA4"); // Windows Latin 1 'ä'
    EXPECT_EQ(KeyCodes::Name(0x80), "F1");
    EXPECT_EQ(KeyCodes::Name(0x90), "\xC2\x90"); // undefined in the code page: kept as U+0090
    EXPECT_EQ(KeyCodes::Name(140), "Shift+");
}

TEST(KeySequencePage, AcceptTakesHexNamesAndSingleCharacters) {
    CEingabeBasisRegisterkarte page(500, 524);
    EXPECT_FALSE(Type(page, "0D"));
    EXPECT_FALSE(Type(page, "41"));
    EXPECT_FALSE(Type(page, "8f"));
    EXPECT_FALSE(Type(page, "FF")); // the name of code 12, not a hex number
    EXPECT_FALSE(Type(page, "BS"));
    EXPECT_FALSE(Type(page, "EM"));
    EXPECT_FALSE(Type(page, "sp"));
    EXPECT_FALSE(Type(page, "'"));
    EXPECT_FALSE(Type(page, " "));
    EXPECT_EQ(Codes(page), (std::vector<int>{13, 65, 143, 12, 8, 25, 32, 39, 32}));
    EXPECT_EQ(page.Items()[0].name, "CR (Enter)");
    EXPECT_EQ(page.Items()[1].name, "A");
    EXPECT_EQ(page.Items()[2].name, "Wait 100");
    EXPECT_EQ(page.Items()[7].name, "'"); // typed: the character
    EXPECT_EQ(page.Items()[8].name, "SP");
    EXPECT_EQ(page.Rows()[0], "0D H     CR (Enter)");
    EXPECT_TRUE(page.Changed());
    EXPECT_TRUE(page.GetEntry().textSelected);
    EXPECT_TRUE(page.FocusToEntry());

    // Picked from the list, entry 39 is named as the list shows it.
    page.PickEntry(39);
    EXPECT_FALSE(page.Accept());
    EXPECT_EQ(page.Items().back().name, "\xC2\xB4");
}

TEST(KeySequencePage, AcceptRefusesWhatIsNoCode) {
    CEingabeBasisRegisterkarte page(500, 524);
    for (const char* text :
         {"90", "A5", "\xC3\xA4" /* ä = 228 */, "nonsense", "", "\xCE\xA9" /* not in the code page */}) {
        const auto message = Type(page, text);
        ASSERT_TRUE(message) << text;
        EXPECT_EQ(message->id, 529);
        EXPECT_EQ(message->icon, MessageIcon::Exclamation);
    }
    // A hex pair with a bad second digit is refused and selected for overtyping;
    // a failed name lookup leaves the selection alone.
    page.TypeEntry("1G");
    EXPECT_EQ(page.Accept()->id, 529);
    EXPECT_TRUE(page.GetEntry().textSelected);
    page.TypeEntry("xyz");
    EXPECT_EQ(page.Accept()->id, 529);
    EXPECT_FALSE(page.GetEntry().textSelected);
    EXPECT_TRUE(page.Items().empty());
    EXPECT_FALSE(page.Changed());

    // A typed character with a code in 128..143 is taken as it is.
    EXPECT_FALSE(Type(page, "\xE2\x82\xAC")); // the euro sign, 0x80
    EXPECT_EQ(Codes(page), std::vector<int>{0x80});
    EXPECT_EQ(page.Items()[0].name, "\xE2\x82\xAC");
}

TEST(KeySequencePage, FifteenItemsAtMostAndInsertionBeforeTheSelection) {
    CEingabeBasisRegisterkarte page(501, 525);
    for (int i = 0; i < 15; ++i)
        ASSERT_FALSE(Type(page, "41"));
    const auto full = Type(page, "42");
    ASSERT_TRUE(full);
    EXPECT_EQ(full->id, 530);
    EXPECT_EQ(full->icon, MessageIcon::None);
    EXPECT_EQ(page.ToBlock().size(), 16u);

    CEingabeBasisRegisterkarte insert(501, 525);
    for (const char* text : {"41", "42", "43"})
        Type(insert, text);
    insert.SelectRows({2});
    Type(insert, "58");
    EXPECT_EQ(insert.SelectedRows(), std::vector<int>{2}); // the new item, selected
    Type(insert, "59");
    EXPECT_EQ(Codes(insert), (std::vector<int>{0x41, 0x42, 0x59, 0x58, 0x43}));
}

TEST(KeySequencePage, DeleteMoveAndClear) {
    CEingabeBasisRegisterkarte page(502, 527);
    EXPECT_EQ(page.DeleteSelected()->id, 528);
    page.SetCodes({1, 2, 3, 4, 5});
    page.SelectRows({1, 3});
    page.TypeEntry("xx");
    EXPECT_FALSE(page.DeleteSelected());
    EXPECT_EQ(Codes(page), (std::vector<int>{1, 3, 5}));
    EXPECT_EQ(page.SelectedRows(), std::vector<int>{2}); // where the last deleted row was
    EXPECT_EQ(page.GetEntry().text, "");
    EXPECT_TRUE(page.Changed());

    page.SelectRows({2});
    page.DeleteSelected();
    EXPECT_TRUE(page.SelectedRows().empty()); // no row left at that place

    page.SetCodes({1, 2, 3});
    page.SetChanged(false);
    page.SelectRows({0});
    page.MoveUp(); // the first row stays
    EXPECT_FALSE(page.Changed());
    page.MoveDown();
    page.MoveDown();
    EXPECT_EQ(Codes(page), (std::vector<int>{2, 3, 1}));
    EXPECT_EQ(page.SelectedRows(), std::vector<int>{2});
    page.MoveDown();         // the last row stays
    page.SelectRows({2, 1}); // only the first selected row moves
    page.MoveUp();
    EXPECT_EQ(Codes(page), (std::vector<int>{3, 2, 1}));
    page.ClearAll();
    EXPECT_TRUE(page.Items().empty());
    EXPECT_EQ(page.ToBlock(), std::vector<uint8_t>{0xFF});
}

TEST(KeySequencePage, BlocksFromTheReader) {
    CEingabeBasisRegisterkarte page(520, 526);
    const uint8_t ab[] = {0x41, 0x42, 0xFF};
    page.FromBlock(ab, sizeof ab);
    EXPECT_EQ(Codes(page), (std::vector<int>{0x41, 0x42}));
    const uint8_t one[] = {0x41};
    page.FromBlock(one, 1);
    EXPECT_TRUE(page.Items().empty());
    // Whatever comes before the last byte is taken, 0xFF too.
    const uint8_t odd[] = {0xFF, 0x0D, 0x90, 0x00};
    page.FromBlock(odd, sizeof odd);
    EXPECT_EQ(Codes(page), (std::vector<int>{0xFF, 0x0D, 0x90}));
    EXPECT_EQ(page.Items()[1].name, "CR (Enter)");
    EXPECT_EQ(page.ToBlock(), (std::vector<uint8_t>{0xFF, 0x0D, 0x90, 0xFF}));
}

TEST(KeySequencePage, ProfileSections) {
    const CProfileFile file = CProfileFile::FromText("[Prefix]\nCount=3\nAscii0=300\nAscii1=13\n"
                                                     "[Suffix]\nCount=16\nAscii0=65\n"
                                                     "[Abziehen]\nCount=-2\nAscii0=65\n"
                                                     "[Termix]\nCount=2 \nAscii0= 9\nAscii1=x\n");
    CEingabeBasisRegisterkarte prefix(500, 524);
    EXPECT_FALSE(prefix.ReadProfile(file, "prefix"));
    EXPECT_EQ(Codes(prefix), (std::vector<int>{44, 13, 0})); // 300 keeps its low 8 bits; Ascii2 missing = 0

    CEingabeBasisRegisterkarte suffix(501, 525);
    suffix.SetCodes({7});
    const auto refused = suffix.ReadProfile(file, "Suffix");
    ASSERT_TRUE(refused);
    EXPECT_EQ(refused->id, 531);
    EXPECT_EQ(Codes(suffix), std::vector<int>{7}); // left as it was

    CEingabeBasisRegisterkarte abziehen(502, 527);
    EXPECT_FALSE(abziehen.ReadProfile(file, "Abziehen"));
    EXPECT_TRUE(abziehen.Items().empty());

    CEingabeBasisRegisterkarte termix(520, 526);
    EXPECT_FALSE(termix.ReadProfile(file, "Termix"));
    EXPECT_EQ(Codes(termix), (std::vector<int>{9, 0}));

    // Writing a shorter sequence leaves the old item keys; reading takes Count.
    CProfileFile out = CProfileFile::FromText("[Prefix]\r\nCount=5\r\nAscii0=1\r\nAscii1=2\r\nAscii2=3\r\n"
                                              "Ascii3=4\r\nAscii4=5\r\n");
    CEingabeBasisRegisterkarte two(500, 524);
    two.SetCodes({0x90, 0x0D});
    two.WriteProfile(out, "Prefix");
    EXPECT_EQ(out.Text(),
              "[Prefix]\r\nCount=2\r\nAscii0=144\r\nAscii1=13\r\nAscii2=3\r\nAscii3=4\r\nAscii4=5\r\n");
    CEingabeBasisRegisterkarte back(500, 524);
    back.ReadProfile(out, "Prefix");
    EXPECT_EQ(Codes(back), (std::vector<int>{0x90, 0x0D}));
}
