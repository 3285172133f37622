// A reader session on a fake line, for the targets that drive the frame
// exchange: what the session sends is kept, and what the reader answers to
// each frame arrives through the polled input (as on a HID or Bluetooth
// transport), one piece per poll step. Include it once per target: it also
// replaces the process's nanosleep.
#pragma once

#include "ReaderSession.h"

#include <algorithm>
#include <ctime>
#include <deque>
#include <vector>

// The exchange pauses 10 ms after each frame (and 200 ms after a baud rate
// change), as the readers need. Under the fuzzer those pauses only slow the
// search down, so the process skips them; the reply timeouts still run on
// the steady clock.
extern "C" int nanosleep(const struct timespec*, struct timespec*) {
    return 0;
}

namespace Fuzz {

class FakeLineSession : public CReaderSession {
public:
    using Bytes = Frame::Bytes;
    static constexpr int Id = 0x4B56;

    // What went out, frame by frame (or raw send by raw send).
    std::vector<Bytes> sent;
    // What the reader answers to each frame, in the order of the frames;
    // without an answer it stays silent.
    std::deque<std::vector<Bytes>> answers;

    // The session's transport is the session itself, open until closed.
    int LinkId() const override { return m_open ? Id : 0; }
    void CloseLink() override { m_open = false; }
    bool Send(const uint8_t* data, size_t count) override {
        sent.emplace_back(data, data + count);
        if (!answers.empty()) {
            for (Bytes& piece : answers.front())
                m_arriving.push_back(std::move(piece));
            answers.pop_front();
        }
        return true;
    }
    int PollLimit() const override { return 100; }
    int Poll(uint8_t* buffer, int maximum) override {
        if (m_arriving.empty() || maximum <= 0) return 0;
        Bytes& piece = m_arriving.front();
        const size_t n = std::min(piece.size(), size_t(maximum));
        std::copy(piece.begin(), piece.begin() + long(n), buffer);
        piece.erase(piece.begin(), piece.begin() + long(n));
        if (piece.empty()) m_arriving.pop_front();
        return int(n);
    }

private:
    bool m_open = true;
    std::deque<Bytes> m_arriving;
};

} // namespace Fuzz
