// The batch procedure against a scripted link: the exact calls and bytes per
// transponder, the log it keeps and how a run resumes from it.
#include "EncodeBatch.h"
#include "ScriptedLink.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <unistd.h>

using namespace Programmer;
using Log = std::vector<std::string>;

namespace {

struct QuietHost : ProgrammerHost {
    void Pause(int) override {}
};

// The scripted link with the access command.
struct BatchLink : ScriptedLink {
    std::deque<int> accesses; // results; empty queue = accepted
    int Access(int, const uint8_t password[4]) override {
        log.push_back("Access " + HexText::Format(password, 4));
        if (accesses.empty()) return 0;
        const int result = accesses.front();
        accesses.pop_front();
        if (result < 0) status = 20;
        return result;
    }
};

const Bytes OldEpc = {0xE2, 0x00, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77, 0x88, 0x99, 0xAA};
const Bytes Tid = {0xE2, 0x80, 0x11, 0x05, 0x20, 0x00, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06};
// urn:epc:tag:sgtin-96:3.0614141.812345.6789
const Bytes Sgtin6789 = {0x30, 0x74, 0x25, 0x7B, 0xF7, 0x19, 0x4E, 0x40, 0x00, 0x00, 0x1A, 0x85};

Bytes InventoryReply(uint8_t remaining, uint16_t pc, const Bytes& epc) {
    Bytes reply = {remaining, uint8_t(pc >> 8), uint8_t(pc)};
    reply.insert(reply.end(), epc.begin(), epc.end());
    return reply;
}

ScriptedLink::Reply Ok(const Bytes& data) {
    return {int(data.size()), data, 0};
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

class Batch : public testing::Test {
protected:
    Batch() : batch(link, host, 7) {
        char dir[] = "/tmp/kvplm-batch-XXXXXX";
        folder = mkdtemp(dir);
        settings.filter = 3;
        settings.company = "0614141";
        settings.item = "812345";
        settings.serialFrom = 6789;
        settings.logPath = folder + "/log.csv";
    }
    ~Batch() override { std::filesystem::remove_all(folder); }

    // One transponder in the field (PC 30 00 with the UMI bit 0x0400 kept),
    // scripted through a whole successful encoding.
    void ScriptTag(const Bytes& epc, const Bytes& tid, const Bytes& newEpc, uint16_t pc = 0x3400) {
        link.inventory.push_back(Ok(InventoryReply(1, pc, epc)));
        link.reads.push_back(Ok(tid));
        link.inventory.push_back(Ok(InventoryReply(1, pc, newEpc)));
        Bytes back = {uint8_t(pc >> 8), uint8_t(pc)};
        back.insert(back.end(), newEpc.begin(), newEpc.end());
        link.reads.push_back(Ok(back));
    }
    void WriteLog(const std::string& text) { std::ofstream(settings.logPath) << text; }
    BatchStep StartAndStep() {
        std::string error;
        EXPECT_TRUE(batch.Start(settings, error)) << error;
        return batch.Step();
    }

    std::string folder;
    QuietHost host;
    BatchLink link;
    BatchSettings settings;
    EncodeBatch batch;
};

TEST_F(Batch, WritesPcAndEpcAtWordOneVerifiesAndLogs) {
    ScriptTag(OldEpc, Tid, Sgtin6789);
    const BatchStep step = StartAndStep();
    ASSERT_EQ(step.event, BatchEvent::Encoded) << step.row.result;
    EXPECT_EQ(link.log,
              (Log{"Inventory 0", "Select " + HexText::Format(OldEpc), "ReadTagAll 2 0 200",
                   // PC: five length bits for 6 words, the other bits (0x0400) kept.
                   "WriteTag 1 1 34 00 30 74 25 7B F7 19 4E 40 00 00 1A 85", "RfSwitch 0", "RfSwitch 1",
                   "Inventory 0", "Select " + HexText::Format(Sgtin6789), "ReadTag 1 1 14"}));
    EXPECT_EQ(batch.NextSerial(), 6790u);

    const std::string text = ReadFile(settings.logPath);
    ASSERT_EQ(text.rfind("time,serial,tid,old_epc,new_epc,result\n", 0), 0u) << text;
    const std::string row = text.substr(text.find('\n') + 1);
    EXPECT_EQ(row.substr(0, 2), "20");
    EXPECT_EQ(row[10], 'T');
    EXPECT_EQ(row.substr(19),
              "Z,6789,E28011052000010203040506,E200112233445566778899AA,3074257BF7194E4000001A85,ok\n");

    // The same transponder stays in the field: nothing more is written.
    link.Clear();
    link.inventory.push_back(Ok(InventoryReply(1, 0x3400, Sgtin6789)));
    EXPECT_EQ(batch.Step().event, BatchEvent::None);
    EXPECT_EQ(batch.Step().event, BatchEvent::TagLeft); // idle inventory: empty field
    EXPECT_EQ(batch.Step().event, BatchEvent::NoTag);
    EXPECT_EQ(link.log, (Log{"Inventory 0", "Inventory 0", "Inventory 0"}));
}

TEST_F(Batch, TwoTranspondersInTheFieldWriteNothing) {
    link.inventory = {Ok(InventoryReply(2, 0x3000, OldEpc)), Ok(InventoryReply(1, 0x3000, Sgtin6789))};
    const BatchStep step = StartAndStep();
    EXPECT_EQ(step.event, BatchEvent::SeveralTags);
    EXPECT_EQ(step.tags, 2);
    EXPECT_EQ(link.log, (Log{"Inventory 0", "Inventory 2"}));
    EXPECT_EQ(ReadFile(settings.logPath), "time,serial,tid,old_epc,new_epc,result\n");

    // A reader that announces three but hands out one still counts as three.
    link.inventory = {Ok(InventoryReply(3, 0x3000, OldEpc)), {-1, {}, 21}};
    EXPECT_EQ(batch.Step().tags, 3);
    EXPECT_EQ(batch.NextSerial(), 6789u);
}

TEST_F(Batch, VerifyFailureIsLoggedAndUsesTheSerial) {
    ScriptTag(OldEpc, Tid, Sgtin6789);
    link.reads.back().data[13] ^= 1; // the read back differs in its last byte
    const BatchStep step = StartAndStep();
    EXPECT_EQ(step.event, BatchEvent::Failed);
    EXPECT_EQ(step.row.result, "failed: verify: read back 34003074257BF7194E4000001A84");
    ASSERT_TRUE(step.row.serial);
    EXPECT_EQ(*step.row.serial, 6789u);
    EXPECT_EQ(batch.NextSerial(), 6790u);
    EXPECT_EQ(batch.FailedThisRun(), 1);
    EXPECT_NE(ReadFile(settings.logPath).find(",6789,"), std::string::npos);
    // The failed transponder is waited for to leave, under its old EPC or its new one.
    link.inventory.push_back(Ok(InventoryReply(1, 0x3000, OldEpc)));
    link.inventory.push_back(Ok(InventoryReply(1, 0x3400, Sgtin6789)));
    EXPECT_EQ(batch.Step().event, BatchEvent::None);
    EXPECT_EQ(batch.Step().event, BatchEvent::None);
}

TEST_F(Batch, NewEpcThatNeverAnswersFailsAfterTheRfCycles) {
    link.inventory.push_back(Ok(InventoryReply(1, 0x3000, OldEpc)));
    link.reads.push_back(Ok(Tid));
    const BatchStep step = StartAndStep(); // the idle inventory finds nothing afterwards
    EXPECT_EQ(step.row.result, "failed: verify: the new EPC does not answer");
    EXPECT_EQ(std::count(link.log.begin(), link.log.end(), "RfSwitch 0"), EncodeBatch::RfTries);
    EXPECT_EQ(batch.NextSerial(), 6790u);
}

TEST_F(Batch, ResumesAfterTheHighestSerialAndSkipsADoneTid) {
    WriteLog(
        "time,serial,tid,old_epc,new_epc,result\n"
        "2026-01-01T00:00:00Z,6789,E2801105200000AAAAAAAAAA,AA,3074257BF7194E4000001A85,ok\n"
        "2026-01-01T00:00:01Z,6791,E2801105200000BBBBBBBBBB,BB,3074257BF7194E4000001A87,\"failed: verify: x, "
        "y\"\n"
        "2026-01-01T00:00:02Z,,E2801105200000CCCCCCCCCC,CC,,failed: access password refused (status 20)\n");
    settings.count = 3;
    std::string error;
    ASSERT_TRUE(batch.Start(settings, error)) << error;
    EXPECT_EQ(batch.NextSerial(), 6792u); // 6791 may have been written
    EXPECT_EQ(batch.OkInBatch(), 1);
    EXPECT_EQ(batch.Log().Rows().size(), 3u);
    EXPECT_EQ(batch.Log().Rows()[1].result, "failed: verify: x, y");

    // The transponder of the first row comes again: it says so, writes nothing.
    link.inventory.push_back(Ok(InventoryReply(1, 0x3000, Sgtin6789)));
    link.reads.push_back(Ok({0xE2, 0x80, 0x11, 0x05, 0x20, 0x00, 0x00, 0xAA, 0xAA, 0xAA, 0xAA, 0xAA}));
    const BatchStep step = batch.Step();
    EXPECT_EQ(step.event, BatchEvent::AlreadyDone);
    EXPECT_EQ(step.row.tid, "E2801105200000AAAAAAAAAA");
    EXPECT_EQ(link.log.back(), "ReadTagAll 2 0 200");
    EXPECT_EQ(batch.Log().Rows().size(), 3u);

    // A count the log already holds: finished at the start.
    settings.count = 1;
    ASSERT_TRUE(batch.Start(settings, error));
    EXPECT_EQ(batch.GetState(), EncodeBatch::State::Finished);
}

TEST_F(Batch, AccessPasswordIsPresentedBeforeTheWrite) {
    settings.accessPassword = {0xA1, 0xA2, 0xA3, 0xA4};
    ScriptTag(OldEpc, Tid, Sgtin6789);
    ASSERT_EQ(StartAndStep().event, BatchEvent::Encoded);
    ASSERT_GE(link.log.size(), 5u);
    EXPECT_EQ(link.log[3], "Access A1 A2 A3 A4");
    EXPECT_EQ(link.log[4].rfind("WriteTag 1 1 ", 0), 0u);
}

TEST_F(Batch, RefusedPasswordAndLockedTagFailClearly) {
    // A wrong password: the write is never sent, the serial stays free.
    settings.accessPassword = {0, 0, 0, 1};
    link.inventory.push_back(Ok(InventoryReply(1, 0x3000, OldEpc)));
    link.reads.push_back(Ok(Tid));
    link.accesses = {-1};
    BatchStep step = StartAndStep();
    EXPECT_EQ(step.event, BatchEvent::Failed);
    EXPECT_EQ(step.row.result, "failed: access password refused (status 20)");
    EXPECT_FALSE(step.row.serial);
    EXPECT_EQ(step.row.newEpc, "");
    EXPECT_EQ(link.log.back(), "Access 00 00 00 01");
    EXPECT_EQ(batch.NextSerial(), 6789u);

    // Without a password a locked transponder refuses the write: said so, and
    // the serial counts as used (the write was sent).
    settings.accessPassword.clear();
    batch.Stop();
    EncodeBatch second(link, host, 7);
    link.Clear();
    link.inventory = {Ok(InventoryReply(1, 0x3000, OldEpc))};
    link.reads = {Ok(Tid)};
    link.writes = {-1};
    link.status = 20;
    std::string error;
    ASSERT_TRUE(second.Start(settings, error)) << error;
    step = second.Step();
    EXPECT_EQ(step.event, BatchEvent::Failed);
    EXPECT_EQ(step.row.result, "failed: write refused (status 20); the transponder may be locked: give its "
                               "access password");
    EXPECT_EQ(second.NextSerial(), 6790u);
}

TEST_F(Batch, RefusesALogThatIsNotOurs) {
    const std::string foreign = "name,value\nx,1\n";
    WriteLog(foreign);
    std::string error;
    EXPECT_FALSE(batch.Start(settings, error));
    EXPECT_NE(error.find("is not an encoding log"), std::string::npos) << error;
    EXPECT_EQ(ReadFile(settings.logPath), foreign);

    // A row cut short (no line break) is refused too, and left as it is.
    const std::string cut = std::string(BatchLog::Header) + "\n2026-01-01T00:00:00Z,6789,E280,AA,30";
    WriteLog(cut);
    EXPECT_FALSE(batch.Start(settings, error));
    EXPECT_NE(error.find("line 2"), std::string::npos) << error;
    EXPECT_EQ(ReadFile(settings.logPath), cut);
    EXPECT_TRUE(link.log.empty());

    // A log another batch holds open is refused until that one stops.
    settings.logPath = folder + "/shared.csv";
    ASSERT_TRUE(batch.Start(settings, error)) << error;
    EncodeBatch second(link, host, 7);
    EXPECT_FALSE(second.Start(settings, error));
    EXPECT_NE(error.find("in use by another batch"), std::string::npos) << error;
    batch.Stop();
    EXPECT_TRUE(second.Start(settings, error)) << error;
}

TEST_F(Batch, SerialRangeEndsBeforeAnythingIsWritten) {
    settings.serialFrom = 274877906944ull; // 2^38
    std::string error;
    EXPECT_FALSE(batch.Start(settings, error));
    EXPECT_NE(error.find("too large"), std::string::npos) << error;
    EXPECT_NE(access(settings.logPath.c_str(), F_OK), 0); // no log was made
    EXPECT_TRUE(link.log.empty());

    // The last serial of the range is written, then the batch halts at the next transponder.
    settings.serialFrom = 274877906943ull;
    const Bytes last = {0x30, 0x74, 0x25, 0x7B, 0xF7, 0x19, 0x4E, 0x7F, 0xFF, 0xFF, 0xFF, 0xFF};
    ScriptTag(OldEpc, Tid, last);
    ASSERT_EQ(StartAndStep().event, BatchEvent::Encoded);
    link.inventory.push_back(Ok(InventoryReply(1, 0x3000, Sgtin6789)));
    link.reads.push_back(Ok({0xE2, 0x80, 0x11, 0x05, 0x20, 0x00, 0x09, 0x09, 0x09, 0x09, 0x09, 0x09}));
    link.Clear();
    const BatchStep step = batch.Step();
    EXPECT_EQ(step.event, BatchEvent::Halted);
    EXPECT_NE(step.message.find("too large"), std::string::npos) << step.message;
    EXPECT_EQ(std::count_if(link.log.begin(), link.log.end(),
                            [](const std::string& call) { return call.rfind("WriteTag", 0) == 0; }),
              0);
}

TEST(BatchPc, LengthBitsFollowTheEpcOtherBitsStay) {
    EXPECT_EQ(EncodeBatch::PcFor(0x3000, 12), 0x3000);
    EXPECT_EQ(EncodeBatch::PcFor(0x4000, 12), 0x3000);
    EXPECT_EQ(EncodeBatch::PcFor(0xF7FF, 12), 0x37FF);
    EXPECT_EQ(EncodeBatch::PcFor(0x0000, 26), 0x6800);
}

TEST(BatchLogRows, QuotesAndParsesFields) {
    BatchRow row;
    row.time = "2026-12-09T01:02:03Z";
    row.serial = 12;
    row.tid = "E280";
    row.result = "failed: a \"quoted\", text";
    const std::string line = BatchLog::FormatRow(row);
    EXPECT_EQ(line, "2026-12-09T01:02:03Z,12,E280,,,\"failed: a \"\"quoted\"\", text\"");
    BatchRow back;
    ASSERT_TRUE(BatchLog::ParseRow(line, back));
    EXPECT_EQ(back.result, row.result);
    EXPECT_EQ(*back.serial, 12u);
    EXPECT_FALSE(BatchLog::ParseRow("2026-12-09T01:02:03Z,12,E280,,,maybe", back));
    EXPECT_FALSE(BatchLog::ParseRow("2026-12-09T01:02:03Z,x12,E280,,,ok", back));
    EXPECT_FALSE(BatchLog::ParseRow("2026-12-09T01:02:03Z,12,E280,,ok", back));
}

} // namespace
