// What the user types into Morvane's pages (the code entry of the key
// sequence pages with its list and buttons, the data and parameter pages'
// edits) and the texts language modules bring (the formatter fills any
// format string a module holds). Each input is one of these, by its first
// byte.
#include "FuzzCheck.h"

#include "ConfigImage.h"
#include "DatenRegisterkarte.h"
#include "EingabeBasisRegisterkarte.h"
#include "KeyCodes.h"
#include "LinkVocabulary.h"
#include "ParamRegisterkarte.h"
#include "SetupText.h"
#include "WinLatin1.h"

#include <fuzzer/FuzzedDataProvider.h>

namespace {

std::string Text(FuzzedDataProvider& input, size_t most = 12) {
    return input.ConsumeRandomLengthString(most);
}

void KeySequencePage(FuzzedDataProvider& input) {
    CEingabeBasisRegisterkarte page(500, 524, input.ConsumeBool());
    while (input.remaining_bytes() > 0) {
        switch (input.ConsumeIntegralInRange(0, 7)) {
        case 0:
            page.TypeEntry(Text(input));
            break;
        case 1:
            page.PickEntry(input.ConsumeIntegralInRange(-2, 150));
            break;
        case 2: {
            std::vector<int> rows;
            for (int n = input.ConsumeIntegralInRange(0, 3); n > 0; --n)
                rows.push_back(input.ConsumeIntegralInRange(-1, 16));
            page.SelectRows(rows);
            break;
        }
        case 3:
            (void)page.Accept();
            break;
        case 4:
            (void)page.DeleteSelected();
            break;
        case 5:
            page.MoveUp();
            break;
        case 6:
            page.MoveDown();
            break;
        default:
            page.ClearAll();
            break;
        }
        // Typing never makes a sequence the reader cannot take.
        FUZZ_CHECK(page.Items().size() <= size_t(CEingabeBasisRegisterkarte::MaxItems));
        for (const KeyItem& item : page.Items())
            FUZZ_CHECK(item.code < KeyCodes::ListSize, std::to_string(item.code));
        for (int row : page.SelectedRows())
            FUZZ_CHECK(row >= 0 && row < int(page.Items().size()));
    }
    FUZZ_CHECK(page.ToBlock().size() == page.Items().size() + 1);
}

void CodePage(FuzzedDataProvider& input) {
    // Every byte survives the way to a text and back.
    const std::string bytes = input.ConsumeRandomLengthString(64);
    const std::vector<char32_t> points = WinLatin1::Decode(WinLatin1::ToUtf8(bytes));
    FUZZ_CHECK(points.size() == bytes.size());
    for (size_t i = 0; i < bytes.size(); ++i)
        FUZZ_CHECK(WinLatin1::Byte(points[i]) == uint8_t(bytes[i]));
    // Any text, also malformed UTF-8, decodes.
    const std::string text = input.ConsumeRemainingBytesAsString();
    FUZZ_CHECK(WinLatin1::Length(text) == WinLatin1::Decode(text).size());
    const int first = WinLatin1::FirstByte(text);
    FUZZ_CHECK(first >= -1 && first <= 255);
    (void)KeyCodes::FindEntry(text);
}

void DataPage(FuzzedDataProvider& input) {
    const int flags = input.ConsumeBool() ? ConnectionFlag::Connected : input.ConsumeIntegral<uint8_t>() << 9;
    CDatenRegisterkarte page(flags);
    page.Show();
    CDatenRegisterkarte::Controls& c = page.GetControls();
    c.representation = input.ConsumeIntegralInRange(-1, 5);
    page.ClickDataFormat(input.ConsumeIntegralInRange(0, 1));
    c.characterCount = Text(input);
    c.lastUsedByte = Text(input);
    c.firstUsedByte = Text(input);
    c.byteRotation = input.ConsumeBool();
    c.bitRotation = input.ConsumeBool();
    c.identifierBefore = Text(input, 6);
    c.identifierAfter = Text(input, 6);
    for (auto& reg : c.registers) {
        reg.type = input.ConsumeIntegralInRange(-1, 5);
        reg.start = Text(input);
        reg.length = Text(input);
    }
    if (page.Validate()) return;
    KonfigDaten record;
    page.ToRecord(record);
    const ConfigImage::Bytes block = ConfigImage::BuildParam(record);
    FUZZ_CHECK(block.size() == ConfigImage::ParamSize);
    // What the page took over lies in the ranges its edits check.
    const CDatenRegisterkarte::Members& m = page.GetMembers();
    FUZZ_CHECK(m.characterCount >= 1 && m.characterCount <= 32);
    FUZZ_CHECK(m.lastUsedByte >= 1 && m.lastUsedByte <= 32);
    FUZZ_CHECK(m.firstUsedByte >= 1 && m.firstUsedByte <= 32);
    FUZZ_CHECK(block[19] == m.characterCount && block[20] == m.lastUsedByte && block[21] == m.firstUsedByte);
}

void ParamPage(FuzzedDataProvider& input) {
    CParamRegisterkarte page(input.ConsumeBool() ? ConnectionFlag::Relay : 0);
    CParamRegisterkarte::Controls& c = page.GetControls();
    const int mode = input.ConsumeIntegralInRange(-1, 3);
    if (mode >= 0) page.ClickMode(mode);
    c.mode = mode;
    c.sensor = input.ConsumeBool();
    c.cycleTime = Text(input);
    c.timeout = Text(input);
    c.request = Text(input, 6);
    c.currentBaud = Text(input);
    if (page.Validate()) return;
    KonfigDaten record;
    page.ToRecord(record);
    const ConfigImage::Bytes block = ConfigImage::BuildModeParam(record);
    // Cycle time and timeout reach the reader in units of 100 ms, 1..127.
    FUZZ_CHECK(block.size() == ConfigImage::ModeParamSize);
    FUZZ_CHECK(block[1] >= 1 && block[1] <= 127 && block[3] >= 1 && block[3] <= 127, Fuzz::Hex(block));
}

void Formatter(FuzzedDataProvider& input) {
    std::vector<SetupText::Arg> args;
    for (int n = input.ConsumeIntegralInRange(0, 3); n > 0; --n) {
        if (input.ConsumeBool())
            args.emplace_back(input.ConsumeIntegral<int>());
        else
            args.emplace_back(Text(input, 20));
    }
    const std::string format = input.ConsumeRandomLengthString(200);
    (void)SetupText::Format(format, args);
    (void)SetupText::Placeholders(format, {Text(input), Text(input)});
    (void)SetupText::Label(format, input.ConsumeIntegralInRange<size_t>(0, 40));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider input(data, size);
    switch (input.ConsumeIntegralInRange(0, 4)) {
    case 0:
        KeySequencePage(input);
        break;
    case 1:
        CodePage(input);
        break;
    case 2:
        DataPage(input);
        break;
    case 3:
        ParamPage(input);
        break;
    default:
        Formatter(input);
        break;
    }
    return 0;
}
