// "Mit Datei vergleichen ..." under Qt Test offscreen: the main window's
// command against a simulated reader on a pty, the file through the host's
// file dialog seam, message boxes through the recorder.
#include "MorvaneUiSupport.h"

#include "CompareDialog.h"
#include "MainFrame.h"
#include "Messages.h"
#include "Texts.h"
#include "WidgetSetupHost.h"

#include <QAction>
#include <QFile>
#include <QLabel>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <deque>
#include <memory>

namespace {

using namespace MorvaneUi;
using Block = CSimReader::Block;

// The simulated reader's own blocks, as a file.
const char* const kReaderAsFile =
    "[Data]\r\nTransponderTyp=0\r\nDarstellung=0\r\nZeichenAnzahl=10\r\n"
    "GueltigeBytes=5\r\nGueltigeBytesAb=1\r\nBetriebsart=0\r\nZykluszeit=1000\r\n"
    "Baudrate=19200\r\nAufforderung=?\r\nTimeoutRS232=500\r\n";

class CompareDialogTest : public ::testing::Test {
protected:
    void SetUp() override {
        static QTemporaryDir simDir(QDir::tempPath() + QStringLiteral("/kvplm-compare-sim-XXXXXX"));
        qputenv("KVPLM_SIM_DIR", simDir.path().toLocal8Bit());
        appkit::ProgramInfo::SetCurrent(appkit::Program::Morvane);
        appkit::Messages::SetRecorder(&recorder);
        ClearSettings();
        ASSERT_TRUE(sim.started) << sim.error;
        StorePort(sim.Port());
        CWidgetSetupHost::SetFileChooser([this](QWidget*, bool) {
            ++chosen;
            if (files.empty()) return QString();
            const QString file = files.front();
            files.pop_front();
            return file;
        });
        frame = std::make_unique<CMainFrame>();
        frame->SetChooser([] { return false; });
    }
    void TearDown() override {
        frame.reset();
        CWidgetSetupHost::SetFileChooser(nullptr);
        appkit::Texts::ReleaseLanguageModule(appkit::Program::Morvane);
        appkit::Messages::SetRecorder(nullptr);
    }
    QString Write(const QString& name, const char* text) {
        const QString path = folder.path() + QLatin1Char('/') + name;
        QFile file(path);
        if (file.open(QIODevice::WriteOnly)) file.write(text);
        return path;
    }
    // Runs the command; the lines of the dialog it opened (empty: none opened).
    QStringList Compare() {
        QStringList lines;
        QString header;
        bool shown = false;
        QObject watch;
        OnModal<CCompareDialog>(
            [&](CCompareDialog* dialog) {
                shown = true;
                lines = dialog->Lines();
                if (auto* label = Find<QLabel>(dialog, QStringLiteral("compareHeader")))
                    header = label->text();
                dialog->accept();
            },
            15000, &watch);
        frame->Action(CMainFrame::CmdCompare)->trigger();
        lastHeader = header;
        if (!shown) return {};
        return lines;
    }
    QStringList MessageTexts() const {
        QStringList texts;
        for (const appkit::Messages::Record& record : recorder.records)
            texts.append(record.text);
        return texts;
    }

    SimulatedReader sim;
    appkit::Messages::Recorder recorder;
    std::deque<QString> files;
    int chosen = 0;
    QTemporaryDir folder;
    std::unique_ptr<CMainFrame> frame;
    QString lastHeader;
};

} // namespace

TEST_F(CompareDialogTest, TheConnectedReaderBesideAFile) {
    QAction* compare = frame->Action(CMainFrame::CmdCompare);
    ASSERT_NE(compare, nullptr);
    EXPECT_EQ(compare->text(), "Mit Datei vergleichen ...");
    // Enabled once a reader is connected.
    EXPECT_FALSE(compare->isEnabled());
    frame->ConnectAtStart();
    EXPECT_TRUE(compare->isEnabled());

    files.push_back(Write("same.mkr", kReaderAsFile));
    EXPECT_EQ(Compare(), QStringList{"Keine Unterschiede"});
    EXPECT_EQ(lastHeader, "Leser -> same.mkr");

    std::string other = kReaderAsFile;
    other.replace(other.find("Zykluszeit=1000"), 15, "Zykluszeit=500");
    other += "[Prefix]\r\nCount=1\r\nAscii0=2\r\n";
    files.push_back(Write("other.mkr", other.c_str()));
    EXPECT_EQ(Compare(), (QStringList{"Zykluszeit: 1000 ms -> 500 ms", "Prefix: keine -> STX"}));
    EXPECT_TRUE(recorder.records.isEmpty()) << MessageTexts().join('|').toStdString();
    // The reader was left as it was: nothing was written into it.
    EXPECT_EQ(sim.reader->GetBlock(Block::ModeParam), (CSimReader::Bytes{0x00, 0x0A, 0x3F, 0x05}));
    EXPECT_EQ(sim.reader->State(), 2);

    // In English.
    frame->SwitchToEnglish();
    ASSERT_TRUE(frame->English()) << MessageTexts().join('|').toStdString();
    EXPECT_EQ(compare->text(), "Compare with file ...");
    files.push_back(Write("other.mkr", other.c_str()));
    EXPECT_EQ(Compare(), (QStringList{"Cycle time: 1000 ms -> 500 ms", "Prefix: none -> STX"}));
    files.push_back(Write("same.mkr", kReaderAsFile));
    EXPECT_EQ(Compare(), QStringList{"No differences"});
}

TEST_F(CompareDialogTest, NoDialogWithoutAFileOrAReader) {
    frame->ConnectAtStart();
    const size_t requests = sim.reader->Requests().size();
    // Cancelled: the reader is not even asked.
    EXPECT_EQ(Compare(), QStringList{});
    EXPECT_EQ(chosen, 1);
    EXPECT_EQ(sim.reader->Requests().size(), requests);

    // A file that is no configuration: its message, no dialog.
    files.push_back(Write("notes.mkr", "just notes\n"));
    EXPECT_EQ(Compare(), QStringList{});
    ASSERT_EQ(recorder.records.size(), 1);
    EXPECT_TRUE(recorder.records[0].text.contains("keine Konfiguration"))
        << recorder.records[0].text.toStdString();

    // No reader where the settings point: the connect's message, no dialog.
    recorder.records.clear();
    StorePort(QStringLiteral("/dev/kvplm-no-such-reader"));
    files.push_back(Write("same.mkr", kReaderAsFile));
    EXPECT_EQ(Compare(), QStringList{});
    EXPECT_FALSE(recorder.records.isEmpty());
}
