// A simulated programmer device on a pseudo-terminal for the programmer's
// tests, with the requests it received turned into readable lines
// ("C3 03 02 00 00 04": command byte, then the payload).
#pragma once

#include "PtySimulator.h"
#include "SimHex.h"
#include "SimReader.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <string>
#include <unistd.h>
#include <vector>

namespace Programmer {

class SimFixture : public testing::Test {
protected:
    using SimBytes = CSimReader::Bytes;

    void SetUp() override {
        static const std::string dir = [] {
            char pattern[] = "/tmp/kvplm-programmer-XXXXXX";
            const char* made = mkdtemp(pattern);
            return std::string(made ? made : "/tmp");
        }();
        setenv("KVPLM_SIM_DIR", dir.c_str(), 1);
    }
    void TearDown() override {
        if (sim) sim->Stop();
    }

    // A device of this type with the given transponders in its field. With a
    // link, path is a symlink that names the device again after an unplug
    // and a new Start (a pty gets a new slave path each time).
    void StartDevice(uint16_t type = 0x302, const std::vector<std::string>& epcs = {}, bool link = false) {
        CSimReader::Options options;
        options.deviceType = type;
        reader = std::make_unique<CSimReader>(options);
        reader->RemoveAllTags();
        for (const std::string& epc : epcs)
            reader->PlaceTag(CSimTransponder(H(epc)));
        CPtySimulator::Options simOptions;
        simOptions.lineTime = false;
        simOptions.announce = false;
        if (link) {
            static int links = 0;
            simOptions.linkPath = std::string(std::getenv("KVPLM_SIM_DIR")) + "/device" +
                                  std::to_string(getpid()) + "-" + std::to_string(++links);
        }
        sim = std::make_unique<CPtySimulator>(*reader, simOptions);
        std::string error;
        ASSERT_TRUE(sim->Start(&error)) << error;
        path = sim->DevicePath();
    }

    static SimBytes H(const std::string& text) { return SimHex::Parse(text).value(); }

    // Every request since the last ClearLogs: command byte and payload.
    std::vector<std::string> Commands() const {
        std::vector<std::string> lines;
        for (const CSimReader::Request& request : reader->Requests()) {
            const SimBytes& raw = request.raw; // BCC framing: 02 ADDR CMD LEN payload BCC
            if (raw.size() < 5) continue;
            lines.push_back(SimHex::Format(raw.data() + 2, 1) +
                            (raw.size() > 5 ? " " + SimHex::Format(raw.data() + 4, raw.size() - 5) : ""));
        }
        return lines;
    }

    std::unique_ptr<CSimReader> reader;
    std::unique_ptr<CPtySimulator> sim;
    std::string path;
};

} // namespace Programmer
