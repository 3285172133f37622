#include "DatenRegisterkarte.h"
#include "FakeHost.h"
#include "ParamRegisterkarte.h"
#include "ProfileFile.h"

#include <gtest/gtest.h>

namespace {

constexpr int AllFeatures = 0x1F000;

} // namespace

// ---- data page ----

TEST(DataPage, ValidationOrderRangesAndMessages) {
    CDatenRegisterkarte page(AllFeatures);
    auto& c = page.GetControls();
    c.characterCount = "0";
    auto failure = page.Validate();
    ASSERT_TRUE(failure);
    EXPECT_EQ(failure->id, 61714);
    EXPECT_EQ(failure->text, "Geben Sie bitte eine ganze Zahl zwischen 1 und 32 ein.");
    EXPECT_EQ(failure->control, CDatenRegisterkarte::IdCharacterCount);

    c.characterCount = "33";
    c.lastUsedByte = "abc"; // the first failure wins
    EXPECT_EQ(page.Validate()->control, CDatenRegisterkarte::IdCharacterCount);
    c.characterCount = "32";
    failure = page.Validate();
    EXPECT_EQ(failure->id, 61712);
    EXPECT_EQ(failure->text, "Geben Sie bitte eine ganze Zahl ein.");
    EXPECT_EQ(failure->control, CDatenRegisterkarte::IdLastUsedByte);

    c.lastUsedByte = " 7 ";
    c.firstUsedByte = "";
    EXPECT_EQ(page.Validate()->control, CDatenRegisterkarte::IdFirstUsedByte);
    c.firstUsedByte = "1";
    c.identifierAfter = "ab";
    failure = page.Validate();
    EXPECT_EQ(failure->id, 61716);
    EXPECT_EQ(failure->text, "Geben Sie bitte nicht mehr als 1 Zeichen ein.");
    EXPECT_EQ(failure->control, CDatenRegisterkarte::IdIdentifierAfter);
    c.identifierAfter = "\xC3\xA4"; // one character in two bytes
    EXPECT_FALSE(page.Validate());
    EXPECT_EQ(page.GetMembers().lastUsedByte, 7);
}

TEST(DataPage, RegisterStartsAreCheckedOnlyForBlocks) {
    CDatenRegisterkarte page(AllFeatures);
    auto& c = page.GetControls();
    c.registers[2].start = "300"; // in a row whose type is "-----"
    EXPECT_FALSE(page.Validate());
    EXPECT_EQ(page.ErrorMarker(), 0);
    c.dataFormat = 1;
    const auto failure = page.Validate();
    ASSERT_TRUE(failure);
    EXPECT_EQ(failure->id, 551);
    EXPECT_EQ(page.ErrorMarker(), 1);
    c.registers[2].start = "";     // empty counts as 0
    c.registers[3].length = "999"; // lengths are not checked
    EXPECT_FALSE(page.Validate());
    EXPECT_EQ(page.ErrorMarker(), 0);
}

TEST(DataPage, RecordExchange) {
    CDatenRegisterkarte page(AllFeatures);
    KonfigDaten in;
    in.TransponderTyp = 3; // only bit 0 counts
    in.Darstellung = 4;
    in.ZeichenAnzahl = 20;
    in.GueltigeBytes = 8;
    in.GueltigeBytesAb = 2;
    in.Ausrichtung = 3;
    in.KennungLinks = 'L';
    in.KennungRechts = 0xE4;
    in.Registers[0] = {2, 6, 2};
    in.Registers[1] = {0, 9, 9}; // an empty register shows no texts
    page.FromRecord(in);
    page.Refresh();
    const auto& c = page.GetControls();
    EXPECT_EQ(c.dataFormat, 1);
    EXPECT_EQ(c.registers[0].start, "2");
    EXPECT_EQ(c.registers[1].start, "");
    EXPECT_EQ(c.identifierAfter, "\xC3\xA4");
    ASSERT_FALSE(page.Validate());
    KonfigDaten out;
    page.ToRecord(out);
    EXPECT_EQ(out.TransponderTyp, 1);
    EXPECT_EQ(out.Darstellung, 4);
    EXPECT_EQ(out.Ausrichtung, 3);
    EXPECT_EQ(out.KennungLinks, 'L');
    EXPECT_EQ(out.KennungRechts, 0xE4);
    EXPECT_EQ(out.Registers[0].MemTypeRegister, 2);
    EXPECT_EQ(out.Registers[0].LaengeRegister, 6);
    EXPECT_EQ(out.Registers[1].StartRegister, 0);
}

TEST(DataPage, FeaturesOffHideAndForceTheirValues) {
    CDatenRegisterkarte page(0x1000); // none of the feature bits
    KonfigDaten in;
    in.GueltigeBytesAb = 4;
    in.Ausrichtung = 3;
    in.KennungLinks = 'X';
    page.FromRecord(in);
    page.Show();
    EXPECT_FALSE(page.IsVisible(CDatenRegisterkarte::IdFirstUsedByte));
    EXPECT_FALSE(page.IsVisible(CDatenRegisterkarte::IdBitRotation));
    EXPECT_FALSE(page.IsVisible(CDatenRegisterkarte::IdDecimalNoZeros));
    EXPECT_FALSE(page.IsVisible(CDatenRegisterkarte::IdIdentifierBefore));
    EXPECT_TRUE(page.IsVisible(CDatenRegisterkarte::IdLastUsedByte));
    ASSERT_FALSE(page.Validate());
    KonfigDaten out;
    page.ToRecord(out);
    EXPECT_EQ(out.GueltigeBytesAb, 1);
    EXPECT_EQ(out.Ausrichtung, 0);
    EXPECT_EQ(out.KennungLinks, 0); // the edit holds 'X', the record gets none
}

TEST(DataPage, ParamBlocks) {
    CDatenRegisterkarte page(AllFeatures);
    uint8_t block[24] = {0,    0x45, 0x03, 0x00, 0x00, 0xC0, 0x10, 0x01, 0x00, 0xFF, 0xFF, 0xFF,
                         0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x02, 0x07, 12,   6,    2,    'A',  0};
    EXPECT_FALSE(page.FromBlock(block, 23)); // short: refused, unchanged
    EXPECT_EQ(page.GetMembers().dataFormat, 0);
    std::optional<SetupMessage> message;
    EXPECT_TRUE(page.FromBlock(block, 24, &message));
    EXPECT_FALSE(message);
    const auto& m = page.GetMembers();
    EXPECT_EQ(m.registers[0].type, 2); // EPC
    EXPECT_EQ(m.registers[0].length, "5");
    EXPECT_EQ(m.registers[0].start, "3");
    EXPECT_EQ(m.registers[1].type, 4); // USER
    EXPECT_EQ(m.registers[1].length, "0");
    EXPECT_EQ(m.registers[1].start, "272");
    EXPECT_EQ(m.registers[2].type, 0);
    // A representation without a button: the default is taken over and noted.
    EXPECT_EQ(m.representation, 0);
    EXPECT_EQ(page.GetControls().representation, 0);
    ASSERT_TRUE(page.Replacement());
    EXPECT_EQ(page.Replacement()->from, 7);
    EXPECT_TRUE(page.HasChanged()); // although the page was never shown
    EXPECT_TRUE(m.bitRotation);
    EXPECT_FALSE(m.byteRotation);
    EXPECT_EQ(m.identifierBefore, "A");
    EXPECT_EQ(m.identifierAfter, "");
    EXPECT_FALSE(page.GetFormatState().registersEnabled);
    // So the byte never reaches the reader, also when no button is checked.
    ASSERT_FALSE(page.Validate());
    KonfigDaten out;
    page.ToRecord(out);
    EXPECT_EQ(out.Darstellung, 0);
    page.GetMembers().representation = 9;
    page.GetControls().representation = -1;
    ASSERT_FALSE(page.Validate());
    page.ToRecord(out);
    EXPECT_EQ(out.Darstellung, 0);

    // A character count of 0 shows the range message and falls back.
    block[19] = 0;
    EXPECT_FALSE(page.FromBlock(block, 24, &message));
    ASSERT_TRUE(message);
    EXPECT_EQ(message->id, 61714);
    EXPECT_EQ(m.characterCount, 10);
    EXPECT_EQ(m.lastUsedByte, 5);
    EXPECT_EQ(m.firstUsedByte, 1);
    EXPECT_EQ(m.representation, 0);
    EXPECT_EQ(m.dataFormat, 0);
    EXPECT_FALSE(m.bitRotation);
    EXPECT_EQ(m.registers[1].start, "272"); // registers and identifiers stay
    EXPECT_EQ(m.identifierBefore, "A");
    EXPECT_FALSE(page.GetFormatState().registersEnabled);
    EXPECT_EQ(page.GetFormatState().frameCaption, "UID");
    EXPECT_EQ(page.GetFormatState().lines[0], "Keine Register");

    // In block format the start 272 fails the register check.
    block[19] = 12;
    block[0] = 1;
    EXPECT_FALSE(page.FromBlock(block, 24, &message));
    EXPECT_EQ(message->id, 551);
    EXPECT_EQ(page.ErrorMarker(), 1);
    EXPECT_EQ(m.dataFormat, 0);
    block[6] = 0xFF; // start 255
    block[7] = 0x00;
    EXPECT_TRUE(page.FromBlock(block, 24));
    EXPECT_EQ(m.registers[1].start, "255");
    EXPECT_TRUE(page.GetFormatState().registersEnabled);
    EXPECT_EQ(page.GetFormatState().frameCaption, "Blöcke");
    EXPECT_EQ(page.GetFormatState().lines[4], " ");
}

TEST(DataPage, ProfileDefaultsAndClamps) {
    CDatenRegisterkarte page(AllFeatures);
    page.ReadProfile(CProfileFile::FromText("[Other]\nA=1\n")); // no Data section
    auto m = page.GetMembers();
    EXPECT_EQ(m.representation, 1);
    EXPECT_EQ(m.characterCount, 10);
    EXPECT_EQ(m.lastUsedByte, 5);
    EXPECT_EQ(m.firstUsedByte, 1);
    EXPECT_EQ(m.registers[0].type, 0);

    page.ReadProfile(CProfileFile::FromText("[Data]\nDarstellung=3\nGueltigeBytesAb=0\n"));
    EXPECT_EQ(page.GetMembers().lastUsedByte, 6);
    EXPECT_EQ(page.GetMembers().firstUsedByte, 1);
    page.ReadProfile(CProfileFile::FromText("[Data]\nGueltigeBytes=0\nGueltigeBytesAb=17\n"));
    EXPECT_EQ(page.GetMembers().lastUsedByte, 1);
    EXPECT_EQ(page.GetMembers().firstUsedByte, 16);
    page.ReadProfile(CProfileFile::FromText("[Data]\nGueltigeBytes=20\nDarstellung=300\nTransponderTyp=1\n"
                                            "MemTypeRegister2=3\nStartRegister2=-5\nLaengeRegister2=300\n"));
    m = page.GetMembers();
    EXPECT_EQ(m.lastUsedByte, 16);
    EXPECT_EQ(m.representation, 0); // 300 truncated to a byte, 44, has no button
    ASSERT_TRUE(page.Replacement());
    EXPECT_EQ(page.Replacement()->from, 44);
    EXPECT_EQ(m.registers[1].start, "-5");
    EXPECT_EQ(m.registers[1].length, "44");
    EXPECT_TRUE(page.GetFormatState().registersEnabled);
    // Block format: a negative start fails the register check.
    EXPECT_EQ(page.Validate()->id, 551);
}

TEST(DataPage, ChangeTestNeedsAShownPage) {
    CDatenRegisterkarte page(AllFeatures);
    page.GetControls().characterCount = "12";
    EXPECT_FALSE(page.HasChanged());
    page.Show(); // refreshes the controls from the members first
    page.GetControls().characterCount = "12";
    EXPECT_TRUE(page.HasChanged());
    page.TakeSnapshot();
    EXPECT_FALSE(page.HasChanged());
    page.GetControls().characterCount = "0";
    std::optional<SetupMessage> message;
    EXPECT_FALSE(page.HasChanged(&message));
    EXPECT_EQ(message->id, 61714);
}

// ---- parameter page ----

TEST(ParamPage, ModeParamBlocks) {
    CParamRegisterkarte page(0);
    const uint8_t a[] = {0x03, 0x0A, 0x41, 0x05};
    ASSERT_TRUE(page.FromBlock(a, 4, 9600));
    auto m = page.GetMembers();
    EXPECT_EQ(m.mode, 3);
    EXPECT_FALSE(m.sensor);
    EXPECT_EQ(m.cycleTime, 1000);
    EXPECT_EQ(m.request, "A");
    EXPECT_EQ(m.timeout, 500);
    EXPECT_EQ(m.currentBaud, 9600);
    EXPECT_TRUE(page.GetState().cycleTimeEnabled);
    EXPECT_FALSE(page.GetState().timeoutEnabled);

    const uint8_t b[] = {0x11, 0x01, 0x1F, 0x80};
    ASSERT_TRUE(page.FromBlock(b, 4, 19200));
    m = page.GetMembers();
    EXPECT_EQ(m.mode, 1);
    EXPECT_TRUE(m.sensor); // kept although the check box is hidden
    EXPECT_EQ(m.cycleTime, 100);
    EXPECT_EQ(m.request, "?");
    EXPECT_EQ(m.timeout, 500);
    EXPECT_FALSE(page.GetState().sensorVisible);
    KonfigDaten out;
    page.ToRecord(out);
    EXPECT_EQ(out.Betriebsart, 0x11);

    EXPECT_FALSE(page.FromBlock(b, 1, 19200)); // refused
    const uint8_t two[] = {0x00, 0x05};        // missing bytes count as 0
    ASSERT_TRUE(page.FromBlock(two, 2, 19200));
    EXPECT_EQ(page.GetMembers().request, "?");
    EXPECT_EQ(page.GetMembers().timeout, 500);

    // A cycle time byte 0 gives 0 ms: the range message, then the defaults.
    const uint8_t zero[] = {0x13, 0x00, 0x41, 0x05};
    std::optional<SetupMessage> message;
    EXPECT_FALSE(page.FromBlock(zero, 4, 9600, &message));
    EXPECT_EQ(message->id, 61714);
    EXPECT_EQ(message->text, "Geben Sie bitte eine ganze Zahl zwischen 100 und 12700 ein.");
    m = page.GetMembers();
    EXPECT_EQ(m.mode, 0);
    EXPECT_EQ(m.currentBaud, 19200);
    EXPECT_EQ(m.cycleTime, 1000);
    EXPECT_EQ(m.request, "?");
}

TEST(ParamPage, ModesWithoutAButtonAreKept) {
    CParamRegisterkarte page(0x80);
    page.ReadProfile(CProfileFile::FromText("[Data]\nBetriebsart=5\n"));
    EXPECT_EQ(page.GetControls().mode, -1);
    EXPECT_TRUE(page.GetState().timeoutEnabled);
    EXPECT_TRUE(page.GetState().cycleTimeEnabled);
    EXPECT_FALSE(page.GetState().requestEnabled);
    EXPECT_TRUE(page.GetState().sensorVisible);
    ASSERT_FALSE(page.Validate());
    KonfigDaten out;
    page.ToRecord(out);
    EXPECT_EQ(out.Betriebsart, 5); // never 0xFF
    EXPECT_FALSE(page.Replacement());
    page.ClickMode(1);
    EXPECT_TRUE(page.GetState().requestEnabled);
    EXPECT_FALSE(page.GetState().cycleTimeEnabled);
    // Mode 9 changes no enabling.
    page.GetMembers().mode = 9;
    page.ApplyModeState();
    EXPECT_TRUE(page.GetState().requestEnabled);
}

TEST(ParamPage, ModesThatNoReaderHasBecomeMode0) {
    CParamRegisterkarte page(0x80);
    for (int mode : {4, 7, 9, 15}) {
        SCOPED_TRACE(mode);
        const uint8_t block[] = {uint8_t(0x10 | mode), 0x0A, 0x3F, 0x05};
        ASSERT_TRUE(page.FromBlock(block, 4, 19200));
        EXPECT_EQ(page.GetMembers().mode, 0);
        EXPECT_EQ(page.GetControls().mode, 0);
        ASSERT_TRUE(page.Replacement());
        EXPECT_EQ(page.Replacement()->field, "Betriebsart");
        EXPECT_EQ(page.Replacement()->from, mode);
        KonfigDaten out;
        ASSERT_FALSE(page.Validate());
        page.ToRecord(out);
        EXPECT_EQ(out.Betriebsart, 0x10); // the sensor bit stays
    }
    // The known modes come and go without a note, also after a replacement.
    for (int mode : {0, 1, 2, 3, 5, 6}) {
        KonfigDaten in;
        in.Betriebsart = uint8_t(mode);
        page.FromRecord(in);
        EXPECT_EQ(page.GetMembers().mode, mode);
        EXPECT_FALSE(page.Replacement());
    }
    // A mode put on the page by other means is not written either.
    page.GetMembers().mode = 12;
    page.GetControls().mode = -1;
    ASSERT_FALSE(page.Validate());
    KonfigDaten out;
    page.ToRecord(out);
    EXPECT_EQ(out.Betriebsart & 0x0F, 0);
    EXPECT_EQ(page.Replacement()->from, 12);
}

TEST(ParamPage, ValidationAndRecord) {
    CParamRegisterkarte page(0);
    auto& c = page.GetControls();
    c.cycleTime = "12700";
    c.request = "";
    ASSERT_FALSE(page.Validate());
    KonfigDaten out;
    page.ToRecord(out);
    EXPECT_EQ(out.Aufforderung, '?');
    EXPECT_EQ(out.Zykluszeit, 12700);
    c.cycleTime = "12701";
    EXPECT_EQ(page.Validate()->control, CParamRegisterkarte::IdCycleTime);
    c.cycleTime = "1000";
    c.timeout = "99";
    EXPECT_EQ(page.Validate()->control, CParamRegisterkarte::IdTimeout);
    c.timeout = "500";
    c.request = "ab";
    EXPECT_EQ(page.Validate()->id, 61716);
    c.request = "\xC3\xA4";
    ASSERT_FALSE(page.Validate());
    page.ToRecord(out);
    EXPECT_EQ(out.Aufforderung, 0xE4);

    KonfigDaten in;
    in.Baudrate = 57600;
    page.FromRecord(in);
    EXPECT_EQ(page.GetControls().currentBaud, "57600");
    EXPECT_EQ(page.SetBaudText(), "19200");
    in.Baudrate = 4800;
    page.FromRecord(in);
    EXPECT_EQ(page.ChosenBaudRate(), 4800);
}

TEST(ParamPage, ShowingReadsThePortName) {
    FakeHost host;
    CParamRegisterkarte page(0);
    page.Show(host);
    EXPECT_EQ(host.settings["Port/Name"], "COM1");
    EXPECT_TRUE(page.GetState().setBaudEnabled);
    host.settings["Port/Name"] = "USB: KV-PLM41 HID";
    CParamRegisterkarte usb(0);
    usb.Show(host);
    EXPECT_FALSE(usb.GetState().setBaudEnabled);
}

TEST(ParamPage, ProfileKeys) {
    KonfigDaten record;
    CParamRegisterkarte::ReadRecord(
        CProfileFile::FromText(
            "[Data]\nBetriebsart=0x13\nZykluszeit=\nAufforderung= \nTimeoutRS232=70000000000\n"),
        record);
    EXPECT_EQ(record.Betriebsart, 0); // atoi stops at the x
    EXPECT_EQ(record.Zykluszeit, 0);  // present but empty: 0
    EXPECT_EQ(record.Aufforderung, '?');
    EXPECT_EQ(record.TimeoutRS232, 700000000); // cut to 9 characters
    EXPECT_EQ(record.Baudrate, 19200);
    CParamRegisterkarte::ReadRecord(CProfileFile::FromText("[Data]\nAufforderung=AB\n"), record);
    EXPECT_EQ(record.Aufforderung, 'A');
    CParamRegisterkarte::ReadRecord(CProfileFile::FromText("[Data]\nAufforderung=\x1b\n"), record);
    EXPECT_EQ(record.Aufforderung, '?');

    // A blank request character is saved as a blank and loads as "?".
    CProfileFile file;
    record.Aufforderung = ' ';
    CParamRegisterkarte::WriteProfile(record, file);
    EXPECT_NE(file.Text().find("Aufforderung= \r\n"), std::string::npos);
    KonfigDaten back;
    CParamRegisterkarte::ReadRecord(file, back);
    EXPECT_EQ(back.Aufforderung, '?');
}
