// The LAN settings dialog's logic without widgets: the block's fields, the
// enabling, what OK refuses, the texts it sends, the port it stores and the
// re-find, against a fake network configuration.
#include "LanSettings.h"
#include "FrontendTestSupport.h"
#include "LanTestSupport.h"

#include <gtest/gtest.h>

namespace {

using frontend::LanBlock;
using frontend::LanSettings;

QStringList Octets(const char* a, const char* b, const char* c, const char* d) {
    return {QString::fromLatin1(a), QString::fromLatin1(b), QString::fromLatin1(c), QString::fromLatin1(d)};
}

TEST(LanBlock, DecodesTheFieldsOfExactly120Bytes) {
    auto bytes = LanBlockBytes({192, 168, 0, 20}, 8, 10001, "LAGER1");
    LanBlock block;
    ASSERT_TRUE(LanBlock::Decode(bytes.data(), int(bytes.size()), block));
    EXPECT_FALSE(block.dhcp);
    EXPECT_EQ(block.address, (std::array<int, 4>{192, 168, 0, 20}));
    EXPECT_EQ(block.hostBits, 8);
    EXPECT_EQ(block.port, 10001);
    EXPECT_EQ(block.name, "LAGER1");

    // Eight characters fill the field up to the block's end, unterminated.
    bytes = LanBlockBytes({0, 0, 0, 0}, 16, 0xFFFF, "ABCDEFGH");
    ASSERT_TRUE(LanBlock::Decode(bytes.data(), 120, block));
    EXPECT_TRUE(block.dhcp);
    EXPECT_EQ(block.name, "ABCDEFGH");
    EXPECT_EQ(block.port, 65535);

    // Only an address of four zeros is DHCP.
    bytes = LanBlockBytes({0, 0, 0, 1}, 8, 10001, "");
    ASSERT_TRUE(LanBlock::Decode(bytes.data(), 120, block));
    EXPECT_FALSE(block.dhcp);

    bytes.resize(121);
    EXPECT_FALSE(LanBlock::Decode(bytes.data(), 121, block));
    EXPECT_FALSE(LanBlock::Decode(bytes.data(), 119, block));
    EXPECT_FALSE(LanBlock::Decode(bytes.data(), -1, block));
    EXPECT_FALSE(LanBlock::Decode(nullptr, 120, block));
}

TEST(LanBlock, MaskOfHostBits) {
    const std::pair<int, std::array<int, 4>> cases[] = {
        {8, {255, 255, 255, 0}}, {16, {255, 255, 0, 0}}, {12, {255, 255, 240, 0}}, {0, {255, 255, 255, 255}},
        {31, {128, 0, 0, 0}},    {32, {0, 0, 0, 0}},     {255, {0, 0, 0, 0}},
    };
    for (const auto& [bits, mask] : cases)
        EXPECT_EQ(LanBlock::MaskOfHostBits(bits), mask) << bits;
}

class LanSettingsTest : public ::testing::Test {
protected:
    void SetUp() override { StorePort("LAN: 192.168.0.20-10001", 19200, 500, 3); }

    LanSettings& Opened() {
        model = std::make_unique<LanSettings>(appkit::Program::Morvane, &link, &lists);
        model->Open();
        return *model;
    }
    // Fixed values that OK takes.
    void SetFixed(LanSettings& settings) {
        auto& c = settings.controls();
        c.mode = LanSettings::Fixed;
        c.address = Octets("192", "168", "0", "21");
        c.mask = Octets("255", "255", "255", "0");
        c.portText = "10002";
    }
    QString Refusal(LanSettings& settings, LanSettings::Field expected) {
        LanSettings::Message message;
        LanSettings::Field field = LanSettings::Field::None;
        EXPECT_FALSE(settings.Validate(message, field));
        EXPECT_EQ(field, expected);
        return message.text;
    }

    FakeLists lists;
    FakeLanLink link;
    std::unique_ptr<LanSettings> model;
};

TEST_F(LanSettingsTest, OpeningShowsRecord0AndClosesTheChannel) {
    link.block = LanBlockBytes({192, 168, 0, 20}, 16, 10001, "OLD");
    LanSettings& settings = Opened();
    const auto& c = settings.controls();
    EXPECT_EQ(c.mode, LanSettings::Fixed);
    EXPECT_EQ(c.address, Octets("192", "168", "0", "20"));
    EXPECT_EQ(c.mask, Octets("255", "255", "0", "0"));
    EXPECT_EQ(c.portText, "10001");
    EXPECT_EQ(c.name, "OLD");
    EXPECT_TRUE(c.fixedEnabled);
    EXPECT_FALSE(c.nameEnabled);
    EXPECT_EQ(link.calls,
              (std::vector<std::string>{"open 192.168.0.20-10001:3", "read 7 0 120", "close 7 0"}));
    EXPECT_EQ(settings.LinkPortName(), "192.168.0.20-10001:3");
}

TEST_F(LanSettingsTest, ADhcpBlockOpensInMode0WithTheUsualMaskWhateverByte6Says) {
    link.block = LanBlockBytes({0, 0, 0, 0}, 16, 10001, "ABCDEFGH");
    LanSettings& settings = Opened();
    const auto& c = settings.controls();
    EXPECT_EQ(c.mode, LanSettings::Dhcp);
    EXPECT_EQ(c.mask, Octets("255", "255", "255", "0"));
    EXPECT_EQ(c.address, Octets("0", "0", "0", "0"));
    EXPECT_EQ(c.name, "ABCDEFGH");
    EXPECT_TRUE(c.nameEnabled);
    EXPECT_FALSE(c.fixedEnabled);

    // Switching to a fixed address enables the other fields.
    settings.controls().mode = LanSettings::Fixed;
    settings.ModeChanged();
    EXPECT_FALSE(c.nameEnabled);
    EXPECT_TRUE(c.fixedEnabled);
}

TEST_F(LanSettingsTest, ABlockThatIsNot120BytesLeavesTheValuesEmpty) {
    for (int result : {-1, 119, 0}) {
        link.calls.clear();
        link.readResult = result;
        LanSettings& settings = Opened();
        const auto& c = settings.controls();
        EXPECT_EQ(c.mode, LanSettings::NoMode) << result;
        EXPECT_EQ(c.portText, "0");
        EXPECT_EQ(c.address, QStringList(4, QString()));
        EXPECT_TRUE(c.name.isEmpty());
        EXPECT_FALSE(c.nameEnabled || c.fixedEnabled);
        // Closed whatever the outcome.
        EXPECT_EQ(link.calls.back(), "close 7 0");
    }
    // No channel: nothing to read or close.
    link.calls.clear();
    link.openResult = -1;
    Opened();
    EXPECT_EQ(link.calls, std::vector<std::string>{"open 192.168.0.20-10001:3"});
    // A port that is no network port is not asked at all.
    StorePort("/dev/ttyS0");
    link.calls.clear();
    Opened();
    EXPECT_TRUE(link.calls.empty());
}

TEST_F(LanSettingsTest, TheTextsOfBothModes) {
    EXPECT_EQ(LanSettings::AddressText(LanSettings::Fixed, "X", Octets("192", "168", "0", "20"), 10001),
              "192.168.0.20-10001");
    EXPECT_EQ(LanSettings::AddressText(LanSettings::Fixed, {}, Octets("010", "0", "0", "7"), 80),
              "10.0.0.7-80");
    EXPECT_EQ(LanSettings::AddressText(LanSettings::Dhcp, "ABC", Octets("1", "2", "3", "4"), 10001), "[ABC]");
    EXPECT_EQ(LanSettings::SubnetText(LanSettings::Fixed, Octets("255", "255", "0", "0")), "255.255.0.0");
    EXPECT_EQ(LanSettings::SubnetText(LanSettings::Dhcp, Octets("255", "255", "0", "0")), "");
}

TEST_F(LanSettingsTest, OkRefusesWhatTheReaderCannotBeFoundUnder) {
    LanSettings& settings = Opened();
    auto& c = settings.controls();

    c.mode = LanSettings::NoMode;
    EXPECT_EQ(Refusal(settings, LanSettings::Field::Mode),
              QString::fromUtf8("Bitte wählen Sie, wie das Gerät seine IP-Adresse erhält."));

    c.mode = LanSettings::Dhcp;
    c.name = "";
    EXPECT_EQ(Refusal(settings, LanSettings::Field::Name), "Bitte geben Sie einen DHCP-Namen ein.");
    c.name = "ABCDEFGHI"; // a ninth character
    EXPECT_EQ(Refusal(settings, LanSettings::Field::Name), "Geben Sie nicht mehr als 8 Zeichen ein.");
    for (const char* name : {"AB C", "A]", "[A", "A:1", "LAGER\xc3\xbc"}) {
        c.name = QString::fromUtf8(name);
        EXPECT_TRUE(Refusal(settings, LanSettings::Field::Name).startsWith("Der DHCP-Name darf keine"))
            << name;
    }

    SetFixed(settings);
    const std::pair<QStringList, LanSettings::Field> addresses[] = {
        {Octets("0", "0", "0", "0"), LanSettings::Field::Address},
        {Octets("0", "1", "2", "3"), LanSettings::Field::Address},
        {Octets("192", "168", "", "20"), LanSettings::Field::Address},
        {Octets("192", "168", "0", "256"), LanSettings::Field::Address},
        {Octets("224", "0", "0", "1"), LanSettings::Field::Address},
        {Octets("255", "255", "255", "255"), LanSettings::Field::Address},
        {Octets("192", "168", "0", "0"), LanSettings::Field::Address},   // the subnet's network address
        {Octets("192", "168", "0", "255"), LanSettings::Field::Address}, // and its broadcast address
    };
    for (const auto& [address, field] : addresses) {
        c.address = address;
        EXPECT_TRUE(
            Refusal(settings, field).startsWith(QString::fromUtf8("Bitte geben Sie eine vollständige")))
            << address.join('.').toStdString();
    }
    SetFixed(settings);
    for (const char* port : {"0", "65536", "99999"}) {
        c.portText = port;
        EXPECT_EQ(Refusal(settings, LanSettings::Field::Port),
                  "Geben Sie eine ganze Zahl zwischen 1 und 65535 ein.")
            << port;
    }
    c.portText = "";
    EXPECT_EQ(Refusal(settings, LanSettings::Field::Port), "Geben Sie eine ganze Zahl ein.");
    SetFixed(settings);
    for (const QStringList& mask :
         {Octets("255", "0", "255", "0"), Octets("0", "0", "0", "0"), Octets("255", "255", "255", "255"),
          Octets("255", "255", "255", "254"), Octets("255", "255", "", "0")}) {
        c.mask = mask;
        EXPECT_TRUE(Refusal(settings, LanSettings::Field::Mask)
                        .startsWith(QString::fromUtf8("Bitte geben Sie eine gültige Subnetzmaske")))
            << mask.join('.').toStdString();
    }
    // Nothing refused went to the reader.
    EXPECT_EQ(link.Count("set"), 0);

    // What a reader can have: a fixed address (the disabled DHCP name is
    // not looked at), a /30 subnet, a loopback address, a name of 8.
    SetFixed(settings);
    c.name = "not looked at";
    LanSettings::Message message;
    LanSettings::Field field = LanSettings::Field::None;
    EXPECT_TRUE(settings.Validate(message, field));
    c.address = Octets("10", "0", "0", "1");
    c.mask = Octets("255", "255", "255", "252");
    EXPECT_TRUE(settings.Validate(message, field));
    c.address = Octets("127", "0", "0", "2");
    c.mask = Octets("255", "0", "0", "0");
    c.portText = "1";
    EXPECT_TRUE(settings.Validate(message, field));
    c.mode = LanSettings::Dhcp;
    c.name = "KV-PLM_8";
    c.portText = "not looked at";
    EXPECT_TRUE(settings.Validate(message, field));
    EXPECT_EQ(settings.AddressText(), "[KV-PLM_8]");
}

TEST_F(LanSettingsTest, OkSendsTheTextsAndStoresTheNewPort) {
    LanSettings& settings = Opened();
    LanSettings::Message message;
    LanSettings::Field field;

    // DHCP with the name ABC: the bracketed name and no mask.
    settings.controls().mode = LanSettings::Dhcp;
    settings.controls().name = "ABC";
    ASSERT_TRUE(settings.Validate(message, field));
    ASSERT_TRUE(settings.Send(message));
    EXPECT_EQ(link.calls.back(), "set 192.168.0.20-10001:3 [ABC] ''");
    EXPECT_EQ(StoredName(), "LAN: [ABC]");

    // A fixed address goes with its port and mask, to the port stored now.
    SetFixed(settings);
    ASSERT_TRUE(settings.Validate(message, field));
    ASSERT_TRUE(settings.Send(message));
    EXPECT_EQ(link.calls.back(), "set [ABC]:3 192.168.0.21-10002 '255.255.255.0'");
    EXPECT_EQ(StoredName(), "LAN: 192.168.0.21-10002");
    EXPECT_EQ(StoredInt("Adresse"), 3);
}

TEST_F(LanSettingsTest, AReaderThatDidNotTakeTheSettingsKeepsItsStoredPort) {
    LanSettings& settings = Opened();
    LanSettings::Message message;
    LanSettings::Field field;
    SetFixed(settings);
    ASSERT_TRUE(settings.Validate(message, field));
    for (int result : {-1, -11}) {
        link.setResult = result;
        EXPECT_FALSE(settings.Send(message));
        EXPECT_EQ(message.text,
                  QString::fromUtf8("Die Einstellungen konnten nicht zum Gerät übertragen werden.\r\n"
                                    "Die gespeicherte Schnittstelle bleibt unverändert."));
        EXPECT_EQ(StoredName(), "LAN: 192.168.0.20-10001");
    }
    // The stored port is no network port (any more): nothing is sent.
    StorePort("/dev/ttyS0");
    link.calls.clear();
    link.setResult = 0;
    EXPECT_FALSE(settings.Send(message));
    EXPECT_TRUE(link.calls.empty());
    EXPECT_EQ(StoredName(), "/dev/ttyS0");
}

TEST_F(LanSettingsTest, TheRefindAsksUntilTheReaderAnswersOrTheTimeIsUp) {
    LanSettings& settings = Opened();
    LanSettings::Message message;
    LanSettings::Field field;
    settings.controls().mode = LanSettings::Dhcp;
    settings.controls().name = "ABC";
    ASSERT_TRUE(settings.Validate(message, field));
    ASSERT_TRUE(settings.Send(message));

    link.foundFrom = 3;
    EXPECT_FALSE(settings.RefindStep(0));
    EXPECT_EQ(settings.Progress(), 0);
    EXPECT_FALSE(settings.RefindStep(300));
    EXPECT_EQ(settings.Progress(), 300);
    EXPECT_TRUE(settings.RefindStep(600));
    EXPECT_TRUE(settings.Found());
    EXPECT_EQ(settings.Progress(), 600);
    EXPECT_EQ(link.calls.back(), "find [ABC]");
    EXPECT_EQ(link.finds, 3);

    // Not found: asked until just before 25000 ms, then over.
    link.foundFrom = 0;
    link.finds = 0;
    EXPECT_FALSE(settings.RefindStep(24999));
    EXPECT_EQ(settings.Progress(), 24999);
    EXPECT_TRUE(settings.RefindStep(25000));
    EXPECT_FALSE(settings.Found());
    EXPECT_EQ(settings.Progress(), 25000);
    EXPECT_TRUE(settings.RefindStep(26234));
    EXPECT_EQ(settings.Progress(), 25000);
    EXPECT_EQ(link.finds, 1);
}

} // namespace
