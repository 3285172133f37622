#include "Progress.h"

#include "LinkVocabulary.h"
#include "ReaderConnection.h"

#include <cstdio>
#include <memory>
#include <unistd.h>

namespace Cli {

namespace {
// Carriage return and "erase to the end of the line".
constexpr const char* kClear = "\r\x1b[K";
ProgressLine* shown = nullptr;
bool disabled = false;
} // namespace

void ProgressLine::Disable() {
    disabled = true;
}

void ProgressLine::ClearShown() {
    if (shown) shown->Clear();
}

bool ProgressLine::Wanted() {
    return !disabled && isatty(STDOUT_FILENO) == 1 && isatty(STDERR_FILENO) == 1;
}

ProgressLine::ProgressLine() : m_enabled(Wanted()) {}

ProgressLine::~ProgressLine() {
    Clear();
}

void ProgressLine::Show(const std::string& text) {
    if (!m_enabled) return;
    std::fprintf(stderr, "%s%s", kClear, text.c_str());
    std::fflush(stderr);
    m_shown = true;
    if (shown && shown != this) shown->m_shown = false; // drawn over
    shown = this;
}

void ProgressLine::Clear() {
    if (!m_shown) return;
    std::fputs(kClear, stderr);
    std::fflush(stderr);
    m_shown = false;
    if (shown == this) shown = nullptr;
}

void ProgressLine::Say(const std::string& line) {
    Clear();
    std::fprintf(stderr, "%s\n", line.c_str());
}

namespace {

std::unique_ptr<ProgressLine> connectLine;

void ShowOpen(const frontend::OpenRequest& request) {
    if (connectLine) connectLine->Show(ConnectingText(request.linkPortName, request.baud));
}

} // namespace

std::string ConnectingText(const std::string& linkPortName, int baud) {
    std::string text = "connecting to " + linkPortName;
    if (LinkPort::TransportOf(linkPortName) == LinkPort::Kind::Serial)
        text += " at " + std::to_string(baud) + " baud";
    return text + " ...";
}

ConnectProgress::ConnectProgress() {
    if (!ProgressLine::Wanted() || connectLine) return;
    connectLine = std::make_unique<ProgressLine>();
    m_owner = true;
    frontend::SetOpenObserver(ShowOpen);
}

ConnectProgress::~ConnectProgress() {
    if (!m_owner) return;
    frontend::SetOpenObserver(nullptr);
    connectLine.reset();
}

} // namespace Cli
