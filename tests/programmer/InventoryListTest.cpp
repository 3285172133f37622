// The inventory list without a reader: rows, counts, times and rates on a
// fake clock, the view (sort, filter), pause and clear, the CSV bytes and
// the file it is written to; one round over a scripted link.
#include "InventoryList.h"
#include "ScriptedLink.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <dirent.h>
#include <fstream>
#include <sstream>
#include <sys/stat.h>

using namespace Programmer;
using namespace std::chrono_literals;
using Row = InventoryList::Row;

namespace {

class InventoryListTest : public testing::Test {
protected:
    void SetUp() override {
        const char* tz = std::getenv("TZ");
        savedTz = tz ? tz : "";
        hadTz = tz != nullptr;
        SetTz("UTC0");
    }
    void TearDown() override {
        if (hadTz)
            setenv("TZ", savedTz.c_str(), 1);
        else
            unsetenv("TZ");
        tzset();
    }
    static void SetTz(const char* tz) {
        setenv("TZ", tz, 1);
        tzset();
    }

    // 2026-12-09T01:02:03.456Z
    InventoryList::TimePoint now = InventoryList::TimePoint(1796778123456ms);
    InventoryList list{[this] { return now; }};

    static InventoryList::Bytes E(std::initializer_list<uint8_t> bytes) { return bytes; }
    std::vector<std::string> ViewEpcs() const {
        std::vector<std::string> epcs;
        for (const Row* row : list.Rows())
            epcs.push_back(row->epc);
        return epcs;
    }

    std::string savedTz;
    bool hadTz = false;
};

const InventoryList::Bytes A{0x30, 0x14, 0x00, 0x01}, B{0xE2, 0x00, 0x00, 0x02}, C{0xAA, 0xBB};

TEST_F(InventoryListTest, OneRowPerEpcWithCountsPcAndFirstAndLastSeen) {
    list.AddRead(A, 0x1000);
    list.AddRead(B, 0x1000);
    list.RoundCompleted();
    now += 250ms;
    list.AddRead(A, 0x2000); // the PC last read counts
    list.RoundCompleted();

    ASSERT_EQ(list.TotalRows(), 2u);
    const auto& rows = list.Rows();
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0]->epc, "30140001");
    EXPECT_EQ(rows[0]->count, 2u);
    EXPECT_EQ(rows[0]->pc, 0x2000);
    EXPECT_EQ(rows[0]->lastSeen - rows[0]->firstSeen, 250ms);
    EXPECT_EQ(rows[1]->epc, "E2000002");
    EXPECT_EQ(rows[1]->count, 1u);
    EXPECT_EQ(rows[1]->firstSeen, rows[1]->lastSeen);
    EXPECT_EQ(rows[1]->identity, "not a GS1 EPC");
    EXPECT_EQ(list.Rounds(), 2u);
    EXPECT_EQ(list.Reads(), 3u);

    // A GS1 EPC shows its pure identity.
    list.AddRead({0x30, 0x74, 0x25, 0x7B, 0xF7, 0x19, 0x4E, 0x40, 0x00, 0x00, 0x1A, 0x85}, 0x3000);
    EXPECT_EQ(list.Rows()[2]->identity, "urn:epc:id:sgtin:0614141.812345.6789");
}

TEST_F(InventoryListTest, RatesCountTheLastFiveSecondsOrTheTimeSinceTheStart) {
    EXPECT_EQ(list.InventoriesPerSecond(), 0.0);
    list.Start();
    // 10 rounds a second with two reads each, for 8 seconds.
    for (int i = 0; i < 80; ++i) {
        now += 100ms;
        list.AddRead(A, 0x1000);
        list.AddRead(B, 0x1000);
        list.RoundCompleted();
        if (i == 19) { // 2 s in: divided by the 2 s since the start
            EXPECT_DOUBLE_EQ(list.InventoriesPerSecond(), 10.0);
            EXPECT_DOUBLE_EQ(list.TagsPerSecond(), 20.0);
        }
    }
    EXPECT_DOUBLE_EQ(list.InventoriesPerSecond(), 10.0);
    EXPECT_DOUBLE_EQ(list.TagsPerSecond(), 20.0);
    // One tag leaves: after a window the tag rate halves.
    for (int i = 0; i < 50; ++i) {
        now += 100ms;
        list.AddRead(A, 0x1000);
        list.RoundCompleted();
    }
    EXPECT_DOUBLE_EQ(list.TagsPerSecond(), 10.0);
    // The reader goes silent: the rates fall to 0 within the window.
    now += 2500ms;
    EXPECT_DOUBLE_EQ(list.InventoriesPerSecond(), 5.0);
    now += 2500ms;
    EXPECT_DOUBLE_EQ(list.InventoriesPerSecond(), 0.0);
    EXPECT_DOUBLE_EQ(list.TagsPerSecond(), 0.0);
}

TEST_F(InventoryListTest, PauseDropsReadsAndRoundsAndClearStartsAfresh) {
    list.Start();
    now += 1s;
    list.AddRead(A, 0x1000);
    list.RoundCompleted();
    list.SetPaused(true);
    EXPECT_TRUE(list.Paused());
    now += 1s;
    list.AddRead(A, 0x1000);
    list.AddRead(B, 0x1000);
    list.RoundCompleted();
    EXPECT_EQ(list.TotalRows(), 1u);
    EXPECT_EQ(list.Rows()[0]->count, 1u);
    EXPECT_EQ(list.Rows()[0]->lastSeen, now - 1s);
    EXPECT_EQ(list.Rounds(), 1u);
    EXPECT_EQ(list.InventoriesPerSecond(), 0.0);
    // After the pause the rates count from its end.
    list.SetPaused(false);
    now += 500ms;
    list.RoundCompleted();
    EXPECT_DOUBLE_EQ(list.InventoriesPerSecond(), 2.0);

    const uint64_t before = list.Version();
    list.Clear();
    EXPECT_NE(list.Version(), before);
    EXPECT_EQ(list.TotalRows(), 0u);
    EXPECT_TRUE(list.Rows().empty());
    EXPECT_EQ(list.Rounds(), 0u);
    EXPECT_EQ(list.InventoriesPerSecond(), 0.0);
    now += 1s;
    list.AddRead(B, 0x1000);
    EXPECT_EQ(list.Rows()[0]->firstSeen, now);
}

TEST_F(InventoryListTest, SortsByEveryColumnBothWaysAndFilters) {
    list.AddRead(B, 0x3000);
    now += 1s;
    list.AddRead(A, 0x1000);
    list.AddRead(A, 0x1000);
    now += 1s;
    list.AddRead(C, 0x2000);
    list.AddRead(B, 0x3000);
    list.AddRead(A, 0x1000);
    using V = std::vector<std::string>;
    EXPECT_EQ(ViewEpcs(), (V{"E2000002", "30140001", "AABB"})); // first seen
    list.SetSort(InventoryList::Column::Epc, true);
    EXPECT_EQ(ViewEpcs(), (V{"30140001", "AABB", "E2000002"}));
    list.SetSort(InventoryList::Column::Epc, false);
    EXPECT_EQ(ViewEpcs(), (V{"E2000002", "AABB", "30140001"}));
    list.SetSort(InventoryList::Column::Pc, true);
    EXPECT_EQ(ViewEpcs(), (V{"30140001", "AABB", "E2000002"}));
    list.SetSort(InventoryList::Column::Count, false);
    EXPECT_EQ(ViewEpcs(), (V{"30140001", "E2000002", "AABB"}));
    // Equal last-seen times keep the order of first sighting.
    list.SetSort(InventoryList::Column::LastSeen, true);
    EXPECT_EQ(ViewEpcs(), (V{"E2000002", "30140001", "AABB"}));
    list.SetSort(InventoryList::Column::Identity, true);
    EXPECT_EQ(ViewEpcs(), (V{"E2000002", "30140001", "AABB"}));

    list.SetSort(InventoryList::Column::FirstSeen, true);
    list.SetFilter("aa bb"); // case and blanks do not matter
    EXPECT_EQ(ViewEpcs(), (V{"AABB"}));
    list.SetFilter("00");
    EXPECT_EQ(ViewEpcs(), (V{"E2000002", "30140001"}));
    list.SetFilter("GS1"); // the identity text
    EXPECT_EQ(ViewEpcs().size(), 3u);
    list.SetFilter("nothing like it");
    EXPECT_TRUE(ViewEpcs().empty());
    list.AddRead(C, 0x2000); // a filter stays while reads come in
    EXPECT_TRUE(ViewEpcs().empty());
    list.SetFilter("");
    EXPECT_EQ(ViewEpcs().size(), 3u);
}

TEST_F(InventoryListTest, CsvIsRfc4180ByteForByte) {
    EXPECT_EQ(InventoryList::CsvField("plain"), "plain");
    EXPECT_EQ(InventoryList::CsvField(""), "");
    EXPECT_EQ(InventoryList::CsvField("a,b"), "\"a,b\"");
    EXPECT_EQ(InventoryList::CsvField("say \"hi\"\nnext"), "\"say \"\"hi\"\"\nnext\"");
    EXPECT_EQ(InventoryList::CsvField("cr\r"), "\"cr\r\"");
    EXPECT_EQ(InventoryList::CsvField("Stückgut ½"), "Stückgut ½"); // UTF-8 passes unchanged
    EXPECT_EQ(InventoryList::CsvLine({"a", "b\"c", "d\r\ne"}), "a,\"b\"\"c\",\"d\r\ne\"\r\n");

    list.AddRead(A, 0x1000);
    now += 1001ms;
    list.AddRead(A, 0x2000);
    EXPECT_EQ(list.Csv(), "EPC,PC,Identity,Count,FirstSeen,LastSeen\r\n"
                          "30140001,2000,not a GS1 EPC,2,2026-12-09T01:02:03.456+00:00,"
                          "2026-12-09T01:02:04.457+00:00\r\n");
    // Only the filtered rows.
    list.AddRead(B, 0x1000);
    list.SetFilter("E2");
    EXPECT_EQ(list.Csv().find("3014"), std::string::npos);
    EXPECT_NE(list.Csv().find("E2000002"), std::string::npos);
}

TEST_F(InventoryListTest, IsoTimesCarryTheLocalOffset) {
    SetTz("XYZ-1:30"); // 1 h 30 min east of UTC
    EXPECT_EQ(InventoryList::IsoTime(now), "2026-12-09T02:32:03.456+01:30");
    SetTz("ABC5");
    EXPECT_EQ(InventoryList::IsoTime(now), "2026-12-08T20:02:03.456-05:00");
    SetTz("UTC0");
    EXPECT_EQ(InventoryList::IsoTime(InventoryList::TimePoint(-1ms)), "1969-12-31T23:59:59.999+00:00");
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream data;
    data << in.rdbuf();
    return data.str();
}

std::vector<std::string> Entries(const std::string& dir) {
    std::vector<std::string> names;
    if (DIR* d = opendir(dir.c_str())) {
        while (dirent* e = readdir(d))
            if (std::string(e->d_name) != "." && std::string(e->d_name) != "..") names.push_back(e->d_name);
        closedir(d);
    }
    return names;
}

TEST_F(InventoryListTest, WritesTheCsvThroughARenameAndReportsFailures) {
    char pattern[] = "/tmp/kvplm-invlist-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    const std::string dir = pattern;
    list.AddRead(A, 0x1000);
    std::string error;

    const std::string path = dir + "/list.csv";
    std::ofstream(path) << "old contents";
    ASSERT_TRUE(list.WriteCsv(path, error)) << error;
    EXPECT_EQ(ReadFile(path), list.Csv());
    EXPECT_EQ(Entries(dir), std::vector<std::string>{"list.csv"}); // no temporary file left

    // The target is a folder: the rename fails, nothing is left behind.
    mkdir((dir + "/folder").c_str(), 0755);
    EXPECT_FALSE(list.WriteCsv(dir + "/folder", error));
    EXPECT_NE(error.find("folder"), std::string::npos);
    EXPECT_EQ(Entries(dir).size(), 2u);
    EXPECT_TRUE(Entries(dir + "/folder").empty());

    // A folder that does not exist.
    error.clear();
    EXPECT_FALSE(list.WriteCsv(dir + "/missing/list.csv", error));
    EXPECT_NE(error.find("No such file"), std::string::npos) << error;
    std::system(("rm -rf '" + dir + "'").c_str());
}

TEST(InventoryRoundTest, ReadsPcAndEpcOfEveryReplyAndFeedsTheList) {
    ScriptedLink link;
    link.inventory.push_back({7, {2, 0x10, 0x00, 0xAA, 0xBB, 0xCC, 0xDD}, 0});
    link.inventory.push_back({5, {1, 0x08, 0x00, 0x12, 0x34}, 0});
    InventoryRound round = RunInventoryRound(link, 1);
    EXPECT_TRUE(round.ok);
    EXPECT_EQ(link.log, (std::vector<std::string>{"Inventory 0", "Inventory 2"}));
    ASSERT_EQ(round.reads.size(), 2u);
    EXPECT_EQ(round.reads[0].pc, 0x1000);
    EXPECT_EQ(round.reads[0].epc, (InventoryList::Bytes{0xAA, 0xBB, 0xCC, 0xDD}));
    EXPECT_EQ(round.reads[1].pc, 0x0800);
    InventoryList list;
    AddRound(list, round);
    EXPECT_EQ(list.TotalRows(), 2u);
    EXPECT_EQ(list.Rounds(), 1u);

    // None found is a round; a failed first call is none, with its error.
    AddRound(list, RunInventoryRound(link, 1)); // idle answer: 0 transponders
    EXPECT_EQ(list.Rounds(), 2u);
    link.inventory.push_back({-1, {}, 4});
    round = RunInventoryRound(link, 1);
    EXPECT_FALSE(round.ok);
    EXPECT_EQ(round.error, 4);
    AddRound(list, round);
    EXPECT_EQ(list.Rounds(), 2u);

    link.connected = 0;
    round = RunInventoryRound(link, 1);
    EXPECT_TRUE(round.lost);
    EXPECT_FALSE(RunInventoryRound(link, 0).ok); // no session, nothing sent
}

} // namespace
