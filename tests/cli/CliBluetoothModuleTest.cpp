// kvplm against the simulated Bluetooth adapter module with a programmer
// behind it: the scan, a transponder command on a " BT" name, and the notice
// while the module searches.
#include "BtModuleSimulator.h"
#include "SimHex.h"
#include "SimReader.h"

#include "CliRun.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

namespace {

using CliRun::Outcome;
using std::chrono::milliseconds;

const CBtModuleSimulator::Address ReaderAddress{0x00, 0x11, 0x22, 0x33, 0x44, 0x55};
const CBtModuleSimulator::Address HeadsetAddress{0xA0, 0xB1, 0xC2, 0xD3, 0xE4, 0xF5};

class CliBluetoothModuleTest : public ::testing::Test {
protected:
    void TearDown() override {
        if (module) module->Stop();
    }

    // A module on a pty; remotes: the reader-class programmer with one
    // transponder unless told otherwise.
    void StartModule(std::vector<CBtModuleSimulator::Remote> remotes,
                     milliseconds inquiry = milliseconds(300)) {
        CBtModuleSimulator::Options options;
        options.announce = false;
        options.inquiryTime = inquiry;
        module = std::make_unique<CBtModuleSimulator>(std::move(remotes), options);
        std::string error;
        ASSERT_TRUE(module->Start(&error)) << error;
        port = module->SlavePath();
    }
    static CBtModuleSimulator::Remote Programmer(const std::string& name = "") {
        CSimReader::Options options;
        options.deviceType = 0x313;
        auto reader = std::make_shared<CSimReader>(options);
        reader->RemoveAllTags();
        reader->PlaceTag(CSimTransponder(SimHex::Parse("E2 00 34 12").value()));
        return {ReaderAddress, CBtModuleSimulator::ReaderClass, name, reader};
    }
    Outcome Kvplm(const std::string& arguments) { return CliRun::Kvplm(folder, arguments, 500); }

    CliRun::ScratchFolder scratch{"btmodule"};
    std::string folder = scratch.Path();
    std::unique_ptr<CBtModuleSimulator> module;
    std::string port;
};

TEST_F(CliBluetoothModuleTest, TheScanListsTheReaderWithItsName) {
    StartModule({Programmer("PLM BT 7")});
    const Outcome run = Kvplm("bt scan " + port);
    EXPECT_EQ(run.exit, 0) << run.err;
    EXPECT_EQ(run.out, "00:11:22:33:44:55 PLM BT 7\n");
    // The " BT" marker and an address are taken as well. (A fresh module: the
    // first scan ended the inquiry early, and the module's late confirm of
    // it would end the next inquiry at once.)
    module->Stop();
    StartModule({Programmer("PLM BT 7")});
    const Outcome marked = Kvplm("bt scan '" + port + " BT:1'");
    EXPECT_EQ(marked.exit, 0) << marked.err;
    EXPECT_EQ(marked.out, run.out);
}

TEST_F(CliBluetoothModuleTest, NoReaderOfTheClassIsNoReaderFoundAfterTheNotice) {
    // Only a headset answers; the inquiry runs its whole time (longer than
    // the notice's second), so the notice comes once on stderr.
    StartModule({{HeadsetAddress, 0x200404, "Headset", nullptr}}, milliseconds(1400));
    const Outcome run = Kvplm("bt scan " + port);
    EXPECT_EQ(run.exit, 3);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err, "searching for the reader ...\nkvplm: no reader found\n");

    // Any class: the headset is listed.
    const Outcome all = Kvplm("bt scan --all " + port);
    EXPECT_EQ(all.exit, 0) << all.err;
    EXPECT_EQ(all.out, "A0:B1:C2:D3:E4:F5 Headset\n");
}

TEST_F(CliBluetoothModuleTest, InventoryOverTheModuleShowsTheTransponder) {
    StartModule({Programmer()});
    const Outcome run = Kvplm("inventory '" + port + " BT:1'");
    EXPECT_EQ(run.exit, 0) << run.err;
    EXPECT_EQ(run.out, "E2 00 34 12\n");
    EXPECT_EQ(run.err.find("kvplm:"), std::string::npos) << run.err;
    EXPECT_GE(module->GetStatus().links, 1u);
    EXPECT_GE(module->GetStatus().releases, 1u); // the link is released when kvplm closes
}

} // namespace
