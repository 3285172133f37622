// The preview against the simulated reader: for every representation,
// rotation and key sequence code the bytes the preview shows are the bytes
// a reader with those blocks sends (both run the one output engine, so this
// catches a preview that feeds the engine something else than the reader
// holds); and the preview built from the programming dialog's pages.
#include "OutputPreview.h"
#include "FakeHost.h"
#include "SimOutputReader.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <optional>
#include <string>
#include <tuple>
#include <unistd.h>
#include <vector>

using namespace std::chrono_literals;
using OutputPreview::Bytes;

namespace {

class TestReader : public CSimOutputReader {
public:
    using CSimOutputReader::CSimOutputReader;
    // The reader's own output since the last call: bytes, and the time from
    // the first piece's start to each later piece's.
    Bytes Taken(std::vector<std::chrono::nanoseconds>* offsets = nullptr) {
        Bytes bytes;
        std::optional<TimePoint> first;
        for (const SimOutput& out : TakeOutput()) {
            if (out.reply) continue;
            if (!first) first = out.notBefore;
            if (offsets) offsets->push_back(out.notBefore - *first);
            bytes.insert(bytes.end(), out.bytes.begin(), out.bytes.end());
        }
        return bytes;
    }
};

Bytes DefaultParam() {
    Bytes param{0x00};
    param.insert(param.end(), 16, 0xFF);
    param.insert(param.end(), {0x00, 0x00, 0x0A, 0x05, 0x01, 0x00, 0x00});
    return param;
}

// Programs the blocks into a reader in mode 0, places the sample transponder
// and takes it away: what the reader sent then, against the preview.
void ExpectSameAsReader(const ReaderOutput::Blocks& blocks, const OutputPreview::Sample& sample,
                        const std::string& what) {
    TestReader reader; // a reader type, state 1 at power-on
    reader.SetBlock(CSimReader::Block::ModeParam, {0x00, 0x0A, '?', 0x05});
    reader.SetBlock(CSimReader::Block::Param, blocks.param);
    reader.SetBlock(CSimReader::Block::Prefix, blocks.prefix);
    reader.SetBlock(CSimReader::Block::Suffix, blocks.suffix);
    reader.SetBlock(CSimReader::Block::Termix, blocks.termix);
    reader.SetBlock(CSimReader::Block::Postcode, blocks.postcode);
    reader.TakeOutput();
    reader.PlaceTag(CSimTransponder(sample.epc, sample.tid, sample.user));
    const Bytes sent = reader.Taken();
    reader.RemoveAllTags();
    const Bytes removal = reader.Taken();

    OutputPreview::Config config;
    config.blocks = blocks;
    const OutputPreview::Preview preview = OutputPreview::Make(config, sample, nullptr);
    EXPECT_EQ(preview.telegram.bytes, sent)
        << what << "\n  preview " << preview.telegram.hex << "\n  reader  " << OutputPreview::Hex(sent);
    EXPECT_EQ(preview.removal.bytes, removal) << what;
}

std::string Name(const char* field, int value) {
    return std::string(field) + " " + std::to_string(value);
}

} // namespace

TEST(OutputPreviewAgainstReader, EveryRepresentationRotationAndFitting) {
    const OutputPreview::Sample sample{
        {0x30, 0x74, 0x25, 0x7B, 0xF7, 0x19, 0x4E, 0x40, 0x00, 0x00, 0x1A, 0x85},
        {},
        {0x48, 0x41, 0x4C, 0x4C, 0x4F, 0x00, 0xFF, 0x7F, 0x01, 0x02}};
    ReaderOutput::Blocks blocks;
    blocks.prefix = {0x02, 0xFF};
    blocks.suffix = {0x0D, 0x0A, 0xFF};
    blocks.termix = {'/', 0xFF};
    blocks.postcode = {'R', 0xFF};
    // Representations 0..4 and one unknown, each rotation, several used
    // byte ranges and character counts, in EPC format and in block format
    // with a register in every bank (one beyond its bank).
    const Bytes registers{0x42, 0x01, 0x00, 0x00, 0x83, 0x00, 0x00, 0x00,
                          0xC5, 0x00, 0x00, 0x00, 0x01, 0x02, 0x00, 0x00};
    for (int format = 0; format < 2; ++format)
        for (int representation : {0, 1, 2, 3, 4, 9})
            for (int rotation = 0; rotation < 4; ++rotation)
                for (const auto& [first, last, count] : std::vector<std::tuple<int, int, int>>{
                         {1, 5, 10}, {0, 12, 0}, {3, 4, 2}, {11, 14, 24}, {6, 2, 4}}) {
                    blocks.param = DefaultParam();
                    blocks.param[0] = uint8_t(format);
                    if (format) std::copy(registers.begin(), registers.end(), blocks.param.begin() + 1);
                    blocks.param[17] = uint8_t(rotation);
                    blocks.param[18] = uint8_t(representation);
                    blocks.param[19] = uint8_t(count);
                    blocks.param[20] = uint8_t(last);
                    blocks.param[21] = uint8_t(first);
                    blocks.param[22] = format ? '<' : 0;
                    blocks.param[23] = format ? '>' : 0;
                    ExpectSameAsReader(blocks, sample,
                                       Name("format", format) + ", " +
                                           Name("representation", representation) + ", " +
                                           Name("rotation", rotation) + ", " + Name("first", first) + ", " +
                                           Name("last", last) + ", " + Name("count", count));
                }
}

TEST(OutputPreviewAgainstReader, EveryKeySequenceCodeAloneAndModified) {
    const OutputPreview::Sample sample = OutputPreview::Sample::Default();
    ReaderOutput::Blocks blocks;
    blocks.param = DefaultParam();
    for (int code = 0; code < 255; ++code)
        for (int modifier : {0, 140, 141, 142}) {
            Bytes sequence;
            if (modifier) sequence.push_back(uint8_t(modifier));
            sequence.push_back(uint8_t(code));
            sequence.push_back(0xFF);
            blocks.prefix = sequence;
            blocks.suffix = {'x', uint8_t(code), 0xFF};
            blocks.termix = sequence;
            blocks.postcode = sequence;
            ExpectSameAsReader(blocks, sample, Name("code", code) + " after " + std::to_string(modifier));
        }
}

TEST(OutputPreviewAgainstReader, PausesAndTheirPlaceOnTheLine) {
    ReaderOutput::Blocks blocks;
    blocks.param = DefaultParam();
    blocks.prefix = {'A', 143, 'B', 0xFF};
    blocks.suffix = {143, 143, 0x0D, 0xFF};
    const OutputPreview::Sample sample = OutputPreview::Sample::Default();
    ExpectSameAsReader(blocks, sample, "pauses");

    OutputPreview::Config config;
    config.blocks = blocks;
    const OutputPreview::Preview preview = OutputPreview::Make(config, sample, nullptr);
    EXPECT_EQ(preview.telegram.hex, "41 (100 ms) 42 33 30 37 34 32 35 37 42 46 37 (100 ms) (100 ms) 0D");
    EXPECT_EQ(preview.telegram.printable, "A<pause 100 ms>B3074257BF7<pause 100 ms><pause 100 ms><CR>");

    // The reader leaves the pieces at least the pauses apart.
    TestReader reader;
    reader.SetBlock(CSimReader::Block::ModeParam, {0x00, 0x0A, '?', 0x05});
    reader.SetBlock(CSimReader::Block::Param, blocks.param);
    reader.SetBlock(CSimReader::Block::Prefix, blocks.prefix);
    reader.SetBlock(CSimReader::Block::Suffix, blocks.suffix);
    reader.TakeOutput();
    reader.PlaceTag(CSimTransponder(sample.epc));
    std::vector<std::chrono::nanoseconds> offsets;
    reader.Taken(&offsets);
    ASSERT_GE(offsets.size(), 3u);
    EXPECT_GE(offsets[1], 100ms);
    EXPECT_GE(offsets.back() - offsets[1], 200ms);
}

TEST(OutputPreview, PrintableNamesAndTheSample) {
    EXPECT_EQ(OutputPreview::Printable({0x02, 'A', ' ', 0x09, 0x0D, 0x0A, 0x1B, 0x7F, 0xE4, 0x00}),
              "<STX>A <TAB><CR><LF><ESC><DEL><E4><NUL>");
    EXPECT_EQ(OutputPreview::Hex({0x02, 0xAB}), "02 AB");
    // The sample is the simulator's: a transponder placed with its EPC alone
    // has the same TID and user memory.
    const OutputPreview::Sample sample = OutputPreview::Sample::Default();
    const CSimTransponder placed(sample.epc);
    EXPECT_EQ(sample.tid, placed.Tid());
    EXPECT_EQ(sample.user, placed.User());
    // An odd EPC without TID: padded, and the TID derived as the simulator does.
    const OutputPreview::Sample odd{{0x12, 0x34, 0x56}, {}, {}};
    EXPECT_EQ(odd.Memory().tid, CSimTransponder({0x12, 0x34, 0x56}, {}, {}).Tid());
    EXPECT_EQ(odd.Memory().Epc(), (Bytes{0x12, 0x34, 0x56, 0x00}));
}

namespace {

std::string WriteFile(const std::string& name, const std::string& bytes) {
    char pattern[] = "/tmp/kvplm-preview-XXXXXX";
    const char* dir = mkdtemp(pattern);
    const std::string path = std::string(dir ? dir : "/tmp") + "/" + name;
    std::ofstream(path, std::ios::binary) << bytes;
    return path;
}

void RemoveFile(const std::string& path) {
    unlink(path.c_str());
    rmdir(path.substr(0, path.rfind('/')).c_str());
}

} // namespace

TEST(OutputPreview, FromThePagesAsProgrammingBuildsThem) {
    FakeHost host;
    CSeriellEinstellModel model(0, 19200, ConnectionFlag::Connected);
    const std::string file = WriteFile("a.mkr", "[Prefix]\r\nCount=1\r\nAscii0=2\r\n"
                                                "[Data]\r\nDarstellung=0\r\nZeichenAnzahl=4\r\n"
                                                "GueltigeBytes=2\r\nGueltigeBytesAb=1\r\n"
                                                "[Suffix]\r\nCount=1\r\nAscii0=13\r\n"
                                                "[Abziehen]\r\nCount=0\r\n[Termix]\r\nCount=0\r\n");
    ASSERT_TRUE(model.LoadFile(host, file)) << (host.messages.empty() ? "" : host.messages[0].text);
    RemoveFile(file);
    OutputPreview::Config config;
    ASSERT_FALSE(OutputPreview::FromModel(model, config));
    EXPECT_FALSE(config.hid);
    CSeriellEinstellModel::Image image;
    ASSERT_FALSE(model.BuildImage(image));
    EXPECT_EQ(config.blocks.param, image.param);
    EXPECT_EQ(config.blocks.prefix, image.prefix);
    EXPECT_EQ(config.blocks.suffix, image.suffix);

    const OutputPreview::Preview preview =
        OutputPreview::Make(config, OutputPreview::Sample::Default(), nullptr);
    EXPECT_EQ(preview.telegram.printable, "<STX>3074<CR>");
    EXPECT_EQ(preview.telegram.hex, "02 33 30 37 34 0D");
    EXPECT_EQ(preview.removal.hex, "");
    ExpectSameAsReader(config.blocks, OutputPreview::Sample::Default(), "from the pages");

    // A page that refuses its values gives its message, not a preview.
    model.Daten().GetControls().characterCount = "0";
    OutputPreview::Config refused;
    const std::optional<SetupMessage> message = OutputPreview::FromModel(model, refused);
    ASSERT_TRUE(message);
    EXPECT_FALSE(message->text.empty());
    EXPECT_TRUE(refused.blocks.param.empty());
}

TEST(OutputPreview, ASequenceTheFileDidNotLoadIsRefusedAsProgrammingRefusesIt) {
    FakeHost host;
    CSeriellEinstellModel model(0, 19200, ConnectionFlag::Connected);
    // A Suffix longer than a file holds is refused when loaded (its page
    // keeps nothing of it); programming would not run.
    const std::string file = WriteFile("b.mkr", "[Prefix]\r\nCount=0\r\n[Suffix]\r\nCount=16\r\n");
    ASSERT_TRUE(model.LoadFile(host, file));
    RemoveFile(file);
    ASSERT_TRUE(model.RefusedSequence());
    OutputPreview::Config config;
    const std::optional<SetupMessage> message = OutputPreview::FromModel(model, config);
    ASSERT_TRUE(message);
    EXPECT_EQ(message->id, 595);
}
