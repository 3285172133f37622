// The window "Inventarliste" under Qt Test (offscreen), opened from the
// programmer's menu, against the simulated device: rows appear and counts
// grow while the field changes, redraws are batched, sort, filter, pause,
// clear, the export and its failure, a device that goes away.
#include "SimFixture.h"

#include "InventoryListWindow.h"
#include "Messages.h"
#include "ProgrammerDialog.h"
#include "SettingsStore.h"
#include "Texts.h"
#include "UiHooks.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>
#include <QSignalSpy>
#include <QTableView>
#include <QTest>

#include <fstream>
#include <sstream>

using namespace Programmer;

namespace {

constexpr appkit::Program kProgram = appkit::Program::Programmer;

const std::string EpcA = "30 14 25 8C 1C 4E 2A 00 00 00 00 01";
const std::string EpcB = "E2 80 11 05 20 00 74 1B 00 00 00 02";

void ClearProgrammerSettings() {
    QSettings settings(appkit::ProgramInfo::CompanyKey(), appkit::ProgramInfo::ProgramKey(kProgram));
    settings.clear();
    settings.sync();
}

class InventoryListWindowTest : public SimFixture {
protected:
    void SetUp() override {
        SimFixture::SetUp();
        appkit::ProgramInfo::SetCurrent(kProgram);
        appkit::Messages::SetRecorder(&recorder);
        ClearProgrammerSettings();
    }
    void TearDown() override {
        dialog.reset();
        appkit::UiHooks::Remove();
        appkit::Messages::SetRecorder(nullptr);
        ClearProgrammerSettings();
        SimFixture::TearDown();
    }

    // The dialog connected to the device with these transponders, and the
    // window opened from its menu.
    InventoryListWindow& Open(const std::vector<std::string>& epcs) {
        StartDevice(0x313, epcs);
        appkit::SettingsStore store(kProgram);
        store.WriteString("Port", "Name", QString::fromStdString(path));
        store.WriteInt("Port", "Timeout", 300);
        dialog = std::make_unique<ProgrammerDialog>();
        appkit::UiHooks::Install(dialog.get());
        dialog->SetChooser([] { return false; });
        QSignalSpy opened(dialog.get(), &ProgrammerDialog::opened);
        dialog->show();
        EXPECT_TRUE(opened.count() > 0 || opened.wait(10000));
        EXPECT_GT(dialog->Session(), 0);
        dialog->RunCommand(ProgrammerDialog::InventoryListCommand);
        window = dialog->findChild<InventoryListWindow*>();
        EXPECT_NE(window, nullptr);
        EXPECT_TRUE(window->isVisible());
        EXPECT_EQ(window->windowTitle(), "Inventarliste");
        return *window;
    }

    template <class W> W* Get(const char* name) {
        W* widget = window->findChild<W*>(QLatin1String(name));
        EXPECT_NE(widget, nullptr) << name;
        return widget;
    }
    QTableView* Table() { return Get<QTableView>("table"); }
    QString Cell(int row, InventoryList::Column column) {
        return Table()->model()->index(row, int(column)).data().toString();
    }
    int Rows() { return Table()->model()->rowCount(); }
    QString Status() { return Get<QLabel>("statusLine")->text(); }

    // Lets the window work (rounds, redraws) until done() holds; bounded.
    bool WaitUntil(const std::function<bool()>& done, int limitMs = 10000) {
        QElapsedTimer clock;
        clock.start();
        while (!done()) {
            if (clock.elapsed() > limitMs) return false;
            QTest::qWait(20);
        }
        return true;
    }
    // Waits until this many more rounds ran.
    bool WaitForRounds(int more) {
        QSignalSpy rounds(window, &InventoryListWindow::round);
        return WaitUntil([&] { return rounds.count() >= more; });
    }

    appkit::Messages::Recorder recorder;
    std::unique_ptr<ProgrammerDialog> dialog;
    InventoryListWindow* window = nullptr;
};

TEST_F(InventoryListWindowTest, RowsAppearAndCountsGrowWhileTheFieldChanges) {
    Open({EpcA});
    EXPECT_EQ(Get<QPushButton>("startButton")->text(), "Start");
    // The columns in German.
    QStringList headers;
    for (int i = 0; i < InventoryList::ColumnCount; ++i)
        headers << Table()->model()->headerData(i, Qt::Horizontal).toString();
    EXPECT_EQ(headers,
              (QStringList{"EPC", "PC", "Identität", "Anzahl", "Zuerst gesehen", "Zuletzt gesehen"}));

    QSignalSpy resets(Table()->model(), &QAbstractItemModel::modelReset);
    QElapsedTimer clock;
    clock.start();
    QTest::mouseClick(Get<QPushButton>("startButton"), Qt::LeftButton);
    EXPECT_TRUE(window->Running());
    EXPECT_EQ(Get<QPushButton>("startButton")->text(), "Stopp");
    ASSERT_TRUE(WaitUntil([&] { return Rows() == 1; }));
    EXPECT_EQ(Cell(0, InventoryList::Column::Epc), "3014258C1C4E2A0000000001");
    EXPECT_EQ(Cell(0, InventoryList::Column::Pc), "3000");
    EXPECT_EQ(Cell(0, InventoryList::Column::Identity).toStdString(),
              window->List().Rows()[0]->identity); // what the decoder says of it

    reader->PlaceTag(CSimTransponder(H(EpcB)));
    ASSERT_TRUE(WaitUntil([&] { return Rows() == 2; }));
    const qulonglong before = Cell(0, InventoryList::Column::Count).toULongLong();
    ASSERT_TRUE(WaitForRounds(5));
    ASSERT_TRUE(WaitUntil([&] { return Cell(0, InventoryList::Column::Count).toULongLong() > before; }));
    reader->RemoveTag(H(EpcA));
    ASSERT_TRUE(WaitForRounds(3));
    const uint64_t removedAt = window->List().Rows()[0]->count, stays = window->List().Rows()[1]->count;
    ASSERT_TRUE(WaitForRounds(5));
    EXPECT_EQ(window->List().Rows()[0]->count, removedAt); // no more reads of the removed tag
    EXPECT_GE(window->List().Rows()[1]->count, stays + 5);
    const uint64_t rounds = window->List().Rounds();
    EXPECT_GT(rounds, 13u);

    // Many rounds, few redraws: at most one per refresh interval (and the
    // ones the user asked for; none here).
    const qint64 elapsed = clock.elapsed();
    EXPECT_LE(resets.count(), elapsed / InventoryListWindow::RefreshMs + 2)
        << resets.count() << " resets in " << elapsed << " ms, " << rounds << " rounds";

    // The status line has the count and the rates.
    ASSERT_TRUE(WaitUntil([&] { return Status().startsWith("2 Transponder, "); })) << Status().toStdString();
    EXPECT_TRUE(Status().contains(" Inventuren/s, ")) << Status().toStdString();
    EXPECT_GT(window->List().InventoriesPerSecond(), 0.0);

    QTest::mouseClick(Get<QPushButton>("startButton"), Qt::LeftButton);
    EXPECT_FALSE(window->Running());
    EXPECT_EQ(Get<QPushButton>("startButton")->text(), "Start");
}

TEST_F(InventoryListWindowTest, SortFilterPauseClearAndExport) {
    Open({EpcA, EpcB});
    window->Start();
    ASSERT_TRUE(WaitUntil([&] { return Rows() == 2; }));
    window->Stop();

    // Sorting by a header: EPC descending.
    Table()->sortByColumn(int(InventoryList::Column::Epc), Qt::DescendingOrder);
    EXPECT_EQ(Cell(0, InventoryList::Column::Epc), "E28011052000741B00000002");
    Table()->sortByColumn(int(InventoryList::Column::Epc), Qt::AscendingOrder);
    EXPECT_EQ(Cell(0, InventoryList::Column::Epc), "3014258C1C4E2A0000000001");

    QLineEdit* filter = Get<QLineEdit>("filterEdit");
    QTest::keyClicks(filter, "741b");
    EXPECT_EQ(Rows(), 1);
    EXPECT_EQ(Cell(0, InventoryList::Column::Epc), "E28011052000741B00000002");

    // Export: the rows shown, through the chooser.
    char pattern[] = "/tmp/kvplm-invlist-ui-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    const std::string dir = pattern;
    const QString file = QString::fromStdString(dir + "/liste.csv");
    window->SetFileChooser([&](QWidget*) { return file; });
    QTest::mouseClick(Get<QPushButton>("exportButton"), Qt::LeftButton);
    EXPECT_TRUE(recorder.records.isEmpty());
    std::ifstream in(file.toStdString(), std::ios::binary);
    std::stringstream stream;
    stream << in.rdbuf();
    const std::string csv = stream.str();
    EXPECT_EQ(csv.rfind("EPC,PC,Identity,Count,FirstSeen,LastSeen\r\nE28011052000741B00000002,3000,", 0), 0u)
        << csv;
    EXPECT_EQ(std::count(csv.begin(), csv.end(), '\n'), 2);
    EXPECT_TRUE(Status().contains("1 Zeilen exportiert nach ")) << Status().toStdString();

    // A file that cannot be written: a message, nothing written.
    window->SetFileChooser([&](QWidget*) { return QString::fromStdString(dir + "/missing/liste.csv"); });
    QTest::mouseClick(Get<QPushButton>("exportButton"), Qt::LeftButton);
    ASSERT_EQ(recorder.records.size(), 1);
    EXPECT_TRUE(recorder.records[0].text.startsWith(
        "Die CSV-Datei wurde nicht geschrieben: " + QString::fromStdString(dir) + "/missing/liste.csv: "))
        << recorder.records[0].text.toStdString();
    // Cancelled: nothing.
    window->SetFileChooser([](QWidget*) { return QString(); });
    QTest::mouseClick(Get<QPushButton>("exportButton"), Qt::LeftButton);
    EXPECT_EQ(recorder.records.size(), 1);
    std::system(("rm -rf '" + dir + "'").c_str());

    filter->clear();
    EXPECT_EQ(Rows(), 2);

    // Paused: the rounds go on, nothing is counted.
    QTest::mouseClick(Get<QPushButton>("pauseButton"), Qt::LeftButton);
    window->Start();
    const uint64_t reads = window->List().Reads();
    ASSERT_TRUE(WaitForRounds(3));
    EXPECT_EQ(window->List().Reads(), reads);
    ASSERT_TRUE(WaitUntil([&] { return Status().contains("Pausiert"); }));
    QTest::mouseClick(Get<QPushButton>("pauseButton"), Qt::LeftButton);
    ASSERT_TRUE(WaitForRounds(2));
    EXPECT_GT(window->List().Reads(), reads);

    QTest::mouseClick(Get<QPushButton>("clearButton"), Qt::LeftButton);
    EXPECT_LE(Rows(), 2); // a round may have run since
    window->Stop();
    QTest::mouseClick(Get<QPushButton>("clearButton"), Qt::LeftButton);
    EXPECT_EQ(Rows(), 0);
    EXPECT_TRUE(Status().startsWith("0 Transponder, 0.0 Inventuren/s, 0.0 Tags/s")) << Status().toStdString();

    // Closing the window stops its inventory and deletes it.
    window->Start();
    QSignalSpy stopped(window, &InventoryListWindow::stopped);
    window->close();
    EXPECT_EQ(stopped.count(), 1);
    ASSERT_TRUE(WaitUntil([&] { return dialog->findChild<InventoryListWindow*>() == nullptr; }));
}

TEST_F(InventoryListWindowTest, ADeviceThatGoesAwayStopsTheRounds) {
    Open({EpcA});
    window->Start();
    ASSERT_TRUE(WaitUntil([&] { return Rows() == 1; }));
    QSignalSpy stopped(window, &InventoryListWindow::stopped);
    sim->Stop(); // unplugged
    ASSERT_TRUE(WaitUntil([&] { return stopped.count() == 1; }));
    EXPECT_FALSE(window->Running());
    EXPECT_EQ(Rows(), 1); // what was seen stays
    EXPECT_TRUE(Status().endsWith(QString::fromUtf8("Die Verbindung zum Gerät ist verloren gegangen.")))
        << Status().toStdString();
}

} // namespace
