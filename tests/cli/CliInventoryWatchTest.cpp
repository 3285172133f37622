// kvplm inventory PORT --watch against the simulated programmer device (in
// this process, on a pty): tags placed and removed while it runs, the table
// it prints, the CSV it writes, Ctrl-C, and the failures.
#include "CliRun.h"
#include "SimFixture.h"

#include <algorithm>
#include <condition_variable>
#include <fcntl.h>
#include <mutex>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>

extern char** environ;

using namespace Programmer;
using namespace std::chrono_literals;

namespace {

const std::string EpcA = "30 14 25 8C 1C 4E 2A 00 00 00 00 01";
const std::string EpcB = "E2 80 11 05 20 00 74 1B 00 00 00 02";

// Counts what the device does: inventory starts asked for, and the replies
// that carried each EPC (the device's own view of the field).
class FieldCounter {
public:
    void Watch(CSimReader& reader, const std::vector<CSimReader::Bytes>& epcs) {
        epcs_ = epcs;
        reader.SetTraceHook([this](CSimReader::TraceKind kind, const CSimReader::Bytes& bytes) {
            std::lock_guard<std::mutex> lock(mutex_);
            if (kind == CSimReader::TraceKind::Request && bytes.size() >= 5 && bytes[2] == 0xC0 &&
                bytes[4] == 0)
                ++starts_;
            if (kind == CSimReader::TraceKind::Reply)
                for (size_t i = 0; i < epcs_.size(); ++i)
                    if (std::search(bytes.begin(), bytes.end(), epcs_[i].begin(), epcs_[i].end()) !=
                        bytes.end())
                        ++delivered_[i];
            changed_.notify_all();
        });
    }
    // Waits (bounded) until this many more inventory rounds have begun.
    bool WaitForRounds(size_t more) {
        std::unique_lock<std::mutex> lock(mutex_);
        const size_t target = starts_ + more;
        return changed_.wait_for(lock, 10s, [&] { return starts_ >= target; });
    }
    size_t Delivered(size_t i) {
        std::lock_guard<std::mutex> lock(mutex_);
        return delivered_[i];
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<CSimReader::Bytes> epcs_;
    size_t starts_ = 0;
    size_t delivered_[4] = {};
};

// kvplm running in the background, its output in files.
class Background {
public:
    Background(const std::string& folder, const std::vector<std::string>& args)
        : out_(folder + "/out.txt"), err_(folder + "/err.txt") {
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
        posix_spawn_file_actions_addopen(&actions, 1, out_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        posix_spawn_file_actions_addopen(&actions, 2, err_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        std::vector<std::string> all{KVPLM_PATH, "--timeout", "300"};
        all.insert(all.end(), args.begin(), args.end());
        std::vector<char*> argv;
        for (std::string& arg : all)
            argv.push_back(arg.data());
        argv.push_back(nullptr);
        if (posix_spawn(&pid_, KVPLM_PATH, &actions, nullptr, argv.data(), environ) != 0) pid_ = 0;
        posix_spawn_file_actions_destroy(&actions);
    }
    ~Background() {
        if (pid_ > 0) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
    }
    bool Started() const { return pid_ > 0; }
    void Signal(int number) const {
        if (pid_ > 0) kill(pid_, number);
    }
    // The exit code, waiting at most 20 s (then killed: -1).
    int Wait() {
        const auto end = std::chrono::steady_clock::now() + 20s;
        int status = 0;
        while (waitpid(pid_, &status, WNOHANG) == 0) {
            if (std::chrono::steady_clock::now() > end) return -1; // the destructor kills it
            usleep(5000);
        }
        pid_ = 0;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    std::string Out() const { return CliRun::ReadAll(out_); }
    std::string Err() const { return CliRun::ReadAll(err_); }

private:
    std::string out_, err_;
    pid_t pid_ = 0;
};

std::vector<std::string> CsvLines(const std::string& csv) {
    std::vector<std::string> lines;
    size_t start = 0;
    for (size_t end; (end = csv.find("\r\n", start)) != std::string::npos; start = end + 2)
        lines.push_back(csv.substr(start, end - start));
    EXPECT_EQ(start, csv.size()) << "every line ends in CRLF";
    return lines;
}

std::vector<std::string> Split(const std::string& line) {
    std::vector<std::string> fields;
    size_t start = 0;
    for (size_t end; (end = line.find(',', start)) != std::string::npos; start = end + 1)
        fields.push_back(line.substr(start, end - start));
    fields.push_back(line.substr(start));
    return fields;
}

class CliInventoryWatch : public SimFixture {
protected:
    std::string Port() const { return path + ":1"; }
    CliRun::ScratchFolder folder{"watch"};
    FieldCounter counter;
};

TEST_F(CliInventoryWatch, ListsTagsPlacedAndRemovedDuringTheRunWithTheDevicesCounts) {
    StartDevice(0x302, {EpcA});
    counter.Watch(*reader, {H(EpcA), H(EpcB)});
    const std::string csvPath = folder.Path() + "/list.csv";
    Background run(folder.Path(), {"inventory", Port(), "--watch", "--seconds", "1", "--csv", csvPath});
    ASSERT_TRUE(run.Started());

    ASSERT_TRUE(counter.WaitForRounds(3));
    reader->PlaceTag(CSimTransponder(H(EpcB)));
    ASSERT_TRUE(counter.WaitForRounds(3));
    reader->RemoveTag(H(EpcA));
    ASSERT_TRUE(counter.WaitForRounds(3));

    ASSERT_EQ(run.Wait(), 0) << run.Err();
    // Not a terminal: the table once, without escape codes.
    const std::string out = run.Out();
    EXPECT_EQ(out.find('\x1b'), std::string::npos);
    EXPECT_EQ(out.rfind("EPC ", 0), 0u) << out;
    EXPECT_NE(out.find("3014258C1C4E2A0000000001  3000"), std::string::npos) << out;
    EXPECT_NE(out.find("E28011052000741B00000002  3000"), std::string::npos) << out;
    EXPECT_NE(out.find("2 transponders, "), std::string::npos) << out;
    EXPECT_NE(out.find(" inventories/s, "), std::string::npos) << out;

    const std::vector<std::string> lines = CsvLines(CliRun::ReadAll(csvPath));
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0], "EPC,PC,Identity,Count,FirstSeen,LastSeen");
    const std::vector<std::string> a = Split(lines[1]), b = Split(lines[2]);
    ASSERT_EQ(a.size(), 6u);
    ASSERT_EQ(b.size(), 6u);
    EXPECT_EQ(a[0], "3014258C1C4E2A0000000001");
    EXPECT_EQ(b[0], "E28011052000741B00000002");
    EXPECT_EQ(a[1], "3000");
    // The counts are the replies that carried each EPC.
    EXPECT_EQ(a[3], std::to_string(counter.Delivered(0)));
    EXPECT_EQ(b[3], std::to_string(counter.Delivered(1)));
    // A was seen first and last seen before B (removed while B stayed);
    // ISO 8601 times of equal length compare as text.
    EXPECT_EQ(a[4].size(), 29u) << a[4];
    EXPECT_LT(a[4], b[4]);
    EXPECT_LT(a[5], b[5]);
    EXPECT_LE(b[4], b[5]);
}

TEST_F(CliInventoryWatch, CtrlCEndsTheRunAndStillWritesTableAndCsv) {
    StartDevice(0x302, {EpcB});
    counter.Watch(*reader, {H(EpcB)});
    const std::string csvPath = folder.Path() + "/list.csv";
    Background run(folder.Path(), {"inventory", Port(), "--watch", "--csv", csvPath});
    ASSERT_TRUE(run.Started());
    ASSERT_TRUE(counter.WaitForRounds(2));
    run.Signal(SIGINT);
    ASSERT_EQ(run.Wait(), 0) << run.Err();
    EXPECT_NE(run.Out().find("E28011052000741B00000002"), std::string::npos);
    const std::vector<std::string> lines = CsvLines(CliRun::ReadAll(csvPath));
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[1].rfind("E28011052000741B00000002,3000,", 0), 0u) << lines[1];
}

TEST_F(CliInventoryWatch, ACsvThatCannotBeWrittenFailsTheRun) {
    StartDevice(0x302, {EpcB});
    counter.Watch(*reader, {H(EpcB)});
    const std::string csvPath = folder.Path() + "/missing/list.csv";
    Background run(folder.Path(), {"inventory", Port(), "--watch", "--csv", csvPath});
    ASSERT_TRUE(run.Started());
    ASSERT_TRUE(counter.WaitForRounds(1));
    run.Signal(SIGINT);
    EXPECT_EQ(run.Wait(), 4); // a file error
    EXPECT_NE(run.Err().find("the CSV was not written: " + csvPath), std::string::npos) << run.Err();
    // The table was still printed.
    EXPECT_NE(run.Out().find("E28011052000741B00000002"), std::string::npos);
}

TEST_F(CliInventoryWatch, NoDeviceWritesNothing) {
    const std::string csvPath = folder.Path() + "/list.csv";
    const CliRun::Outcome run =
        CliRun::Kvplm(folder.Path(), "inventory /dev/kvplm-no-such-device --watch --csv " + csvPath, 300);
    EXPECT_EQ(run.exit, 3) << run.err; // no connection
    EXPECT_FALSE(run.err.empty());
    struct stat info;
    EXPECT_NE(stat(csvPath.c_str(), &info), 0);

    const CliRun::Outcome usage = CliRun::Kvplm(folder.Path(), "inventory - --watch --seconds x", 300);
    EXPECT_EQ(usage.exit, 2);
}

} // namespace
