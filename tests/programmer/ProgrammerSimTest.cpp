// The programmer's connect procedure and transponder operations against the
// simulated device over a pty: the frames on the wire and what the dialog
// then shows.
#include "ProgrammerConnection.h"
#include "SimFixture.h"
#include "TransponderOperations.h"

#include "LinkApi.h"

#include <chrono>
#include <cstdio>
#include <thread>

using namespace Programmer;
using Lines = std::vector<std::string>;

namespace {

struct RecordingHost : ProgrammerHost {
    std::vector<std::string> messages, titles, questions;
    int pauses = 0;
    bool answer = true;
    void ShowMessage(const std::string& text) override { messages.push_back(text); }
    void SetTitle(const std::string& title) override { titles.push_back(title); }
    bool AskYesNo(const std::string& text) override {
        questions.push_back(text);
        return answer;
    }
    void Pause(int) override { ++pauses; } // the simulated field needs no time
};

class ProgrammerSim : public SimFixture {
protected:
    void TearDown() override {
        if (session > 0) LinkClose(session);
        SimFixture::TearDown();
    }

    ConnectOutcome Connect(int timeout = 300) {
        const ConnectOutcome outcome = ProgrammerConnection::Connect({path + ":1", 19200, 0, timeout},
                                                                     "Norda KV-PLM Programmer", "2.00", host);
        session = outcome.session;
        return outcome;
    }

    // Connected to a programmer with these transponders; logs cleared.
    void Ready(const std::vector<std::string>& epcs) {
        StartDevice(0x302, epcs);
        ASSERT_GT(Connect().session, 0);
        ops.SetSession(session);
        reader->ClearLogs();
    }

    TransponderValues& v() { return ops.Values(); }

    RecordingHost host;
    TransponderOperations ops{host};
    int session = 0;
};

// --- Connect ------------------------------------------------------------------

TEST_F(ProgrammerSim, ConnectIdentifiesAndEntersProgrammingMode) {
    StartDevice(0x302);
    const ConnectOutcome outcome = Connect();
    ASSERT_GT(outcome.session, 0);
    EXPECT_EQ(Commands(), (Lines{"F0", "F0", "F4 00"}));
    EXPECT_EQ(reader->State(), 0);
    EXPECT_EQ(outcome.deviceName, "KV-PLM41");
    EXPECT_EQ(host.titles,
              (Lines{"Norda KV-PLM Programmer V2.00 <>",
                     "Norda KV-PLM Programmer V2.00 <KV-PLM41 " + path + ":1  Firmware V1.05>"}));
    EXPECT_TRUE(host.messages.empty());
}

TEST_F(ProgrammerSim, PureReaderIsRefusedAndClosed) {
    StartDevice(0x301);
    const ConnectOutcome outcome = Connect();
    EXPECT_EQ(outcome.session, 0);
    EXPECT_EQ(host.messages,
              Lines{"Das gewählte Gerät ist ein reiner Leser! Hier wird jedoch ein Programmer benötigt!"});
    EXPECT_EQ(Commands(), (Lines{"F0", "F0"})); // no programming mode
    EXPECT_EQ(outcome.title, "Norda KV-PLM Programmer V2.00 <>");
    // The port is free again.
    const int again = LinkOpen((path + ":1").c_str(), 19200, 0, 300);
    EXPECT_GT(again, 0);
    LinkClose(again);
}

TEST_F(ProgrammerSim, SilentDeviceShowsThePortOpenText) {
    StartDevice(0x302);
    reader->FaultSilenceAll(true);
    EXPECT_EQ(Connect(50).session, 0);
    EXPECT_EQ(host.messages, Lines{"Fehler beim Port öffnen"});
}

TEST_F(ProgrammerSim, FailedIdentificationAfterOpenShowsNoReader) {
    StartDevice(0x302);
    // The probe is answered; the identification right after it is not.
    bool armed = false;
    reader->SetTraceHook([&](CSimReader::TraceKind kind, const CSimReader::Bytes&) {
        if (kind == CSimReader::TraceKind::Request && !armed) {
            armed = true;
            reader->FaultSilence(1);
        }
    });
    const ConnectOutcome outcome = Connect(100);
    EXPECT_EQ(outcome.session, 0);
    EXPECT_EQ(host.messages,
              Lines{"An diesem Port ist kein Leser angeschlossen.\r\nBitte wählen sie eine andere "
                    "Schnittstelle."});
    EXPECT_EQ(Commands(), (Lines{"F0", "F0"}));
    reader->SetTraceHook(nullptr);
}

// --- Inventory ------------------------------------------------------------------

TEST_F(ProgrammerSim, InventoryOfThreeAsksTwiceMore) {
    Ready({"E2 00 00 00 00 00 00 00 00 00 00 01", "E2 00 00 00 00 00 00 00 00 00 00 02",
           "E2 00 00 00 00 00 00 00 00 00 00 03"});
    ops.Inventory();
    EXPECT_EQ(Commands(), (Lines{"C0 00", "C0 02", "C0 02"}));
    EXPECT_EQ(v().count, 3);
    EXPECT_EQ(v().epcList,
              (Lines{"E2 00 00 00 00 00 00 00 00 00 00 01", "E2 00 00 00 00 00 00 00 00 00 00 02",
                     "E2 00 00 00 00 00 00 00 00 00 00 03"}));
    EXPECT_EQ(v().selectedEpc, v().epcList.front());
    EXPECT_EQ(v().status, "");
}

TEST_F(ProgrammerSim, EmptyFieldAndFailedInventory) {
    Ready({});
    v().status = "Lesen erfolgreich";
    EXPECT_FALSE(ops.RunInventory());
    EXPECT_EQ(v().status, "");
    EXPECT_TRUE(v().epcList.empty());

    reader->FaultStatus(0xC0, 0xFE);
    EXPECT_FALSE(ops.RunInventory());
    EXPECT_EQ(v().selectedEpc, "Error 254");
    EXPECT_EQ(v().status, "Error 254");
}

TEST_F(ProgrammerSim, ErrorSelectionSelectsWithNoBytes) {
    Ready({"30 00 11 22"});
    reader->FaultStatus(0xC0, 4);
    ops.RunInventory();
    ASSERT_EQ(v().selectedEpc, "Error 4");
    v().userLength = 4;
    EXPECT_EQ(ops.ReadUser(), 4); // an empty prefix selects the first transponder
    EXPECT_EQ(Commands(), (Lines{"C0 00", "C2", "C3 03 00 00 00 04"}));
}

TEST_F(ProgrammerSim, CyclicInventoryFollowsTheField) {
    Ready({"AA 01"});
    ASSERT_TRUE(ops.BeginCyclicInventory());
    EXPECT_TRUE(ops.CyclicInventoryRound());
    EXPECT_EQ(v().epcList, Lines{"AA 01"});
    reader->PlaceTag(CSimTransponder(H("BB 02")));
    EXPECT_TRUE(ops.CyclicInventoryRound());
    EXPECT_EQ(v().epcList, (Lines{"AA 01", "BB 02"}));
    reader->RemoveAllTags();
    EXPECT_FALSE(ops.CyclicInventoryRound());
    EXPECT_TRUE(v().epcList.empty());
    ops.EndCyclicInventory();
    EXPECT_EQ(Commands(), (Lines{"C0 00", "C0 00", "C0 02", "C0 00"}));
}

// --- EPC --------------------------------------------------------------------------

TEST_F(ProgrammerSim, EpcReadThenShorterEpcWrittenAndFoundAgain) {
    Ready({"E2 00 00 01 02 03 04 05 06 07 08 09"});
    ops.Inventory();
    EXPECT_EQ(ops.ReadEpc(), 16);
    EXPECT_EQ(v().pc, "30 00");
    EXPECT_EQ(v().payloadLength, 12);
    EXPECT_EQ(v().epcLength, 12);

    // Payload length 8: the PC field follows, and the write carries PC 20 00.
    v().payloadLength = 8;
    ops.PayloadLengthEdited();
    EXPECT_EQ(v().pc, "20 00");
    v().epc = "AB CD EF 01 23 45 67 89";
    reader->ClearLogs();
    const EpcWriteOutcome outcome = ops.WriteEpc();
    EXPECT_EQ(outcome.result, 10);
    EXPECT_TRUE(outcome.found);
    EXPECT_EQ(outcome.rfCycles, 1);
    EXPECT_EQ(host.pauses, 2);
    // Found again, its new CRC and PC are read back.
    EXPECT_EQ(Commands(),
              (Lines{"C2 E2 00 00 01 02 03 04 05 06 07 08 09", "C4 01 01 00 00 20 00 AB CD EF 01 23 45 67 89",
                     "F5 00", "F5 01", "C0 00", "C2 AB CD EF 01 23 45 67 89", "C3 01 00 00 00 04"}));
    EXPECT_EQ(v().selectedEpc, "AB CD EF 01 23 45 67 89");
    EXPECT_EQ(v().epcList, Lines{"AB CD EF 01 23 45 67 89"});
    ASSERT_TRUE(reader->FindTag(H("AB CD EF 01 23 45 67 89")).has_value());
    const CSimTransponder tag = *reader->FindTag(H("AB CD EF 01 23 45 67 89"));
    EXPECT_EQ(tag.Pc(), 0x2000);
    EXPECT_TRUE(outcome.readBack);
    char crc[8];
    std::snprintf(crc, sizeof crc, "%02X %02X", tag.StoredCrc() >> 8, tag.StoredCrc() & 0xFF);
    EXPECT_EQ(v().crc, crc);
    EXPECT_EQ(v().pc, "20 00");
    EXPECT_EQ(v().status, "Schreiben erfolgreich");
}

TEST_F(ProgrammerSim, EpcWriteClearsTheOtherPcBits) {
    Ready({"01 02 03 04"});
    ops.Inventory();
    v().pc = "07 5A";
    v().payloadLength = 12;
    ops.PayloadLengthEdited();
    EXPECT_EQ(v().pc, "37 5A");
    v().epc = "E2 00 00 00 00 00 00 00 00 00 00 07";
    reader->ClearLogs();
    ops.WriteEpc();
    EXPECT_EQ(Commands()[1], "C4 01 01 00 00 30 00 E2 00 00 00 00 00 00 00 00 00 00 07");
    EXPECT_EQ(reader->FindTag(H("E2 00 00 00 00 00 00 00 00 00 00 07"))->Pc(), 0x3000);
    // The PC field shows what the transponder holds, not what was typed.
    EXPECT_EQ(v().pc, "30 00");
}

TEST_F(ProgrammerSim, EpcWriteCyclesSixTimesWhenNothingAnswers) {
    Ready({"01 02"});
    ops.Inventory();
    v().epc = "01 02";
    v().payloadLength = 2;
    reader->ClearLogs();
    // The transponder leaves the field during the first pause after the write.
    struct Leaving : RecordingHost {
        CSimReader* reader = nullptr;
        void Pause(int ms) override {
            RecordingHost::Pause(ms);
            reader->RemoveAllTags();
        }
    } leaving;
    leaving.reader = reader.get();
    TransponderOperations local(leaving);
    local.SetSession(session);
    local.Values() = v();
    const EpcWriteOutcome outcome = local.WriteEpc();
    EXPECT_EQ(outcome.result, 4);
    EXPECT_EQ(outcome.rfCycles, 6);
    EXPECT_FALSE(outcome.found);
    EXPECT_EQ(Commands().size(), 2u + 6 * 3);
}

// --- User memory and TID ---------------------------------------------------------------

TEST_F(ProgrammerSim, UserWriteOfTwoBytesWithLengthFourAnsweredYes) {
    Ready({"30 00 11 22"});
    ops.Inventory();
    v().userStart = 4;
    v().userData = "11 22";
    v().userLength = 4;
    reader->ClearLogs();
    EXPECT_EQ(ops.WriteUser(), 4);
    EXPECT_EQ(host.questions,
              Lines{"Angegebene Datenlänge entspricht nicht der eingetragenen Daten. Soll die "
                    "Datenlänge verwendet werden?"});
    EXPECT_EQ(Commands(), (Lines{"C2 30 00 11 22", "C4 03 02 00 00 11 22 00 00"}));
    EXPECT_EQ(v().userData, "11 22 00 00");
    EXPECT_EQ(v().status, "Schreiben erfolgreich");
    const SimBytes user = reader->FindTag(H("30 00 11 22"))->User();
    EXPECT_EQ(SimBytes(user.begin() + 4, user.begin() + 8), H("11 22 00 00"));

    // Read back the same stretch, then the whole bank.
    v().userData.clear();
    EXPECT_EQ(ops.ReadUser(), 4);
    EXPECT_EQ(v().userData, "11 22 00 00");
    v().userLength = 0;
    EXPECT_EQ(ops.ReadUser(), 64);
    EXPECT_EQ(v().userLength, 64);
}

TEST_F(ProgrammerSim, TidAndReadFailureCodes) {
    Ready({"30 00 11 22"});
    ops.Inventory();
    EXPECT_EQ(ops.ReadTid(), 12);
    EXPECT_EQ(v().tid, SimHex::Format(CSimTransponder::DefaultTid(H("30 00 11 22"))));
    EXPECT_EQ(v().tidLength, 12);

    reader->FaultStatus(0xC3, 0xFF);
    EXPECT_EQ(ops.ReadTid(), Result::Failed);
    EXPECT_EQ(v().status, "Fehler beim Lesen <-1>");
    EXPECT_EQ(v().tid, "");

    // A user read beyond the bank's end: the reader says 20.
    v().userStart = 62;
    v().userLength = 4;
    EXPECT_EQ(ops.ReadUser(), Result::Failed);
    EXPECT_EQ(v().status, "Fehler beim Lesen <20>");
}

// A whole-bank read goes through a 200-byte buffer: a longer bank is the
// link's status 5, reported as a failed read.
TEST_F(ProgrammerSim, WholeBankLongerThanTheBufferIsAFailedRead) {
    StartDevice(0x302);
    reader->PlaceTag(CSimTransponder(H("30 00 11 22"), {}, SimBytes(240, 0x5A)));
    ASSERT_GT(Connect().session, 0);
    ops.SetSession(session);
    ops.Inventory();
    reader->ClearLogs();
    v().userData = "11 22";
    v().userLength = 0;
    EXPECT_EQ(ops.ReadUser(), Result::Failed);
    EXPECT_EQ(v().status, "Fehler beim Lesen <5>");
    EXPECT_EQ(v().userData, "");
    EXPECT_EQ(v().userLength, 0);
    EXPECT_EQ(Commands(), (Lines{"C2 30 00 11 22", "C3 03 00 00 00 00"}));

    // A stretch of it that fits reads.
    v().userStart = 236;
    v().userLength = 4;
    EXPECT_EQ(ops.ReadUser(), 4);
    EXPECT_EQ(v().userData, "5A 5A 5A 5A");
    EXPECT_EQ(Commands().back(), "C3 03 76 00 00 04");
}

TEST_F(ProgrammerSim, SelectOfAnAbsentTransponderFails) {
    Ready({"30 00 11 22"});
    v().selectedEpc = "99 99";
    EXPECT_EQ(ops.ReadTid(), Result::SelectFailed);
    EXPECT_EQ(v().status, "Fehler bei Select");
    EXPECT_EQ(Commands(), Lines{"C2 99 99"});
}

TEST_F(ProgrammerSim, WriteReported21ButTakenCountsAsWritten) {
    Ready({"30 00 11 22"});
    ops.Inventory();
    v().userData = "AB CD";
    v().userLength = 2;
    reader->FaultStatus(0xC4, 21, true);
    reader->ClearLogs();
    EXPECT_EQ(ops.WriteUser(), 2);
    EXPECT_EQ(v().status, "Schreiben erfolgreich");
    EXPECT_EQ(Commands(), (Lines{"C2 30 00 11 22", "C4 03 00 00 00 AB CD", "C3 03 00 00 00 02"}));

    reader->FaultStatus(0xC4, 0x1A, false);
    EXPECT_EQ(ops.WriteUser(), Result::Failed);
    EXPECT_EQ(v().status, "Fehler beim Schreiben <26>");
}

// --- Passwords ---------------------------------------------------------------------------

TEST_F(ProgrammerSim, PasswordsOfThreeAndFiveBytesSendNothing) {
    Ready({"30 00 11 22"});
    ops.Inventory();
    reader->ClearLogs();
    v().killPassword = "01 02 03";
    EXPECT_EQ(ops.WritePassword(Password::Kill), Refused);
    EXPECT_EQ(v().status, "Das Passwort muss 4 Byte lang sein!");
    v().accessPassword = "01 02 03 04 05";
    EXPECT_EQ(ops.WritePassword(Password::Access), Refused);
    EXPECT_EQ(reader->GetCounters().requests, 0u);
}

TEST_F(ProgrammerSim, PasswordsWrittenAndReadBack) {
    Ready({"30 00 11 22"});
    ops.Inventory();
    v().killPassword = "11 22 33 44";
    v().accessPassword = "A1 B2 C3 D4";
    reader->ClearLogs();
    EXPECT_EQ(ops.WritePassword(Password::Kill), 4);
    EXPECT_EQ(ops.WritePassword(Password::Access), 4);
    const CSimTransponder tag = *reader->FindTag(H("30 00 11 22"));
    EXPECT_EQ(tag.KillPassword(), H("11 22 33 44"));
    EXPECT_EQ(tag.AccessPassword(), H("A1 B2 C3 D4"));
    v().killPassword.clear();
    v().accessPassword.clear();
    EXPECT_EQ(ops.ReadPassword(Password::Kill), 4);
    EXPECT_EQ(ops.ReadPassword(Password::Access), 4);
    EXPECT_EQ(v().killPassword, "11 22 33 44");
    EXPECT_EQ(v().accessPassword, "A1 B2 C3 D4");
    EXPECT_EQ(Commands(), (Lines{"C2 30 00 11 22", "C4 00 00 00 00 11 22 33 44", "C2 30 00 11 22",
                                 "C4 00 02 00 00 A1 B2 C3 D4", "C2 30 00 11 22", "C3 00 00 00 00 04",
                                 "C2 30 00 11 22", "C3 00 02 00 00 04"}));
}

// --- Read all -----------------------------------------------------------------------------

TEST_F(ProgrammerSim, ReadAllFillsEveryField) {
    Ready({"E2 00 00 01"});
    v().userStart = 6;
    v().userLength = 2;
    ops.ReadAll();
    EXPECT_EQ(Commands(), (Lines{"C0 00", "C2 E2 00 00 01", "C3 01 00 00 00 00", "C2 E2 00 00 01",
                                 "C3 02 00 00 00 00", "C2 E2 00 00 01", "C3 03 00 00 00 00", "C2 E2 00 00 01",
                                 "C3 00 02 00 00 04", "C2 E2 00 00 01", "C3 00 00 00 00 04"}));
    EXPECT_EQ(v().pc, "10 00");
    EXPECT_EQ(v().payloadLength, 4);
    EXPECT_EQ(v().epc, "E2 00 00 01");
    EXPECT_EQ(v().tidLength, 12);
    EXPECT_EQ(v().userStart, 0);
    EXPECT_EQ(v().userLength, 64);
    EXPECT_EQ(v().killPassword, "00 00 00 00");
    EXPECT_EQ(v().accessPassword, "00 00 00 00");
    EXPECT_EQ(v().status, "Lesen erfolgreich");
}

// --- Lost connection ------------------------------------------------------------------------

TEST_F(ProgrammerSim, UnplugDuringAReadIsALostConnection) {
    StartDevice(0x302, {"30 00 11 22"}, true);
    ASSERT_GT(Connect().session, 0);
    ops.SetSession(session);
    ops.Inventory();
    v().tid = "E2 80";
    // The select is answered, the read is not: the device goes while the
    // program waits for it.
    reader->ClearLogs();
    bool armed = false;
    reader->SetTraceHook([&](CSimReader::TraceKind kind, const CSimReader::Bytes&) {
        if (kind == CSimReader::TraceKind::Request && !armed) {
            armed = true;
            reader->FaultSilenceAll(true);
        }
    });
    std::thread unplug([&] {
        if (reader->WaitForRequests(2, std::chrono::milliseconds(5000))) sim->Unplug();
    });
    const int result = ops.ReadTid();
    unplug.join();
    reader->SetTraceHook(nullptr);
    EXPECT_EQ(result, Result::ConnectionLost);
    EXPECT_EQ(v().status, "Die Verbindung zum Gerät ist verloren gegangen.");
    EXPECT_EQ(v().tid, "E2 80");
    EXPECT_TRUE(ops.ConnectionLost());
    EXPECT_EQ(LinkIsConnected(session), 0);
    // Nothing more is tried on the lost session.
    EXPECT_FALSE(ops.RunInventory());
    EXPECT_EQ(Commands(), (Lines{"C2 30 00 11 22", "C3 02 00 00 00 00"}));

    // Plugged in again, a new connect with the same settings works.
    EXPECT_EQ(LinkClose(session), 0);
    session = 0;
    reader->FaultSilenceAll(false);
    std::string error;
    ASSERT_TRUE(sim->Start(&error)) << error;
    ASSERT_GT(Connect().session, 0);
    ops.SetSession(session);
    EXPECT_FALSE(ops.ConnectionLost());
    EXPECT_TRUE(ops.RunInventory());
    EXPECT_EQ(v().selectedEpc, "30 00 11 22");
}

} // namespace
