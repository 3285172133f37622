// kvplm with network readers: the simulated readers run in this process on
// loopback, kvplm as a program finds them, programs one over TCP, shows and
// changes its network settings and finds it again under the new ones.
#include "LanSimulator.h"
#include "SimNetModule.h"
#include "SimReader.h"

#include "CliRun.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

namespace {

using namespace std::chrono_literals;

using CliRun::Outcome;
using CliRun::ReadAll;

struct LanReader {
    LanReader(const CSimNetModule::Settings& settings, CSimNetModule::Address lease, const std::string& name)
        : module(settings, name), endpoint(reader, module, [&] {
              CLanSimulator::Options options;
              options.address = lease;
              options.restartDelay = 200ms;
              return options;
          }()) {}
    CSimReader reader;
    CSimNetModule module;
    CLanSimulator endpoint;
};

class CliLanTest : public ::testing::Test {
protected:
    void SetUp() override {
        setenv("KVPLM_LAN_BROADCAST", "127.255.255.255", 1);
        setenv("XDG_CONFIG_HOME", folder.c_str(), 1);
    }

    Outcome Kvplm(const std::string& arguments) { return CliRun::Kvplm(folder, arguments, 500); }

    static CSimNetModule::Settings Static(uint16_t port) {
        CSimNetModule::Settings settings;
        settings.address = {127, 0, 0, 2};
        settings.port = port;
        return settings;
    }
    static CSimNetModule::Settings Dhcp(const std::string& name) {
        CSimNetModule::Settings settings;
        settings.dhcpName = name;
        return settings;
    }

    CliRun::ScratchFolder scratch{"lan"};
    std::string folder = scratch.Path();
};

TEST_F(CliLanTest, SearchProgramShowAndChangeTheAddress) {
    LanReader plm(Static(10001), {127, 0, 0, 2}, "KV-PLM41 LAN");
    LanReader lager(Dhcp("LAGER1"), {127, 0, 0, 3}, "KV-PLM72 LAN");
    LanReader foreign(Static(10001), {127, 0, 0, 4}, "XPORT");
    foreign.module.SetRecord(0, CSimNetModule::Record0([] {
                                 CSimNetModule::Settings settings;
                                 settings.address = {127, 0, 0, 4};
                                 return settings;
                             }()));
    std::string error;
    ASSERT_TRUE(plm.endpoint.Start(&error)) << error;
    ASSERT_TRUE(lager.endpoint.Start(&error)) << error;
    ASSERT_TRUE(foreign.endpoint.Start(&error)) << error;

    // Verified: the family's readers only, a DHCP reader by its name alone.
    Outcome run = Kvplm("lan search");
    EXPECT_EQ(run.exit, 0) << run.err;
    EXPECT_NE(run.out.find("127.0.0.2-10001\n"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("[LAGER1]\n"), std::string::npos) << run.out;
    EXPECT_EQ(run.out.find("127.0.0.4"), std::string::npos) << run.out;
    run = Kvplm("lan search --all");
    EXPECT_NE(run.out.find("[LAGER1]127.0.0.3-10001\n"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("127.0.0.4-10001\n"), std::string::npos) << run.out;
    run = Kvplm("ports --lan");
    EXPECT_NE(run.out.find("LAN: [LAGER1]\n"), std::string::npos) << run.out;

    // A configuration programmed over TCP, and the DHCP reader by its name.
    const std::string file = folder + "/a.mkr";
    std::ofstream(file, std::ios::binary)
        << "[Prefix]\r\nCount=1\r\nAscii0=2\r\n[Data]\r\nTransponderTyp=0\r\nDarstellung=4\r\n"
           "ZeichenAnzahl=12\r\nGueltigeBytes=6\r\nBetriebsart=1\r\nZykluszeit=500\r\nBaudrate=19200\r\n"
           "Aufforderung=!\r\nTimeoutRS232=300\r\n[Suffix]\r\nCount=2\r\nAscii0=13\r\nAscii1=10\r\n";
    run = Kvplm("program 127.0.0.2-10001:1 " + file);
    EXPECT_EQ(run.exit, 0) << run.err;
    EXPECT_EQ(run.out, "Programmierung erfolgreich abgeschlossen\n");
    EXPECT_EQ(plm.reader.GetBlock(CSimReader::Block::ModeParam), (Frame::Bytes{0x01, 0x05, 0x21, 0x03}));
    run = Kvplm("info [LAGER1]:1");
    EXPECT_EQ(run.exit, 0) << run.err;
    EXPECT_NE(run.out.find("Port:      [LAGER1]:1\n"), std::string::npos) << run.out;

    run = Kvplm("lan show 'LAN: [LAGER1]'");
    EXPECT_EQ(run.exit, 0) << run.err;
    EXPECT_EQ(run.out,
              "Mode:        DHCP\nDHCP name:   LAGER1\nPort:        10001\nDevice:      KV-PLM72 LAN\n");

    // A new static address: sent, the reader restarts there and is found.
    run = Kvplm("lan set 127.0.0.2-10001 127.0.0.5-10002 --mask 255.255.0.0");
    EXPECT_EQ(run.exit, 0) << run.err;
    EXPECT_EQ(run.out.rfind("found the reader as 127.0.0.5-10002 after ", 0), 0u) << run.out;
    const CSimNetModule::Settings now = plm.module.CurrentSettings();
    EXPECT_EQ(now.address, (CSimNetModule::Address{127, 0, 0, 5}));
    EXPECT_EQ(now.port, 10002);
    EXPECT_EQ(now.hostBits, 16);
    run = Kvplm("lan show 127.0.0.5-10002");
    EXPECT_EQ(run.out,
              "Mode:        static\nAddress:     127.0.0.5\nSubnet mask: 255.255.0.0 (16 host bits)\n"
              "Port:        10002\nDevice:      KV-PLM41 LAN\n");
    EXPECT_EQ(Kvplm("readback 127.0.0.5-10002:1").exit, 0);
}

TEST_F(CliLanTest, BadSettingsAndSilentReadersFailClearly) {
    LanReader plm(Static(10001), {127, 0, 0, 2}, "KV-PLM41 LAN");
    std::string error;
    ASSERT_TRUE(plm.endpoint.Start(&error)) << error;
    const size_t restarts = plm.endpoint.Restarts();

    // Texts that are no settings are refused before anything is sent.
    for (const std::string args :
         {"127.0.0.2 1.2.3", "127.0.0.2 0.0.0.0", "127.0.0.2 1.2.3.4-70000",
          "127.0.0.2 1.2.3.4 --mask 255.0.255.0", "127.0.0.2 --dhcp ABCDEFGHI", "127.0.0.2 --dhcp 'A B'",
          "127.0.0.2 --dhcp ABC --mask 255.255.255.0", "COM1 1.2.3.4"}) {
        const Outcome run = Kvplm("lan set " + args);
        EXPECT_EQ(run.exit, 2) << args << ": " << run.err;
    }
    EXPECT_EQ(plm.endpoint.Restarts(), restarts);
    EXPECT_EQ(plm.module.CurrentSettings().address, (CSimNetModule::Address{127, 0, 0, 2}));

    // A reader that answers nothing: no settings sent, no success.
    plm.module.SetFault(CSimNetModule::Fault::Silence, -1);
    Outcome run = Kvplm("lan set 127.0.0.2 127.0.0.6");
    EXPECT_EQ(run.exit, 3); // no connection
    EXPECT_NE(run.err.find("could not be sent"), std::string::npos) << run.err;
    run = Kvplm("lan show 127.0.0.2");
    EXPECT_EQ(run.exit, 3);
    run = Kvplm("lan search");
    EXPECT_EQ(run.exit, 3);
    EXPECT_EQ(run.out, "");
    EXPECT_NE(run.err.find("firewall"), std::string::npos) << run.err;
}

} // namespace
