// The LAN settings dialog (159) under Qt Test, offscreen, against a fake
// network configuration and a clock that moves only when the dialog pauses:
// what opening shows, the enabling of the two modes, the name limit, OK with
// its progress until the reader is found again or 25 s are over.
#include "LanDialog.h"
#include "FrontendTestSupport.h"
#include "IpAddressEdit.h"
#include "LanTestSupport.h"
#include "Messages.h"
#include "Texts.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTest>
#include <gtest/gtest.h>

namespace {

using frontend::IpAddressEdit;
using frontend::LanDialog;

class LanDialogTest : public ::testing::Test {
protected:
    void SetUp() override {
        appkit::ProgramInfo::SetCurrent(appkit::Program::Morvane);
        appkit::Messages::SetRecorder(&recorder);
        StorePort("LAN: 192.168.0.20-10001");
        // Each search listens for 200 ms.
        link.onFind = [this] { timer.now += 200; };
    }
    void TearDown() override {
        dialog.reset();
        appkit::Messages::SetRecorder(nullptr);
    }

    LanDialog& Open() {
        dialog = std::make_unique<LanDialog>(nullptr, appkit::Program::Morvane, &link, &lists, &timer);
        dialog->show();
        return *dialog;
    }
    template <class W> W* Get(const char* name) {
        W* widget = dialog->findChild<W*>(QString::fromLatin1(name));
        EXPECT_NE(widget, nullptr) << name;
        return widget;
    }
    QRadioButton* Radio(const char* name) { return Get<QRadioButton>(name); }
    QLineEdit* Edit(const char* name) { return Get<QLineEdit>(name); }
    IpAddressEdit* Ip(const char* name) { return Get<IpAddressEdit>(name); }
    QProgressBar* Progress() { return Get<QProgressBar>("progress1253"); }
    // Clicks OK and waits (bounded) until the dialog has closed.
    bool OkAndWaitForTheEnd() {
        QSignalSpy finished(dialog.get(), &QDialog::finished);
        Get<QPushButton>("buttonOk")->click();
        return finished.count() > 0 || finished.wait(10000);
    }

    FakeLists lists;
    FakeLanLink link;
    FakeRefindTimer timer;
    appkit::Messages::Recorder recorder;
    std::unique_ptr<LanDialog> dialog;
};

TEST_F(LanDialogTest, OpeningShowsRecord0AndEachModeEnablesItsFields) {
    link.block = LanBlockBytes({192, 168, 0, 20}, 8, 10001, "OLD");
    Open();
    EXPECT_EQ(dialog->windowTitle(), "LAN Einstellung");
    EXPECT_EQ(Radio("radio1251")->text(), "IP Adresse automatisch beziehen");
    EXPECT_EQ(Radio("radio1252")->text(), "Folgende IP Adresse verwenden");
    EXPECT_TRUE(Radio("radio1252")->isChecked());
    EXPECT_FALSE(Radio("radio1251")->isChecked());
    EXPECT_EQ(Ip("ip1243")->Octets(), (QStringList{"192", "168", "0", "20"}));
    EXPECT_EQ(Ip("ip1244")->Octets(), (QStringList{"255", "255", "255", "0"}));
    EXPECT_EQ(Edit("edit1246")->text(), "10001");
    EXPECT_EQ(Edit("edit1247")->text(), "OLD");
    EXPECT_TRUE(Ip("ip1243")->isEnabled() && Ip("ip1244")->isEnabled() && Edit("edit1246")->isEnabled());
    EXPECT_FALSE(Edit("edit1247")->isEnabled());
    // The progress bar waits hidden, with the range of the re-find.
    EXPECT_FALSE(Progress()->isVisible());
    EXPECT_EQ(Progress()->minimum(), 0);
    EXPECT_EQ(Progress()->maximum(), 25000);
    EXPECT_TRUE(Get<QPushButton>("buttonOk")->isVisible());
    EXPECT_EQ(link.calls.back(), "close 7 0");

    QTest::mouseClick(Radio("radio1251"), Qt::LeftButton);
    EXPECT_TRUE(Radio("radio1251")->isChecked());
    EXPECT_FALSE(Radio("radio1252")->isChecked());
    EXPECT_TRUE(Edit("edit1247")->isEnabled());
    EXPECT_FALSE(Ip("ip1243")->isEnabled() || Ip("ip1244")->isEnabled() || Edit("edit1246")->isEnabled());
    // A second click on the checked button keeps it checked.
    QTest::mouseClick(Radio("radio1251"), Qt::LeftButton);
    EXPECT_TRUE(Radio("radio1251")->isChecked());
    QTest::mouseClick(Radio("radio1252"), Qt::LeftButton);
    EXPECT_FALSE(Radio("radio1251")->isChecked());
    EXPECT_TRUE(Ip("ip1243")->isEnabled());
    EXPECT_FALSE(Edit("edit1247")->isEnabled());
}

TEST_F(LanDialogTest, ADhcpBlockShowsItsEightCharacterNameWholeAndANinthCannotBeTyped) {
    link.block = LanBlockBytes({0, 0, 0, 0}, 16, 10001, "ABCDEFGH");
    Open();
    EXPECT_TRUE(Radio("radio1251")->isChecked());
    EXPECT_EQ(Edit("edit1247")->text(), "ABCDEFGH");
    EXPECT_EQ(Ip("ip1244")->Octets(), (QStringList{"255", "255", "255", "0"}));
    QLineEdit* name = Edit("edit1247");
    name->setFocus();
    name->end(false);
    QTest::keyClicks(name, "I");
    EXPECT_EQ(name->text(), "ABCDEFGH");
}

TEST_F(LanDialogTest, AnUnreadableBlockLeavesNoModeAndOkAsksForOne) {
    link.readResult = -1;
    Open();
    EXPECT_FALSE(Radio("radio1251")->isChecked() || Radio("radio1252")->isChecked());
    EXPECT_EQ(Edit("edit1246")->text(), "0");
    EXPECT_FALSE(Edit("edit1247")->isEnabled() || Ip("ip1243")->isEnabled());
    Get<QPushButton>("buttonOk")->click();
    EXPECT_TRUE(dialog->isVisible());
    ASSERT_EQ(recorder.records.size(), 1);
    EXPECT_EQ(recorder.records[0].text,
              QString::fromUtf8("Bitte wählen Sie, wie das Gerät seine IP-Adresse erhält."));
    EXPECT_EQ(recorder.records[0].title, "KV-PLM Morvane");
    EXPECT_EQ(link.Count("set"), 0);
}

TEST_F(LanDialogTest, OkSendsDhcpAbcStoresLanAbcAndClosesOnceTheReaderAnswers) {
    Open();
    QTest::mouseClick(Radio("radio1251"), Qt::LeftButton);
    Edit("edit1247")->setText("ABC");
    // What the window shows while the reader is looked for.
    QList<int> progress;
    bool busyShown = true;
    link.foundFrom = 4;
    link.onFind = [&] {
        timer.now += 200;
        progress.append(Progress()->value());
        busyShown = busyShown && Progress()->isVisible() && !Get<QPushButton>("buttonOk")->isVisible() &&
                    !Get<QPushButton>("buttonCancel")->isVisible() && !Edit("edit1247")->isEnabled() &&
                    dialog->Busy();
    };
    ASSERT_TRUE(OkAndWaitForTheEnd());
    EXPECT_EQ(dialog->result(), QDialog::Accepted);
    EXPECT_TRUE(busyShown);
    // Every step: 100 ms pause, 200 ms search; the bar shows the time passed.
    EXPECT_EQ(progress, (QList<int>{0, 300, 600, 900}));
    EXPECT_EQ(link.Count("set 192.168.0.20-10001:1 [ABC] ''"), 1);
    EXPECT_EQ(link.Count("find [ABC]"), 4);
    EXPECT_EQ(StoredName(), "LAN: [ABC]");
    EXPECT_FALSE(Progress()->isVisible());
    EXPECT_TRUE(recorder.records.isEmpty());
}

TEST_F(LanDialogTest, ANewFixedAddressIsLookedForAt25sAtMostAndStaysStored) {
    Open();
    Ip("ip1243")->SetOctets({"192", "168", "0", "21"});
    Edit("edit1246")->setText("10002");
    Ip("ip1244")->SetOctets({"255", "255", "0", "0"});
    QList<int> shown;
    QObject::connect(dialog.get(), &LanDialog::progressShown, [&shown](int value) { shown.append(value); });
    ASSERT_TRUE(OkAndWaitForTheEnd());
    EXPECT_EQ(dialog->result(), QDialog::Accepted);
    EXPECT_EQ(link.Count("set 192.168.0.20-10001:1 192.168.0.21-10002 '255.255.0.0'"), 1);
    // Asked every step up to the last one before 25 s, then given up.
    EXPECT_EQ(link.Count("find 192.168.0.21-10002"), 84);
    ASSERT_FALSE(shown.isEmpty());
    EXPECT_TRUE(std::is_sorted(shown.begin(), shown.end()));
    EXPECT_EQ(shown.back(), 25000);
    EXPECT_EQ(StoredName(), "LAN: 192.168.0.21-10002");
    EXPECT_EQ(timer.starts, 1);
}

TEST_F(LanDialogTest, TheReFindCannotBeCancelledOrClosed) {
    Open();
    link.foundFrom = 3;
    int attempts = 0;
    link.onFind = [&] {
        timer.now += 200;
        if (link.finds != 2) return;
        ++attempts;
        Get<QPushButton>("buttonCancel")->click(); // hidden, and rejecting does nothing now
        dialog->reject();
        dialog->close();
        QTest::keyClick(dialog.get(), Qt::Key_Escape);
        QTest::keyClick(dialog.get(), Qt::Key_Return);
    };
    ASSERT_TRUE(OkAndWaitForTheEnd());
    EXPECT_EQ(attempts, 1);
    EXPECT_EQ(dialog->result(), QDialog::Accepted);
    EXPECT_EQ(link.Count("set"), 1);
}

TEST_F(LanDialogTest, RefusedValuesAndARefusingReaderKeepTheDialogOpenWithNothingStored) {
    Open();
    Edit("edit1246")->setText("0");
    Get<QPushButton>("buttonOk")->click();
    EXPECT_TRUE(dialog->isVisible());
    EXPECT_EQ(link.Count("set"), 0);

    QTest::mouseClick(Radio("radio1251"), Qt::LeftButton);
    Edit("edit1247")->setText("");
    Get<QPushButton>("buttonOk")->click();
    EXPECT_TRUE(dialog->isVisible());
    EXPECT_EQ(link.Count("set"), 0);

    Edit("edit1247")->setText("LAGER1");
    link.setResult = -1;
    Get<QPushButton>("buttonOk")->click();
    EXPECT_TRUE(dialog->isVisible());
    EXPECT_FALSE(dialog->Busy());
    EXPECT_TRUE(Get<QPushButton>("buttonOk")->isVisible());
    EXPECT_FALSE(Progress()->isVisible());
    EXPECT_TRUE(Edit("edit1247")->isEnabled());
    EXPECT_EQ(link.Count("set"), 1);
    EXPECT_EQ(link.Count("find"), 0);
    EXPECT_EQ(StoredName(), "LAN: 192.168.0.20-10001");
    ASSERT_EQ(recorder.records.size(), 3);
    EXPECT_EQ(recorder.records[0].text, "Geben Sie eine ganze Zahl zwischen 1 und 65535 ein.");
    EXPECT_EQ(recorder.records[1].text, "Bitte geben Sie einen DHCP-Namen ein.");
    EXPECT_TRUE(recorder.records[2].text.startsWith("Die Einstellungen konnten nicht"));

    // Cancel sends and stores nothing.
    Get<QPushButton>("buttonCancel")->click();
    EXPECT_EQ(dialog->result(), QDialog::Rejected);
    EXPECT_EQ(link.Count("set"), 1);
}

TEST_F(LanDialogTest, OctetFieldsTakeDigitsAndMoveOnAtADot) {
    Open();
    QApplication::setActiveWindow(dialog.get());
    ASSERT_TRUE(QTest::qWaitForWindowActive(dialog.get()));
    IpAddressEdit* ip = Ip("ip1243");
    ip->SetOctets({"", "", "", ""});
    ip->Field(0)->setFocus();
    // Each key goes to the field that has the focus, as typing does.
    auto type = [ip](const char* keys) {
        for (const char* key = keys; *key; ++key) {
            int field = 0;
            while (field < 3 && !ip->Field(field)->hasFocus())
                ++field;
            QTest::keyClick(ip->Field(field), *key);
        }
    };
    type("10.0.300");
    // "300" is no octet: the third field keeps "30".
    EXPECT_EQ(ip->Octets(), (QStringList{"10", "0", "30", ""}));
    type(".7x");
    EXPECT_EQ(ip->Octets(), (QStringList{"10", "0", "30", "7"}));
    // A third digit moves on by itself.
    ip->SetOctets({"", "", "", ""});
    ip->Field(0)->setFocus();
    type("1921680");
    EXPECT_EQ(ip->Octets(), (QStringList{"192", "168", "0", ""}));
}

TEST_F(LanDialogTest, TextsComeFromTheLanguageModule) {
    ASSERT_TRUE(appkit::Texts::LoadLanguageModule(appkit::Program::Morvane));
    Open();
    EXPECT_EQ(dialog->windowTitle(), "LAN settings");
    EXPECT_EQ(Radio("radio1252")->text(), "Use the following IP address");
    EXPECT_EQ(Get<QPushButton>("buttonCancel")->text(), "Cancel");
    appkit::Texts::ReleaseLanguageModule(appkit::Program::Morvane);
}

} // namespace
