// A TagLink that logs every call in a readable line and answers from queues
// the test fills: what a reader would have said, without a reader. The
// device can go away: at once (connected = 0) or at a given call
// (goneAtCall), which then fails as an exchange with a vanished device does
// (status 4, the reply timeout), and so does every call after it.
#pragma once

#include "HexText.h"
#include "TagLink.h"

#include <algorithm>
#include <cstring>
#include <deque>
#include <string>
#include <vector>

namespace Programmer {

class ScriptedLink : public TagLink {
public:
    struct Reply {
        int result; // what the call returns
        Bytes data; // copied into the caller's buffer
        int status; // the session status afterwards (for a failure)
    };

    std::vector<std::string> log;
    std::deque<Reply> inventory, reads;
    std::deque<int> selects, writes; // results; empty queue = success
    int status = 0;
    // Answer for an inventory when its queue is empty.
    Reply idleInventory{1, {0}, 0};
    int connected = 1;              // what IsConnected answers
    size_t goneAtCall = size_t(-1); // the device goes away at this call (1 = the first logged)
    int connectionQuestions = 0;    // IsConnected calls (not logged)

    int Inventory(int session, int value, uint8_t* buffer, int size) override {
        log.push_back("Inventory " + std::to_string(value));
        if (Gone()) return -1;
        return Answer(session, inventory, idleInventory, buffer, size);
    }
    int Select(int, const uint8_t* bytes, int count) override {
        log.push_back("Select " + Hex(bytes, count));
        if (Gone()) return -1;
        return Take(selects);
    }
    int ReadTag(int session, int bank, int word, uint8_t* buffer, int size) override {
        log.push_back("ReadTag " + std::to_string(bank) + " " + std::to_string(word) + " " +
                      std::to_string(size));
        if (Gone()) return -1;
        return Answer(session, reads, Reply{0, {}, 0}, buffer, size);
    }
    int ReadTagAll(int session, int bank, int word, uint8_t* buffer, int size) override {
        log.push_back("ReadTagAll " + std::to_string(bank) + " " + std::to_string(word) + " " +
                      std::to_string(size));
        if (Gone()) return -1;
        return Answer(session, reads, Reply{0, {}, 0}, buffer, size);
    }
    int WriteTag(int, int bank, int word, const uint8_t* bytes, int count) override {
        log.push_back("WriteTag " + std::to_string(bank) + " " + std::to_string(word) + " " +
                      Hex(bytes, count));
        if (Gone()) return -1;
        return Take(writes);
    }
    int RfSwitch(int, int value) override {
        log.push_back("RfSwitch " + std::to_string(value));
        return Gone() ? -1 : 0;
    }
    int GetLastError(int) override { return status; }
    int IsConnected(int) override {
        ++connectionQuestions;
        return connected;
    }
    int SetKeepWindowEnabled(int, int flag) override {
        log.push_back("KeepWindowEnabled " + std::to_string(flag));
        return 1;
    }

    void Clear() { log.clear(); }

private:
    // Whether the device is gone by this (just logged) call.
    bool Gone() {
        if (log.size() >= goneAtCall) connected = 0;
        if (connected) return false;
        status = 4;
        return true;
    }
    static std::string Hex(const uint8_t* bytes, int count) {
        return bytes && count > 0 ? HexText::Format(bytes, size_t(count)) : std::string("-");
    }
    int Take(std::deque<int>& queue) {
        if (queue.empty()) return 0;
        const int result = queue.front();
        queue.pop_front();
        if (result < 0 && status == 0) status = 4;
        return result;
    }
    int Answer(int session, std::deque<Reply>& queue, const Reply& fallback, uint8_t* buffer, int size) {
        if (session == 0) {
            status = 3;
            return -1;
        }
        Reply reply = fallback;
        if (!queue.empty()) {
            reply = queue.front();
            queue.pop_front();
        }
        if (reply.result < 0) {
            status = reply.status;
            return -1;
        }
        const size_t count = std::min(reply.data.size(), size_t(std::max(size, 0)));
        if (count) std::memcpy(buffer, reply.data.data(), count);
        return reply.result;
    }
};

} // namespace Programmer
