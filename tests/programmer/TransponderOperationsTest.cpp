// The operations of the main dialog against a scripted link: which calls
// they make, in which order, and what the dialog then shows.
#include "TransponderOperations.h"
#include "ScriptedLink.h"

#include <gtest/gtest.h>

using namespace Programmer;
using Log = std::vector<std::string>;

namespace {

struct RecordingHost : ProgrammerHost {
    std::vector<std::string> questions;
    std::vector<int> pauses;
    bool answer = true;
    bool AskYesNo(const std::string& text) override {
        questions.push_back(text);
        return answer;
    }
    void Pause(int milliseconds) override { pauses.push_back(milliseconds); }
};

Bytes InventoryReply(uint8_t remaining, const Bytes& epc) {
    Bytes reply(3 + epc.size(), 0);
    reply[0] = remaining;
    std::copy(epc.begin(), epc.end(), reply.begin() + 3);
    return reply;
}

ScriptedLink::Reply Ok(const Bytes& data) {
    return {int(data.size()), data, 0};
}

class Operations : public testing::Test {
protected:
    Operations() : ops(host, link) { ops.SetSession(42); }
    TransponderValues& v() { return ops.Values(); }

    RecordingHost host;
    ScriptedLink link;
    TransponderOperations ops;
};

// --- Inventory -------------------------------------------------------------

TEST_F(Operations, InventoryStopsWhenAReplyInBetweenSaysOne) {
    link.inventory = {Ok(InventoryReply(3, {0xE2, 0x01})), Ok(InventoryReply(1, {0xE2, 0x02}))};
    EXPECT_TRUE(ops.RunInventory());
    EXPECT_EQ(link.log, (Log{"Inventory 0", "Inventory 2"}));
    EXPECT_EQ(v().count, 3); // the count is what the first reply announced
    EXPECT_EQ(v().epcList.size(), 2u);
}

TEST_F(Operations, InventoryStopsAtAFailingNextRequest) {
    link.inventory = {Ok(InventoryReply(3, {0xAA})), {-1, {}, 4}};
    EXPECT_TRUE(ops.RunInventory());
    EXPECT_EQ(link.log, (Log{"Inventory 0", "Inventory 2"}));
    EXPECT_EQ(v().epcList, std::vector<std::string>{"AA"});
    EXPECT_EQ(v().selectedEpc, "AA");

    // An empty "next" reply has no count to go on with: it ends the list too.
    link.Clear();
    link.inventory = {Ok(InventoryReply(3, {0xBB})), Ok({})};
    EXPECT_TRUE(ops.RunInventory());
    EXPECT_EQ(link.log, (Log{"Inventory 0", "Inventory 2"}));
    EXPECT_EQ(v().epcList, std::vector<std::string>{"BB"});
    EXPECT_EQ(v().count, 3);
}

TEST_F(Operations, AReaderThatNeverCountsDownCannotHangTheInventory) {
    link.idleInventory = Ok(InventoryReply(2, {0x01}));
    EXPECT_TRUE(ops.RunInventory());
    EXPECT_EQ(link.log.size(), size_t(1 + TransponderOperations::MaxNextRequests));
}

TEST_F(Operations, NoTransponderEmptiesSelectionAndStatus) {
    v().epcList = {"E2 01"};
    v().selectedEpc = "E2 01";
    v().status = "Lesen erfolgreich";
    link.inventory = {Ok({0, 0, 0})};
    EXPECT_FALSE(ops.RunInventory());
    EXPECT_TRUE(v().epcList.empty());
    EXPECT_EQ(v().selectedEpc, "");
    EXPECT_EQ(v().status, "");
    EXPECT_EQ(v().count, 0);

    // An empty reply is no transponder either (byte 0 is not there).
    link.inventory = {Ok({})};
    EXPECT_FALSE(ops.RunInventory());
    EXPECT_EQ(link.log, (Log{"Inventory 0", "Inventory 0"}));
}

TEST_F(Operations, InventoryButtonNeedsASession) {
    ops.SetSession(0);
    ops.Inventory();
    EXPECT_FALSE(ops.BeginCyclicInventory());
    EXPECT_TRUE(link.log.empty());
}

TEST_F(Operations, CyclicInventoryKeepsTheWindowEnabledWhileItRuns) {
    v().status = "Lesen erfolgreich";
    link.inventory = {Ok(InventoryReply(1, {0xE2, 0x01})), Ok({0})};
    ASSERT_TRUE(ops.BeginCyclicInventory());
    EXPECT_TRUE(ops.CyclicInventoryRunning());
    EXPECT_EQ(v().status, "");
    EXPECT_TRUE(ops.CyclicInventoryRound());
    EXPECT_EQ(v().selectedEpc, "E2 01");
    EXPECT_FALSE(ops.CyclicInventoryRound());
    EXPECT_EQ(v().selectedEpc, "");
    ops.EndCyclicInventory();
    ops.EndCyclicInventory(); // a second release changes nothing
    EXPECT_FALSE(ops.CyclicInventoryRunning());
    EXPECT_EQ(link.log, (Log{"KeepWindowEnabled 1", "Inventory 0", "Inventory 0", "KeepWindowEnabled 0"}));
}

// --- Addressed operations ----------------------------------------------------

TEST_F(Operations, WithoutSessionNothingIsSent) {
    ops.SetSession(0);
    v().userLength = 4;
    EXPECT_EQ(ops.ReadUser(), Result::NoSession);
    EXPECT_EQ(v().status, "Kein Zugriff auf Gerät möglich");
    v().killPassword = "01 02 03 04";
    EXPECT_EQ(ops.WritePassword(Password::Kill), Result::NoSession);
    EXPECT_EQ(ops.WriteEpc().result, Result::NoSession);
    EXPECT_TRUE(link.log.empty());
}

TEST_F(Operations, SelectionIsCutToSixteenBytes) {
    v().selectedEpc = "01 02 03 04 05 06 07 08 09 0A 0B 0C 0D 0E 0F 10 11 12";
    link.reads = {Ok({1, 2, 3, 4})};
    ops.ReadPassword(Password::Access);
    EXPECT_EQ(link.log, (Log{"Select 01 02 03 04 05 06 07 08 09 0A 0B 0C 0D 0E 0F 10", "ReadTag 0 2 4"}));
    EXPECT_EQ(v().accessPassword, "01 02 03 04");
    EXPECT_EQ(v().status, "Lesen erfolgreich");
}

TEST_F(Operations, TidNeedsAtLeastTwoBytes) {
    v().status = "vorher";
    link.reads = {Ok({0xE2}), Ok({0xE2, 0x80, 0x11, 0x05})};
    EXPECT_EQ(ops.ReadTid(), 1);
    EXPECT_EQ(v().tid, "");
    EXPECT_EQ(v().tidLength, 0);
    EXPECT_EQ(v().status, "Lesen erfolgreich");
    EXPECT_EQ(ops.ReadTid(), 4);
    EXPECT_EQ(v().tid, "E2 80 11 05");
    EXPECT_EQ(v().tidLength, 4);
    EXPECT_EQ(link.log, (Log{"Select -", "ReadTagAll 2 0 200", "Select -", "ReadTagAll 2 0 200"}));
}

// --- EPC -----------------------------------------------------------------------

TEST_F(Operations, ShortEpcReadsFillWhatCame) {
    v().crc = "AA AA";
    v().pc = "BB BB";
    v().epc = "CC";
    v().epcLength = 1;
    link.reads = {Ok({0x12, 0x34, 0x08})};
    EXPECT_EQ(ops.ReadEpc(), 3);
    EXPECT_EQ(v().crc, "12 34");
    EXPECT_EQ(v().pc, "BB BB");
    EXPECT_EQ(v().epc, "");
    EXPECT_EQ(v().epcLength, 0);

    link.reads = {{-1, {}, 5}};
    EXPECT_EQ(ops.ReadEpc(), Result::Failed);
    EXPECT_EQ(v().crc, "");
    EXPECT_EQ(v().pc, "");
    EXPECT_EQ(v().status, "Fehler beim Lesen <5>");
}

TEST_F(Operations, EpcWriteSendsANewPcThenCyclesTheFieldUntilFound) {
    v().epc = "E2 00 00 01 02 03 04 05";
    v().payloadLength = 8;
    v().selectedEpc = "AA BB";
    v().crc = "11 11"; // of the old EPC
    v().pc = "37 5A";
    link.inventory = {Ok({0}), Ok(InventoryReply(1, {0xE2, 0x00, 0x00, 0x01, 0x02, 0x03, 0x04, 0x05}))};
    link.reads = {Ok({0x9C, 0x2D, 0x20, 0x00})};
    const EpcWriteOutcome outcome = ops.WriteEpc();
    EXPECT_EQ(outcome.result, 10);
    EXPECT_EQ(outcome.rfCycles, 2);
    EXPECT_TRUE(outcome.found);
    EXPECT_TRUE(outcome.readBack);
    // Found again, the transponder is selected by its new EPC and its CRC
    // and PC are read back.
    EXPECT_EQ(link.log, (Log{"Select AA BB", "WriteTag 1 1 20 00 E2 00 00 01 02 03 04 05", "RfSwitch 0",
                             "RfSwitch 1", "Inventory 0", "RfSwitch 0", "RfSwitch 1", "Inventory 0",
                             "Select E2 00 00 01 02 03 04 05", "ReadTag 1 0 4"}));
    EXPECT_EQ(host.pauses, (std::vector<int>{200, 200, 200, 200}));
    EXPECT_EQ(v().selectedEpc, "E2 00 00 01 02 03 04 05");
    // The status says it worked (the inventories used to leave it empty).
    EXPECT_EQ(v().status, "Schreiben erfolgreich");
    EXPECT_EQ(v().crc, "9C 2D");
    EXPECT_EQ(v().pc, "20 00");
    EXPECT_EQ(v().payloadLength, 8);
}

TEST_F(Operations, EpcWriteReadBackSelectsAsFarAsTheNewPcAnnounces) {
    // Twelve bytes written, but the PC announces eight: the transponder
    // answers with eight, so only they can select it.
    v().epc = "E2 00 00 01 02 03 04 05 06 07 08 09";
    v().payloadLength = 8;
    link.inventory = {Ok(InventoryReply(1, {0xE2, 0x00, 0x00, 0x01, 0x02, 0x03, 0x04, 0x05}))};
    link.reads = {Ok({0x12, 0x34, 0x20, 0x00})};
    ops.WriteEpc();
    ASSERT_GE(link.log.size(), 2u);
    EXPECT_EQ(link.log[link.log.size() - 2], "Select E2 00 00 01 02 03 04 05");

    // A read-back that fails leaves no old CRC: the PC is the one written.
    link.Clear();
    v().crc = "11 11";
    v().pc = "FF FF";
    link.inventory = {Ok(InventoryReply(1, {0xE2}))};
    link.reads = {{-1, {}, 4}};
    const EpcWriteOutcome outcome = ops.WriteEpc();
    EXPECT_TRUE(outcome.found);
    EXPECT_FALSE(outcome.readBack);
    EXPECT_EQ(v().crc, "");
    EXPECT_EQ(v().pc, "20 00");
    EXPECT_EQ(v().status, "Schreiben erfolgreich");

    // Not found after six cycles: nothing to read back.
    link.Clear();
    v().crc = "11 11";
    link.idleInventory = Ok({0});
    const EpcWriteOutcome none = ops.WriteEpc();
    EXPECT_FALSE(none.found);
    EXPECT_EQ(none.rfCycles, 6);
    EXPECT_EQ(link.log.back(), "Inventory 0");
    EXPECT_EQ(v().crc, "");
    EXPECT_EQ(v().status, "Schreiben erfolgreich");
}

TEST_F(Operations, FailedEpcWriteStaysInTheStatusAfterTheInventory) {
    v().epc = "01 02";
    link.writes = {-1};
    link.status = 0x1A;
    link.inventory = {Ok(InventoryReply(1, {0x01, 0x02}))};
    const EpcWriteOutcome outcome = ops.WriteEpc();
    EXPECT_EQ(outcome.result, Result::Failed);
    EXPECT_TRUE(outcome.found);
    EXPECT_EQ(v().status, "Fehler beim Schreiben <26>");
}

TEST_F(Operations, EpcWriteTakesAtMost196Bytes) {
    std::string text;
    for (int i = 0; i < 200; ++i)
        text += (i ? " " : "") + std::string("11");
    v().epc = text;
    link.idleInventory = Ok(InventoryReply(1, {0x11}));
    ops.WriteEpc();
    // Select, then the write: PC (2 bytes) + 196 EPC bytes.
    EXPECT_EQ(link.log[1].size(), std::string("WriteTag 1 1 ").size() + 198 * 3 - 1);
}

TEST_F(Operations, FieldUpdates) {
    v().epc = "E2 00 1";
    ops.EpcEdited();
    EXPECT_EQ(v().epcLength, 3);
    // While typed unspaced, the length follows the digits (the lone one
    // counting as a byte); it used to show 1 for any run.
    v().epc = "E2001";
    ops.EpcEdited();
    EXPECT_EQ(v().epcLength, 3);
    v().epc = "E2003412";
    ops.EpcEdited();
    EXPECT_EQ(v().epcLength, 4);

    v().pc = "07 5A";
    v().payloadLength = 12;
    ops.PayloadLengthEdited();
    EXPECT_EQ(v().pc, "37 5A");

    v().userStart = 5;
    v().userLength = 7;
    v().payloadLength = 13;
    ops.UserStartLeft();
    ops.UserLengthLeft();
    ops.PayloadLengthLeft();
    EXPECT_EQ(v().userStart, 4);
    EXPECT_EQ(v().userLength, 6);
    EXPECT_EQ(v().payloadLength, 12);
    EXPECT_TRUE(link.log.empty());
}

// --- User memory --------------------------------------------------------------

TEST_F(Operations, UserWriteAnsweredYesCutsToTheLength) {
    v().userData = "11 22 33 44";
    v().userLength = 2;
    ops.WriteUser();
    EXPECT_EQ(link.log.back(), "WriteTag 3 0 11 22");
    EXPECT_EQ(v().userData, "11 22");
}

TEST_F(Operations, UserWriteAnsweredNoTakesTheDataLength) {
    host.answer = false;
    v().userData = "11 22";
    v().userLength = 4;
    EXPECT_EQ(ops.WriteUser(), 2);
    EXPECT_EQ(link.log.back(), "WriteTag 3 0 11 22");
    EXPECT_EQ(v().userLength, 2);
}

TEST_F(Operations, UserWriteOfMatchingLengthAsksNothing) {
    v().userData = "11 22";
    v().userLength = 2;
    ops.WriteUser();
    EXPECT_TRUE(host.questions.empty());
}

TEST_F(Operations, UserLengthAbove200IsRefusedBeforeAnythingIsSent) {
    v().userData = "11 22";
    v().userLength = 202;
    EXPECT_EQ(ops.WriteUser(), Refused);
    EXPECT_EQ(v().status, "Die Datenlänge muss zwischen 0 und 200 Byte liegen!");
    EXPECT_EQ(v().userData, "11 22");
    EXPECT_EQ(ops.ReadUser(), Refused);
    v().userLength = -2;
    EXPECT_EQ(ops.ReadUser(), Refused);
    EXPECT_TRUE(link.log.empty());

    // Answered No, the data's own length is used and the write goes out.
    host.answer = false;
    v().userLength = 202;
    EXPECT_EQ(ops.WriteUser(), 2);
}

TEST_F(Operations, UserReadOfOneByteShowsNoData) {
    v().userLength = 0;
    link.reads = {Ok({7})};
    EXPECT_EQ(ops.ReadUser(), 1);
    EXPECT_EQ(v().userData, "");
    EXPECT_EQ(v().userLength, 1);
}

// --- Passwords -------------------------------------------------------------------

TEST_F(Operations, APasswordReadOfOtherThanFourBytesEmptiesTheField) {
    v().killPassword = "11 22 33 44";
    link.reads = {Ok({1, 2})};
    EXPECT_EQ(ops.ReadPassword(Password::Kill), 2);
    EXPECT_EQ(v().killPassword, "");
    EXPECT_EQ(link.log.back(), "ReadTag 0 0 4");
}

// --- Hex fields ---------------------------------------------------------------

// What the user did not type is never sent: a field that is no hex bytes is
// refused with its name in the status, and nothing goes out.
TEST_F(Operations, HexFieldsThatAreNoBytesSendNothing) {
    v().killPassword = "11 22 33 GG"; // used to be written as 11 22 33 00
    EXPECT_EQ(ops.WritePassword(Password::Kill), Refused);
    EXPECT_EQ(v().status, "Ungültige Hex-Eingabe bei \"Kill Passwort\": \"GG\" (erlaubt sind 0-9, A-F und "
                          "Leerzeichen, ohne Leerzeichen eine gerade Anzahl Ziffern)");
    EXPECT_EQ(ops.TakeInvalidField(), HexField::KillPassword);
    EXPECT_EQ(ops.TakeInvalidField(), 0);
    EXPECT_EQ(v().killPassword, "11 22 33 GG");

    v().accessPassword = "ZZ 11 22 33";
    EXPECT_EQ(ops.WritePassword(Password::Access), Refused);
    EXPECT_EQ(ops.TakeInvalidField(), HexField::AccessPassword);

    // User data: refused before question 125 is asked.
    v().userData = "ZZ 11 22 33 44 XY";
    v().userLength = 6;
    EXPECT_EQ(ops.WriteUser(), Refused);
    EXPECT_TRUE(host.questions.empty());
    EXPECT_EQ(ops.TakeInvalidField(), HexField::UserData);
    EXPECT_EQ(v().userData, "ZZ 11 22 33 44 XY");

    // An odd run in the EPC: no write, no RF cycle.
    v().epc = "E2003412012";
    EXPECT_EQ(ops.WriteEpc().result, Refused);
    EXPECT_EQ(ops.TakeInvalidField(), HexField::Epc);
    EXPECT_TRUE(host.pauses.empty());

    // A selection that is no bytes addresses nothing; the fields keep what
    // they showed.
    v().selectedEpc = "E2 0G";
    v().tid = "E2 80";
    v().tidLength = 2;
    EXPECT_EQ(ops.ReadTid(), Refused);
    EXPECT_EQ(v().status.rfind("Ungültige Hex-Eingabe bei \"EPC\": \"0G\"", 0), 0u) << v().status;
    EXPECT_EQ(v().tid, "E2 80");
    EXPECT_EQ(v().tidLength, 2);
    v().killPassword = "11 22 33 44";
    EXPECT_EQ(ops.ReadPassword(Password::Kill), Refused);
    EXPECT_EQ(v().killPassword, "11 22 33 44");
    EXPECT_EQ(ops.TakeInvalidField(), HexField::Selection);

    EXPECT_TRUE(link.log.empty());
}

TEST_F(Operations, UnspacedRunsAreTheirBytes) {
    v().selectedEpc = "E2003412";
    v().epc = "E20034120123456789ABCDEF";
    v().payloadLength = 12;
    link.idleInventory = Ok(InventoryReply(1, {0xE2}));
    ops.WriteEpc();
    ASSERT_GE(link.log.size(), 2u);
    EXPECT_EQ(link.log[0], "Select E2 00 34 12");
    // The EPC follows its PC; it used to be one byte 00 in the PC word's place.
    EXPECT_EQ(link.log[1], "WriteTag 1 1 30 00 E2 00 34 12 01 23 45 67 89 AB CD EF");

    link.Clear();
    v().killPassword = "11223344";
    EXPECT_EQ(ops.WritePassword(Password::Kill), 4);
    EXPECT_EQ(link.log.back(), "WriteTag 0 0 11 22 33 44");
}

// --- Lost connection -------------------------------------------------------------

TEST_F(Operations, ALostDeviceIsNoticedBeforeAnythingIsSent) {
    const std::string lost = "Die Verbindung zum Gerät ist verloren gegangen.";
    v().epcList = {"E2 01"};
    v().selectedEpc = "E2 01";
    v().count = 1;
    v().tid = "E2 80";
    link.connected = 0;
    EXPECT_FALSE(ops.RunInventory());
    EXPECT_EQ(v().status, lost);
    EXPECT_TRUE(ops.ConnectionLost());
    // What the last inventory found stays: a lost device is no empty field.
    EXPECT_EQ(v().epcList, std::vector<std::string>{"E2 01"});
    EXPECT_EQ(v().selectedEpc, "E2 01");
    EXPECT_EQ(v().count, 1);

    v().status.clear();
    EXPECT_EQ(ops.ReadTid(), Result::ConnectionLost);
    EXPECT_EQ(v().status, lost);
    EXPECT_EQ(v().tid, "E2 80");
    v().killPassword = "01 02 03 04";
    EXPECT_EQ(ops.WritePassword(Password::Kill), Result::ConnectionLost);
    EXPECT_EQ(ops.WriteEpc().result, Result::ConnectionLost);
    EXPECT_TRUE(host.pauses.empty());
    EXPECT_FALSE(ops.BeginCyclicInventory());
    EXPECT_FALSE(ops.CheckConnection());
    EXPECT_TRUE(link.log.empty());

    // A new session starts afresh.
    link.connected = 1;
    ops.SetSession(43);
    EXPECT_FALSE(ops.ConnectionLost());
    EXPECT_TRUE(ops.CheckConnection());
}

TEST_F(Operations, ADeviceLostDuringAnExchangeIsNoFailedRead) {
    v().userLength = 4;
    v().userData = "11 22 33 44";
    link.goneAtCall = 2; // the select went through, the read does not
    EXPECT_EQ(ops.ReadUser(), Result::ConnectionLost);
    EXPECT_EQ(v().status, "Die Verbindung zum Gerät ist verloren gegangen.");
    EXPECT_EQ(v().userData, "11 22 33 44");
    EXPECT_EQ(v().userLength, 4);
    // From then on nothing more is sent, and the link is not asked again.
    const int questions = link.connectionQuestions;
    ops.ReadAll();
    EXPECT_EQ(link.log, (Log{"Select -", "ReadTag 3 0 4"}));
    EXPECT_EQ(link.connectionQuestions, questions);
    EXPECT_EQ(v().status, "Die Verbindung zum Gerät ist verloren gegangen.");

    // A silent reader that is still there stays a failure with its code.
    link = ScriptedLink();
    ops.SetSession(42);
    link.reads = {{-1, {}, 4}};
    EXPECT_EQ(ops.ReadUser(), Result::Failed);
    EXPECT_EQ(v().status, "Fehler beim Lesen <4>");
    EXPECT_FALSE(ops.ConnectionLost());
}

TEST_F(Operations, CyclicInventoryAndEpcWriteStopWhenTheDeviceGoes) {
    ASSERT_TRUE(ops.BeginCyclicInventory());
    EXPECT_TRUE(ops.CyclicInventoryRound() || v().status.empty());
    link.goneAtCall = link.log.size() + 1;
    EXPECT_FALSE(ops.CyclicInventoryRound());
    EXPECT_TRUE(ops.ConnectionLost());
    EXPECT_EQ(v().status, "Die Verbindung zum Gerät ist verloren gegangen.");
    const size_t sent = link.log.size();
    EXPECT_FALSE(ops.CyclicInventoryRound());
    EXPECT_EQ(link.log.size(), sent);
    ops.EndCyclicInventory();
    EXPECT_FALSE(ops.CyclicInventoryRunning());

    // The device goes during the first RF cycle after a write: no more
    // cycles, and the status says why.
    link = ScriptedLink();
    ops.SetSession(42);
    v().epc = "01 02";
    link.goneAtCall = 3; // select, write, then the first field switch
    const EpcWriteOutcome outcome = ops.WriteEpc();
    EXPECT_EQ(outcome.result, 4);
    EXPECT_EQ(outcome.rfCycles, 1);
    EXPECT_FALSE(outcome.found);
    EXPECT_EQ(link.log, (Log{"Select -", "WriteTag 1 1 00 00 01 02", "RfSwitch 0", "RfSwitch 1"}));
    EXPECT_EQ(v().status, "Die Verbindung zum Gerät ist verloren gegangen.");
}

} // namespace
