// kvplm epc/tid without a reader, and the decoded form beside the hex in
// inventory, read and write-epc against a simulated programmer holding an
// SGTIN-96 transponder and one whose EPC is no GS1 EPC.
#include "EpcOutput.h"
#include "PtySimulator.h"
#include "SimHex.h"
#include "SimReader.h"

#include "CliRun.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

namespace {

using CliRun::Outcome;

const char* const Sgtin = "3074257BF7194E4000001A85";
const char* const SgtinSpaced = "30 74 25 7B F7 19 4E 40 00 00 1A 85";
const char* const SgtinId = "urn:epc:id:sgtin:0614141.812345.6789";
const char* const SgtinJson =
    "{\"hex\":\"3074257BF7194E4000001A85\",\"gs1\":true,\"scheme\":\"sgtin-96\",\"filter\":3,\"partition\":5,"
    "\"pureIdentity\":\"urn:epc:id:sgtin:0614141.812345.6789\",\"tagUri\":\"urn:epc:tag:sgtin-96:3.0614141."
    "812345.6789\",\"elementString\":\"(01)80614141123458(21)6789\",\"fields\":[\"0614141\",\"812345\","
    "\"6789\"]}";

class CliEpc : public ::testing::Test {
protected:
    void TearDown() override {
        if (sim) sim->Stop();
    }
    void StartProgrammer() {
        CSimReader::Options options;
        options.deviceType = 0x302;
        reader = std::make_unique<CSimReader>(options);
        reader->RemoveAllTags();
        reader->PlaceTag(CSimTransponder(SimHex::Parse(SgtinSpaced).value(),
                                         SimHex::Parse("E2 80 11 05 20 01 01 23 45 67 89 AB").value()));
        reader->PlaceTag(CSimTransponder(SimHex::Parse("E2 00 34 12").value()));
        CPtySimulator::Options simOptions;
        simOptions.lineTime = false;
        simOptions.announce = false;
        sim = std::make_unique<CPtySimulator>(*reader, simOptions);
        std::string error;
        ASSERT_TRUE(sim->Start(&error)) << error;
        port = sim->DevicePath() + ":1";
    }
    Outcome Kvplm(const std::string& arguments) { return CliRun::Kvplm(folder, arguments, 500); }

    CliRun::ScratchFolder scratch{"epc"};
    std::string folder = scratch.Path();
    std::unique_ptr<CSimReader> reader;
    std::unique_ptr<CPtySimulator> sim;
    std::string port;
};

TEST_F(CliEpc, DecodePrintsEachEpcAndNotGs1WithTheReason) {
    Outcome run = Kvplm(std::string("epc decode ") + Sgtin + " 'E2 00 34 12' 310000");
    EXPECT_EQ(run.exit, 0) << run.err;
    EXPECT_EQ(run.out, "3074257BF7194E4000001A85\n"
                       "  scheme: sgtin-96\n"
                       "  filter: 3\n"
                       "  partition: 5\n"
                       "  pure identity: urn:epc:id:sgtin:0614141.812345.6789\n"
                       "  tag URI: urn:epc:tag:sgtin-96:3.0614141.812345.6789\n"
                       "  element string: (01)80614141123458(21)6789\n"
                       "E2003412\n"
                       "  not a GS1 EPC: header 0xE2 is not a GS1 scheme\n"
                       "310000\n"
                       "  not a GS1 EPC: too short for SSCC-96 (24 bits, 96 needed)\n");
    run = Kvplm(std::string("epc decode --json ") + Sgtin + " 00");
    EXPECT_EQ(run.exit, 0) << run.err;
    EXPECT_EQ(run.out,
              std::string("[") + SgtinJson +
                  ",{\"hex\":\"00\",\"gs1\":false,\"reason\":\"header 0x00 is not a GS1 scheme\"}]\n");
    // Text that is no hex is a bad command line.
    for (const char* bad : {"epc decode 30G4", "epc decode 307", "epc decode", "epc frobnicate 30"}) {
        run = Kvplm(bad);
        EXPECT_EQ(run.exit, 2) << bad;
        EXPECT_EQ(run.out, "") << bad;
    }
}

TEST_F(CliEpc, EncodeFromTagUriFieldsAndPureIdentity) {
    Outcome run = Kvplm("epc encode urn:epc:tag:sgtin-96:3.0614141.812345.6789");
    EXPECT_EQ(run.exit, 0) << run.err;
    EXPECT_EQ(run.out, std::string(Sgtin) + "\n");
    run = Kvplm("epc encode sgtin-96 --filter 3 0614141 812345 6789 --json");
    EXPECT_EQ(run.exit, 0) << run.err;
    EXPECT_EQ(run.out, std::string(SgtinJson) + "\n");
    run = Kvplm("epc encode urn:epc:id:sgtin:0614141.812345.6789 --scheme sgtin-96 --filter 3");
    EXPECT_EQ(run.out, std::string(Sgtin) + "\n");
    run = Kvplm("epc encode 'urn:epc:tag:sgtin-198:3.0614141.812345.32a%2Fb'");
    EXPECT_EQ(run.exit, 0) << run.err;
    EXPECT_EQ(run.out, "3674257BF7194E59B2C2BF100000000000000000000000000000\n");

    // Out of range: the reason on stderr, nothing on stdout, exit 1.
    run = Kvplm("epc encode urn:epc:tag:sgtin-96:3.0614141.812345.274877906944");
    EXPECT_EQ(run.exit, 1);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err, "kvplm: serial 274877906944 is too large for SGTIN-96 (at most 274877906943)\n");
    run = Kvplm("epc encode sgtin-96 --filter 3 0614141 1234567 1");
    EXPECT_EQ(run.exit, 1);
    EXPECT_EQ(run.err,
              "kvplm: item reference 1234567 has too many digits for a 7-digit company prefix (6 needed)\n");
    // Missing pieces of the command line.
    EXPECT_EQ(Kvplm("epc encode sgtin-96 0614141 812345 1").exit, 2);
    EXPECT_EQ(Kvplm("epc encode sgtin-96 --filter 8 0614141 812345 1").exit, 2);
    EXPECT_EQ(Kvplm("epc encode urn:epc:id:sgtin:0614141.812345.6789 --filter 3").exit, 2);
    EXPECT_EQ(Kvplm("epc encode").exit, 2);
}

TEST_F(CliEpc, TidDecodeTextAndJson) {
    Outcome run = Kvplm("tid decode E2801105 2001 0123456789AB");
    EXPECT_EQ(run.exit, 0) << run.err;
    EXPECT_EQ(run.out, "E280110520010123456789AB\n"
                       "  class: EPCglobal (E2)\n"
                       "  XTID: yes\n"
                       "  security indicator: no\n"
                       "  file indicator: no\n"
                       "  mask designer: 0x001 (Impinj)\n"
                       "  model: 0x105\n"
                       "  serial: 0123456789AB\n");
    run = Kvplm("tid decode E2 --json");
    EXPECT_EQ(run.exit, 0);
    EXPECT_EQ(run.out,
              "{\"hex\":\"E2\",\"valid\":false,\"reason\":\"a TID needs at least 4 bytes, got 1\"}\n");
    EXPECT_EQ(Kvplm("tid decode XY").exit, 2);
}

TEST_F(CliEpc, InventoryShowsTheIdentityBesideTheHex) {
    StartProgrammer();
    Outcome run = Kvplm("inventory " + port);
    EXPECT_EQ(run.exit, 0) << run.err;
    EXPECT_EQ(run.out, std::string(SgtinSpaced) + "\t" + SgtinId + "\nE2 00 34 12\n");
    run = Kvplm("inventory " + port + " --json");
    EXPECT_EQ(run.exit, 0) << run.err;
    EXPECT_EQ(run.out,
              std::string("[") + SgtinJson +
                  ",{\"hex\":\"E2003412\",\"gs1\":false,\"reason\":\"header 0xE2 is not a GS1 scheme\"}]\n");
    EXPECT_EQ(Kvplm("inventory " + port + " --json --cyclic 1").exit, 2);
}

TEST_F(CliEpc, ReadAndWriteEpcShowTheDecodedBanks) {
    StartProgrammer();
    Outcome run;

    // The EPC bank from byte 0: StoredCRC, PC, then the EPC the PC delimits.
    run = Kvplm("read " + port + " epc --select " + Sgtin);
    EXPECT_EQ(run.exit, 0) << run.err;
    const std::string bankHex = run.out.substr(0, run.out.find('\t'));
    EXPECT_EQ(run.out, bankHex + "\t" + SgtinId + "\n");
    EXPECT_NE(bankHex.find(std::string("30 00 ") + SgtinSpaced), std::string::npos) << bankHex;
    // A stretch from elsewhere is not decoded.
    run = Kvplm("read " + port + " epc --select " + Sgtin + " --start 4 --length 12");
    EXPECT_EQ(run.out, std::string(SgtinSpaced) + "\n");
    run = Kvplm("read " + port + " tid --select " + Sgtin);
    EXPECT_EQ(run.out,
              "E2 80 11 05 20 01 01 23 45 67 89 AB\tEPCglobal (E2), Impinj, model 0x105, XTID, serial "
              "0123456789AB\n");
    run = Kvplm("read " + port + " tid --select " + Sgtin + " --json");
    EXPECT_EQ(run.exit, 0) << run.err;
    EXPECT_EQ(run.out.rfind("{\"bank\":2,\"start\":0,\"data\":\"E28011052001012345678"
                            "9AB\",\"tid\":{",
                            0),
              0u)
        << run.out;
    run = Kvplm("read " + port + " epc --select E2003412 --json");
    EXPECT_NE(run.out.find(",\"epc\":{\"hex\":\"E2003412\",\"gs1\":false,"), std::string::npos) << run.out;

    // A new serial written into the SGTIN-96 transponder (the first in the field, which the
    // inventory after the write finds).
    run = Kvplm("write-epc " + port + " 3074257BF7194E4000001A86 --select " + Sgtin);
    EXPECT_EQ(run.exit, 0) << run.err;
    EXPECT_EQ(run.out, "30 74 25 7B F7 19 4E 40 00 00 1A 86\turn:epc:id:sgtin:0614141.812345.6790\n");
}

// The EPC inside an EPC bank read: the PC's length, its toggle bit, short data.
TEST(CliEpcBank, ThePcDelimitsTheEpcAndItsToggleBitIsRespected) {
    Epc::Bytes epc;
    std::string reason;
    const std::vector<uint8_t> bank{0x12, 0x34, 0x30, 0x00, 0x30, 0x74, 0x25, 0x7B, 0xF7,
                                    0x19, 0x4E, 0x40, 0x00, 0x00, 0x1A, 0x85, 0x00, 0x00};
    ASSERT_TRUE(Cli::EpcFromBank(bank, epc, reason)) << reason;
    EXPECT_EQ(Epc::ToHex(epc), Sgtin);
    std::vector<uint8_t> iso = bank;
    iso[2] = 0x31, iso[3] = 0xA2;
    EXPECT_FALSE(Cli::EpcFromBank(iso, epc, reason));
    EXPECT_EQ(reason, "the PC's toggle bit is set (AFI 0xA2): not a GS1 EPC");
    EXPECT_FALSE(Cli::EpcFromBank(std::vector<uint8_t>(bank.begin(), bank.begin() + 10), epc, reason));
    EXPECT_EQ(reason, "the data ends before the 12 bytes of EPC the PC gives");
    EXPECT_FALSE(Cli::EpcFromBank({0x12, 0x34}, epc, reason));
    EXPECT_EQ(Cli::JsonString("a\"b\\c\n"), "\"a\\\"b\\\\c\\u000a\"");
}

} // namespace

TEST_F(CliEpc, ReadAllShowsEveryFieldOfTheFirstTransponderDecoded) {
    StartProgrammer();
    Outcome run = Kvplm("read-all " + port);
    ASSERT_EQ(run.exit, 0) << run.err;
    EXPECT_NE(run.out.find("Count:     2\n"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find(std::string("EPC:       ") + SgtinSpaced + "\t" + SgtinId + "\n"),
              std::string::npos)
        << run.out;
    EXPECT_NE(
        run.out.find("TID:       E2 80 11 05 20 01 01 23 45 67 89 AB\tEPCglobal (E2), Impinj, model 0x105"),
        std::string::npos)
        << run.out;
    EXPECT_NE(run.out.find("Access:    00 00 00 00\nKill:      00 00 00 00\n"), std::string::npos) << run.out;
    run = Kvplm("read-all --json " + port);
    ASSERT_EQ(run.exit, 0) << run.err;
    EXPECT_NE(run.out.find(std::string("\"epc\":") + SgtinJson +
                           ",\"tid\":{\"hex\":\"E2801105200101234567"
                           "89AB\""),
              std::string::npos)
        << run.out;
    EXPECT_NE(run.out.find("\"errors\":[]}\n"), std::string::npos) << run.out;
    // No transponder: nothing is read and the exit says so.
    reader->RemoveAllTags();
    run = Kvplm("read-all " + port);
    EXPECT_EQ(run.exit, 1);
    EXPECT_EQ(run.out, "");
}
