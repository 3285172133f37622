// The HID interface channel of a reader for the keyboard table tests:
// records what it is given and answers through functions the test sets.
#pragma once

#include "HidKeyTable.h"

#include <algorithm>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

class FakeHidChannel : public IHidChannel {
public:
    using Bytes = std::vector<uint8_t>;
    std::vector<Bytes> exchanged, sent;
    std::vector<int> replySizes;
    // Answer to a request: the reply bytes, or nothing for a failure (-1).
    std::function<std::optional<Bytes>(const Bytes&)> answer = [](const Bytes&) { return Bytes{}; };
    std::function<bool(const Bytes&)> accept = [](const Bytes&) { return true; };

    int Exchange(const uint8_t* request, int count, uint8_t* reply, int size) override {
        const Bytes bytes(request, request + count);
        exchanged.push_back(bytes);
        replySizes.push_back(size);
        const std::optional<Bytes> answered = answer(bytes);
        if (!answered) return -1;
        const int length = std::min(int(answered->size()), size);
        std::copy(answered->begin(), answered->begin() + length, reply);
        return length;
    }
    int Send(const uint8_t* bytes, int count) override {
        const Bytes report(bytes, bytes + count);
        sent.push_back(report);
        return accept(report) ? 0 : -1;
    }

    // A factory handing out this channel for any session (noted in sessions).
    HidChannelFactory Factory() {
        return [this](int session) -> std::unique_ptr<IHidChannel> {
            sessions.push_back(session);
            return std::make_unique<Forward>(*this);
        };
    }
    std::vector<int> sessions;

    // A reader whose table answers a query 11 c with 11 04 mod usage (usage 0
    // for characters it has no key for).
    static std::function<std::optional<Bytes>(const Bytes&)>
    Keys(std::map<uint8_t, std::pair<uint8_t, uint8_t>> keys) {
        return [keys](const Bytes& request) -> std::optional<Bytes> {
            const auto it = keys.find(request.at(1));
            if (it == keys.end()) return Bytes{0x11, 0x04, 0x00, 0x00};
            return Bytes{0x11, 0x04, it->second.first, it->second.second};
        };
    }

private:
    struct Forward : IHidChannel {
        FakeHidChannel& to;
        explicit Forward(FakeHidChannel& channel) : to(channel) {}
        int Exchange(const uint8_t* r, int n, uint8_t* a, int s) override { return to.Exchange(r, n, a, s); }
        int Send(const uint8_t* b, int n) override { return to.Send(b, n); }
    };
};
