#include "BluetoothWait.h"

#include "LinkApi.h"
#include "LinkVocabulary.h"

#include <chrono>
#include <cstdio>
#include <cstring>

namespace Cli {

void SearchNotice::Start(long nowMs) {
    m_armed = true;
    m_startMs = nowMs;
}

bool SearchNotice::Due(long nowMs) {
    if (!m_armed || nowMs - m_startMs <= DelayMs) return false;
    m_armed = false;
    return true;
}

bool TraceLineReceived(const char* line) {
    if (!line || line[0] != '<') return false;
    const char* bytes = std::strchr(line, ')');
    if (!bytes) return false;
    for (++bytes; *bytes; ++bytes)
        if (*bytes != ' ' && *bytes != '\r' && *bytes != '\n') return true;
    return false;
}

namespace {

SearchNotice notice;
bool tracing = false;

long NowMs() {
    return long(std::chrono::duration_cast<std::chrono::milliseconds>(
                    std::chrono::steady_clock::now().time_since_epoch())
                    .count());
}

void Check() {
    if (notice.Due(NowMs())) std::fprintf(stderr, "%s\n", SearchNotice::Text);
}

void Pump(void*) {
    Check();
}

void WaitCursor(void*, int on) {
    if (on) Check();
}

void Trace(int, const char* line) {
    if (tracing) std::fputs(line, stderr);
    if (TraceLineReceived(line)) notice.ReplyArrived();
}

} // namespace

void WatchBluetoothWait(const std::string& linkPortName, bool trace) {
    if (LinkPort::TransportOf(linkPortName) == LinkPort::Kind::Bluetooth) WatchSearch(trace);
}

void WatchSearch(bool trace) {
    tracing = trace;
    notice.Start(NowMs());
    LinkSetTraceHook(Trace);
    LinkUiHooks hooks{};
    hooks.pumpEvents = Pump;
    hooks.setWaitCursor = WaitCursor;
    LinkSetUiHooks(&hooks);
}

} // namespace Cli
