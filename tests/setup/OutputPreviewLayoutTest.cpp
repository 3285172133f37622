// The preview of an HID reader: the keys its keyboard table presses, what a
// host with a named xkb layout ("us", "de", "fr") makes of them, and the
// mismatches; and the keys against those the simulated HID reader records.
// A layout that xkb-data does not provide skips its test with a message.
#include "HidSimulator.h"
#include "OutputPreview.h"
#include "SimOutputReader.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <optional>
#include <string>
#include <unistd.h>
#include <vector>

using OutputPreview::Bytes;

namespace {

// The table a named layout gives; the test is skipped without it.
#define LAYOUT_OR_SKIP(var, name)                                                                            \
    OutputPreview::HostLayout var;                                                                           \
    {                                                                                                        \
        std::string why;                                                                                     \
        if (!OutputPreview::LoadHostLayout(name, var, &why))                                                 \
            GTEST_SKIP() << "keyboard layout " << name << " not available (xkb-data?): " << why;             \
    }

// A serial-style configuration whose telegram is exactly text: the Prefix
// carries it, no data (EPC format, no used bytes), no Suffix.
OutputPreview::Config Typing(const std::string& text, const CHidKeyTable& table) {
    OutputPreview::Config config;
    config.hid = true;
    config.keyTable = table;
    config.blocks.param = Bytes{0x00};
    config.blocks.param.insert(config.blocks.param.end(), 16, 0xFF);
    config.blocks.param.insert(config.blocks.param.end(), {0x00, 0x02, 0x00, 0x00, 0x02, 0x00, 0x00});
    config.blocks.prefix.assign(text.begin(), text.end());
    config.blocks.prefix.push_back(0xFF);
    config.blocks.suffix = {0xFF};
    return config;
}

std::vector<std::string> Mismatches(const OutputPreview::Preview& preview) {
    std::vector<std::string> texts;
    for (size_t i : preview.telegram.mismatches)
        texts.push_back(preview.telegram.keys[i].Describe());
    return texts;
}

} // namespace

TEST(OutputPreviewLayouts, AnUsTableOnAGermanHostSwapsZAndYAndMovesTheAt) {
    LAYOUT_OR_SKIP(us, "us");
    LAYOUT_OR_SKIP(de, "de");
    const OutputPreview::Sample sample = OutputPreview::Sample::Default();
    const OutputPreview::Config config = Typing("Zy@1\r", us.table);

    const OutputPreview::Preview onUs = OutputPreview::Make(config, sample, &us);
    EXPECT_EQ(onUs.Mismatches(), 0u) << ::testing::PrintToString(Mismatches(onUs));
    EXPECT_EQ(onUs.telegram.hostText, "Zy@1<CR>");
    ASSERT_EQ(onUs.telegram.keys.size(), 5u);
    EXPECT_EQ(onUs.telegram.keys[0].key, (ReaderOutput::Key{0x02, 0x1D})); // Shift+Z
    EXPECT_EQ(onUs.telegram.keys[2].key, (ReaderOutput::Key{0x02, 0x1F})); // Shift+2
    EXPECT_EQ(onUs.telegram.keys[4].key, (ReaderOutput::Key{0x00, 0x28})); // Enter

    const OutputPreview::Preview onDe = OutputPreview::Make(config, sample, &de);
    EXPECT_EQ(onDe.telegram.hostText, "Yz\"1<CR>");
    EXPECT_EQ(Mismatches(onDe), (std::vector<std::string>{"Z typed, host shows Y", "y typed, host shows z",
                                                          "@ typed, host shows \""}));
    EXPECT_EQ(onDe.hostLayout, "de");

    // The German table fixes it: no mismatch on the German host, and now the
    // US host is the one that differs (its Q key has no AltGr character).
    const OutputPreview::Config fixed = Typing("Zy@1\r", de.table);
    const OutputPreview::Preview fixedOnDe = OutputPreview::Make(fixed, sample, &de);
    EXPECT_EQ(fixedOnDe.Mismatches(), 0u) << ::testing::PrintToString(Mismatches(fixedOnDe));
    EXPECT_EQ(fixedOnDe.telegram.keys[2].key, (ReaderOutput::Key{0x40, 0x14}));
    const OutputPreview::Preview fixedOnUs = OutputPreview::Make(fixed, sample, &us);
    EXPECT_EQ(Mismatches(fixedOnUs),
              (std::vector<std::string>{"Z typed, host shows Y", "y typed, host shows z",
                                        "@ typed, host shows nothing"}))
        << fixedOnUs.telegram.hostText;
}

TEST(OutputPreviewLayouts, AFrenchHostAndCharactersTheTableHasNoKeyFor) {
    LAYOUT_OR_SKIP(us, "us");
    LAYOUT_OR_SKIP(fr, "fr");
    const OutputPreview::Sample sample = OutputPreview::Sample::Default();
    // AZERTY: A and Q, Z and W change places; the digits need Shift.
    const OutputPreview::Preview onFr = OutputPreview::Make(Typing("AQ1", us.table), sample, &fr);
    EXPECT_EQ(Mismatches(onFr), (std::vector<std::string>{"A typed, host shows Q", "Q typed, host shows A",
                                                          "1 typed, host shows &"}));

    // A table without the character: not typed at all, on any host.
    CHidKeyTable partial = us.table;
    for (int scan = 0; scan < CHidKeyTable::ScanCodes; ++scan)
        for (CHidKeyTable::Level level : {CHidKeyTable::Normal, CHidKeyTable::Shift, CHidKeyTable::AltGr})
            if (partial.Char(scan, level) == '#') partial.SetChar(scan, level, 0);
    const OutputPreview::Preview missing = OutputPreview::Make(Typing("a#", partial), sample, &us);
    EXPECT_EQ(Mismatches(missing), std::vector<std::string>{"#: no key on the reader"});
    EXPECT_EQ(missing.telegram.hostText, "a");
    // Without a host only the missing keys count.
    EXPECT_EQ(OutputPreview::Make(Typing("a#", partial), sample, nullptr).Mismatches(), 1u);
    EXPECT_EQ(OutputPreview::Make(Typing("a#", partial), sample, nullptr).telegram.hostText, "");
}

TEST(OutputPreviewLayouts, HostCharactersOfControlAndSpecialKeys) {
    LAYOUT_OR_SKIP(de, "de");
    EXPECT_EQ(OutputPreview::HostCharacter({0x00, 0x28}, de.table), uint8_t(0x0D));
    EXPECT_EQ(OutputPreview::HostCharacter({0x00, 0x2B}, de.table), uint8_t(0x09));
    EXPECT_EQ(OutputPreview::HostCharacter({0x00, 0x2C}, de.table), uint8_t(' '));
    EXPECT_EQ(OutputPreview::HostCharacter({0x01, 0x1C}, de.table),
              uint8_t(0x1A)); // Control+Z on the Z key of de
    EXPECT_EQ(OutputPreview::HostCharacter({0x04, 0x04}, de.table), std::nullopt); // Alt+A: a shortcut
    EXPECT_EQ(OutputPreview::HostCharacter({0x00, 0x2F}, de.table), std::nullopt); // ü: outside the table
    EXPECT_EQ(OutputPreview::HostCharacter({0x00, 0x3A}, de.table), std::nullopt); // F1: no character
    std::string why;
    OutputPreview::HostLayout none;
    EXPECT_FALSE(OutputPreview::LoadHostLayout("xx-none", none, &why));
    EXPECT_FALSE(why.empty());
    EXPECT_FALSE(OutputPreview::LoadHostLayout("de(broken", none, &why));
}

namespace {

// A simulated HID reader in reader mode with the keyboard table a transfer
// of table leaves in a reader that had none: every key setting in order.
class HidReader {
public:
    explicit HidReader(const CHidKeyTable& table) {
        char pattern[] = "/tmp/kvplm-preview-hid-XXXXXX";
        if (mkdtemp(pattern)) dir = pattern;
        CHidSimulator::Options options;
        options.directory = dir;
        options.table = CSimKeyTable();
        for (const auto& setting : table.TransferReports())
            options.table.Set(setting[1], {setting[2], setting[3]});
        sim = std::make_unique<CHidSimulator>(reader, options);
    }
    ~HidReader() {
        sim.reset();
        if (!dir.empty()) rmdir(dir.c_str());
    }
    std::string dir;
    CSimOutputReader reader;
    std::unique_ptr<CHidSimulator> sim;
};

} // namespace

TEST(OutputPreviewLayouts, TheKeysAreThoseTheSimulatedHidReaderTypes) {
    LAYOUT_OR_SKIP(de, "de");
    OutputPreview::Config config = Typing("Zy@\x01\t", de.table);
    config.blocks.param[18] = 0; // the EPC in hex after the Prefix
    config.blocks.param[19] = 6;
    config.blocks.param[20] = 12;
    config.blocks.param[21] = 1;
    config.blocks.suffix = {140, 'q', 141, 'm', 0x0D, 0xFF};
    config.blocks.postcode = {'#', 0xFF};
    const OutputPreview::Sample sample = OutputPreview::Sample::Default();
    const OutputPreview::Preview preview = OutputPreview::Make(config, sample, &de);

    HidReader hid(config.keyTable);
    std::string error;
    ASSERT_TRUE(hid.sim->Start(&error)) << error;
    hid.reader.SetBlock(CSimReader::Block::ModeParam, {0x00, 0x0A, '?', 0x05});
    hid.reader.SetBlock(CSimReader::Block::Param, config.blocks.param);
    hid.reader.SetBlock(CSimReader::Block::Prefix, config.blocks.prefix);
    hid.reader.SetBlock(CSimReader::Block::Suffix, config.blocks.suffix);
    hid.reader.SetBlock(CSimReader::Block::Postcode, config.blocks.postcode);
    hid.reader.PlaceTag(CSimTransponder(sample.epc, sample.tid, sample.user));
    ASSERT_TRUE(hid.sim->WaitForEvents(1, std::chrono::seconds(5)));
    std::vector<ReaderOutput::KeyPress> typed = hid.sim->TypedKeys();
    ASSERT_EQ(typed.size(), preview.telegram.keys.size());
    for (size_t i = 0; i < typed.size(); ++i) {
        EXPECT_EQ(typed[i].character, preview.telegram.keys[i].character) << i;
        EXPECT_EQ(typed[i].key, preview.telegram.keys[i].key) << i;
    }
    hid.sim->ClearEvents();
    hid.reader.RemoveAllTags();
    ASSERT_TRUE(hid.sim->WaitForEvents(1, std::chrono::seconds(5)));
    typed = hid.sim->TypedKeys();
    ASSERT_EQ(typed.size(), 1u);
    EXPECT_EQ(typed[0].key, preview.removal.keys.at(0).key);
    EXPECT_EQ(preview.removal.hostText, "#");

    // The whole telegram on the German host, Control+A and Tab included.
    EXPECT_EQ(preview.Mismatches(), 0u) << ::testing::PrintToString(Mismatches(preview));
    // (Control+M is typed as Enter, whose character CR is the same.)
    EXPECT_EQ(preview.telegram.hostText, "Zy@<SOH><TAB>001A85Q<CR><CR>");
}
