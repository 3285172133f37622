// The reader's configuration blocks Param (24 bytes, data output format) and
// ModeParam (4 bytes, operating parameters): built from a KonfigDaten and
// decoded for the pages and the read-back report.
#pragma once

#include "KonfigDaten.h"

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

namespace ConfigImage {

using Bytes = std::vector<uint8_t>;

constexpr size_t ParamSize = 24;
constexpr size_t ModeParamSize = 4;

// Param block: byte 0 data format; bytes 1+4i..4+4i register i (bits 6-7 of
// the first byte the bank 0..3, bits 0-5 the length, then the start word as
// 24 bits little-endian; FF FF FF FF for an empty register); 17 rotation;
// 18 representation; 19 character count; 20 last used byte; 21 first used
// byte; 22, 23 the type identifiers.
Bytes BuildParam(const KonfigDaten& record);
// ModeParam block: mode byte, cycle time / 100, request character,
// timeout / 100 (unsigned, truncated, low 8 bits).
Bytes BuildModeParam(const KonfigDaten& record);

struct Register {
    bool empty = true;  // the word FF FF FF FF
    int bank = 0;       // 0 reserved, 1 EPC, 2 TID, 3 user
    int memoryType = 0; // the page's memory type: bank + 1 (0 when empty)
    int length = 0;     // 6 bits
    uint32_t start = 0; // 24 bits
    uint32_t word = 0;  // the 4 bytes as a little-endian word
};

struct Param {
    int dataFormat = 0; // bit 0 of byte 0
    uint8_t formatByte = 0;
    std::array<Register, 4> registers{};
    uint8_t rotation = 0; // byte 17: bit 0 byte-wise, bit 1 bit-wise
    uint8_t representation = 0;
    uint8_t characterCount = 0;
    uint8_t lastUsedByte = 0;
    uint8_t firstUsedByte = 0;
    uint8_t identifierBefore = 0;
    uint8_t identifierAfter = 0;
};

struct ModeParam {
    int mode = 0;        // bits 0-3 of byte 0
    bool sensor = false; // bit 4 of byte 0
    uint8_t modeByte = 0;
    int cycleTimeMs = 0; // byte 1 x 100
    uint8_t requestByte = 0;
    uint8_t timeoutByte = 0;
};

Register DecodeRegister(const uint8_t* four);
// Nothing for fewer than 24 (4) bytes.
std::optional<Param> DecodeParam(const uint8_t* bytes, size_t count);
std::optional<ModeParam> DecodeModeParam(const uint8_t* bytes, size_t count);

} // namespace ConfigImage
