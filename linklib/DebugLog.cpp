#include "DebugLog.h"

#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace DebugLog {

namespace {
std::atomic<Sink> sink{nullptr};
}

void SetSink(Sink newSink) {
    sink = newSink;
}

bool Enabled() {
    static const bool enabled = std::getenv("KVPLM_DEBUG") != nullptr;
    return enabled || sink.load() != nullptr;
}

void Write(const std::string& text) {
    if (const Sink target = sink.load()) {
        target(text);
        return;
    }
    if (!Enabled()) return;
    std::fputs(text.c_str(), stderr);
    if (text.empty() || text.back() != '\n') std::fputc('\n', stderr);
}

void Printf(const char* format, ...) {
    if (!Enabled()) return;
    char line[1024];
    va_list args;
    va_start(args, format);
    std::vsnprintf(line, sizeof line, format, args);
    va_end(args);
    Write(line);
}

void Failure(const char* operation, int errorNumber, const std::string& portName) {
    if (!Enabled()) return;
    Printf("WARNING:  %s Failed with the following error: \n%s\nPort: %s\n", operation,
           std::strerror(errorNumber), portName.c_str());
}

} // namespace DebugLog
