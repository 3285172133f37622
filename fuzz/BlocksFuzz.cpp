// What a reader hands back: the six configuration blocks as the
// programming dialog takes them over into its pages (and programs them
// again), the read-back report's lines of the same blocks, and what the
// reader sends in the function test, gathered into telegrams.
#include "FuzzCheck.h"
#include "FuzzInput.h"

#include "ConfigImage.h"
#include "DatenRegisterkarte.h"
#include "EingabeBasisRegisterkarte.h"
#include "Funktionstest.h"
#include "LinkVocabulary.h"
#include "ParamRegisterkarte.h"
#include "ReadBack.h"

#include <algorithm>

namespace {

using Bytes = std::vector<uint8_t>;

// The data page as the dialog's opening takes over a Param block, and the
// block programming would write of it.
Bytes ParamOf(int flags, const Bytes& block, bool& taken) {
    CDatenRegisterkarte page(flags);
    std::optional<SetupMessage> message;
    taken = page.FromBlock(block.data(), block.size(), &message);
    FUZZ_CHECK(taken || block.size() < ConfigImage::ParamSize || message, "a refused block says why");
    KonfigDaten record;
    page.ToRecord(record);
    return ConfigImage::BuildParam(record);
}

Bytes ModeParamOf(int flags, const Bytes& block, int baud, bool& taken) {
    CParamRegisterkarte page(flags);
    std::optional<SetupMessage> message;
    taken = page.FromBlock(block.data(), block.size(), baud, &message);
    FUZZ_CHECK(taken || block.size() < 2 || message, "a refused block says why");
    KonfigDaten record;
    page.ToRecord(record);
    return ConfigImage::BuildModeParam(record);
}

void CheckParam(int flags, const Bytes& block) {
    bool taken = false;
    const Bytes built = ParamOf(flags, block, taken);
    FUZZ_CHECK(built.size() == ConfigImage::ParamSize);
    if (!taken) return;
    // Taking over what programming wrote changes nothing any more.
    bool again = false;
    const Bytes rebuilt = ParamOf(flags, built, again);
    FUZZ_CHECK(again && rebuilt == built,
               "read " + Fuzz::Hex(block) + "\nwritten " + Fuzz::Hex(built) + "\nthen " + Fuzz::Hex(rebuilt));
}

void CheckModeParam(int flags, const Bytes& block) {
    bool taken = false;
    const Bytes built = ModeParamOf(flags, block, 19200, taken);
    FUZZ_CHECK(built.size() == ConfigImage::ModeParamSize);
    if (!taken) return;
    bool again = false;
    const Bytes rebuilt = ModeParamOf(flags, built, 19200, again);
    FUZZ_CHECK(again && rebuilt == built,
               "read " + Fuzz::Hex(block) + "\nwritten " + Fuzz::Hex(built) + "\nthen " + Fuzz::Hex(rebuilt));
}

void CheckSequence(int flags, const Bytes& block) {
    CEingabeBasisRegisterkarte page(500, 524, (flags & ConnectionFlag::Hid) != 0);
    page.FromBlock(block.data(), block.size());
    const Bytes written = page.ToBlock();
    FUZZ_CHECK(!written.empty() && written.back() == 0xFF);
    // The codes before the end mark came over as they were, whatever their
    // values; a full page's worth of them all.
    FUZZ_CHECK(written.size() <= std::max<size_t>(block.size(), 1), Fuzz::Hex(block));
    if (block.size() <= size_t(CEingabeBasisRegisterkarte::MaxItems) + 1)
        FUZZ_CHECK(written.size() == std::max<size_t>(block.size(), 1), Fuzz::Hex(block));
    FUZZ_CHECK(std::equal(written.begin(), written.end() - 1, block.begin()), Fuzz::Hex(block));
    FUZZ_CHECK(page.Rows().size() == page.Items().size());
    // The report's line: a blank, the label, "%02X " per code up to the end mark, CR LF.
    const std::string line = CReadBack::KeySequenceLine(500, block.data(), block.size());
    const size_t codes = size_t(std::find(block.begin(), block.end(), 0xFF) - block.begin());
    const std::string label = CReadBack::KeySequenceLine(500, nullptr, 0);
    FUZZ_CHECK(line.size() == label.size() + 3 * codes && line.front() == ' ', line);
    FUZZ_CHECK(line.compare(line.size() - 2, 2, "\r\n") == 0, line);
}

void CheckFunctionTest(Fuzz::Input& input) {
    using Clock = CFunktionstest::Clock;
    Clock::time_point now{};
    CFunktionstest test([&now] { return now; });
    // Session 0: the test gathers and shows, nothing goes to a reader.
    const uint8_t modeByte = input.Byte();
    const uint8_t requestByte = input.Byte();
    test.Start(0, modeByte, requestByte, input.Byte());
    size_t gathered = 0;
    int pieces = 0;
    while (input.Left() > 0) {
        now += std::chrono::milliseconds(input.Byte());
        const Bytes piece = input.Counted();
        const bool newTelegram = now - test.LastReception() > CFunktionstest::TelegramGap;
        const bool changed = test.OnReceived(piece.data(), piece.size());
        FUZZ_CHECK(changed == !piece.empty());
        if (piece.empty()) continue;
        ++pieces;
        gathered = newTelegram ? piece.size() : gathered + piece.size();
        // The views hold the telegram being gathered: four characters and
        // three per byte.
        FUZZ_CHECK(test.Telegram().size() == gathered);
        FUZZ_CHECK(test.AsciiView().size() == 4 * gathered && test.HexView().size() == 3 * gathered);
    }
    FUZZ_CHECK(test.Counter() <= pieces);
    if (!CFunktionstest::CountingMode(test.Mode())) FUZZ_CHECK(test.Counter() == 0);
}

} // namespace

// The input, byte by byte:
//   the connection flags: with bit 7, a connected reader's (and bit 0 HID);
//   otherwise the low seven bits are flag bits 9..15 (HID, network, reader
//   connected and the data page's features)
//   the Param block, the ModeParam block, the Prefix, Suffix, Postcode and
//   Termix blocks, each as a length byte and its bytes
//   the function test: mode byte, request byte, its connection flags, then
//   pieces of what the reader sends: the pause before it in ms, a length
//   byte, the bytes
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Fuzz::Input input(data, size);
    const uint8_t flagByte = input.Byte();
    const int flags = (flagByte & 0x80)
                          ? ConnectionFlag::Connected | ((flagByte & 1) ? ConnectionFlag::Hid : 0)
                          : (flagByte & 0x7F) << 9;
    const Bytes param = input.Counted();
    const Bytes mode = input.Counted();
    CheckParam(flags, param);
    CheckModeParam(flags, mode);
    (void)CReadBack::ParameterLines(param.data(), param.size(), mode.data(), mode.size());
    for (int i = 0; i < 4; ++i)
        CheckSequence(flags, input.Counted());
    CheckFunctionTest(input);
    return 0;
}
