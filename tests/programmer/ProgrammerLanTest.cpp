// The programmer's network settings entry under Qt Test (offscreen): after a
// network connect it shows the LAN settings dialog over the main dialog and
// then connects again with what is stored. The dialog talks to the network
// (UDP 30718 on loopback), hence a program of its own with the LAN lock.
#include "SimFixture.h"

#include "IpAddressEdit.h"
#include "LanDialog.h"
#include "LanSimulator.h"
#include "Messages.h"
#include "ProgrammerDialog.h"
#include "ProgrammerShell.h"
#include "SettingsStore.h"
#include "UiHooks.h"

#include <QAction>
#include <QApplication>
#include <QDeadlineTimer>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QSettings>
#include <QSignalSpy>
#include <QTimer>
#include <chrono>
#include <functional>
#include <memory>

using namespace Programmer;
using namespace std::chrono_literals;

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

// Bounds a test that waits in a modal dialog's event loop: a dialog still
// open when the time is up is ended, so a fault fails the test instead of
// hanging it.
struct ModalWatchdog {
    explicit ModalWatchdog(int ms = 60000) {
        timer.setSingleShot(true);
        QObject::connect(&timer, &QTimer::timeout, [this] {
            fired = true;
            if (auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget()))
                dialog->done(QDialog::Rejected);
        });
        timer.start(ms);
    }
    QTimer timer;
    bool fired = false;
};

// A reader with a network module at 127.0.0.2, port 10001, that restarts
// quickly.
struct NetworkReader {
    NetworkReader()
        : module(
              [] {
                  CSimNetModule::Settings settings;
                  settings.address = {127, 0, 0, 2};
                  settings.port = 10001;
                  return settings;
              }(),
              "KV-PLM41 LAN"),
          endpoint(reader, module, [] {
              CLanSimulator::Options options;
              options.address = {127, 0, 0, 2};
              options.restartDelay = 200ms;
              return options;
          }()) {}
    CSimReader reader;
    CSimNetModule module;
    CLanSimulator endpoint;
};

class ProgrammerLanTest : public SimFixture {
protected:
    void SetUp() override {
        // Every search stays on loopback (set here: the test's properties
        // hold one environment entry only).
        qputenv("KVPLM_LAN_BROADCAST", "127.255.255.255");
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

TEST_F(ProgrammerLanTest, TheNetworkEntryMovesTheReaderToANewAddressAndFindsItThere) {
    NetworkReader plm;
    std::string error;
    ASSERT_TRUE(plm.endpoint.Start(&error)) << error;
    StorePort("LAN: 127.0.0.2-10001", 1);
    Open();
    ASSERT_GT(dialog->Session(), 0) << recorder.records.value(0).text.toStdString();
    EXPECT_EQ(chooserCalls, 0);
    ASSERT_TRUE(dialog->NetworkConnect());
    ASSERT_TRUE(NetworkEntry()->isEnabled());
    EXPECT_TRUE(dialog->windowTitle().contains("127.0.0.2-10001")) << dialog->windowTitle().toStdString();

    // The dialog shows the reader's fixed address; the test gives it a new
    // one and a new port. While it looks for the reader (inside the link
    // library's searches too, which keep the events going) it stays
    // enabled: the waits disable no window under a dialog over the main one.
    struct Seen {
        QString address, port;
        QList<int> progress;
        int samples = 0, disabled = 0;
        int result = -1;
    };
    auto seen = std::make_shared<Seen>();
    OnModal<frontend::LanDialog>([seen](frontend::LanDialog* lan) {
        auto* ip = lan->findChild<frontend::IpAddressEdit*>("ip1243");
        auto* port = lan->findChild<QLineEdit*>("edit1246");
        seen->address = ip->Octets().join('.');
        seen->port = port->text();
        QObject::connect(lan, &frontend::LanDialog::progressShown, lan,
                         [seen](int value) { seen->progress.append(value); });
        QObject::connect(lan, &QDialog::finished, [seen](int result) { seen->result = result; });
        auto* sampler = new QTimer(lan);
        sampler->setInterval(5);
        QObject::connect(sampler, &QTimer::timeout, lan, [seen, lan] {
            if (!lan->Busy()) return;
            ++seen->samples;
            if (!lan->isEnabled()) ++seen->disabled;
        });
        sampler->start();
        ip->SetOctets({"127", "0", "0", "5"});
        port->setText("10002");
        lan->findChild<QPushButton*>("buttonOk")->click();
    });
    ModalWatchdog watchdog;
    NetworkEntry()->trigger();
    EXPECT_FALSE(watchdog.fired);

    EXPECT_EQ(seen->address, "127.0.0.2");
    EXPECT_EQ(seen->port, "10001");
    EXPECT_EQ(plm.endpoint.Restarts(), 1u);
    EXPECT_EQ(plm.endpoint.Address(), "127.0.0.5");
    EXPECT_EQ(plm.endpoint.Port(), 10002);
    ASSERT_GE(seen->progress.size(), 2);
    for (int i = 1; i < seen->progress.size(); ++i)
        EXPECT_GT(seen->progress[i], seen->progress[i - 1]);
    EXPECT_LT(seen->progress.back(), 25000);
    EXPECT_GT(seen->samples, 0);
    EXPECT_EQ(seen->disabled, 0);
    EXPECT_EQ(seen->result, QDialog::Accepted);
    // Stored, and connected again under the new address.
    EXPECT_EQ(StoredName(), "LAN: 127.0.0.5-10002");
    EXPECT_GT(dialog->Session(), 0);
    EXPECT_TRUE(dialog->NetworkConnect());
    EXPECT_TRUE(dialog->isEnabled());
    EXPECT_TRUE(dialog->windowTitle().contains("127.0.0.5-10002")) << dialog->windowTitle().toStdString();
    EXPECT_EQ(chooserCalls, 0);
    EXPECT_TRUE(recorder.records.isEmpty()) << recorder.records.value(0).text.toStdString();
}

} // namespace
