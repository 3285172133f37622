#include "DatenRegisterkarte.h"

#include "ConfigImage.h"
#include "LinkVocabulary.h"
#include "PageValidation.h"
#include "ProfileFile.h"
#include "SetupText.h"
#include "WinLatin1.h"

#include <algorithm>

namespace {

std::string IdentifierText(uint8_t byte) {
    return byte == 0 ? std::string() : WinLatin1::ToUtf8(byte);
}

uint8_t IdentifierByte(const std::string& text, bool enabled) {
    if (!enabled || text.empty()) return 0;
    return static_cast<uint8_t>(WinLatin1::FirstByte(text));
}

} // namespace

const std::array<const char*, 5>& CDatenRegisterkarte::TypeNames() {
    static const std::array<const char*, 5> names{"-----", "Res.", "EPC", "TID", "USER"};
    return names;
}

CDatenRegisterkarte::Features CDatenRegisterkarte::Features::FromFlags(int flags) {
    Features features;
    features.hid = (flags & ConnectionFlag::Hid) != 0;
    features.firstByteAndByteRotation = (flags & ConnectionFlag::FirstByteAndByteRotation) != 0;
    features.bitRotation = (flags & ConnectionFlag::BitRotation) != 0;
    features.decimalNoZeros = (flags & ConnectionFlag::DecimalNoZeros) != 0;
    features.identifiers = (flags & ConnectionFlag::Identifiers) != 0;
    return features;
}

CDatenRegisterkarte::CDatenRegisterkarte(int connectionFlags)
    : m_features(Features::FromFlags(connectionFlags)) {
    Refresh();
    m_formatState = StateFor(m_members.dataFormat);
}

bool CDatenRegisterkarte::IsVisible(int control) const {
    switch (control) {
    case IdFirstUsedByte:
    case IdDash:
    case IdByteRotation:
        return m_features.firstByteAndByteRotation;
    case IdBitRotation:
        return m_features.bitRotation;
    case IdDecimalNoZeros:
        return m_features.decimalNoZeros;
    case IdIdentifierBeforeLabel:
    case IdIdentifierAfterLabel:
    case IdIdentifierBefore:
    case IdIdentifierAfter:
        return m_features.identifiers;
    default:
        return true;
    }
}

void CDatenRegisterkarte::Show() {
    Refresh();
    TakeSnapshot();
    ApplyFormatState();
    if (!m_features.firstByteAndByteRotation) {
        m_members.firstUsedByte = 1;
        m_members.byteRotation = false;
        m_controls.firstUsedByte = "1";
        m_controls.byteRotation = false;
    }
    if (!m_features.bitRotation) {
        m_members.bitRotation = false;
        m_controls.bitRotation = false;
    }
    m_shown = true;
}

void CDatenRegisterkarte::Refresh() {
    const Members& m = m_members;
    Controls& c = m_controls;
    c.representation = m.representation >= 0 && m.representation <= 4 ? m.representation : -1;
    c.dataFormat = m.dataFormat;
    c.characterCount = std::to_string(m.characterCount);
    c.lastUsedByte = std::to_string(m.lastUsedByte);
    c.byteRotation = m.byteRotation;
    c.bitRotation = m.bitRotation;
    c.firstUsedByte = std::to_string(m.firstUsedByte);
    c.identifierBefore = m.identifierBefore;
    c.identifierAfter = m.identifierAfter;
    for (size_t i = 0; i < 4; ++i) {
        c.registers[i] = m.registers[i];
        if (c.registers[i].type < 0 || c.registers[i].type > 4) c.registers[i].type = -1;
    }
}

std::optional<SetupMessage> CDatenRegisterkarte::Validate() {
    Members& m = m_members;
    const Controls& c = m_controls;
    m_errorMarker = 0;
    if (c.representation >= 0)
        m.representation = c.representation;
    else
        ReplaceUnknownRepresentation(); // no button checked: never a byte no representation has
    if (c.dataFormat >= 0) m.dataFormat = c.dataFormat;
    if (auto failure =
            PageValidation::IntegerInRange(c.characterCount, 1, 32, IdCharacterCount, m.characterCount))
        return failure;
    if (auto failure = PageValidation::IntegerInRange(c.lastUsedByte, 1, 32, IdLastUsedByte, m.lastUsedByte))
        return failure;
    m.byteRotation = c.byteRotation;
    m.bitRotation = c.bitRotation;
    if (auto failure =
            PageValidation::IntegerInRange(c.firstUsedByte, 1, 32, IdFirstUsedByte, m.firstUsedByte))
        return failure;
    m.identifierBefore = c.identifierBefore;
    if (auto failure = PageValidation::MaxChars(c.identifierBefore, 1, IdIdentifierBefore)) return failure;
    m.identifierAfter = c.identifierAfter;
    if (auto failure = PageValidation::MaxChars(c.identifierAfter, 1, IdIdentifierAfter)) return failure;
    for (size_t i = 0; i < 4; ++i) {
        if (c.registers[i].type >= 0) m.registers[i].type = c.registers[i].type;
        m.registers[i].start = c.registers[i].start;
        m.registers[i].length = c.registers[i].length;
    }
    if (m.dataFormat == 1) {
        for (const Register& reg : m.registers) {
            const int start = CProfileFile::Atoi(reg.start);
            if (start < 0 || start > 255) {
                m_errorMarker = 1;
                return SetupMessage::FromId(551, MessageIcon::Exclamation);
            }
        }
    }
    return std::nullopt;
}

CDatenRegisterkarte::FormatState CDatenRegisterkarte::StateFor(int dataFormat) {
    FormatState state;
    if (dataFormat == 1) {
        state.registersEnabled = true;
        state.frameCaption = SetupText::Get(539);
        for (size_t i = 0; i < 5; ++i)
            state.lines[i] = SetupText::Get(565 + int(i));
    } else {
        state.registersEnabled = false;
        state.frameCaption = SetupText::Get(534);
        state.lines[0] = SetupText::Get(535);
    }
    return state;
}

void CDatenRegisterkarte::ApplyFormatState() {
    m_formatState = StateFor(m_members.dataFormat);
}

void CDatenRegisterkarte::ClickDataFormat(int format) {
    m_controls.dataFormat = format;
    m_formatState = StateFor(format);
}

void CDatenRegisterkarte::ToRecord(KonfigDaten& record) const {
    const Members& m = m_members;
    record.TransponderTyp = m.dataFormat == 1 ? 1 : 0;
    record.Darstellung = static_cast<uint8_t>(m.representation);
    record.ZeichenAnzahl = static_cast<uint8_t>(m.characterCount);
    record.GueltigeBytes = static_cast<uint8_t>(m.lastUsedByte);
    record.GueltigeBytesAb = static_cast<uint8_t>(m.firstUsedByte);
    record.Ausrichtung = static_cast<uint8_t>((m.bitRotation ? 2 : 0) + (m.byteRotation ? 1 : 0));
    record.KennungLinks = IdentifierByte(m.identifierBefore, m_features.identifiers);
    record.KennungRechts = IdentifierByte(m.identifierAfter, m_features.identifiers);
    for (size_t i = 0; i < 4; ++i) {
        record.Registers[i].MemTypeRegister = static_cast<uint8_t>(m.registers[i].type);
        record.Registers[i].StartRegister = CProfileFile::Atoi(m.registers[i].start);
        record.Registers[i].LaengeRegister = static_cast<uint8_t>(CProfileFile::Atoi(m.registers[i].length));
    }
}

void CDatenRegisterkarte::ReplaceUnknownRepresentation() {
    if (HasRepresentation(m_members.representation)) return;
    m_replacement = ValueReplacement{"Darstellung", m_members.representation, DefaultRepresentation};
    m_members.representation = DefaultRepresentation;
}

void CDatenRegisterkarte::FromRecord(const KonfigDaten& record) {
    Members& m = m_members;
    m_replacement.reset();
    m.representation = record.Darstellung;
    ReplaceUnknownRepresentation();
    m.characterCount = record.ZeichenAnzahl;
    m.lastUsedByte = record.GueltigeBytes;
    m.firstUsedByte = record.GueltigeBytesAb;
    m.byteRotation = (record.Ausrichtung & 1) != 0;
    m.bitRotation = (record.Ausrichtung & 2) != 0;
    m.identifierBefore = IdentifierText(record.KennungLinks);
    m.identifierAfter = IdentifierText(record.KennungRechts);
    m.dataFormat = record.TransponderTyp & 1;
    for (size_t i = 0; i < 4; ++i) {
        const KonfigDaten::Register& reg = record.Registers[i];
        m.registers[i].type = reg.MemTypeRegister;
        if (reg.MemTypeRegister != 0) {
            m.registers[i].start = std::to_string(reg.StartRegister);
            m.registers[i].length = std::to_string(unsigned(reg.LaengeRegister));
        } else {
            m.registers[i].start.clear();
            m.registers[i].length.clear();
        }
    }
}

bool CDatenRegisterkarte::FromBlock(const uint8_t* bytes, size_t count,
                                    std::optional<SetupMessage>* message) {
    const std::optional<ConfigImage::Param> param = ConfigImage::DecodeParam(bytes, count);
    if (!param) return false;
    Members& m = m_members;
    m.dataFormat = param->dataFormat;
    for (size_t i = 0; i < 4; ++i) {
        const ConfigImage::Register& reg = param->registers[i];
        m.registers[i].type = reg.memoryType;
        if (reg.empty) {
            m.registers[i].start.clear();
            m.registers[i].length.clear();
        } else {
            m.registers[i].start = std::to_string(reg.start);
            m.registers[i].length = std::to_string(reg.length);
        }
    }
    m.byteRotation = (param->rotation & 1) != 0;
    m.bitRotation = (param->rotation & 2) != 0;
    m_replacement.reset();
    m.representation = param->representation;
    ReplaceUnknownRepresentation();
    m.characterCount = param->characterCount;
    m.lastUsedByte = param->lastUsedByte;
    m.firstUsedByte = param->firstUsedByte;
    m.identifierBefore = IdentifierText(param->identifierBefore);
    m.identifierAfter = IdentifierText(param->identifierAfter);

    Refresh();
    ApplyFormatState();
    std::optional<SetupMessage> failure = Validate();
    if (!failure) {
        TakeSnapshot();
        return true;
    }
    if (message) *message = failure;
    m.dataFormat = 0;
    m.byteRotation = false;
    m.bitRotation = false;
    m.characterCount = 10;
    m.lastUsedByte = 5;
    m.firstUsedByte = 1;
    m.representation = 0;
    Refresh();
    TakeSnapshot();
    ApplyFormatState();
    return false;
}

void CDatenRegisterkarte::ReadRecord(const CProfileFile& file, KonfigDaten& record) {
    const std::string s = "Data";
    record.TransponderTyp = static_cast<uint8_t>(file.GetInt(s, "TransponderTyp", 0));
    record.Darstellung = static_cast<uint8_t>(file.GetInt(s, "Darstellung", 1));
    record.ZeichenAnzahl = static_cast<uint8_t>(file.GetInt(s, "ZeichenAnzahl", 10));
    const int last = file.GetInt(s, "GueltigeBytes", record.Darstellung == 1 ? 5 : 6);
    record.GueltigeBytes = static_cast<uint8_t>(std::clamp(last, 1, 16));
    const int first = file.GetInt(s, "GueltigeBytesAb", 1);
    record.GueltigeBytesAb = static_cast<uint8_t>(std::clamp(first, 1, 16));
    record.KennungLinks = static_cast<uint8_t>(file.GetInt(s, "KennungLinks", 0));
    record.KennungRechts = static_cast<uint8_t>(file.GetInt(s, "KennungRechts", 0));
    record.Ausrichtung = static_cast<uint8_t>(file.GetInt(s, "Ausrichtung", 0));
    for (size_t i = 0; i < 4; ++i) {
        const std::string n = std::to_string(i + 1);
        record.Registers[i].MemTypeRegister = static_cast<uint8_t>(file.GetInt(s, "MemTypeRegister" + n, 0));
        record.Registers[i].StartRegister = file.GetInt(s, "StartRegister" + n, 0);
        record.Registers[i].LaengeRegister = static_cast<uint8_t>(file.GetInt(s, "LaengeRegister" + n, 0));
    }
}

void CDatenRegisterkarte::ReadProfile(const CProfileFile& file) {
    KonfigDaten record;
    ReadRecord(file, record);
    FromRecord(record);
    Refresh();
    ApplyFormatState();
}

void CDatenRegisterkarte::WriteProfile(const KonfigDaten& record, CProfileFile& file) {
    const std::string s = "Data";
    auto byte = [](uint8_t value) { return std::to_string(unsigned(value)); };
    file.Set(s, "TransponderTyp", byte(record.TransponderTyp));
    file.Set(s, "Darstellung", byte(record.Darstellung));
    file.Set(s, "ZeichenAnzahl", byte(record.ZeichenAnzahl));
    file.Set(s, "GueltigeBytes", byte(record.GueltigeBytes));
    file.Set(s, "GueltigeBytesAb", byte(record.GueltigeBytesAb));
    file.Set(s, "KennungLinks", byte(record.KennungLinks));
    file.Set(s, "KennungRechts", byte(record.KennungRechts));
    file.Set(s, "Ausrichtung", byte(record.Ausrichtung));
    for (size_t i = 0; i < 4; ++i) {
        const std::string n = std::to_string(i + 1);
        file.Set(s, "MemTypeRegister" + n, byte(record.Registers[i].MemTypeRegister));
        file.Set(s, "StartRegister" + n, std::to_string(record.Registers[i].StartRegister));
        file.Set(s, "LaengeRegister" + n, byte(record.Registers[i].LaengeRegister));
    }
}

void CDatenRegisterkarte::TakeSnapshot() {
    m_snapshot = Snapshot{m_members.characterCount, m_members.representation, m_members.lastUsedByte};
}

bool CDatenRegisterkarte::HasChanged(std::optional<SetupMessage>* message) {
    if (m_replacement) return true;
    if (!m_shown) return false;
    if (std::optional<SetupMessage> failure = Validate()) {
        if (message) *message = failure;
        return false;
    }
    return m_members.characterCount != m_snapshot.characterCount ||
           m_members.representation != m_snapshot.representation ||
           m_members.lastUsedByte != m_snapshot.lastUsedByte;
}
