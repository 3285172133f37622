// Diagnostics of the link library. Nothing here reaches the user: the lines
// go to stderr, and only when the environment variable KVPLM_DEBUG is set.
#pragma once

#include <string>

namespace DebugLog {

bool Enabled();
void Write(const std::string& text);
// Sends every line to sink instead of stderr, whatever KVPLM_DEBUG says
// (tests read the diagnostics this way); null restores the default.
using Sink = void (*)(const std::string& line);
void SetSink(Sink sink);
void Printf(const char* format, ...) __attribute__((format(printf, 1, 2)));

// "WARNING:  %s Failed with the following error: \n%s\nPort: %s\n" with the
// system's text for errorNumber.
void Failure(const char* operation, int errorNumber, const std::string& portName);

} // namespace DebugLog
