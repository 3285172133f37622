// A Morvane host whose "connect with the stored settings" opens a simulated
// reader on a pseudo-terminal, for the procedure tests.
#pragma once

#include "FakeHost.h"
#include "PtySimulator.h"
#include "ReaderConnect.h"
#include "SimOutputReader.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>

class SimFixture : public ::testing::Test {
protected:
    void SetUp() override {
        static const std::string dir = [] {
            char pattern[] = "/tmp/kvplm-setupsim-XXXXXX";
            const char* made = mkdtemp(pattern);
            return std::string(made ? made : "/tmp");
        }();
        setenv("KVPLM_SIM_DIR", dir.c_str(), 1);
        folder = dir;
        StartReader();
    }
    void TearDown() override {
        if (sim) sim->Stop();
    }

    void StartReader(CSimReader::Options options = {}) {
        if (sim) sim->Stop();
        reader = std::make_unique<CSimOutputReader>(options);
        CPtySimulator::Options simOptions;
        simOptions.lineTime = false;
        simOptions.announce = false;
        sim = std::make_unique<CPtySimulator>(*reader, simOptions);
        std::string error;
        ASSERT_TRUE(sim->Start(&error)) << error;
        host.settings["Port/Name"] = sim->DevicePath();
        host.settings["Port/Baudrate"] = "19200";
        host.connect = [this](bool withMessages) {
            ReaderConnect::Request request;
            request.port = host.settings["Port/Name"];
            request.baudrate = std::atoi(host.settings["Port/Baudrate"].c_str());
            request.timeoutMs = 300;
            const ReaderConnect::Result result = ReaderConnect::Connect(request);
            if (!result.connection.Connected() && withMessages)
                host.ShowMessage(ReaderConnect::FailureMessage(result.connection.code));
            if (result.connection.Connected()) ++connects;
            return result.connection;
        };
        host.close = [](int session) { ReaderConnect::Close(session); };
    }

    // The request commands the reader received, in order.
    std::vector<int> Commands() const {
        std::vector<int> commands;
        for (const CSimReader::Request& request : reader->Requests()) {
            if (request.fate != CSimReader::Fate::Answered) continue;
            const Frame::Bytes& raw = request.raw;
            commands.push_back(request.framing == Frame::Bcc ? raw[2] : raw[1]);
        }
        return commands;
    }

    std::unique_ptr<CSimOutputReader> reader;
    std::unique_ptr<CPtySimulator> sim;
    FakeHost host;
    std::string folder;
    int connects = 0;
};
