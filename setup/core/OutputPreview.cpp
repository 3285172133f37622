#include "OutputPreview.h"

#include "HostKeyboard.h"
#include "SetupText.h"

#include <algorithm>
#include <cstdio>

namespace OutputPreview {

namespace {

constexpr size_t MaxTidSize = 254;
constexpr size_t MaxUserSize = 254;

const char* const kControlNames[32] = {"NUL", "SOH", "STX", "ETX", "EOT", "ENQ", "ACK", "BEL",
                                       "BS",  "TAB", "LF",  "VT",  "FF",  "CR",  "SO",  "SI",
                                       "DLE", "DC1", "DC2", "DC3", "DC4", "NAK", "SYN", "ETB",
                                       "CAN", "EM",  "SUB", "ESC", "FS",  "GS",  "RS",  "US"};

std::string Pause(const ReaderOutput::Piece& piece) {
    return std::to_string(piece.pauseBefore.count()) + " ms";
}

// A character in a mismatch text: the blank by name, so that it shows.
std::string Named(uint8_t character) {
    return character == ' ' ? std::string("<SP>") : CharacterName(character);
}

Sequence MakeSequence(const ReaderOutput::Output& pieces) {
    Sequence sequence;
    sequence.pieces = pieces;
    sequence.bytes = ReaderOutput::Flatten(pieces);
    for (const ReaderOutput::Piece& piece : pieces) {
        if (piece.pauseBefore.count() > 0) {
            if (!sequence.hex.empty()) sequence.hex += ' ';
            sequence.hex += "(" + Pause(piece) + ")";
            sequence.printable += "<pause " + Pause(piece) + ">";
        }
        if (piece.bytes.empty()) continue;
        if (!sequence.hex.empty()) sequence.hex += ' ';
        sequence.hex += Hex(piece.bytes);
        sequence.printable += Printable(piece.bytes);
    }
    return sequence;
}

void TypeSequence(Sequence& sequence, const ReaderOutput::KeyTable& keys, const HostLayout* host) {
    for (const ReaderOutput::KeyPress& press : ReaderOutput::TypeBytes(sequence.bytes, keys)) {
        TypedKey typed;
        typed.character = press.character;
        typed.key = press.key;
        if (press.key.usage && host) typed.hostCharacter = HostCharacter(press.key, host->table);
        typed.mismatch = !press.key.usage || (host && typed.hostCharacter != press.character);
        if (typed.hostCharacter) sequence.hostText += Printable({*typed.hostCharacter});
        if (typed.mismatch) sequence.mismatches.push_back(sequence.keys.size());
        sequence.keys.push_back(typed);
    }
}

} // namespace

Sample Sample::Default() {
    const ReaderOutput::TagMemory memory = ReaderOutput::TagMemory::Sample();
    return Sample{memory.Epc(), memory.tid, memory.user};
}

ReaderOutput::TagMemory Sample::Memory() const {
    // As the simulator places a transponder: the EPC padded to whole words,
    // a TID derived from it when none is given, the banks cut to their size.
    ReaderOutput::TagMemory memory = ReaderOutput::TagMemory::WithEpc(epc, tid, user);
    if (memory.tid.empty()) memory.tid = ReaderOutput::TagMemory::DefaultTid(memory.Epc());
    if (memory.tid.size() > MaxTidSize) memory.tid.resize(MaxTidSize);
    if (memory.user.size() > MaxUserSize) memory.user.resize(MaxUserSize);
    return memory;
}

std::optional<SetupMessage> FromModel(CSeriellEinstellModel& model, Config& config) {
    // A sequence the file did not load is not what programming would write:
    // programming refuses it, and so does the preview.
    if (const CEingabeBasisRegisterkarte* refused = model.RefusedSequence()) {
        SetupMessage message;
        message.id = 595;
        message.text = SetupText::Formatted(595, {refused->Caption()});
        message.icon = MessageIcon::Exclamation;
        return message;
    }
    CSeriellEinstellModel::Image image;
    if (std::optional<SetupMessage> message = model.BuildImage(image)) return message;
    config.blocks =
        ReaderOutput::Blocks{image.param, image.prefix, image.suffix, image.termix, image.postcode};
    config.hid = model.IsHid();
    config.keyTable = config.hid ? model.ParamHid().Table() : CHidKeyTable();
    return std::nullopt;
}

ReaderOutput::KeyTable ReaderKeys(const CHidKeyTable& table) {
    ReaderOutput::KeyTable keys;
    for (const std::array<uint8_t, 4>& setting : table.TransferReports())
        keys.Set(setting[1], {setting[2], setting[3]});
    return keys;
}

bool LoadHostLayout(const std::string& name, HostLayout& layout, std::string* error) {
    CHidKeyTable table;
    if (name.empty()) {
        HostKeyboard::Source source;
        if (!HostKeyboard::FromHost(table, error, &source)) return false;
        layout.describe = source.describe;
    } else {
        HostKeyboard::Names names;
        if (!HostKeyboard::ParseLayoutName(name, names)) {
            if (error) *error = "not a layout name: " + name;
            return false;
        }
        if (!HostKeyboard::FromLayout(table, name, error)) return false;
        layout.describe = name;
    }
    layout.name = name;
    layout.table = table;
    return true;
}

std::string HostLayoutName() {
    const HostKeyboard::Names names = HostKeyboard::HostNames();
    // The first group counts.
    std::string layout = names.layout.substr(0, names.layout.find(','));
    const std::string variant = names.variant.substr(0, names.variant.find(','));
    if (layout.empty()) layout = "us";
    return variant.empty() ? layout : layout + "(" + variant + ")";
}

std::vector<std::string> OfferedLayouts() {
    std::vector<std::string> layouts = {"us", "de", "fr", "gb", "ch", "at", "es", "it"};
    const std::string host = HostLayoutName();
    layouts.erase(std::remove(layouts.begin(), layouts.end(), host), layouts.end());
    layouts.insert(layouts.begin(), host);
    return layouts;
}

std::optional<uint8_t> HostCharacter(const ReaderOutput::Key& key, const CHidKeyTable& host) {
    switch (key.usage) {
    case 0x28:
        return uint8_t(0x0D);
    case 0x29:
        return uint8_t(0x1B);
    case 0x2A:
        return uint8_t(0x08);
    case 0x2B:
        return uint8_t(0x09);
    case 0x4C:
        return uint8_t(0x7F);
    default:
        break;
    }
    // Left Alt makes a shortcut, not a character.
    if (key.modifier & 0x04) return std::nullopt;
    int scanCode = -1;
    if (key.usage == 0x2C) {
        scanCode = 0x39; // the space bar has no button
    } else {
        const int button = CHidKeyTable::ButtonOfUsage(key.usage);
        if (button >= 0) scanCode = CHidKeyTable::Buttons()[size_t(button)].scanCode;
    }
    if (scanCode < 0) return std::nullopt;
    CHidKeyTable::Level level = CHidKeyTable::Normal;
    if (key.modifier & CHidKeyTable::ModRightAlt)
        level = CHidKeyTable::AltGr;
    else if (key.modifier & (CHidKeyTable::ModLeftShift | CHidKeyTable::ModRightShift))
        level = CHidKeyTable::Shift;
    uint8_t character = host.Char(scanCode, level);
    if (scanCode == 0x39 && level == CHidKeyTable::Normal && !character) character = ' ';
    if (!character) return std::nullopt;
    if (key.modifier & 0x11) { // left or right Control
        const uint8_t upper = uint8_t(character & ~0x20);
        if (upper < 'A' || upper > 'Z') return std::nullopt;
        return uint8_t(upper & 0x1F);
    }
    return character;
}

std::string TypedKey::Describe() const {
    if (!key.usage) return Named(character) + ": no key on the reader";
    if (!mismatch) return Named(character) + " typed";
    return Named(character) + " typed, host shows " + (hostCharacter ? Named(*hostCharacter) : "nothing");
}

Preview Make(const Config& config, const Sample& sample, const HostLayout* host) {
    Preview preview;
    preview.hid = config.hid;
    const ReaderOutput::TagMemory memory = sample.Memory();
    preview.telegram = MakeSequence(ReaderOutput::Telegram(config.blocks, &memory));
    preview.removal = MakeSequence(ReaderOutput::Removal(config.blocks));
    if (config.hid) {
        if (host) preview.hostLayout = host->name.empty() ? host->describe : host->name;
        const ReaderOutput::KeyTable keys = ReaderKeys(config.keyTable);
        TypeSequence(preview.telegram, keys, host);
        TypeSequence(preview.removal, keys, host);
    }
    return preview;
}

std::string CharacterName(uint8_t character) {
    if (character < 0x20) return std::string("<") + kControlNames[character] + ">";
    if (character == 0x7F) return "<DEL>";
    if (character > 0x7F) {
        char text[8];
        std::snprintf(text, sizeof text, "<%02X>", character);
        return text;
    }
    return std::string(1, char(character));
}

std::string Printable(const Bytes& bytes) {
    std::string text;
    for (uint8_t b : bytes)
        text += CharacterName(b);
    return text;
}

std::string Hex(const Bytes& bytes) {
    std::string text;
    char two[4];
    for (uint8_t b : bytes) {
        std::snprintf(two, sizeof two, "%02X", b);
        if (!text.empty()) text += ' ';
        text += two;
    }
    return text;
}

} // namespace OutputPreview
