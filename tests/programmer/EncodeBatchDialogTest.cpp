// The "Serialisierung" dialog under Qt Test (offscreen) against the simulated
// device: reached from the system menu, one transponder encoded through the
// timer-driven steps, the state line as the field changes. With
// KVPLM_SHOTS=DIR it also saves the picture of the documentation
// (DIR/encode-batch.png).
#include "SimFixture.h"

#include "EncodeBatchDialog.h"
#include "ProgrammerDialog.h"
#include "SettingsStore.h"
#include "Texts.h"
#include "UiHooks.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QSettings>
#include <QSignalSpy>
#include <QTableWidget>
#include <QTest>

#include <fstream>

using namespace Programmer;

namespace {

constexpr appkit::Program kProgram = appkit::Program::Programmer;

class EncodeBatchDialogTest : public SimFixture {
protected:
    void SetUp() override {
        SimFixture::SetUp();
        folder = QDir::tempPath() + QStringLiteral("/kvplm-batch-dialog-%1").arg(getpid());
        QDir().mkpath(folder);
        ClearSettings();
    }
    void TearDown() override {
        batch.reset();
        dialog.reset();
        appkit::UiHooks::Remove();
        ClearSettings();
        QDir(folder).removeRecursively();
        SimFixture::TearDown();
    }
    static void ClearSettings() {
        QSettings settings(appkit::ProgramInfo::CompanyKey(), appkit::ProgramInfo::ProgramKey(kProgram));
        settings.clear();
        settings.sync();
    }
    void OpenProgrammer() {
        appkit::SettingsStore store(kProgram);
        store.WriteString("Port", "Name", QString::fromStdString(path));
        store.WriteInt("Port", "Timeout", 300);
        dialog = std::make_unique<ProgrammerDialog>();
        appkit::UiHooks::Install(dialog.get());
        dialog->SetChooser([] { return false; });
        QSignalSpy opened(dialog.get(), &ProgrammerDialog::opened);
        dialog->show();
        ASSERT_TRUE(opened.count() > 0 || opened.wait(10000));
        ASSERT_GT(dialog->Session(), 0);
    }
    void Fill(const QString& name, const QString& text) {
        auto* edit = batch->findChild<QLineEdit*>(name);
        ASSERT_NE(edit, nullptr) << name.toStdString();
        edit->setText(text);
    }
    // Runs the event loop until the condition holds (bounded).
    template <class Condition> bool WaitFor(Condition condition, int limitMs = 10000) {
        QElapsedTimer timer;
        timer.start();
        while (!condition()) {
            if (timer.elapsed() > limitMs) return false;
            QSignalSpy stepped(batch.get(), &EncodeBatchDialog::stepped);
            stepped.wait(500);
        }
        return true;
    }

    QString folder;
    std::unique_ptr<ProgrammerDialog> dialog;
    std::unique_ptr<EncodeBatchDialog> batch;
};

TEST_F(EncodeBatchDialogTest, EncodesOneTransponderFromTheMenuEntry) {
    StartDevice(0x313, {"E2 00 00 00 00 00 00 00 00 00 00 01"});
    OpenProgrammer();
    // The entry of the system menu.
    QAction* entry = nullptr;
    for (QAction* action : dialog->SystemMenu()->actions())
        if (action->data().toInt() == ProgrammerDialog::EncodeBatchCommand) entry = action;
    ASSERT_NE(entry, nullptr);
    EXPECT_EQ(entry->text(), "Serialisierung ...");

    batch = std::make_unique<EncodeBatchDialog>(dialog->Session(), dialog.get());
    batch->show();
    EXPECT_EQ(batch->windowTitle(), "Serialisierung");
    Fill("company", "0614141");
    Fill("item", "812345");
    Fill("serialFrom", "6789");
    const QString log = folder + "/log.csv";
    Fill("logPath", log);
    QTest::mouseClick(batch->findChild<QPushButton*>("start"), Qt::LeftButton);
    ASSERT_TRUE(batch->Running()) << batch->StateText().toStdString();
    EXPECT_FALSE(batch->findChild<QLineEdit*>("company")->isEnabled());

    ASSERT_TRUE(WaitFor([&] { return batch->Table()->rowCount() == 1; }));
    EXPECT_EQ(batch->StateText(), "OK");
    EXPECT_EQ(batch->Table()->item(0, 1)->text(), "6789");
    EXPECT_EQ(batch->Table()->item(0, 4)->text(), "3014257BF7194E4000001A85");
    EXPECT_EQ(batch->Table()->item(0, 5)->text(), "ok");
    ASSERT_TRUE(reader->FindTag(H("30 14 25 7B F7 19 4E 40 00 00 1A 85")));
    std::ifstream file(log.toStdString());
    std::string header, row;
    std::getline(file, header);
    std::getline(file, row);
    EXPECT_EQ(header, "time,serial,tid,old_epc,new_epc,result");
    EXPECT_NE(row.find(",6789,"), std::string::npos);

    // Two transponders: said so, nothing written.
    reader->PlaceTag(CSimTransponder(H("E2 00 00 00 00 00 00 00 00 00 00 02")));
    ASSERT_TRUE(WaitFor([&] { return batch->StateText() == "2 Transponder im Feld"; }));
    ASSERT_TRUE(reader->RemoveTag(H("30 14 25 7B F7 19 4E 40 00 00 1A 85")));
    ASSERT_TRUE(WaitFor([&] { return batch->Table()->rowCount() == 2; }));
    if (!qEnvironmentVariableIsEmpty("KVPLM_SHOTS")) {
        batch->resize(1060, 520);
        batch->Table()->resizeColumnsToContents();
        batch->grab().save(qEnvironmentVariable("KVPLM_SHOTS") + QStringLiteral("/encode-batch.png"));
    }
    ASSERT_TRUE(reader->RemoveTag(H("30 14 25 7B F7 19 4E 40 00 00 1A 86")));
    ASSERT_TRUE(WaitFor([&] { return batch->StateText() == "Transponder auflegen"; }));

    QTest::mouseClick(batch->findChild<QPushButton*>("stop"), Qt::LeftButton);
    EXPECT_FALSE(batch->Running());
    EXPECT_EQ(batch->StateText(), "Angehalten");
    EXPECT_TRUE(batch->findChild<QLineEdit*>("company")->isEnabled());
}

TEST_F(EncodeBatchDialogTest, RefusedSettingsAndNoSessionSayWhy) {
    batch = std::make_unique<EncodeBatchDialog>(0);
    EXPECT_EQ(batch->StateText(), "Kein Programmiergerät verbunden");
    EXPECT_FALSE(batch->findChild<QPushButton*>("start")->isEnabled());

    StartDevice(0x313, {});
    OpenProgrammer();
    batch = std::make_unique<EncodeBatchDialog>(dialog->Session(), dialog.get());
    Fill("company", "0614141");
    Fill("item", "812345");
    Fill("serialFrom", "274877906944");
    Fill("logPath", folder + "/log.csv");
    EXPECT_FALSE(batch->Start());
    EXPECT_NE(batch->StateText().indexOf("too large"), -1) << batch->StateText().toStdString();
    Fill("serialFrom", "12x");
    EXPECT_FALSE(batch->Start());
    EXPECT_EQ(batch->StateText(), "Ungültige Eingabe: Seriennummer ab");
    EXPECT_FALSE(QFile::exists(folder + "/log.csv"));
}

} // namespace
