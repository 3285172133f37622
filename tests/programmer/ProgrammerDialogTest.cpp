// The programmer's main dialog and shell under Qt Test (offscreen) against
// the simulated device: connect and refusal, the operations through the
// controls, the field updates, Enter and Escape, the cyclic inventory while
// the field changes, the menu entries and the language switch.
#include "SimFixture.h"

#include "AboutDialog.h"
#include "Messages.h"
#include "ProgrammerDialog.h"
#include "ProgrammerShell.h"
#include "SettingsStore.h"
#include "Texts.h"
#include "UiHooks.h"

#include "LinkApi.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QSettings>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <QToolButton>

using namespace Programmer;

namespace {

constexpr appkit::Program kProgram = appkit::Program::Programmer;

void ClearProgrammerSettings() {
    QSettings settings(appkit::ProgramInfo::CompanyKey(), appkit::ProgramInfo::ProgramKey(kProgram));
    settings.clear();
    settings.sync();
}

void StorePort(const QString& name) {
    appkit::SettingsStore store(kProgram);
    store.WriteString("Port", "Name", name);
    store.WriteInt("Port", "Timeout", 300);
}

int Sprache() {
    return appkit::SettingsStore(kProgram).GetInt("Settings", "Sprache", -1);
}

// The menu as (command id or 0 for a separator, text, enabled).
struct Entry {
    int command;
    QString text;
    bool enabled;
    bool operator==(const Entry& other) const {
        return command == other.command && text == other.text && enabled == other.enabled;
    }
};
std::ostream& operator<<(std::ostream& out, const Entry& entry) {
    return out << "{" << entry.command << ", " << entry.text.toStdString() << ", " << entry.enabled << "}";
}
std::vector<Entry> Entries(const QMenu* menu) {
    std::vector<Entry> entries;
    for (const QAction* action : menu->actions())
        entries.push_back(action->isSeparator()
                              ? Entry{0, {}, true}
                              : Entry{action->data().toInt(), action->text(), action->isEnabled()});
    return entries;
}

class ProgrammerDialogTest : public SimFixture {
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
        appkit::Texts::ReleaseLanguageModule(kProgram);
        ProgrammerShell::SetLanguageModulePath({});
        ClearProgrammerSettings();
        SimFixture::TearDown();
    }

    // The device with these transponders, stored as the programmer's port.
    void StartProgrammer(const std::vector<std::string>& epcs, uint16_t type = 0x313) {
        StartDevice(type, epcs);
        StorePort(QString::fromStdString(path));
    }

    // Shows the dialog and waits until its connect at opening is over.
    ProgrammerDialog& Open() {
        dialog = std::make_unique<ProgrammerDialog>();
        appkit::UiHooks::Install(dialog.get());
        dialog->SetChooser([this] {
            ++chooserCalls;
            return chooser ? chooser() : false;
        });
        QSignalSpy opened(dialog.get(), &ProgrammerDialog::opened);
        dialog->show();
        EXPECT_TRUE(opened.count() > 0 || opened.wait(10000));
        return *dialog;
    }
    void Activate() {
        QApplication::setActiveWindow(dialog.get());
        dialog->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(dialog.get()));
    }

    template <class W> W* Get(const QString& name) {
        W* widget = dialog->findChild<W*>(name);
        EXPECT_NE(widget, nullptr) << name.toStdString();
        return widget;
    }
    QLineEdit* Edit(int id) { return Get<QLineEdit>(QStringLiteral("edit%1").arg(id)); }
    QPushButton* Button(int id) { return Get<QPushButton>(QStringLiteral("button%1").arg(id)); }
    QComboBox* Selection() { return Get<QComboBox>(QStringLiteral("combo1095")); }
    void Click(int id) { QTest::mouseClick(Button(id), Qt::LeftButton); }
    QString Status() { return Edit(1068)->text(); }
    QStringList Listed() {
        QStringList entries;
        for (int i = 0; i < Selection()->count(); ++i)
            entries.append(Selection()->itemText(i));
        return entries;
    }
    // Every control the cyclic inventory locks (all but its own button).
    QList<QWidget*> OtherControls() {
        QList<QWidget*> controls;
        for (QWidget* widget : dialog->findChildren<QWidget*>()) {
            const QString name = widget->objectName();
            if ((name.startsWith("edit") || name.startsWith("combo") || name.startsWith("button") ||
                 name == "menuButton") &&
                name != "button1070")
                controls.append(widget);
        }
        return controls;
    }
    // Waits round after round of the cyclic inventory until done() holds.
    bool WaitForRounds(QSignalSpy& rounds, const std::function<bool()>& done, int limitMs = 10000) {
        QElapsedTimer clock;
        clock.start();
        while (!done()) {
            const int left = limitMs - int(clock.elapsed());
            if (left <= 0 || !rounds.wait(left)) return done();
        }
        return true;
    }

    appkit::Messages::Recorder recorder;
    std::unique_ptr<ProgrammerDialog> dialog;
    std::function<bool()> chooser;
    int chooserCalls = 0;
};

TEST_F(ProgrammerDialogTest, ConnectsAtOpeningWithTheDeviceInTheTitle) {
    StartProgrammer({"30 00 11 22"});
    Open();
    EXPECT_GT(dialog->Session(), 0);
    EXPECT_EQ(dialog->windowTitle().toStdString(),
              "Norda KV-PLM Programmer V2.00 <KV-PLM72 Plus " + path + ":1  Firmware V1.05>");
    EXPECT_EQ(Commands(), (std::vector<std::string>{"F0", "F0", "F4 00"}));
    EXPECT_EQ(chooserCalls, 0);
    EXPECT_TRUE(recorder.records.isEmpty());
    // The labels and frames are the programmer's texts.
    EXPECT_EQ(Get<QLabel>("label1078")->text(), "Nutzlänge:");
    EXPECT_EQ(Button(1070)->text(), "Inventory Zyklisch");
    EXPECT_TRUE(Button(1070)->isCheckable());
    EXPECT_TRUE(Edit(1044)->isReadOnly());
}

TEST_F(ProgrammerDialogTest, AReaderOnlyDeviceIsRefusedAndItsPortClosed) {
    StartProgrammer({"30 00 11 22"}, 0x301);
    Open();
    EXPECT_EQ(dialog->Session(), 0);
    ASSERT_EQ(recorder.records.size(), 1);
    EXPECT_EQ(recorder.records[0].text,
              "Das gewählte Gerät ist ein reiner Leser! Hier wird jedoch ein Programmer benötigt!");
    EXPECT_EQ(recorder.records[0].title, "Norda KV-PLM Programmer");
    EXPECT_EQ(chooserCalls, 1); // the interface dialog was offered (and cancelled)
    EXPECT_EQ(dialog->windowTitle(), "Norda KV-PLM Programmer V2.00 <>");
    const int id = LinkOpen((path + ":1").c_str(), 19200, 0, 300);
    EXPECT_GT(id, 0) << "the refused session still holds the port";
    LinkClose(id);
    // Unconnected, an addressed operation says so.
    Click(1042);
    EXPECT_EQ(Status(), "Kein Zugriff auf Gerät möglich");
}

TEST_F(ProgrammerDialogTest, AFailedConnectOffersTheInterfaceDialogUntilOneSucceeds) {
    StartDevice(0x313, {"30 00 11 22"});
    StorePort("/dev/kvplm-test-no-such-port");
    int attempts = 0;
    chooser = [&] {
        // The first choice is no better; the second is the device.
        StorePort(++attempts == 1 ? "/dev/kvplm-test-still-none" : QString::fromStdString(path));
        return true;
    };
    Open();
    EXPECT_EQ(chooserCalls, 2);
    EXPECT_GT(dialog->Session(), 0);
    ASSERT_EQ(recorder.records.size(), 2);
    EXPECT_EQ(recorder.records[0].text, "Fehler beim Port öffnen");
    EXPECT_TRUE(dialog->windowTitle().contains("Firmware V1.05>"));
}

TEST_F(ProgrammerDialogTest, OperationsTakeOverTheControlsAndShowTheOutcome) {
    StartProgrammer({"30 00 11 22 33 44", "E2 00 00 01"});
    Open();
    Click(1012);
    EXPECT_EQ(Listed(), (QStringList{"30 00 11 22 33 44", "E2 00 00 01"}));
    EXPECT_EQ(Selection()->currentText(), "30 00 11 22 33 44");
    EXPECT_EQ(Edit(1033)->text(), "2");

    // The user picks the second transponder and writes user memory; the data
    // are shorter than the length, which question 125 (answered Yes) keeps.
    Selection()->setCurrentIndex(1);
    Edit(1028)->setText("2");
    Edit(1075)->setText("4");
    Edit(1030)->setText("11 22");
    recorder.answers = {QMessageBox::Yes};
    Click(1047);
    ASSERT_EQ(recorder.records.size(), 1);
    EXPECT_EQ(recorder.records[0].buttons, QMessageBox::Yes | QMessageBox::No);
    EXPECT_EQ(Edit(1030)->text(), "11 22 00 00");
    EXPECT_EQ(Status(), "Schreiben erfolgreich");
    CSimTransponder::Bytes user;
    reader->FindTag(H("E2 00 00 01"))->Read(CSimTransponder::UserBank, 0, 6, user);
    EXPECT_EQ(SimHex::Format(user.data(), user.size()), "00 00 11 22 00 00");

    // Read all fills every field from the first transponder of its inventory.
    Click(1032);
    EXPECT_EQ(Edit(1041)->text(), "30 00 11 22 33 44");
    EXPECT_EQ(Edit(1040)->text(), "18 00");
    EXPECT_EQ(Edit(1078)->text(), "6");
    EXPECT_EQ(Edit(1076)->text(), "6");
    EXPECT_EQ(Edit(1077)->text(), "12");
    EXPECT_EQ(Edit(1028)->text(), "0");
    EXPECT_EQ(Edit(1075)->text(), "64");
    EXPECT_EQ(Edit(1034)->text(), "00 00 00 00");
    EXPECT_EQ(Status(), "Lesen erfolgreich");

    // A password of three bytes is refused without a frame.
    reader->ClearLogs();
    Edit(1035)->setText("01 02 03");
    Click(1038);
    EXPECT_EQ(Status(), "Das Passwort muss 4 Byte lang sein!");
    EXPECT_TRUE(Commands().empty());

    // A number field without a number: the message, the field, nothing sent.
    Edit(1033)->setText("zwei");
    Click(1012);
    ASSERT_EQ(recorder.records.size(), 2);
    EXPECT_EQ(recorder.records[1].text, "Geben Sie eine ganze Zahl ein.");
    EXPECT_TRUE(Commands().empty());
}

TEST_F(ProgrammerDialogTest, EpcWritePausesInAnEventLoopWithTheWindowLocked) {
    StartProgrammer({"30 00 11 22"});
    Open();
    Click(1012);
    Edit(1041)->setText("E2 00 00 99");
    Edit(1078)->setText("4");
    EXPECT_EQ(Edit(1040)->text(), "10 00"); // the PC follows the payload length

    // Events keep coming during the write, but no input can reach the window.
    int ticks = 0, ticksEnabled = 0;
    bool writing = false;
    QTimer ticker;
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        if (!writing) return;
        ++ticks;
        if (dialog->isEnabled()) ++ticksEnabled;
    });
    ticker.start(20);
    QElapsedTimer clock;
    clock.start();
    writing = true;
    Click(1043);
    writing = false;
    EXPECT_GE(clock.elapsed(), 390); // one RF cycle: field off 200 ms, on 200 ms
    EXPECT_GE(ticks, 5);
    EXPECT_EQ(ticksEnabled, 0);
    EXPECT_TRUE(dialog->isEnabled());
    EXPECT_EQ(Selection()->currentText(), "E2 00 00 99");
    EXPECT_TRUE(reader->FindTag(H("E2 00 00 99")).has_value());
}

// A hex field that is no bytes is refused: its name in the status, the
// focus on it, nothing sent. An unspaced EPC is its bytes.
TEST_F(ProgrammerDialogTest, HexFieldsThatAreNoBytesAreRefusedAndRunsAreBytes) {
    StartProgrammer({"30 00 11 22"});
    Open();
    Activate();
    Click(1012);
    reader->ClearLogs();
    Edit(1034)->setText("11 22 33 GG");
    Click(1036);
    EXPECT_EQ(Status(), "Ungültige Hex-Eingabe bei \"Kill Passwort\": \"GG\" (erlaubt sind 0-9, A-F und "
                        "Leerzeichen, ohne Leerzeichen eine gerade Anzahl Ziffern)");
    EXPECT_TRUE(Edit(1034)->hasFocus());
    EXPECT_EQ(Edit(1034)->selectedText(), "11 22 33 GG");
    Edit(1030)->setText("ZZ 11 22 33 44 XY");
    Edit(1075)->setText("6");
    Click(1047);
    EXPECT_TRUE(recorder.records.isEmpty()); // no question 125 for data that are no bytes
    EXPECT_TRUE(Edit(1030)->hasFocus());
    EXPECT_TRUE(Commands().empty());
    EXPECT_EQ(reader->FindTag(H("30 00 11 22"))->KillPassword(), H("00 00 00 00"));

    // Typed unspaced, the EPC length follows the digits and the write puts
    // the bytes behind the PC.
    Edit(1041)->setText("E20034120123456789ABCDEF");
    EXPECT_EQ(Edit(1076)->text(), "12");
    Edit(1078)->setText("12");
    Click(1043);
    EXPECT_EQ(Commands().at(1), "C4 01 01 00 00 30 00 E2 00 34 12 01 23 45 67 89 AB CD EF");
    EXPECT_EQ(Selection()->currentText(), "E2 00 34 12 01 23 45 67 89 AB CD EF");
}

// After an EPC write the status says it worked and CRC and PC are the new
// transponder's, read back.
TEST_F(ProgrammerDialogTest, EpcWriteSaysItSucceededAndShowsTheNewCrcAndPc) {
    StartProgrammer({"30 00 11 22"});
    Open();
    Click(1012);
    Click(1042);
    const QString oldCrc = Edit(1039)->text();
    ASSERT_FALSE(oldCrc.isEmpty());
    Edit(1041)->setText("E2 00 00 99");
    Edit(1040)->setText("17 5A"); // bits the write does not keep
    Edit(1078)->setText("4");
    EXPECT_EQ(Edit(1040)->text(), "17 5A");
    Click(1043);
    const CSimTransponder tag = *reader->FindTag(H("E2 00 00 99"));
    const QString crc = QString::asprintf("%02X %02X", tag.StoredCrc() >> 8, tag.StoredCrc() & 0xFF);
    EXPECT_NE(crc, oldCrc);
    EXPECT_EQ(Edit(1039)->text(), crc);
    EXPECT_EQ(Edit(1040)->text(), "10 00");
    EXPECT_EQ(Status(), "Schreiben erfolgreich");
    EXPECT_EQ(Commands().back(), "C3 01 00 00 00 04");
}

// An unplugged device: the cyclic inventory stops, the status says so, the
// title names no device, and the next operation connects again.
TEST_F(ProgrammerDialogTest, ALostDeviceStopsTheRoundsAndTheNextOperationConnectsAgain) {
    StartDevice(0x313, {"AA 01 02 03"}, true);
    StorePort(QString::fromStdString(path));
    Open();
    const QString connected = dialog->windowTitle();
    const QString idle = "Norda KV-PLM Programmer V2.00 <>";
    const QString lost = "Die Verbindung zum Gerät ist verloren gegangen.";
    ASSERT_NE(connected, idle);
    QPushButton* cyclic = Button(1070);
    QSignalSpy rounds(dialog.get(), &ProgrammerDialog::cyclicInventoryRound);
    QSignalSpy ended(dialog.get(), &ProgrammerDialog::cyclicInventoryEnded);
    QTest::mouseClick(cyclic, Qt::LeftButton);
    ASSERT_TRUE(WaitForRounds(rounds, [&] { return Listed() == QStringList{"AA 01 02 03"}; }));

    sim->Unplug();
    ASSERT_TRUE(ended.count() > 0 || ended.wait(10000));
    EXPECT_FALSE(dialog->CyclicInventoryRunning());
    EXPECT_FALSE(cyclic->isChecked());
    for (QWidget* control : OtherControls())
        EXPECT_TRUE(control->isEnabled()) << control->objectName().toStdString();
    EXPECT_EQ(Status(), lost);
    EXPECT_EQ(dialog->windowTitle(), idle);
    EXPECT_EQ(dialog->Session(), 0);
    EXPECT_TRUE(recorder.records.isEmpty());
    // What the last round found stays listed.
    EXPECT_EQ(Listed(), QStringList{"AA 01 02 03"});

    // Plugged in again: the next operation connects with the stored settings.
    std::string error;
    ASSERT_TRUE(sim->Start(&error)) << error;
    reader->ClearLogs();
    Click(1012);
    EXPECT_GT(dialog->Session(), 0);
    EXPECT_EQ(dialog->windowTitle(), connected);
    EXPECT_EQ(Commands(), (std::vector<std::string>{"F0", "F0", "F4 00", "C0 00"}));
    EXPECT_EQ(Status(), "");

    // Unplugged while idle: noticed without an operation, nothing sent.
    QSignalSpy titles(dialog.get(), &QWidget::windowTitleChanged);
    reader->ClearLogs();
    sim->Unplug();
    ASSERT_TRUE(titles.count() > 0 || titles.wait(10000));
    EXPECT_EQ(dialog->windowTitle(), idle);
    EXPECT_EQ(Status(), lost);
    EXPECT_EQ(dialog->Session(), 0);
    EXPECT_TRUE(Commands().empty());

    // Still unplugged, the operation's connect fails with its message; the
    // one after the device is back connects.
    Click(1045);
    ASSERT_EQ(recorder.records.size(), 1);
    EXPECT_EQ(recorder.records[0].text, "Fehler beim Port öffnen");
    EXPECT_EQ(Status(), "Kein Zugriff auf Gerät möglich");
    ASSERT_TRUE(sim->Start(&error)) << error;
    Click(1045);
    EXPECT_GT(dialog->Session(), 0);
    EXPECT_EQ(Status(), "Lesen erfolgreich");
    EXPECT_EQ(Edit(1077)->text(), "12");
}

TEST_F(ProgrammerDialogTest, FieldUpdatesFollowTheEdits) {
    StorePort("/dev/kvplm-test-no-such-port");
    Open();
    Activate();
    QTest::keyClicks(Edit(1041), "E2 00 1");
    EXPECT_EQ(Edit(1076)->text(), "3");

    Edit(1040)->setText("07 5A");
    Edit(1078)->clear();
    QTest::keyClicks(Edit(1078), "12");
    EXPECT_EQ(Edit(1040)->text(), "37 5A");
    Edit(1040)->setText("30 00");
    Edit(1078)->setText("8");
    EXPECT_EQ(Edit(1040)->text(), "20 00");

    // Odd start, length and payload length become even as the focus leaves.
    for (int id : {1028, 1075, 1078}) {
        Edit(id)->setFocus();
        Edit(id)->setText("5");
        Edit(1030)->setFocus();
        EXPECT_EQ(Edit(id)->text(), "4") << id;
    }
}

TEST_F(ProgrammerDialogTest, EnterNeverClosesTheDialogAndEscapeDoes) {
    StartProgrammer({"30 00 11 22"});
    Open();
    Activate();
    reader->ClearLogs();
    Edit(1041)->setFocus();
    QTest::keyClick(Edit(1041), Qt::Key_Return);
    Selection()->setFocus();
    QTest::keyClick(Selection(), Qt::Key_Enter);
    QTest::keyClick(dialog.get(), Qt::Key_Return);
    EXPECT_TRUE(dialog->isVisible());
    EXPECT_TRUE(Commands().empty()) << "Enter started an operation";

    // On a button that has the focus, Enter presses it.
    Button(1012)->setFocus();
    QTest::keyClick(Button(1012), Qt::Key_Return);
    EXPECT_TRUE(dialog->isVisible());
    EXPECT_EQ(Commands(), (std::vector<std::string>{"C0 00"}));

    QTest::keyClick(dialog.get(), Qt::Key_Escape);
    EXPECT_FALSE(dialog->isVisible());
    EXPECT_EQ(dialog->result(), QDialog::Rejected);
    EXPECT_EQ(dialog->Session(), 0);
    const int id = LinkOpen((path + ":1").c_str(), 19200, 0, 300);
    EXPECT_GT(id, 0) << "closing the dialog left the port open";
    LinkClose(id);
}

TEST_F(ProgrammerDialogTest, CyclicInventoryFollowsTheFieldWithTheWindowResponsive) {
    StartProgrammer({"AA 01 02 03"});
    Open();
    QPushButton* cyclic = Button(1070);
    QSignalSpy rounds(dialog.get(), &ProgrammerDialog::cyclicInventoryRound);
    QSignalSpy ended(dialog.get(), &ProgrammerDialog::cyclicInventoryEnded);
    // Sampled whenever the event loop runs: the window must stay enabled,
    // the reply waits included.
    int ticks = 0, ticksDisabled = 0;
    QTimer ticker;
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        if (!dialog->CyclicInventoryRunning()) return;
        ++ticks;
        if (!dialog->isEnabled()) ++ticksDisabled;
    });
    ticker.start(5);
    reader->ClearLogs();

    QTest::mouseClick(cyclic, Qt::LeftButton);
    ASSERT_TRUE(dialog->CyclicInventoryRunning());
    ASSERT_TRUE(WaitForRounds(rounds, [&] { return Listed() == QStringList{"AA 01 02 03"}; }));
    for (QWidget* control : OtherControls())
        EXPECT_FALSE(control->isEnabled()) << control->objectName().toStdString();
    EXPECT_TRUE(cyclic->isEnabled());
    EXPECT_TRUE(cyclic->isChecked());

    // The field changes while it runs.
    reader->PlaceTag(CSimTransponder(H("BB 04 05 06")));
    ASSERT_TRUE(WaitForRounds(rounds, [&] { return Listed().size() == 2; }));
    EXPECT_EQ(Edit(1033)->text(), "2");
    reader->RemoveTag(H("AA 01 02 03"));
    ASSERT_TRUE(WaitForRounds(rounds, [&] { return Listed() == QStringList{"BB 04 05 06"}; }));
    EXPECT_EQ(Selection()->currentText(), "BB 04 05 06");

    // Meanwhile Escape, the close box and the commands that would close the
    // session or the dialog are ignored.
    QTest::keyClick(dialog.get(), Qt::Key_Escape);
    dialog->close();
    dialog->RunCommand(ProgrammerDialog::ChooseInterfaceCommand);
    dialog->RunCommand(ProgrammerDialog::EnglishCommand);
    EXPECT_TRUE(dialog->isVisible());
    EXPECT_EQ(chooserCalls, 0);
    EXPECT_GT(dialog->Session(), 0);
    EXPECT_EQ(Sprache(), -1);
    EXPECT_TRUE(dialog->CyclicInventoryRunning());

    // Released by a click.
    QTest::mouseClick(cyclic, Qt::LeftButton);
    ASSERT_TRUE(ended.count() > 0 || ended.wait(5000));
    ticker.stop();
    EXPECT_FALSE(cyclic->isChecked());
    for (QWidget* control : OtherControls())
        EXPECT_TRUE(control->isEnabled()) << control->objectName().toStdString();
    // The timer got its turn between the rounds.
    EXPECT_GE(ticks, rounds.count() / 2) << rounds.count() << " rounds";
    EXPECT_EQ(ticksDisabled, 0);

    // Every round was a fresh inventory with its "next" requests.
    const std::vector<std::string> commands = Commands();
    ASSERT_GE(commands.size(), 4u);
    EXPECT_EQ(commands.front(), "C0 00");
    for (const std::string& command : commands)
        EXPECT_TRUE(command == "C0 00" || command == "C0 02") << command;

    // Afterwards the reply waits lock the window again.
    ticks = ticksDisabled = 0;
    QTimer sampler;
    bool inventory = false;
    QObject::connect(&sampler, &QTimer::timeout, [&] {
        if (inventory && !dialog->isEnabled()) ++ticksDisabled;
    });
    sampler.start(1);
    inventory = true;
    reader->FaultGap(2, std::chrono::milliseconds(60)); // a slow reply, so the wait is seen
    Click(1012);
    inventory = false;
    EXPECT_GT(ticksDisabled, 0);

    QTest::keyClick(dialog.get(), Qt::Key_Escape);
    EXPECT_FALSE(dialog->isVisible());
}

TEST_F(ProgrammerDialogTest, CyclicInventoryNeedsASession) {
    StorePort("/dev/kvplm-test-no-such-port");
    Open();
    QTest::mouseClick(Button(1070), Qt::LeftButton);
    EXPECT_FALSE(dialog->CyclicInventoryRunning());
    EXPECT_FALSE(Button(1070)->isChecked());
    EXPECT_TRUE(Button(1012)->isEnabled());
}

TEST_F(ProgrammerDialogTest, MenuEntriesAndTheirEnabling) {
    StartProgrammer({"30 00 11 22"});
    Open();
    const QMenu* menu = dialog->SystemMenu();
    EXPECT_EQ(Get<QToolButton>("menuButton")->menu(), menu);
    EXPECT_EQ(Entries(menu), (std::vector<Entry>{{1000, "Schnittstelle wählen", true},
                                                 {0x276B0, "IP-Adresse", false},
                                                 {0, {}, true},
                                                 {9100, "Inventarliste", true},
                                                 {9200, "Serialisierung ...", true},
                                                 {0, {}, true},
                                                 {172, "Englisch", true},
                                                 {0, {}, true},
                                                 {0x10, "Inf&o über Norda KV-PLM Programmer ...", true}}));
    // The context menu of the dialog is the same menu.
    QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(5, 5), dialog->mapToGlobal(QPoint(5, 5)));
    QApplication::sendEvent(dialog.get(), &event);
    EXPECT_TRUE(menu->isVisible());
    dialog->SystemMenu()->hide();

    // Choosing another interface closes the session first; cancelled at
    // once, no connect is tried and the title names no device any more.
    chooser = [] { return false; };
    dialog->RunCommand(ProgrammerDialog::ChooseInterfaceCommand);
    EXPECT_EQ(chooserCalls, 1);
    EXPECT_EQ(dialog->Session(), 0);
    EXPECT_EQ(dialog->windowTitle(), "Norda KV-PLM Programmer V2.00 <>");

    // A network port: the entry is enabled even when that connect failed.
    int tries = 0;
    chooser = [&] {
        StorePort("LAN: 127.0.0.1");
        return ++tries == 1;
    };
    dialog->RunCommand(ProgrammerDialog::ChooseInterfaceCommand);
    EXPECT_EQ(dialog->Session(), 0);
    EXPECT_TRUE(dialog->NetworkConnect());
    EXPECT_TRUE(menu->actions()[1]->isEnabled());

    // The network settings command shows the LAN settings, then connects
    // with what is stored.
    int lanDialogs = 0;
    dialog->SetLanSettings([&](QWidget*) {
        ++lanDialogs;
        StorePort(QString::fromStdString(path)); // as if the reader had been moved to the serial line
    });
    dialog->RunCommand(0x276B3);
    EXPECT_EQ(lanDialogs, 1);
    EXPECT_GT(dialog->Session(), 0);
    EXPECT_FALSE(dialog->NetworkConnect());
    EXPECT_FALSE(menu->actions()[1]->isEnabled());
}

TEST_F(ProgrammerDialogTest, AboutBoxShowsTheVersion) {
    StorePort("/dev/kvplm-test-no-such-port");
    Open();
    QStringList shown;
    for (int command : {0x10, 0x1F}) {
        QTimer::singleShot(0, [&] {
            auto* about = dialog->findChild<AboutDialog*>();
            ASSERT_NE(about, nullptr);
            shown.append(about->windowTitle() + " | " + about->findChild<QLabel*>("static101")->text());
            about->accept();
        });
        dialog->RunCommand(command);
    }
    EXPECT_EQ(shown, (QStringList{"Info über KV-PLM Programmer | KV-PLM Programmer V 2.00",
                                  "Info über KV-PLM Programmer | KV-PLM Programmer V 2.00"}));
}

// The shell: a language switch ends the dialog with 10 and the next one is
// made in the new language.
class ProgrammerShellTest : public ProgrammerDialogTest {
protected:
    struct Seen {
        QString readAll;
        std::vector<Entry> menu;
        bool connected = false;
    };

    // Runs the shell; each dialog, once opened, is recorded and handed to act
    // (which ends it). A watchdog ends a dialog that is left open.
    std::vector<Seen> RunShell(const std::function<void(ProgrammerDialog&, int)>& act) {
        std::vector<Seen> seen;
        QTimer watchdog;
        watchdog.setSingleShot(true);
        QObject::connect(&watchdog, &QTimer::timeout, [] {
            for (QWidget* widget : QApplication::topLevelWidgets())
                if (auto* open = qobject_cast<ProgrammerDialog*>(widget)) open->done(-1);
        });
        watchdog.start(30000);
        const int result = ProgrammerShell::Run([&](ProgrammerDialog& created) {
            created.SetChooser([] { return false; });
            QObject::connect(
                &created, &ProgrammerDialog::opened, &created,
                [&] {
                    seen.push_back({created.findChild<QPushButton*>("button1032")->text(),
                                    Entries(created.SystemMenu()), created.Session() > 0});
                    act(created, int(seen.size()));
                },
                Qt::QueuedConnection);
        });
        EXPECT_NE(result, -1) << "the watchdog ended the shell";
        return seen;
    }
};

TEST_F(ProgrammerShellTest, SwitchingToEnglishRecreatesTheDialogInEnglish) {
    StartProgrammer({"30 00 11 22"});
    const std::vector<Seen> seen = RunShell([](ProgrammerDialog& dialog, int n) {
        if (n == 1)
            dialog.RunCommand(ProgrammerDialog::EnglishCommand);
        else
            dialog.done(QDialog::Rejected);
    });
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[0].readAll, "Alles lesen");
    EXPECT_EQ(seen[1].readAll, "Read all");
    EXPECT_TRUE(seen[0].connected && seen[1].connected); // the first closed its session
    EXPECT_EQ(Sprache(), 1);
    EXPECT_EQ(seen[1].menu, (std::vector<Entry>{{1000, "Choose interface", true},
                                                {0x276B0, "IP address", false},
                                                {0, {}, true},
                                                {9100, "Inventory list", true},
                                                {9200, "Serialisation ...", true},
                                                {0, {}, true},
                                                {171, "German", true},
                                                {0, {}, true},
                                                {0x10, "&About Norda KV-PLM Programmer ...", true}}));

    // And back.
    const std::vector<Seen> back = RunShell([](ProgrammerDialog& dialog, int n) {
        if (n == 1)
            dialog.RunCommand(ProgrammerDialog::GermanCommand);
        else
            dialog.done(QDialog::Rejected);
    });
    ASSERT_EQ(back.size(), 2u);
    EXPECT_EQ(back[0].readAll, "Read all");
    EXPECT_EQ(back[1].readAll, "Alles lesen");
    EXPECT_EQ(Sprache(), 0);
    EXPECT_FALSE(appkit::Texts::LanguageModuleActive(kProgram));
}

TEST_F(ProgrammerShellTest, WithoutTheModuleEnglishStaysGermanAndOffersDeutsch) {
    StorePort("/dev/kvplm-test-no-such-port");
    ProgrammerShell::SetLanguageModulePath("/nonexistent/KV_PLM_ProgrammerEng.rcc");
    const std::vector<Seen> seen = RunShell([](ProgrammerDialog& dialog, int n) {
        if (n == 1)
            dialog.RunCommand(ProgrammerDialog::EnglishCommand);
        else
            dialog.done(QDialog::Rejected);
    });
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[1].readAll, "Alles lesen");
    ASSERT_EQ(seen[1].menu.size(), 9u);
    EXPECT_EQ(seen[1].menu[6], (Entry{171, "Deutsch", true}));
    // Only the port failures were shown: the missing module is silent.
    for (const appkit::Messages::Record& record : recorder.records)
        EXPECT_EQ(record.text, "Fehler beim Port öffnen");
}

} // namespace
