// The programmer's main dialog under Qt Test (offscreen) on a stored
// "Bluetooth: " port: a simulated adapter module with the programmer
// behind it, the wait cursor while the module searches and links, and an
// inventory through the link.
#include "BtModuleSimulator.h"
#include "LinkApi.h"
#include "Messages.h"
#include "ProgrammerDialog.h"
#include "SettingsStore.h"
#include "SimHex.h"
#include "SimReader.h"
#include "UiHooks.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include <memory>

using namespace Programmer;

namespace {

constexpr appkit::Program kProgram = appkit::Program::Programmer;

void ClearProgrammerSettings() {
    QSettings settings(appkit::ProgramInfo::CompanyKey(), appkit::ProgramInfo::ProgramKey(kProgram));
    settings.clear();
    settings.sync();
}

class ProgrammerBluetoothTest : public ::testing::Test {
protected:
    void SetUp() override {
        appkit::ProgramInfo::SetCurrent(kProgram);
        appkit::Messages::SetRecorder(&recorder);
        ClearProgrammerSettings();
    }
    void TearDown() override {
        dialog.reset();
        appkit::UiHooks::Remove();
        appkit::Messages::SetRecorder(nullptr);
        ClearProgrammerSettings();
        if (module) module->Stop();
    }

    void StartModule() {
        CSimReader::Options readerOptions;
        readerOptions.deviceType = 0x313;
        auto reader = std::make_shared<CSimReader>(readerOptions);
        reader->RemoveAllTags();
        reader->PlaceTag(CSimTransponder(SimHex::Parse("E2 00 34 12").value()));
        CBtModuleSimulator::Options options;
        options.announce = false;
        options.inquiryTime = std::chrono::milliseconds(300);
        module = std::make_unique<CBtModuleSimulator>(
            std::vector<CBtModuleSimulator::Remote>{
                {{0x00, 0x11, 0x22, 0x33, 0x44, 0x55}, CBtModuleSimulator::ReaderClass, "", reader}},
            options);
        std::string error;
        ASSERT_TRUE(module->Start(&error)) << error;
    }

    appkit::Messages::Recorder recorder;
    std::unique_ptr<CBtModuleSimulator> module;
    std::unique_ptr<ProgrammerDialog> dialog;
};

TEST_F(ProgrammerBluetoothTest, AStoredBluetoothPortConnectsWithTheWaitCursorAndInventories) {
    StartModule();
    const QString device = QString::fromStdString(module->SlavePath()) + " BT";
    appkit::SettingsStore store(kProgram);
    store.WriteString("Port", "Name", "Bluetooth: " + device);
    store.WriteInt("Port", "Timeout", 500);

    dialog = std::make_unique<ProgrammerDialog>();
    appkit::UiHooks::Install(dialog.get());
    int chooserCalls = 0;
    dialog->SetChooser([&] { return ++chooserCalls, false; });
    // The library pumps the program's events during the search and the link:
    // a timer sees the wait cursor then.
    bool waitCursorSeen = false;
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, [&] {
        const QCursor* cursor = QGuiApplication::overrideCursor();
        if (cursor && cursor->shape() == Qt::WaitCursor) waitCursorSeen = true;
    });
    watch.start(20);
    QSignalSpy opened(dialog.get(), &ProgrammerDialog::opened);
    dialog->show();
    ASSERT_TRUE(opened.count() > 0 || opened.wait(15000));
    watch.stop();

    EXPECT_GT(dialog->Session(), 0);
    EXPECT_EQ(chooserCalls, 0);
    EXPECT_TRUE(recorder.records.isEmpty());
    EXPECT_TRUE(dialog->windowTitle().contains(device + ":1")) << dialog->windowTitle().toStdString();
    EXPECT_TRUE(waitCursorSeen);
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr); // gone once connected

    QTest::mouseClick(dialog->findChild<QPushButton*>("button1012"), Qt::LeftButton);
    QComboBox* selection = dialog->findChild<QComboBox*>("combo1095");
    ASSERT_NE(selection, nullptr);
    ASSERT_EQ(selection->count(), 1);
    EXPECT_EQ(selection->itemText(0), "E2 00 34 12");
    EXPECT_EQ(module->GetStatus().links, 1u);
    // The stored name stays as it was.
    EXPECT_EQ(appkit::SettingsStore(kProgram).GetString("Port", "Name", ""), "Bluetooth: " + device);
}

} // namespace
