#include "ConfigImage.h"

namespace ConfigImage {

Bytes BuildParam(const KonfigDaten& record) {
    Bytes block;
    block.reserve(ParamSize);
    block.push_back(record.TransponderTyp);
    for (const KonfigDaten::Register& reg : record.Registers) {
        if (reg.MemTypeRegister == 0) {
            block.insert(block.end(), 4, 0xFF);
            continue;
        }
        // Memory types 1..4 are the banks 0..3: (type + 3) x 64 modulo 256.
        const unsigned bank = (unsigned(reg.MemTypeRegister) + 3u) * 64u;
        block.push_back(static_cast<uint8_t>((bank + (reg.LaengeRegister & 0x3Fu)) & 0xFFu));
        const uint32_t start = static_cast<uint32_t>(reg.StartRegister);
        block.push_back(static_cast<uint8_t>(start));
        block.push_back(static_cast<uint8_t>(start >> 8));
        block.push_back(static_cast<uint8_t>(start >> 16));
    }
    block.push_back(record.Ausrichtung);
    block.push_back(record.Darstellung);
    block.push_back(record.ZeichenAnzahl);
    block.push_back(record.GueltigeBytes);
    block.push_back(record.GueltigeBytesAb);
    block.push_back(record.KennungLinks);
    block.push_back(record.KennungRechts);
    return block;
}

Bytes BuildModeParam(const KonfigDaten& record) {
    return Bytes{record.Betriebsart, static_cast<uint8_t>(static_cast<uint32_t>(record.Zykluszeit) / 100u),
                 record.Aufforderung,
                 static_cast<uint8_t>(static_cast<uint32_t>(record.TimeoutRS232) / 100u)};
}

Register DecodeRegister(const uint8_t* four) {
    Register reg;
    reg.word = uint32_t(four[0]) | uint32_t(four[1]) << 8 | uint32_t(four[2]) << 16 | uint32_t(four[3]) << 24;
    reg.empty = reg.word == 0xFFFFFFFFu;
    reg.bank = four[0] >> 6;
    reg.length = four[0] & 0x3F;
    reg.start = reg.word >> 8;
    reg.memoryType = reg.empty ? 0 : reg.bank + 1;
    return reg;
}

std::optional<Param> DecodeParam(const uint8_t* bytes, size_t count) {
    if (!bytes || count < ParamSize) return std::nullopt;
    Param param;
    param.formatByte = bytes[0];
    param.dataFormat = bytes[0] & 1;
    for (size_t i = 0; i < 4; ++i)
        param.registers[i] = DecodeRegister(bytes + 1 + 4 * i);
    param.rotation = bytes[17];
    param.representation = bytes[18];
    param.characterCount = bytes[19];
    param.lastUsedByte = bytes[20];
    param.firstUsedByte = bytes[21];
    param.identifierBefore = bytes[22];
    param.identifierAfter = bytes[23];
    return param;
}

std::optional<ModeParam> DecodeModeParam(const uint8_t* bytes, size_t count) {
    if (!bytes || count < ModeParamSize) return std::nullopt;
    ModeParam mode;
    mode.modeByte = bytes[0];
    mode.mode = bytes[0] & 0x0F;
    mode.sensor = (bytes[0] & 0x10) != 0;
    mode.cycleTimeMs = bytes[1] * 100;
    mode.requestByte = bytes[2];
    mode.timeoutByte = bytes[3];
    return mode;
}

} // namespace ConfigImage
