// The programmer's network settings entry under Qt Test (offscreen): after a
// network connect it shows the LAN settings dialog over the main dialog and
// then connects again with what is stored. The dialog talks to the network
// (UDP 30718 on loopback), hence a program of its own with the LAN lock.
#include "SimFixture.h"

#include "LanDialog.h"
#include "Messages.h"
#include "ProgrammerDialog.h"
#include "ProgrammerShell.h"
#include "SettingsStore.h"
#include "UiHooks.h"

#include <QAction>
#include <QApplication>
#include <QDeadlineTimer>
#include <QMenu>
#include <QRadioButton>
#include <QSettings>
#include <QSignalSpy>
#include <QTimer>
#include <functional>
#include <memory>

using namespace Programmer;

namespace {

constexpr appkit::Program kProgram = appkit::Program::Programmer;

void ClearProgrammerSettings() {
    QSettings settings(appkit::ProgramInfo::CompanyKey(), appkit::ProgramInfo::ProgramKey(kProgram));
    settings.clear();
    settings.sync();
}

void StorePort(const QString& name, int ethernet = 0) {
    appkit::SettingsStore store(kProgram);
    store.WriteString("Port", "Name", name);
    store.WriteInt("Port", "Timeout", 300);
    store.WriteInt("Port", "EthernetAktiv", ethernet);
    store.Sync();
}

QString StoredName() {
    return appkit::SettingsStore(kProgram).GetString("Port", "Name", "<none>");
}

// Runs action on the next modal dialog of type T once it is open; gives up
// after timeoutMs. The action closes the dialog.
template <class T> void OnModal(std::function<void(T*)> action, int timeoutMs = 15000) {
    auto* timer = new QTimer;
    auto deadline = std::make_shared<QDeadlineTimer>(timeoutMs);
    timer->setInterval(5);
    QObject::connect(timer, &QTimer::timeout, [timer, deadline, action] {
        auto* dialog = qobject_cast<T*>(QApplication::activeModalWidget());
        if ((dialog && dialog->isVisible()) || deadline->hasExpired()) {
            timer->stop();
            timer->deleteLater();
            if (dialog) action(dialog);
        }
    });
    timer->start();
}

class ProgrammerLanTest : public SimFixture {
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

    // Shows the main dialog as the shell runs it and waits until its
    // connect at opening is over.
    ProgrammerDialog& Open() {
        dialog = std::make_unique<ProgrammerDialog>();
        ProgrammerShell::InstallHooks(*dialog);
        dialog->SetChooser([this] {
            ++chooserCalls;
            return chooser ? chooser() : false;
        });
        QSignalSpy opened(dialog.get(), &ProgrammerDialog::opened);
        dialog->show();
        EXPECT_TRUE(opened.count() > 0 || opened.wait(10000));
        return *dialog;
    }
    QAction* NetworkEntry() { return dialog->SystemMenu()->actions()[1]; }

    appkit::Messages::Recorder recorder;
    std::unique_ptr<ProgrammerDialog> dialog;
    std::function<bool()> chooser;
    int chooserCalls = 0;
};

TEST_F(ProgrammerLanTest, TheNetworkEntryShowsTheLanDialogAfterANetworkConnectThenConnectsAgain) {
    // A network port where no reader answers: the connect fails, the entry
    // is enabled all the same.
    StorePort("LAN: 127.0.0.9-10001");
    Open();
    EXPECT_EQ(dialog->Session(), 0);
    EXPECT_EQ(chooserCalls, 1);
    ASSERT_TRUE(dialog->NetworkConnect());
    ASSERT_TRUE(NetworkEntry()->isEnabled());

    // The dialog over the main dialog; nothing could be read, so no mode.
    // The reader is moved to a serial line meanwhile (as the user might
    // have), and cancelled the dialog stores nothing.
    StartDevice(0x313, {"30 00 11 22"});
    auto seen = std::make_shared<QString>();
    ProgrammerDialog* main = dialog.get();
    const QString serial = QString::fromStdString(path);
    OnModal<frontend::LanDialog>([seen, main, serial](frontend::LanDialog* lan) {
        *seen = lan->windowTitle();
        if (lan->parentWidget() == main) *seen += "|over the main dialog";
        if (!lan->findChild<QRadioButton*>("radio1251")->isChecked() &&
            !lan->findChild<QRadioButton*>("radio1252")->isChecked())
            *seen += "|no mode";
        StorePort(serial);
        lan->reject();
    });
    NetworkEntry()->trigger();
    EXPECT_EQ(*seen, "LAN Einstellung|over the main dialog|no mode");
    EXPECT_EQ(StoredName(), serial);
    // Connected again with the stored settings: the serial device.
    EXPECT_GT(dialog->Session(), 0);
    EXPECT_FALSE(dialog->NetworkConnect());
    EXPECT_FALSE(NetworkEntry()->isEnabled());
    EXPECT_EQ(chooserCalls, 1);

    // After a serial connect the entry does nothing even when run.
    int lanDialogs = 0;
    dialog->SetLanSettings([&](QWidget*) { ++lanDialogs; });
    dialog->RunCommand(ProgrammerDialog::NetworkSettingsCommand);
    EXPECT_EQ(lanDialogs, 0);
    EXPECT_GT(dialog->Session(), 0);
}

} // namespace
