// kvplm encode-batch end to end: the simulated programmer as a process whose
// field the test changes through its stdin (place, remove, tags), kvplm as a
// process whose rows the test reads as they come.
#include "CliRun.h"
#include "SimProgram.h"

#include <gtest/gtest.h>

#include <map>
#include <set>

namespace {

using SimTest::Program;

class CliEncodeBatch : public testing::Test {
protected:
    CliEncodeBatch() : folder("encode-batch") {
        device = folder.Path() + "/device";
        log = folder.Path() + "/log.csv";
        setenv("KVPLM_SIM_DIR", folder.Path().c_str(), 1);
        sim = std::make_unique<Program>(
            std::vector<std::string>{"--no-line-time", "--no-announce", "--quiet", "--link", device});
        EXPECT_NE(sim->ReadLine().find("kvplm-readersim:"), std::string::npos);
    }

    std::string Console(const std::string& line) {
        sim->Send(line);
        return sim->ReadLine();
    }
    std::unique_ptr<Program> Batch(const std::vector<std::string>& extra,
                                   const std::string& firstLine = "kvplm: next serial") {
        std::vector<std::string> argv = {KVPLM_PATH,  "encode-batch", device,   "--scheme", "sgtin-96",
                                         "--company", "0614141",      "--item", "812345",   "--filter",
                                         "3",         "--log",        log};
        argv.insert(argv.end(), extra.begin(), extra.end());
        auto program = std::make_unique<Program>(Program::CommandTag{}, argv, true);
        // The first line says where the batch stands.
        const std::string line = program->ReadErrorLine();
        EXPECT_EQ(line.rfind(firstLine, 0), 0u) << line;
        return program;
    }
    // Places a transponder and waits for kvplm's row for it; the new EPC is
    // checked on the transponder itself, then it is taken away.
    std::string EncodeOne(Program& batch, const std::string& epc, const std::string& tid) {
        EXPECT_EQ(Console("place " + epc + " " + tid), "ok");
        const std::string row = batch.ReadLine();
        const std::string tags = Console("tags");
        const std::string newEpc = Field(row, 3);
        std::string spaced;
        for (size_t i = 0; i < newEpc.size(); i += 2)
            spaced += (i ? " " : "") + newEpc.substr(i, 2);
        EXPECT_EQ(tags.rfind("EPC " + spaced + "  PC 30 00  TID ", 0), 0u) << tags << " / " << row;
        EXPECT_EQ(Console("remove " + newEpc), "ok");
        return row;
    }
    static std::string Field(const std::string& line, size_t index) {
        size_t start = 0;
        for (size_t i = 0; i < index && start != std::string::npos; ++i) {
            start = line.find('\t', start);
            if (start != std::string::npos) ++start;
        }
        if (start == std::string::npos) return "";
        return line.substr(start, line.find('\t', start) - start);
    }
    static int ExitCode(int status) { return WIFEXITED(status) ? WEXITSTATUS(status) : -1; }
    // serial -> result, over every row with a serial.
    std::multimap<std::string, std::string> LoggedSerials() const {
        std::multimap<std::string, std::string> serials;
        std::istringstream rows(CliRun::ReadAll(log));
        std::string line;
        std::getline(rows, line);
        EXPECT_EQ(line, "time,serial,tid,old_epc,new_epc,result");
        while (std::getline(rows, line)) {
            const size_t a = line.find(','), b = line.find(',', a + 1);
            if (b > a + 1) serials.emplace(line.substr(a + 1, b - a - 1), line.substr(line.rfind(',') + 1));
        }
        return serials;
    }

    CliRun::ScratchFolder folder;
    std::string device, log;
    std::unique_ptr<Program> sim;
};

TEST_F(CliEncodeBatch, EncodesInSequenceAndRefusesTwoAtOnce) {
    // Two at once: said, nothing written; taking one away lets the other be encoded.
    ASSERT_EQ(Console("place E20000000000000000000001 E28011052000000000000001"), "ok");
    ASSERT_EQ(Console("place E20000000000000000000002 E28011052000000000000002"), "ok");
    auto batch = Batch({"--serial-from", "6789", "--count", "2"});
    EXPECT_EQ(batch->ReadErrorLine(), "kvplm: 2 transponders in the field: place exactly one");
    ASSERT_EQ(Console("remove E20000000000000000000002"), "ok");
    EXPECT_EQ(batch->ReadLine(),
              "6789\tE28011052000000000000001\tE20000000000000000000001\t3074257BF7194E4000001A85\tok");
    ASSERT_EQ(Console("remove 3074257BF7194E4000001A85"), "ok");

    EXPECT_EQ(EncodeOne(*batch, "E20000000000000000000002", "E28011052000000000000002"),
              "6790\tE28011052000000000000002\tE20000000000000000000002\t3074257BF7194E4000001A86\tok");
    EXPECT_EQ(ExitCode(batch->Wait()), 0);
    const auto serials = LoggedSerials();
    EXPECT_EQ(serials, (std::multimap<std::string, std::string>{{"6789", "ok"}, {"6790", "ok"}}));
}

TEST_F(CliEncodeBatch, InterruptedRunResumesWithoutUsingASerialTwice) {
    auto batch = Batch({"--serial-from", "100", "--count", "3"});
    EXPECT_EQ(Field(EncodeOne(*batch, "E20000000000000000000011", "E28011052000000000000011"), 0), "100");
    EXPECT_EQ(Field(EncodeOne(*batch, "E20000000000000000000012", "E28011052000000000000012"), 0), "101");
    kill(batch->pid, SIGINT);
    EXPECT_EQ(ExitCode(batch->Wait()), 130); // interrupted before the count
    const std::string whole = CliRun::ReadAll(log);
    EXPECT_EQ(whole.back(), '\n');

    // The same command again: it goes on at 102, and a transponder done
    // before is not encoded again.
    batch = Batch({"--serial-from", "100", "--count", "3"});
    ASSERT_EQ(Console("place 3014257BF7194E4000000064 E28011052000000000000011"), "ok");
    EXPECT_EQ(
        batch->ReadErrorLine(),
        "kvplm: TID E28011052000000000000011 is in the log as encoded: not encoded again; take it away");
    ASSERT_EQ(Console("remove 3014257BF7194E4000000064"), "ok");
    EXPECT_EQ(Field(EncodeOne(*batch, "E20000000000000000000013", "E28011052000000000000013"), 0), "102");
    EXPECT_EQ(ExitCode(batch->Wait()), 0);
    EXPECT_EQ(LoggedSerials(),
              (std::multimap<std::string, std::string>{{"100", "ok"}, {"101", "ok"}, {"102", "ok"}}));

    // Complete: a further run writes nothing.
    batch = Batch({"--serial-from", "100", "--count", "3"}, "kvplm: the batch is complete (3/3 encoded");
    EXPECT_EQ(ExitCode(batch->Wait()), 0);
}

TEST_F(CliEncodeBatch, LockedTransponderNeedsItsAccessPassword) {
    ASSERT_EQ(Console("place E20000000000000000000021 E28011052000000000000021 - 11223344"), "ok");
    auto batch = Batch({"--serial-from", "7", "--count", "1"});
    const std::string refused = batch->ReadLine();
    EXPECT_EQ(Field(refused, 4), "failed: write refused (status 20); the transponder may be locked: give its "
                                 "access password")
        << refused;
    kill(batch->pid, SIGINT);
    EXPECT_EQ(ExitCode(batch->Wait()), 1); // a transponder failed

    batch = Batch({"--serial-from", "7", "--count", "1", "--access-password", "11223344"});
    EXPECT_EQ(Field(batch->ReadLine(), 0), "8"); // 7 was sent once: used up
    EXPECT_EQ(ExitCode(batch->Wait()), 0);
    EXPECT_EQ(Console("tags").find("EPC 30 74 25 7B F7 19 4E 40 00 00 00 08"), 0u);

    // A serial beyond SGTIN-96's range: refused before anything is sent.
    std::vector<std::string> argv = {KVPLM_PATH,     "encode-batch", device,   "--company",
                                     "0614141",      "--item",       "812345", "--serial-from",
                                     "274877906944", "--log",        log};
    Program tooLarge(Program::CommandTag{}, argv, true);
    EXPECT_NE(tooLarge.ReadErrorLine().find("too large"), std::string::npos);
    EXPECT_EQ(ExitCode(tooLarge.Wait()), 1);
}

} // namespace
