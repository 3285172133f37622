// The reader command set and the procedures built from its commands.
#pragma once

#include "Frame.h"

#include <cstddef>
#include <cstdint>
#include <string>

class CReaderSession;

namespace Command {
constexpr uint8_t WriteParam = 0x81;
constexpr uint8_t WritePrefix = 0x82;
constexpr uint8_t WriteSuffix = 0x83;
constexpr uint8_t WriteTermix = 0x84;
constexpr uint8_t WritePostcode = 0x85;
constexpr uint8_t WriteModeParam = 0x86;
constexpr uint8_t ReadParam = 0x89;
constexpr uint8_t ReadPrefix = 0x8A;
constexpr uint8_t ReadSuffix = 0x8B;
constexpr uint8_t ReadTermix = 0x8C;
constexpr uint8_t ReadPostcode = 0x8D;
constexpr uint8_t ReadModeParam = 0x8E;
constexpr uint8_t Inventory = 0xC0;
constexpr uint8_t Select = 0xC2;
constexpr uint8_t ReadTag = 0xC3;
constexpr uint8_t WriteTag = 0xC4;
constexpr uint8_t Identify = 0xF0;
constexpr uint8_t SetBaud = 0xF2;
constexpr uint8_t SetState = 0xF4;
constexpr uint8_t RfSwitch = 0xF5;
constexpr uint8_t CommandByte = 0xFF;
} // namespace Command

namespace ReaderCommands {

using Bytes = Frame::Bytes;

// One command: clear the pending command, append the command byte and the
// payload, exchange, then read the reply (its data into data, or only the
// status when data is null).
bool Run(CReaderSession& session, uint8_t command, const uint8_t* payload, size_t count, Bytes* data);
inline bool Run(CReaderSession& session, uint8_t command, const Bytes& payload, Bytes* data) {
    return Run(session, command, payload.data(), payload.size(), data);
}

// Model name of an identification reply: "" for an unknown device type,
// "---" for a reply shorter than 3 bytes.
std::string ModelName(const Bytes& reply);

// 2400 -> 0, 4800 -> 1, 9600 -> 2, anything else -> 3.
uint8_t RateCode(int baud);

// Serial format change (0xF2) and the matching change of the host port.
bool SetBaudRate(CReaderSession& session, int baud, int format);

// Tag memory write; a write answered with status 21 counts as done when the
// same words read back equal the written bytes. Returns 0 or -1.
int WriteTag(CReaderSession& session, int bank, int wordAddress, const uint8_t* data, size_t count);

// The three little-endian address bytes of a tag command (the third is 0).
void AppendWordAddress(Bytes& payload, int wordAddress);

} // namespace ReaderCommands
