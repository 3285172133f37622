// ConfigDiff reading the simulated reader on a pseudo-terminal: a reader
// programmed from a file compares equal to it, a changed block shows, and a
// reader that does not give its blocks is no comparison.
#include "ConfigDiff.h"
#include "ProgramReader.h"
#include "SimHost.h"

#include <fstream>

namespace {

using Block = CSimReader::Block;
using Strings = std::vector<std::string>;

class ConfigDiffSim : public SimFixture {
protected:
    std::string Write(const std::string& name, const std::string& text) {
        const std::string path = folder + "/" + name;
        std::ofstream(path, std::ios::binary) << text;
        return path;
    }
    Strings Lines(const ConfigDiff::Configuration& left, const ConfigDiff::Configuration& right) {
        Strings lines;
        for (const ConfigDiff::Difference& difference : ConfigDiff::Compare(left, right))
            lines.push_back(ConfigDiff::Line(difference));
        return lines;
    }
};

const char* const kFile =
    "[Prefix]\r\nCount=1\r\nAscii0=2\r\n[Data]\r\nTransponderTyp=1\r\nMemTypeRegister1=4\r\n"
    "StartRegister1=2\r\nLaengeRegister1=8\r\nDarstellung=4\r\nZeichenAnzahl=12\r\n"
    "Betriebsart=3\r\nZykluszeit=1500\r\nBaudrate=19200\r\nTimeoutRS232=300\r\n"
    "[Suffix]\r\nCount=2\r\nAscii0=13\r\nAscii1=10\r\n[Termix]\r\nCount=1\r\nAscii0=44\r\n";

} // namespace

TEST_F(ConfigDiffSim, AReaderProgrammedFromAFileHoldsIt) {
    const std::string file = Write("a.mkr", kFile);
    CSeriellEinstellModel model;
    ASSERT_TRUE(model.LoadFile(host, file));
    ASSERT_EQ(ProgramReader(model, host), ProgramResult::Programmed);

    host.messages.clear();
    const auto held = ConfigDiff::ReadReader(host);
    ASSERT_TRUE(held) << (host.messages.empty() ? "" : host.messages.front().text);
    EXPECT_TRUE(held->fromReader);
    EXPECT_FALSE(held->hid);
    // A reader on a serial line: the rate it answers at.
    EXPECT_EQ(held->baudRate, std::optional<int>(19200));
    EXPECT_EQ(held->sequences[1], (ConfigDiff::Bytes{0x0D, 0x0A}));
    EXPECT_EQ(held->sequences[3], (ConfigDiff::Bytes{','}));
    // The session was closed again.
    EXPECT_FALSE(host.closed.empty());

    const auto loaded = ConfigDiff::LoadFile(host, file);
    ASSERT_TRUE(loaded);
    EXPECT_EQ(Lines(*held, *loaded), Strings{});

    // Changed behind the file's back: mode 1, the Suffix without LF, a
    // representation no page button has.
    reader->SetBlock(Block::ModeParam, {0x01, 0x0F, 0x3F, 0x03});
    reader->SetBlock(Block::Suffix, {0x0D, 0xFF});
    ConfigDiff::Bytes param = reader->GetBlock(Block::Param);
    ASSERT_EQ(param.size(), 24u);
    param[18] = 9;
    reader->SetBlock(Block::Param, param);
    const auto changed = ConfigDiff::ReadReader(host);
    ASSERT_TRUE(changed);
    EXPECT_EQ(Lines(*changed, *loaded),
              (Strings{"Betriebsart: Mode 1 -> Mode 3",
                       "Darstellung der Daten: Unbekannt (9) -> Hexadezimal (abcdef)",
                       "Suffix: CR (Enter) -> CR (Enter), LF"}));
}

TEST_F(ConfigDiffSim, AReaderThatDoesNotGiveItsBlocksIsNoComparison) {
    reader->FaultStatus(0x89, 20, false); // ReadParam
    EXPECT_FALSE(ConfigDiff::ReadReader(host));
    ASSERT_EQ(host.MessageIds(), (std::vector<int>{562}));
    EXPECT_NE(host.messages[0].text.find("ReadParam"), std::string::npos) << host.messages[0].text;
    EXPECT_EQ(host.closed.size(), 1u);

    // Too short to be decoded.
    host.messages.clear();
    reader->SetBlock(Block::Param, ConfigDiff::Bytes(10, 0));
    EXPECT_FALSE(ConfigDiff::ReadReader(host));
    EXPECT_EQ(host.MessageIds(), (std::vector<int>{546}));
    EXPECT_EQ(host.closed.size(), 2u);

    // No reader at all: the connect's message.
    host.messages.clear();
    host.settings["Port/Name"] = folder + "/no-such-reader";
    EXPECT_FALSE(ConfigDiff::ReadReader(host));
    EXPECT_EQ(host.MessageIds(), (std::vector<int>{521}));
}
