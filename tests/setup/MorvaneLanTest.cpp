// Morvane's "IP-Adresse" against a simulated network reader on loopback:
// the LAN settings dialog reads the reader's settings, sends new ones, and
// finds the reader again under its new address after its restart. The
// searches broadcast to 127.255.255.255 (KVPLM_LAN_BROADCAST) only; the
// test holds UDP 30718 (its own program, with the LAN lock).
#include "MorvaneUiSupport.h"

#include "IpAddressEdit.h"
#include "LanDialog.h"
#include "LanSimulator.h"
#include "MainFrame.h"
#include "Messages.h"

#include <QAction>
#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <gtest/gtest.h>

#include <chrono>
#include <memory>

namespace {

using namespace MorvaneUi;
using namespace std::chrono_literals;

constexpr appkit::Program kProgram = appkit::Program::Morvane;

void StoreLanPort(const QString& name) {
    appkit::SettingsStore store(kProgram);
    store.WriteString(QStringLiteral("Port"), QStringLiteral("Name"), name);
    store.WriteInt(QStringLiteral("Port"), QStringLiteral("Timeout"), 300);
    store.WriteInt(QStringLiteral("Port"), QStringLiteral("EthernetAktiv"), 1);
    store.Sync();
}

QString StoredName() {
    return appkit::SettingsStore(kProgram).GetString(QStringLiteral("Port"), QStringLiteral("Name"),
                                                     QStringLiteral("<none>"));
}

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

class MorvaneLanTest : public ::testing::Test {
protected:
    void SetUp() override {
        // Every search stays on loopback.
        qputenv("KVPLM_LAN_BROADCAST", "127.255.255.255");
        appkit::ProgramInfo::SetCurrent(kProgram);
        appkit::Messages::SetRecorder(&recorder);
        ClearSettings();
    }
    void TearDown() override {
        appkit::Messages::SetRecorder(nullptr);
        ClearSettings();
    }
    QStringList MessageTexts() const {
        QStringList texts;
        for (const appkit::Messages::Record& record : recorder.records)
            texts.append(record.text);
        return texts;
    }

    appkit::Messages::Recorder recorder;
};

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

struct Seen {
    QString mode, address, port;
    QList<int> progress;
    bool busyWhenShown = true;
    int result = -1;
};

TEST_F(MorvaneLanTest, IpAddressMovesTheReaderToANewAddressAndFindsItThere) {
    NetworkReader plm;
    std::string error;
    ASSERT_TRUE(plm.endpoint.Start(&error)) << error;
    StoreLanPort(QStringLiteral("LAN: 127.0.0.2-10001"));

    CMainFrame frame;
    int chooserCalls = 0;
    frame.SetChooser([&chooserCalls] { return ++chooserCalls, false; });
    frame.Create();
    frame.ConnectAtStart();
    ASSERT_EQ(chooserCalls, 0) << MessageTexts().join('|').toStdString();
    EXPECT_TRUE(frame.windowTitle().contains(QStringLiteral("127.0.0.2-10001")))
        << frame.windowTitle().toStdString();
    ASSERT_TRUE(frame.Action(CMainFrame::CmdIpAddress)->isEnabled());

    // The dialog shows the reader's fixed address; the test gives it a new
    // one and a new port.
    auto seen = std::make_shared<Seen>();
    OnModal<frontend::LanDialog>([seen](frontend::LanDialog* dialog) {
        seen->mode = dialog->findChild<QRadioButton*>("radio1252")->isChecked() ? "static" : "other";
        auto* ip = dialog->findChild<frontend::IpAddressEdit*>("ip1243");
        auto* port = dialog->findChild<QLineEdit*>("edit1246");
        seen->address = ip->Octets().join('.');
        seen->port = port->text();
        QObject::connect(dialog, &frontend::LanDialog::progressShown, dialog, [seen, dialog](int value) {
            seen->progress.append(value);
            seen->busyWhenShown = seen->busyWhenShown && dialog->Busy() && dialog->isVisible();
        });
        QObject::connect(dialog, &QDialog::finished, [seen](int result) { seen->result = result; });
        ip->SetOctets({"127", "0", "0", "5"});
        port->setText("10002");
        dialog->findChild<QPushButton*>("buttonOk")->click();
    });
    frame.setWindowTitle(QStringLiteral("-"));
    ModalWatchdog watchdog;
    frame.Action(CMainFrame::CmdIpAddress)->trigger();
    EXPECT_FALSE(watchdog.fired);

    EXPECT_EQ(seen->mode, "static");
    EXPECT_EQ(seen->address, "127.0.0.2");
    EXPECT_EQ(seen->port, "10001");
    // The reader took the new settings and came back under them.
    EXPECT_EQ(plm.endpoint.Restarts(), 1u);
    EXPECT_EQ(plm.endpoint.Address(), "127.0.0.5");
    EXPECT_EQ(plm.endpoint.Port(), 10002);
    // The progress moved while the dialog looked for the reader, and the
    // dialog closed with OK once it found it, long before the 25 s.
    ASSERT_GE(seen->progress.size(), 2) << seen->progress.size();
    for (int i = 1; i < seen->progress.size(); ++i)
        EXPECT_GT(seen->progress[i], seen->progress[i - 1]);
    EXPECT_LT(seen->progress.back(), 25000);
    EXPECT_TRUE(seen->busyWhenShown);
    EXPECT_EQ(seen->result, QDialog::Accepted);
    // Stored and connected again: the title names the new address.
    EXPECT_EQ(StoredName(), "LAN: 127.0.0.5-10002");
    EXPECT_TRUE(frame.windowTitle().contains(QStringLiteral("127.0.0.5-10002")))
        << frame.windowTitle().toStdString();
    EXPECT_TRUE(frame.windowTitle().startsWith(QStringLiteral("KV-PLM Morvane V1.04 <")))
        << frame.windowTitle().toStdString();
    EXPECT_TRUE(frame.Action(CMainFrame::CmdIpAddress)->isEnabled());
    EXPECT_EQ(chooserCalls, 0);
    EXPECT_TRUE(recorder.records.isEmpty()) << MessageTexts().join('|').toStdString();
}

} // namespace
