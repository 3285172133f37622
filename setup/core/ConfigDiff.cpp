#include "ConfigDiff.h"

#include "DatenRegisterkarte.h"
#include "KeyCodes.h"
#include "LinkApi.h"
#include "LinkVocabulary.h"
#include "ProfileFile.h"
#include "SetupText.h"
#include "TextTable.h"

using SetupText::Formatted;
using SetupText::Get;

namespace ConfigDiff {

namespace {

// Texts of the comparison.
enum TextId {
    KeyTableNotRead = 9455,
    FieldMode = 9460,
    FieldSensor = 9461,
    FieldCycleTime = 9462,
    FieldTimeout = 9463,
    FieldRequest = 9464,
    FieldBaudRate = 9465,
    FieldDataFormat = 9466,
    FieldRegister = 9467, // "Register %d"
    FieldUsedBytes = 9468,
    FieldRotation = 9469,
    FieldRepresentation = 9470,
    FieldCharacterCount = 9471,
    FieldIdentifierBefore = 9472,
    FieldIdentifierAfter = 9473,
    FieldKey = 9474,         // "Taste %s %s": button caption, level
    FieldParamLength = 9475, // a Param block of another length than 24 bytes
    ValueActive = 9480,
    ValueInactive = 9481,
    ValueNone = 9482,
    ValueOff = 9483,
    ValueByteWise = 9484,
    ValueBitWise = 9485,
    ValueByteAndBitWise = 9486,
    ValueUnknown = 9487,  // "Unbekannt (%d)"
    ValueMs = 9488,       // "%d ms"
    ValueRegister = 9489, // "%s Start %d Länge %d"
    ValueMode = 9490,     // "Mode %d"
    ValueBytes = 9491,    // "%d Bytes"
};

// The key sequence pages' captions, in tab order.
constexpr int kSequenceCaptions[4] = {500, 501, 502, 520};

std::string PageText(int dialog, int control) {
    return TextTable::Dialog(TextTable::Program::Morvane, dialog, control);
}

// The codes of a key sequence block: all but its end mark, as the page takes them.
Bytes Codes(const Bytes& block) {
    if (block.size() < 2) return {};
    return Bytes(block.begin(), block.end() - 1);
}

std::string Ms(int ms) {
    return Formatted(ValueMs, {ms});
}

// A single character as the key sequence pages name it; 0 is none.
std::string CharacterText(uint8_t character) {
    return character == 0 ? Get(ValueNone) : KeyCodes::Name(character);
}

std::string DataFormatText(uint8_t format) {
    if (format == 0) return PageText(103, CDatenRegisterkarte::IdEpc);
    if (format == 1) return PageText(103, CDatenRegisterkarte::IdBlocks);
    return Formatted(ValueUnknown, {int(format)});
}

std::string RepresentationText(uint8_t representation) {
    if (CDatenRegisterkarte::HasRepresentation(representation))
        return PageText(103, CDatenRegisterkarte::RepresentationIds[representation]);
    return Formatted(ValueUnknown, {int(representation)});
}

std::string RotationText(uint8_t rotation) {
    switch (rotation) {
    case 0:
        return Get(ValueOff);
    case 1:
        return Get(ValueByteWise);
    case 2:
        return Get(ValueBitWise);
    case 3:
        return Get(ValueByteAndBitWise);
    default:
        return Formatted(ValueUnknown, {int(rotation)});
    }
}

std::string RegisterText(const ConfigImage::Register& reg) {
    const auto& names = CDatenRegisterkarte::TypeNames();
    if (reg.empty) return names[0];
    return Formatted(ValueRegister, {names[size_t(reg.memoryType)], long(reg.start), reg.length});
}

std::string BaudText(int baud) {
    return std::to_string(baud);
}

// A keyboard table character as a reader can report it.
uint8_t Reported(uint8_t character, bool fromReader) {
    if (!fromReader) return character;
    return character >= 32 && character <= 126 ? character : 0;
}

SetupMessage Message(int id, const std::string& text) {
    SetupMessage message;
    message.id = id;
    message.text = text;
    message.icon = MessageIcon::Exclamation;
    return message;
}

} // namespace

Configuration FromImage(const CSeriellEinstellModel::Image& image, bool hid, int baudRate,
                        const CHidKeyTable* table) {
    Configuration configuration;
    configuration.hid = hid;
    configuration.param = image.param;
    configuration.modeParam = image.modeParam;
    configuration.sequences = {Codes(image.prefix), Codes(image.suffix), Codes(image.postcode),
                               Codes(image.termix)};
    if (baudRate > 0) configuration.baudRate = baudRate;
    if (hid && table) configuration.keyTable = *table;
    return configuration;
}

bool FileIsHid(const std::string& path) {
    CProfileFile profile;
    return profile.Load(path) && CHidKeyTable::InProfile(profile);
}

std::optional<Configuration> LoadFile(ISetupHost& host, const std::string& path, bool hid,
                                      std::vector<ValueReplacement>* replaced) {
    const bool hasTable = FileIsHid(path);
    hid = hid || hasTable;
    CSeriellEinstellModel model(0, PortSettings::DefaultBaudrate,
                                ConnectionFlag::Connected | (hid ? ConnectionFlag::Hid : 0));
    if (!model.LoadFile(host, path)) return std::nullopt;
    // A sequence the file did not load (531 was shown) is not the file's:
    // what its page holds compares as nothing the file says.
    if (model.RefusedSequence()) return std::nullopt;
    CSeriellEinstellModel::Image image;
    if (auto message = model.BuildImage(image)) {
        host.ShowMessage(*message);
        return std::nullopt;
    }
    if (replaced) *replaced = model.Replacements();
    const int baud = hid ? 0 : model.Param().ChosenBaudRate();
    return FromImage(image, hid, baud, hasTable ? &model.ParamHid().Table() : nullptr);
}

std::optional<Configuration> ReadReader(ISetupHost& host, const HidChannelFactory& channels) {
    const SetupConnection connection = host.Connect(true);
    if (!connection.Connected()) return std::nullopt;
    const int session = connection.session;
    Configuration configuration;
    configuration.fromReader = true;
    configuration.hid = (connection.flags & ConnectionFlag::Hid) != 0;
    auto fail = [&](const SetupMessage& message) -> std::optional<Configuration> {
        host.CloseSession(session);
        host.ShowMessage(message);
        return std::nullopt;
    };
    LinkSetState(session, ReaderState::Programming);

    struct Block {
        int (*read)(int, unsigned char*, int);
        const char* name;
        Bytes* target;
        size_t bufferSize;
    };
    Bytes prefix, suffix, postcode, termix;
    const Block blocks[] = {
        {ReadPrefix, "ReadPrefix", &prefix, 255},
        {ReadSuffix, "ReadSuffix", &suffix, 255},
        {ReadPostcode, "ReadPostcode", &postcode, 255},
        {ReadTermix, "ReadTermix", &termix, 255},
        {ReadParam, "ReadParam", &configuration.param, 255},
        {ReadModeParam, "ReadModeParam", &configuration.modeParam, ConfigImage::ModeParamSize}};
    unsigned char buffer[255];
    for (const Block& block : blocks) {
        const int length = block.read(session, buffer, int(block.bufferSize));
        if (length < 0) {
            std::string text = Formatted(562, {LinkGetLastError(session), block.name});
            while (!text.empty() && (text.back() == '\n' || text.back() == '\r'))
                text.pop_back();
            return fail(Message(562, text));
        }
        block.target->assign(buffer, buffer + length);
    }
    // Too short to decode: there is nothing to compare field by field.
    if (configuration.param.size() < ConfigImage::ParamSize ||
        configuration.modeParam.size() < ConfigImage::ModeParamSize) {
        std::string text = Get(546);
        while (!text.empty() && (text.back() == '\n' || text.back() == '\r'))
            text.pop_back();
        return fail(Message(546, text));
    }
    configuration.sequences = {Codes(prefix), Codes(suffix), Codes(postcode), Codes(termix)};
    if (configuration.hid) {
        std::unique_ptr<IHidChannel> channel;
        if (channels) channel = channels(session);
        CHidKeyTable table;
        if (!channel || !table.LoadFromReader(*channel))
            return fail(Message(KeyTableNotRead, Get(KeyTableNotRead)));
        configuration.keyTable = table;
    } else if (!(connection.flags & ConnectionFlag::Network) && LinkIsUsb(session) == 0) {
        // The rate a serial reader answers at; programming would change
        // only that one.
        configuration.baudRate = connection.baud;
    }
    host.CloseSession(session);
    return configuration;
}

std::vector<Difference> Compare(const Configuration& left, const Configuration& right) {
    std::vector<Difference> differences;
    auto add = [&differences](bool differ, const std::string& field, const std::string& l,
                              const std::string& r) {
        if (differ) differences.push_back(Difference{field, l, r});
    };

    // The parameter page.
    const auto ml = ConfigImage::DecodeModeParam(left.modeParam.data(), left.modeParam.size());
    const auto mr = ConfigImage::DecodeModeParam(right.modeParam.data(), right.modeParam.size());
    if (ml && mr) {
        add(ml->mode != mr->mode, Get(FieldMode), Formatted(ValueMode, {ml->mode}),
            Formatted(ValueMode, {mr->mode}));
        add(ml->sensor != mr->sensor, Get(FieldSensor), Get(ml->sensor ? ValueActive : ValueInactive),
            Get(mr->sensor ? ValueActive : ValueInactive));
        add(ml->cycleTimeMs != mr->cycleTimeMs, Get(FieldCycleTime), Ms(ml->cycleTimeMs),
            Ms(mr->cycleTimeMs));
        add(ml->timeoutByte != mr->timeoutByte, Get(FieldTimeout), Ms(ml->timeoutByte * 100),
            Ms(mr->timeoutByte * 100));
        add(ml->requestByte != mr->requestByte, Get(FieldRequest), CharacterText(ml->requestByte),
            CharacterText(mr->requestByte));
    }
    if (left.baudRate && right.baudRate)
        add(*left.baudRate != *right.baudRate, Get(FieldBaudRate), BaudText(*left.baudRate),
            BaudText(*right.baudRate));

    // The data page.
    add(left.param.size() != right.param.size(), Get(FieldParamLength),
        Formatted(ValueBytes, {int(left.param.size())}), Formatted(ValueBytes, {int(right.param.size())}));
    const auto pl = ConfigImage::DecodeParam(left.param.data(), left.param.size());
    const auto pr = ConfigImage::DecodeParam(right.param.data(), right.param.size());
    if (pl && pr) {
        add(pl->formatByte != pr->formatByte, Get(FieldDataFormat), DataFormatText(pl->formatByte),
            DataFormatText(pr->formatByte));
        for (size_t i = 0; i < pl->registers.size(); ++i) {
            const ConfigImage::Register& a = pl->registers[i];
            const ConfigImage::Register& b = pr->registers[i];
            add(a.word != b.word, Formatted(FieldRegister, {int(i + 1)}), RegisterText(a), RegisterText(b));
        }
        add(pl->firstUsedByte != pr->firstUsedByte || pl->lastUsedByte != pr->lastUsedByte,
            Get(FieldUsedBytes), std::to_string(pl->firstUsedByte) + " - " + std::to_string(pl->lastUsedByte),
            std::to_string(pr->firstUsedByte) + " - " + std::to_string(pr->lastUsedByte));
        add(pl->rotation != pr->rotation, Get(FieldRotation), RotationText(pl->rotation),
            RotationText(pr->rotation));
        add(pl->representation != pr->representation, Get(FieldRepresentation),
            RepresentationText(pl->representation), RepresentationText(pr->representation));
        add(pl->characterCount != pr->characterCount, Get(FieldCharacterCount),
            std::to_string(pl->characterCount), std::to_string(pr->characterCount));
        add(pl->identifierBefore != pr->identifierBefore, Get(FieldIdentifierBefore),
            CharacterText(pl->identifierBefore), CharacterText(pr->identifierBefore));
        add(pl->identifierAfter != pr->identifierAfter, Get(FieldIdentifierAfter),
            CharacterText(pl->identifierAfter), CharacterText(pr->identifierAfter));
    }

    // The key sequence pages.
    for (size_t i = 0; i < 4; ++i)
        add(left.sequences[i] != right.sequences[i], Get(kSequenceCaptions[i]),
            SequenceText(left.sequences[i]), SequenceText(right.sequences[i]));

    // The keyboard table, key by key. A file without a table programs none
    // (the reader keeps its own): nothing to compare then.
    if (left.keyTable && right.keyTable) {
        const bool fromReader = left.fromReader || right.fromReader;
        for (const HidKeyButton& button : CHidKeyTable::Buttons()) {
            for (int level = 0; level < CHidKeyTable::Levels; ++level) {
                const auto l = static_cast<CHidKeyTable::Level>(level);
                const uint8_t a = Reported(left.keyTable->Char(button.scanCode, l), fromReader);
                const uint8_t b = Reported(right.keyTable->Char(button.scanCode, l), fromReader);
                add(a != b, Formatted(FieldKey, {button.caption, CHidKeyTable::LevelName(l)}),
                    CharacterText(a), CharacterText(b));
            }
        }
    }
    return differences;
}

std::string Line(const Difference& difference) {
    return difference.field + ": " + difference.left + " -> " + difference.right;
}

std::string SequenceText(const Bytes& codes) {
    if (codes.empty()) return Get(ValueNone);
    std::string text;
    for (uint8_t code : codes) {
        if (!text.empty()) text += ", ";
        text += KeyCodes::Name(code);
    }
    return text;
}

} // namespace ConfigDiff
