// The interface selection dialog (109) under Qt Test, offscreen, with the
// device lists under the test's control and messages recorded.
#include "InterfaceDialog.h"
#include "FrontendTestSupport.h"
#include "LinkApi.h"
#include "Messages.h"
#include "PtySimulator.h"
#include "SimReader.h"
#include "Texts.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <gtest/gtest.h>

namespace {

using frontend::InterfaceDialog;

class InterfaceDialogTest : public ::testing::Test {
protected:
    void SetUp() override {
        appkit::ProgramInfo::SetCurrent(appkit::Program::Morvane);
        appkit::Messages::SetRecorder(&recorder);
        lists.serial = {"/dev/ttyS0", "/dev/ttyS10", "/dev/kvplm-test-acm0 [Norda Virtual COM]"};
        lists.SetUsb({"4401-0001", "4400-0002 HID"});
    }
    void TearDown() override {
        dialog.reset();
        appkit::Messages::SetRecorder(nullptr);
    }

    InterfaceDialog& Open() {
        dialog = std::make_unique<InterfaceDialog>(nullptr, appkit::Program::Morvane, &lists);
        dialog->Model().SetWait(nullptr);
        dialog->show();
        return *dialog;
    }
    template <class W> W* Get(const char* name) {
        W* widget = dialog->findChild<W*>(QString::fromLatin1(name));
        EXPECT_NE(widget, nullptr) << name;
        return widget;
    }
    QListWidget* List() { return Get<QListWidget>("list1012"); }
    QComboBox* Combo(const char* name) { return Get<QComboBox>(name); }
    QStringList Entries() {
        QStringList entries;
        for (int i = 0; i < List()->count(); ++i)
            entries.append(List()->item(i)->text());
        return entries;
    }
    void Select(const QString& entry) { List()->setCurrentRow(Entries().indexOf(entry)); }
    bool ClickOk() {
        Get<QPushButton>("buttonOk")->click();
        return dialog->result() == QDialog::Accepted;
    }

    FakeLists lists;
    appkit::Messages::Recorder recorder;
    std::unique_ptr<InterfaceDialog> dialog;
};

TEST_F(InterfaceDialogTest, Baudrate9603ShowsNoParityWithTwoStopBitsAndIsStoredAgain) {
    StorePort("/dev/ttyS0", 9603);
    Open();
    EXPECT_EQ(Combo("combo1011")->currentText(), "9600");
    EXPECT_EQ(Combo("combo1013")->currentText(), "keine");
    EXPECT_EQ(Combo("combo1014")->currentText(), "2");
    EXPECT_EQ(List()->currentItem()->text(), "/dev/ttyS0");
    ASSERT_TRUE(ClickOk());
    EXPECT_EQ(StoredInt("Baudrate"), 9603);
    EXPECT_EQ(StoredName(), "/dev/ttyS0");
}

TEST_F(InterfaceDialogTest, EvenParityWithTwoStopBitsStoresTheRatePlusOne) {
    StorePort("/dev/ttyS0", 19200);
    Open();
    Combo("combo1011")->setCurrentText("4800");
    Combo("combo1013")->setCurrentText("gerade");
    Combo("combo1014")->setCurrentText("2");
    ASSERT_TRUE(ClickOk());
    EXPECT_EQ(StoredInt("Baudrate"), 4801);
}

TEST_F(InterfaceDialogTest, ARateOutsideTheListIsNotStoredAgain) {
    StorePort("/dev/ttyS0", 38400);
    Open();
    EXPECT_EQ(Combo("combo1011")->currentIndex(), -1);
    ASSERT_TRUE(ClickOk());
    EXPECT_EQ(StoredInt("Baudrate"), 38400);
}

TEST_F(InterfaceDialogTest, ListsSerialThenUsbThenNetworkAndSelectsTheStoredPortOnly) {
    StorePort("/dev/ttyS1", 19200, 500, 1, 1);
    lists.lan = {"[LAGER1]"};
    Open();
    EXPECT_EQ(Entries(), (QStringList{"/dev/ttyS0", "/dev/ttyS10", "/dev/kvplm-test-acm0 [Norda Virtual COM]",
                                      "USB: 4401-0001", "USB: 4400-0002 HID", "LAN: [LAGER1]"}));
    // /dev/ttyS10 merely begins with the stored name: another port, not selected.
    EXPECT_EQ(List()->currentRow(), -1);
    ASSERT_TRUE(ClickOk());
    EXPECT_EQ(StoredName(), "/dev/ttyS1");

    // A stored name with a label is found by its port.
    StorePort("/dev/kvplm-test-acm0");
    Open();
    EXPECT_EQ(List()->currentItem()->text(), "/dev/kvplm-test-acm0 [Norda Virtual COM]");
}

TEST_F(InterfaceDialogTest, SerialEntriesEnableTheLineSettingsOthersDisableThem) {
    StorePort("USB: 4401-0001");
    Open();
    EXPECT_EQ(List()->currentItem()->text(), "USB: 4401-0001");
    EXPECT_FALSE(Combo("combo1011")->isEnabled());
    EXPECT_FALSE(Combo("combo1013")->isEnabled());
    EXPECT_FALSE(Combo("combo1014")->isEnabled());
    Select("/dev/ttyS0");
    EXPECT_TRUE(Combo("combo1011")->isEnabled());
    EXPECT_TRUE(Combo("combo1014")->isEnabled());
    ASSERT_TRUE(ClickOk());
    EXPECT_EQ(StoredName(), "/dev/ttyS0");
}

TEST_F(InterfaceDialogTest, ModeButtonsFollowTheVirtualComAndDualModeEntries) {
    StorePort("/dev/kvplm-test-acm0 [Norda Virtual COM]");
    lists.virtualCom = true;
    Open();
    auto* hid = Get<QRadioButton>("radio1035");
    auto* vcom = Get<QRadioButton>("radio1036");
    EXPECT_TRUE(hid->isEnabled());
    EXPECT_TRUE(vcom->isChecked());
    EXPECT_FALSE(hid->isChecked());
    Select("USB: 4400-0002 HID");
    EXPECT_TRUE(vcom->isEnabled());
    EXPECT_TRUE(hid->isChecked());
    EXPECT_FALSE(vcom->isChecked());
    Select("USB: 4401-0001");
    EXPECT_FALSE(hid->isEnabled());
    EXPECT_FALSE(hid->isChecked() || vcom->isChecked());
    // Without the virtual COM driver a HID reader cannot switch.
    lists.virtualCom = false;
    Select("USB: 4400-0002 HID");
    EXPECT_FALSE(hid->isEnabled());
    // A switch that cannot reach the reader changes nothing.
    Select("/dev/kvplm-test-acm0 [Norda Virtual COM]");
    hid->click();
    EXPECT_TRUE(vcom->isChecked());
    EXPECT_FALSE(hid->isChecked());
}

TEST_F(InterfaceDialogTest, HidModeSwitchesAVirtualComReaderAndForgetsTheStoredName) {
    CSimReader reader;
    CPtySimulator::Options simOptions;
    simOptions.announce = false;
    simOptions.lineTime = false;
    CPtySimulator sim(reader, simOptions);
    ASSERT_TRUE(sim.Start());
    const QString entry = QString::fromStdString(sim.DevicePath()) + " [Norda Virtual COM]";
    lists.serial = {"/dev/ttyS0", entry};
    StorePort(entry);
    Open();
    auto* hid = Get<QRadioButton>("radio1035");
    auto* vcom = Get<QRadioButton>("radio1036");
    ASSERT_TRUE(vcom->isChecked());

    hid->click();
    // Opened at 19200 (the reader's rate), command 0xFF with the byte 1, closed.
    ASSERT_TRUE(reader.CommandByte().has_value());
    EXPECT_EQ(*reader.CommandByte(), 1);
    const auto requests = reader.Requests();
    ASSERT_FALSE(requests.empty());
    EXPECT_EQ(requests.front().raw[2], 0xF0);
    const auto& last = requests.back().raw;
    ASSERT_EQ(last.size(), 6u);
    EXPECT_EQ(last[2], 0xFF);
    EXPECT_EQ(last[3], 1);
    EXPECT_EQ(last[4], 1);
    const int id = LinkOpen(sim.DevicePath().c_str(), 19200, 0, 200);
    EXPECT_GT(id, 0);
    LinkClose(id);
    // The buttons now stand for an empty name ...
    EXPECT_FALSE(hid->isEnabled() || vcom->isEnabled());
    EXPECT_FALSE(hid->isChecked() || vcom->isChecked());
    // ... and the name is gone, so the reader's old port is not chosen again.
    dialog->OnDeviceChange(7);
    EXPECT_EQ(List()->currentRow(), -1);
    sim.Stop();
}

TEST_F(InterfaceDialogTest, OutOfRangeValuesKeepTheDialogOpenWithTheRangeMessage) {
    StorePort("/dev/ttyS0", 19200, 500, 1);
    Open();
    Get<QLineEdit>("edit1002")->setText("5");
    EXPECT_FALSE(ClickOk());
    Get<QLineEdit>("edit1002")->setText("300000");
    Get<QLineEdit>("edit1003")->setText("256");
    EXPECT_FALSE(ClickOk());
    Get<QLineEdit>("edit1003")->setText("abc");
    EXPECT_FALSE(ClickOk());
    ASSERT_EQ(recorder.records.size(), 3);
    EXPECT_EQ(recorder.records[0].text, "Geben Sie eine ganze Zahl zwischen 10 und 300000 ein.");
    EXPECT_EQ(recorder.records[0].title, "KV-PLM Morvane");
    EXPECT_EQ(recorder.records[1].text, "Geben Sie eine ganze Zahl zwischen 1 und 255 ein.");
    EXPECT_EQ(recorder.records[2].text, "Geben Sie eine ganze Zahl ein.");
    EXPECT_EQ(StoredInt("Timeout"), 500);
    Get<QLineEdit>("edit1003")->setText("255");
    ASSERT_TRUE(ClickOk());
    EXPECT_EQ(StoredInt("Timeout"), 300000);
    EXPECT_EQ(StoredInt("Adresse"), 255);
}

TEST_F(InterfaceDialogTest, EthernetCheckBoxSearchesTheNetworkAndShowsIpQuery) {
    StorePort("/dev/ttyS0", 19200, 500, 1, 0);
    lists.lan = {"[LAGER1]"};
    Open();
    auto* ip = Get<QPushButton>("button1256");
    EXPECT_FALSE(ip->isVisible());
    EXPECT_EQ(lists.lanCalls, 0);
    EXPECT_FALSE(Entries().contains("LAN: [LAGER1]"));

    Get<QCheckBox>("check1250")->click();
    EXPECT_TRUE(ip->isVisible());
    EXPECT_EQ(lists.lanCalls, 1);
    EXPECT_TRUE(Entries().contains("LAN: [LAGER1]"));
    EXPECT_EQ(List()->currentItem()->text(), "/dev/ttyS0");

    lists.lanAll = {"[LAGER1] 192.168.0.7-10001", "192.168.0.9-10001"};
    ip->click();
    lists.lanAll.clear();
    ip->click();
    ASSERT_EQ(recorder.records.size(), 2);
    EXPECT_EQ(recorder.records[0].title, "Liste aller gefundenen IP-Adressen");
    EXPECT_EQ(recorder.records[0].text, "[LAGER1] 192.168.0.7-10001\r\n192.168.0.9-10001\r\n");
    EXPECT_EQ(recorder.records[1].title, "Liste aller gefundenen IP-Adressen");
    EXPECT_TRUE(recorder.records[1].text.startsWith(QString::fromUtf8("Keine Geräte gefunden!\n")));

    ASSERT_TRUE(ClickOk());
    EXPECT_EQ(StoredInt("EthernetAktiv"), 1);
}

TEST_F(InterfaceDialogTest, DeviceChangesRefreshTheListsAndReselectTheStoredPort) {
    StorePort("USB: 4401-0001");
    Open();
    const int serialCalls = lists.serialCalls;
    lists.SetUsb({"4403-0003", "4401-0001"});
    dialog->OnDeviceChange(0x8004); // a removal alone does not refresh
    EXPECT_EQ(lists.serialCalls, serialCalls);
    dialog->OnDeviceChange(0x8000);
    EXPECT_EQ(lists.serialCalls, serialCalls + 1);
    EXPECT_TRUE(Entries().contains("USB: 4403-0003"));
    EXPECT_EQ(List()->currentItem()->text(), "USB: 4401-0001");
    lists.SetUsb({});
    dialog->OnDeviceChange(7);
    EXPECT_FALSE(Entries().contains("USB: 4401-0001"));
    EXPECT_EQ(List()->currentRow(), -1);
    // Ethernet is off: no refresh searched the network.
    EXPECT_EQ(lists.lanCalls, 0);
}

TEST_F(InterfaceDialogTest, CancelStoresNothing) {
    StorePort("/dev/ttyS0", 19200);
    Open();
    Select("/dev/ttyS10");
    Combo("combo1011")->setCurrentText("2400");
    Get<QPushButton>("buttonCancel")->click();
    EXPECT_EQ(dialog->result(), QDialog::Rejected);
    EXPECT_EQ(StoredName(), "/dev/ttyS0");
    EXPECT_EQ(StoredInt("Baudrate"), 19200);
}

TEST_F(InterfaceDialogTest, TextsComeFromTheLanguageModule) {
    StorePort("/dev/ttyS0");
    Open();
    EXPECT_EQ(dialog->windowTitle(), "Schnittstelle");
    EXPECT_EQ(Get<QCheckBox>("check1250")->text(), "Ethernet aktivieren");
    ASSERT_TRUE(appkit::Texts::LoadLanguageModule(appkit::Program::Morvane));
    Open();
    EXPECT_EQ(dialog->windowTitle(), "Interface");
    EXPECT_EQ(Get<QCheckBox>("check1250")->text(), "Enable Ethernet");
    EXPECT_EQ(Combo("combo1013")->itemText(1), "even");
    appkit::Texts::ReleaseLanguageModule(appkit::Program::Morvane);
}

} // namespace
