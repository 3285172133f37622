// The power-on configuration: whether the reader starts in programming mode
// (0) or in reader mode (1). Both work on a session the caller opened.
#pragma once

#include "SetupHost.h"

#include <optional>

namespace PowerOnConfig {

constexpr int ProgrammingMode = 0;
constexpr int ReaderMode = 1;

// Command 0xF4 without data; exactly one reply byte, whose bit 0 is the
// mode. Anything else shows 519 and gives nothing.
std::optional<int> Read(int session, ISetupHost& host);
// LinkSetState with ReaderState::StorePowerOn + mode. A failure shows 510 and gives false.
bool Write(int session, int mode, ISetupHost& host);

} // namespace PowerOnConfig
