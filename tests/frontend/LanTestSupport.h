// The LAN settings dialog's tests: a network configuration under the test's
// control (what the reader's block holds, whether it takes new settings,
// when it answers under its new address) and a clock the test moves on.
#pragma once

#include "LanSettings.h"

#include <QTimer>
#include <functional>
#include <string>
#include <vector>

// A 120-byte network configuration block.
inline std::vector<unsigned char> LanBlockBytes(std::array<int, 4> address, int hostBits, int port,
                                                const std::string& name) {
    std::vector<unsigned char> block(120, 0);
    for (size_t i = 0; i < 4; ++i)
        block[i] = static_cast<unsigned char>(address[i]);
    block[6] = static_cast<unsigned char>(hostBits);
    block[20] = static_cast<unsigned char>(port & 0xFF);
    block[21] = static_cast<unsigned char>(port >> 8);
    for (size_t i = 0; i < name.size() && i < 8; ++i)
        block[112 + i] = static_cast<unsigned char>(name[i]);
    // Bytes the dialog does not use.
    block[4] = 0x5A;
    block[119 - 8] = 0xA5;
    return block;
}

struct FakeLanLink : frontend::LanLink {
    int openResult = 7;
    std::vector<unsigned char> block = LanBlockBytes({192, 168, 0, 20}, 8, 10001, "");
    int readResult = -2; // -2: the block's size
    int setResult = 0;
    // Find answers 1 from this call on (counting from 1); 0: never.
    int foundFrom = 0;
    int finds = 0;
    std::function<void()> onFind; // runs inside each Find
    std::vector<std::string> calls;

    int OpenConfig(const std::string& portName) override {
        calls.push_back("open " + portName);
        return openResult;
    }
    int ReadConfig(int id, int record, unsigned char* buffer, int size) override {
        calls.push_back("read " + std::to_string(id) + " " + std::to_string(record) + " " +
                        std::to_string(size));
        const int result = readResult == -2 ? int(block.size()) : readResult;
        for (int i = 0; i < result && i < size && size_t(i) < block.size(); ++i)
            buffer[i] = block[size_t(i)];
        return result;
    }
    int CloseConfig(int id, int restart) override {
        calls.push_back("close " + std::to_string(id) + " " + std::to_string(restart));
        return 0;
    }
    int SetAddress(const std::string& portName, const std::string& addressText,
                   const std::string& maskText) override {
        calls.push_back("set " + portName + " " + addressText + " '" + maskText + "'");
        return setResult;
    }
    int Find(const std::string& text) override {
        calls.push_back("find " + text);
        ++finds;
        if (onFind) onFind();
        return foundFrom > 0 && finds >= foundFrom ? 1 : 0;
    }
    int Count(const std::string& prefix) const {
        int n = 0;
        for (const std::string& call : calls)
            n += call.rfind(prefix, 0) == 0 ? 1 : 0;
        return n;
    }
};

// Time passes only when the dialog pauses (and when a test says so); the
// next step runs from the event loop at once.
struct FakeRefindTimer : frontend::RefindTimer {
    qint64 now = 1000, start = 0;
    int starts = 0;
    void Start() override { start = now, ++starts; }
    qint64 Elapsed() const override { return now - start; }
    void After(int ms, QObject* context, std::function<void()> step) override {
        now += ms;
        QTimer::singleShot(0, context, std::move(step));
    }
};
