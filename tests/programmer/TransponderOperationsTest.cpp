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
    link.inventory = {Ok({0}), Ok(InventoryReply(1, {0xE2, 0x00, 0x00, 0x01, 0x02, 0x03, 0x04, 0x05}))};
    const EpcWriteOutcome outcome = ops.WriteEpc();
    EXPECT_EQ(outcome.result, 10);
    EXPECT_EQ(outcome.rfCycles, 2);
    EXPECT_TRUE(outcome.found);
    EXPECT_EQ(link.log, (Log{"Select AA BB", "WriteTag 1 1 20 00 E2 00 00 01 02 03 04 05", "RfSwitch 0",
                             "RfSwitch 1", "Inventory 0", "RfSwitch 0", "RfSwitch 1", "Inventory 0"}));
    EXPECT_EQ(host.pauses, (std::vector<int>{200, 200, 200, 200}));
    EXPECT_EQ(v().selectedEpc, "E2 00 00 01 02 03 04 05");
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
    v().epc = "E2001";
    ops.EpcEdited();
    EXPECT_EQ(v().epcLength, 1);

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

} // namespace
