// Morvane's windows under Qt Test (offscreen unless a display is asked for),
// driving the real widgets against a simulated reader on a pty. Message
// boxes are answered by the recorder, file dialogs through the host's seam.
#include "MorvaneUiSupport.h"

#include "AboutDlg.h"
#include "BusyGuard.h"
#include "ConfigImage.h"
#include "DataPage.h"
#include "EinschaltkonfigDlg.h"
#include "FixedFont.h"
#include "FunktionstestDlg.h"
#include "FunktionstestHidDlg.h"
#include "KeySequencePage.h"
#include "LanDialog.h"
#include "MainFrame.h"
#include "Messages.h"
#include "ParamPage.h"
#include "ReadBackDlg.h"
#include "SeriellEinstellDlg.h"
#include "Texts.h"
#include "WidgetSetupHost.h"

#include <QAction>
#include <QComboBox>
#include <QDesktopServices>
#include <QFile>
#include <QFontDatabase>
#include <QFontInfo>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QStatusBar>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QToolBar>
#include <QTreeWidget>
#include <gtest/gtest.h>

#include <cstdio>
#include <deque>
#include <memory>
#include <mutex>

namespace {

using namespace MorvaneUi;
using Block = CSimReader::Block;

constexpr int kWaitMs = 10000;

// Stands in for the desktop's handler of the addresses the About box opens.
class UrlCatcher : public QObject {
    Q_OBJECT
public:
    QList<QUrl> urls;
public slots:
    void Open(const QUrl& url) { urls.append(url); }
};

// Cancels every modal dialog that opens while it lives, and counts them: for
// commands that must not open one.
class ModalCloser {
public:
    ModalCloser() {
        m_timer.setInterval(5);
        QObject::connect(&m_timer, &QTimer::timeout, [this] {
            if (auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget())) {
                ++closed;
                dialog->reject();
            }
        });
        m_timer.start();
    }
    int closed = 0;

private:
    QTimer m_timer;
};

class MorvaneUiTest : public ::testing::Test {
protected:
    void SetUp() override {
        static QTemporaryDir simDir(QDir::tempPath() + QStringLiteral("/kvplm-morvane-sim-XXXXXX"));
        qputenv("KVPLM_SIM_DIR", simDir.path().toLocal8Bit());
        appkit::ProgramInfo::SetCurrent(appkit::Program::Morvane);
        appkit::Messages::SetRecorder(&recorder);
        ClearSettings();
        ASSERT_TRUE(sim.started) << sim.error;
        StorePort(sim.Port());
        CWidgetSetupHost::SetFileChooser([this](QWidget*, bool save) {
            (save ? savedDialogs : openedDialogs)++;
            if (files.empty()) return QString();
            const QString file = files.front();
            files.pop_front();
            return file;
        });
    }
    void TearDown() override {
        CWidgetSetupHost::SetFileChooser(nullptr);
        appkit::Texts::ReleaseLanguageModule(appkit::Program::Morvane);
        appkit::Messages::SetRecorder(nullptr);
    }

    CSimOutputReader& Reader() { return *sim.reader; }
    QStringList MessageTexts() const {
        QStringList texts;
        for (const appkit::Messages::Record& record : recorder.records)
            texts.append(record.text);
        return texts;
    }

    // The programming dialog, shown and done with its opening.
    std::unique_ptr<CSeriellEinstellDlg> OpenProgramming(int flags = 0x1F000) {
        auto dialog = std::make_unique<CSeriellEinstellDlg>(nullptr, host, 0, 19200, flags);
        QSignalSpy opened(dialog.get(), &CSeriellEinstellDlg::opened);
        dialog->show();
        EXPECT_TRUE(opened.count() > 0 || opened.wait(kWaitMs));
        return dialog;
    }
    static QStringList Rows(CKeySequencePage* page) {
        QStringList rows;
        auto* list = Find<QTreeWidget>(page, QStringLiteral("list1020"));
        for (int i = 0; list && i < list->topLevelItemCount(); ++i)
            rows.append(list->topLevelItem(i)->text(0));
        return rows;
    }
    static void Type(CKeySequencePage* page, const QString& text) {
        auto* entry = Find<QLineEdit>(page, QStringLiteral("edit1040"));
        entry->selectAll();
        QTest::keyClicks(entry, text);
        Find<QPushButton>(page, QStringLiteral("button1025"))->click();
    }
    // The widget is its window's focus widget (whether or not the platform
    // made the window active).
    static bool HasFocus(QWidget* widget) { return widget && widget->window()->focusWidget() == widget; }
    static QLineEdit* Edit(QWidget* page, int id) {
        return Find<QLineEdit>(page, QStringLiteral("edit%1").arg(id));
    }

    SimulatedReader sim;
    appkit::Messages::Recorder recorder;
    CWidgetSetupHost host;
    std::deque<QString> files;
    int openedDialogs = 0, savedDialogs = 0;
};

TEST_F(MorvaneUiTest, ProgrammingDialogShowsTheReadersBlocksOnItsPages) {
    KonfigDaten record;
    record.TransponderTyp = 1;
    record.Registers[0] = {4, 2, 16}; // USER, 2 words from word 16
    record.Darstellung = 2;
    record.ZeichenAnzahl = 20;
    record.GueltigeBytes = 8;
    record.GueltigeBytesAb = 3;
    record.Ausrichtung = 1;
    record.KennungLinks = '[';
    record.Betriebsart = 3;
    record.Zykluszeit = 500;
    record.TimeoutRS232 = 700;
    record.Aufforderung = '!';
    Reader().SetBlock(Block::Param, ConfigImage::BuildParam(record));
    Reader().SetBlock(Block::ModeParam, ConfigImage::BuildModeParam(record));
    Reader().SetBlock(Block::Prefix, {0x41, 0x42, 0xFF});
    Reader().SetBlock(Block::Suffix, {0x0D, 0xFF});
    Reader().SetBlock(Block::Postcode, {0x8F, 0xFF});
    Reader().SetBlock(Block::Termix, {0x2C, 0xFF});

    auto dialog = OpenProgramming();
    EXPECT_TRUE(dialog->ReadResult().AllRead());
    EXPECT_TRUE(recorder.records.isEmpty()) << MessageTexts().join(QLatin1Char('|')).toStdString();
    EXPECT_EQ(dialog->windowTitle(), QStringLiteral("Programmierung eingeben"));
    // The session is closed again once the blocks are read.
    EXPECT_EQ(dialog->Model().Session(), 0);
    EXPECT_EQ(Reader().State(), 2);

    QTabWidget* tabs = dialog->Tabs();
    QStringList captions;
    for (int i = 0; i < tabs->count(); ++i)
        captions.append(tabs->tabText(i));
    EXPECT_EQ(captions,
              (QStringList{"Parameter", "Prefix", "Daten", "Suffix", "Abziehen", "Register Trenner"}));

    CParamPage* param = dialog->ParamPage();
    EXPECT_TRUE(Find<QRadioButton>(param, "radio1028")->isChecked());
    EXPECT_EQ(Edit(param, 1023)->text(), "500");
    EXPECT_EQ(Edit(param, 1002)->text(), "700");
    EXPECT_EQ(Edit(param, 1025)->text(), "!");
    EXPECT_EQ(Edit(param, 1024)->text(), "19200");
    // Mode 3: only the cycle time is open; the sensor needs flag 0x80.
    EXPECT_TRUE(Edit(param, 1023)->isEnabled());
    EXPECT_FALSE(Edit(param, 1002)->isEnabled());
    EXPECT_FALSE(Edit(param, 1025)->isEnabled());
    EXPECT_FALSE(Find<QWidget>(param, "check1037")->isVisible());

    EXPECT_EQ(Rows(dialog->KeyPage(SetupPage::Prefix)), (QStringList{"41 H     A", "42 H     B"}));
    EXPECT_EQ(Rows(dialog->KeyPage(SetupPage::Suffix)), QStringList{"0D H     CR (Enter)"});
    EXPECT_EQ(Rows(dialog->KeyPage(SetupPage::Abziehen)), QStringList{"8F H     Wait 100"});
    EXPECT_EQ(Rows(dialog->KeyPage(SetupPage::Trenner)), QStringList{"2C H     ,"});
    auto* header = Find<QTreeWidget>(dialog->KeyPage(SetupPage::Trenner), "list1020")->headerItem();
    EXPECT_EQ(header->text(0), "Trenner code");

    tabs->setCurrentIndex(2);
    CDataPage* data = dialog->DataPage();
    EXPECT_TRUE(Find<QRadioButton>(data, "radio1049")->isChecked());
    EXPECT_TRUE(Find<QRadioButton>(data, "radio1040")->isChecked());
    EXPECT_EQ(Edit(data, 1028)->text(), "20");
    EXPECT_EQ(Edit(data, 1022)->text(), "3");
    EXPECT_EQ(Edit(data, 1020)->text(), "8");
    EXPECT_EQ(Edit(data, 1012)->text(), "[");
    EXPECT_EQ(Find<QComboBox>(data, "combo1051")->currentText(), "USER");
    EXPECT_EQ(Edit(data, 1006)->text(), "16");
    EXPECT_EQ(Edit(data, 1007)->text(), "2");
    EXPECT_EQ(Find<QComboBox>(data, "combo1052")->currentText(), "-----");
    // Block format: registers open, the information frame names the banks.
    EXPECT_TRUE(Edit(data, 1006)->isEnabled());
    EXPECT_EQ(Find<QLabel>(data, "label1015")->text(), "Res.: Reserviert");
    Find<QRadioButton>(data, "radio1048")->click();
    EXPECT_FALSE(Edit(data, 1006)->isEnabled());
    EXPECT_EQ(Find<QLabel>(data, "label1015")->text(), "Keine Register");
}

TEST_F(MorvaneUiTest, DataPageControlsFollowTheFeatureFlags) {
    auto dialog = OpenProgramming(0x1000);
    dialog->Tabs()->setCurrentIndex(2);
    CDataPage* data = dialog->DataPage();
    for (const char* hidden : {"edit1022", "label1035", "check1044", "check1046", "radio1045", "edit1012",
                               "edit1013", "label1036", "label1039"})
        EXPECT_FALSE(Find<QWidget>(data, hidden)->isVisible()) << hidden;
    EXPECT_TRUE(Edit(data, 1020)->isVisible());

    auto full = OpenProgramming(0x1F080);
    full->Tabs()->setCurrentIndex(2);
    for (const char* shown : {"edit1022", "check1044", "check1046", "radio1045", "edit1012", "edit1013"})
        EXPECT_TRUE(Find<QWidget>(full->DataPage(), shown)->isVisible()) << shown;
    // 0x80: the sensor input.
    full->Tabs()->setCurrentIndex(0);
    EXPECT_TRUE(Find<QWidget>(full->ParamPage(), "check1037")->isVisible());
}

TEST_F(MorvaneUiTest, AStoredUsbPortDisablesSettingTheBaudRate) {
    StorePort(QStringLiteral("USB: 4401-0001"));
    auto dialog = OpenProgramming();
    EXPECT_FALSE(Find<QComboBox>(dialog->ParamPage(), "combo1026")->isEnabled());
    // No such USB reader here: the connect says so, the pages keep their values.
    EXPECT_EQ(MessageTexts(), QStringList{QString::fromUtf8("Fehler beim Öffnen des Ports")});
    EXPECT_FALSE(dialog->ReadResult().connected);
    EXPECT_EQ(Edit(dialog->ParamPage(), 1002)->text(), "500");

    StorePort(sim.Port());
    auto serial = OpenProgramming();
    EXPECT_TRUE(Find<QComboBox>(serial->ParamPage(), "combo1026")->isEnabled());
}

TEST_F(MorvaneUiTest, AboutBoxShowsTheVersionsAndOpensItsAddresses) {
    UrlCatcher catcher;
    for (const char* scheme : {"https", "mailto"})
        QDesktopServices::setUrlHandler(QString::fromLatin1(scheme), &catcher, "Open");
    CAboutDlg about;
    about.show();
    EXPECT_EQ(Find<QLabel>(&about, "static101")->text(), "KV-PLM Morvane V 1.04");
    EXPECT_EQ(Find<QLabel>(&about, "static1012")->text(), "SDK Version 1.04");
    for (const char* name : {"static103", "static104"}) {
        QLabel* address = Find<QLabel>(&about, QString::fromLatin1(name));
        // The link is the whole text: a click anywhere on it opens it.
        QTest::mouseClick(address, Qt::LeftButton, {}, QPoint(4, address->height() / 2));
    }
    for (const char* scheme : {"https", "mailto"})
        QDesktopServices::unsetUrlHandler(QString::fromLatin1(scheme));
    EXPECT_EQ(catcher.urls,
              (QList<QUrl>{QUrl("https://kvplm.example.org"), QUrl("mailto:kvplm@example.org")}));
}

TEST_F(MorvaneUiTest, KeyPageEditsTheSequenceAndKeepsTheFocusInTheEntry) {
    Reader().SetBlock(Block::Prefix, {0xFF});
    auto dialog = OpenProgramming();
    dialog->Tabs()->setCurrentIndex(1);
    CKeySequencePage* prefix = dialog->KeyPage(SetupPage::Prefix);
    auto* entry = Find<QLineEdit>(prefix, "edit1040");
    EXPECT_TRUE(QTest::qWaitFor([&] { return HasFocus(entry); }, kWaitMs));

    Type(prefix, "0D");
    Type(prefix, "sp");
    // A double click on a list entry takes it over.
    auto* codes = Find<QListWidget>(prefix, "list1040");
    QListWidgetItem* stx = codes->item(2);
    codes->scrollToItem(stx);
    const QPoint at = codes->visualItemRect(stx).center();
    QTest::mouseClick(codes->viewport(), Qt::LeftButton, {}, at);
    QTest::mouseDClick(codes->viewport(), Qt::LeftButton, {}, at);
    EXPECT_EQ(Rows(prefix), (QStringList{"0D H     CR (Enter)", "20 H     SP", "02 H     STX"}));
    EXPECT_TRUE(HasFocus(entry));

    // Up moves the selected item; the selection follows it.
    auto* items = Find<QTreeWidget>(prefix, "list1020");
    items->setCurrentItem(items->topLevelItem(2));
    Find<QPushButton>(prefix, "button1119")->click();
    EXPECT_EQ(Rows(prefix), (QStringList{"0D H     CR (Enter)", "02 H     STX", "20 H     SP"}));
    EXPECT_TRUE(items->topLevelItem(1)->isSelected());
    // Moving keeps the focus on the arrow, so the item moves on from the keyboard.
    auto* down = Find<QPushButton>(prefix, "button1120");
    QTest::mouseClick(down, Qt::LeftButton);
    EXPECT_TRUE(HasFocus(down));
    EXPECT_EQ(Rows(prefix), (QStringList{"0D H     CR (Enter)", "20 H     SP", "02 H     STX"}));
    QTest::mouseClick(Find<QPushButton>(prefix, "button1119"), Qt::LeftButton);
    EXPECT_EQ(Rows(prefix), (QStringList{"0D H     CR (Enter)", "02 H     STX", "20 H     SP"}));
    EXPECT_TRUE(items->topLevelItem(1)->isSelected());

    // Refused entries: the message, the text selected for overtyping.
    Type(prefix, "8G");
    ASSERT_EQ(recorder.records.size(), 1);
    EXPECT_EQ(recorder.records[0].text, QString::fromUtf8("Kein gültiges Zeichen"));
    EXPECT_EQ(entry->selectedText(), "8G");
    Find<QPushButton>(prefix, "button1022")->click(); // deletes row 1 (STX)
    EXPECT_EQ(Rows(prefix), (QStringList{"0D H     CR (Enter)", "20 H     SP"}));
    EXPECT_TRUE(dialog->Model().Prefix().Changed());

    // Leaving for the data page and back: focus into the next key page's entry.
    dialog->Tabs()->setCurrentIndex(3);
    auto* suffixEntry = Find<QLineEdit>(dialog->KeyPage(SetupPage::Suffix), "edit1040");
    EXPECT_TRUE(QTest::qWaitFor([&] { return HasFocus(suffixEntry); }, kWaitMs));
}

TEST_F(MorvaneUiTest, AFailingPageStaysActiveAndEnterDoesNothing) {
    auto dialog = OpenProgramming();
    QTabWidget* tabs = dialog->Tabs();
    Edit(dialog->ParamPage(), 1002)->setText("50");
    tabs->setCurrentIndex(2);
    EXPECT_EQ(tabs->currentIndex(), 0);
    ASSERT_EQ(recorder.records.size(), 1);
    EXPECT_EQ(recorder.records[0].text, "Geben Sie bitte eine ganze Zahl zwischen 100 und 12700 ein.");
    EXPECT_TRUE(HasFocus(Edit(dialog->ParamPage(), 1002)));

    Edit(dialog->ParamPage(), 1002)->setText("12700");
    tabs->setCurrentIndex(2);
    EXPECT_EQ(tabs->currentIndex(), 2);
    Edit(dialog->DataPage(), 1028)->setText("33");
    tabs->setCurrentIndex(1);
    EXPECT_EQ(tabs->currentIndex(), 2);
    EXPECT_EQ(recorder.records.last().text, "Geben Sie bitte eine ganze Zahl zwischen 1 und 32 ein.");

    // Enter closes nothing; Escape cancels.
    QTest::keyClick(dialog.get(), Qt::Key_Return);
    EXPECT_TRUE(dialog->isVisible());
    QTest::keyClick(dialog.get(), Qt::Key_Escape);
    EXPECT_FALSE(dialog->isVisible());
    EXPECT_EQ(dialog->result(), QDialog::Rejected);
}

TEST_F(MorvaneUiTest, ProgrammingDialogButtonRowAndEnterInTheCodeEntry) {
    auto dialog = OpenProgramming();
    QStringList texts;
    QList<QPushButton*> row;
    for (int id : {32776, 32773, 32774, 2}) {
        auto* button = dialog->findChild<QPushButton*>(QStringLiteral("button%1").arg(id));
        ASSERT_NE(button, nullptr) << id;
        row.append(button);
        texts.append(button->text());
    }
    EXPECT_EQ(texts, (QStringList{"Speichern", "Laden", "Programmieren", "Abbrechen"}));
    // One row below the pages, left to right in that order.
    for (int i = 1; i < row.size(); ++i) {
        EXPECT_LT(row[i - 1]->geometry().right(), row[i]->x());
        EXPECT_EQ(row[i]->y(), row[0]->y());
    }
    EXPECT_GT(row[0]->y(), dialog->Tabs()->geometry().bottom());

    // Enter in the code entry neither takes the code over nor closes the
    // dialog, also after "Übernehmen" was clicked with the mouse.
    dialog->Tabs()->setCurrentIndex(1);
    CKeySequencePage* prefix = dialog->KeyPage(SetupPage::Prefix);
    auto* entry = Find<QLineEdit>(prefix, "edit1040");
    const QStringList before = Rows(prefix);
    entry->selectAll();
    QTest::keyClicks(entry, "41");
    QTest::mouseClick(Find<QPushButton>(prefix, "button1025"), Qt::LeftButton);
    EXPECT_EQ(Rows(prefix).size(), before.size() + 1);
    EXPECT_TRUE(HasFocus(entry));
    entry->selectAll();
    QTest::keyClicks(entry, "42");
    QTest::keyClick(entry, Qt::Key_Return);
    QTest::keyClick(entry, Qt::Key_Enter);
    EXPECT_TRUE(dialog->isVisible());
    EXPECT_EQ(Rows(prefix).size(), before.size() + 1);
    EXPECT_TRUE(recorder.records.isEmpty());

    // The close box acts as "Abbrechen".
    dialog->close();
    EXPECT_FALSE(dialog->isVisible());
    EXPECT_EQ(dialog->result(), QDialog::Rejected);
}

TEST_F(MorvaneUiTest, SaveLoadProgramAndReadBackWhatWasComposed) {
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("lager.mkr"));
    auto dialog = OpenProgramming();
    QTabWidget* tabs = dialog->Tabs();

    // Compose: mode 1 with request "x", a prefix "<", a suffix CR, data as
    // decimal with 12 characters of bytes 2..6.
    CParamPage* param = dialog->ParamPage();
    Find<QRadioButton>(param, "radio1022")->click();
    EXPECT_TRUE(Edit(param, 1025)->isEnabled());
    EXPECT_FALSE(Edit(param, 1023)->isEnabled());
    Edit(param, 1025)->setText("x");
    tabs->setCurrentIndex(1);
    Type(dialog->KeyPage(SetupPage::Prefix), "<");
    tabs->setCurrentIndex(2);
    CDataPage* data = dialog->DataPage();
    Find<QRadioButton>(data, "radio1037")->click();
    Edit(data, 1028)->setText("12");
    Edit(data, 1022)->setText("2");
    Edit(data, 1020)->setText("6");
    tabs->setCurrentIndex(3);
    Type(dialog->KeyPage(SetupPage::Suffix), "0D");

    // Save: the file, the caption with its path.
    files = {file};
    dialog->findChild<QPushButton*>("button32776")->click();
    ASSERT_TRUE(QFile::exists(file)) << MessageTexts().join('|').toStdString();
    EXPECT_EQ(dialog->windowTitle(), QStringLiteral("Programmierung eingeben - ") + file);
    QFile saved(file);
    ASSERT_TRUE(saved.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(saved.readAll());
    EXPECT_TRUE(text.contains("[Prefix]\r\nCount=1\r\nAscii0=60\r\n")) << text.toStdString();
    EXPECT_TRUE(text.contains("Betriebsart=1\r\n"));
    EXPECT_TRUE(text.contains("Aufforderung=x\r\n"));
    EXPECT_TRUE(text.contains("ZeichenAnzahl=12\r\n"));

    // Saving over it asks first; No shows the save dialog again.
    files = {file, QString()};
    recorder.answers = {QMessageBox::No};
    dialog->findChild<QPushButton*>("button32776")->click();
    EXPECT_EQ(savedDialogs, 3);
    EXPECT_TRUE(recorder.records.last().text.startsWith(file + QString::fromUtf8(" ist bereits vorhanden.")));

    // Change the prefix, then load: 516 first (No), the file's values come back.
    tabs->setCurrentIndex(1);
    Find<QPushButton>(dialog->KeyPage(SetupPage::Prefix), "button1023")->click();
    EXPECT_TRUE(Rows(dialog->KeyPage(SetupPage::Prefix)).isEmpty());
    recorder.records.clear();
    recorder.answers = {QMessageBox::No};
    files = {file};
    dialog->findChild<QPushButton*>("button32773")->click();
    ASSERT_FALSE(recorder.records.isEmpty());
    EXPECT_EQ(recorder.records[0].text, "Vorhandene Werte zuerst speichern ?");
    EXPECT_EQ(recorder.records[0].buttons, QMessageBox::Yes | QMessageBox::No);
    EXPECT_EQ(Rows(dialog->KeyPage(SetupPage::Prefix)), QStringList{"3C H     <"});

    // Program: 509, and the reader holds what was composed.
    recorder.records.clear();
    dialog->findChild<QPushButton*>("button32774")->click();
    ASSERT_EQ(MessageTexts(), QStringList{"Programmierung erfolgreich abgeschlossen"});
    EXPECT_EQ(Reader().GetBlock(Block::Prefix), (CSimReader::Bytes{0x3C, 0xFF}));
    EXPECT_EQ(Reader().GetBlock(Block::Suffix), (CSimReader::Bytes{0x0D, 0xFF}));
    EXPECT_EQ(Reader().GetBlock(Block::ModeParam), (CSimReader::Bytes{0x01, 0x0A, 'x', 0x05}));
    const CSimReader::Bytes param24 = Reader().GetBlock(Block::Param);
    ASSERT_EQ(param24.size(), 24u);
    EXPECT_EQ(param24[18], 1);  // decimal
    EXPECT_EQ(param24[19], 12); // characters
    EXPECT_EQ(param24[20], 6);
    EXPECT_EQ(param24[21], 2);

    // Read back: the report shows what was composed.
    CReadBackDlg readBack(nullptr, host);
    ASSERT_TRUE(readBack.Start());
    readBack.show();
    const QString report = readBack.ReportText();
    EXPECT_TRUE(report.contains(" Prefix        : 3C \n")) << report.toStdString();
    EXPECT_TRUE(report.contains(" Suffix        : 0D \n"));
    EXPECT_TRUE(report.contains(" Datentyp      : Dezimal\n"));
    EXPECT_TRUE(report.contains("Zeichenzahl   : 12\n"));
    EXPECT_TRUE(report.contains("Benutzte Bytes: 2 - 6\n"));
    EXPECT_TRUE(report.contains("Mode          : 1\n"));
    EXPECT_TRUE(report.contains("Aufforderung  : x\n"));
    // "Inhalt lesen" appends, "Löschen" empties.
    Find<QPushButton>(&readBack, "button4")->click();
    EXPECT_EQ(readBack.ReportText().count(QStringLiteral(" Prefix ")), 2);
    Find<QPushButton>(&readBack, "button3")->click();
    EXPECT_TRUE(readBack.ReportText().isEmpty());
    EXPECT_TRUE(QFontInfo(Find<QPlainTextEdit>(&readBack, "edit1013")->font()).fixedPitch());
}

TEST_F(MorvaneUiTest, NothingCountsAsSavedLoadedOrProgrammedThatIsNot) {
    // A reader with a Prefix of 20 codes; a file holds 15.
    CSimReader::Bytes prefix;
    for (uint8_t code = 0x41; code < 0x41 + 20; ++code)
        prefix.push_back(code);
    prefix.push_back(0xFF);
    Reader().SetBlock(Block::Prefix, prefix);
    QTemporaryDir dir;
    const QString saved = dir.filePath(QStringLiteral("lang.mkr"));
    appkit::SettingsStore store(appkit::Program::Morvane);
    store.WriteString(QStringLiteral("Settings"), QStringLiteral("LastPfad"),
                      QStringLiteral("/lager/test.mkp"));
    store.Sync();
    auto dialog = OpenProgramming();
    CKeySequencePage* prefixPage = dialog->KeyPage(SetupPage::Prefix);
    ASSERT_EQ(Rows(prefixPage).size(), 20);

    // "Speichern": the file gets the first 15 codes, the dialog says so and
    // does not take the file as its own.
    files = {saved};
    dialog->findChild<QPushButton*>("button32776")->click();
    ASSERT_EQ(MessageTexts().size(), 1);
    EXPECT_TRUE(MessageTexts()[0].startsWith(
        QString::fromUtf8("Die Seite Prefix hat 20 Codes; gespeichert sind nur die ersten 15.")))
        << MessageTexts()[0].toStdString();
    EXPECT_EQ(dialog->windowTitle(), QStringLiteral("Programmierung eingeben"));
    QFile file(saved);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_TRUE(file.readAll().contains("[Prefix]\r\nCount=15\r\n"));

    // "Laden" of 3000 random bytes: refused; pages, caption and LastPfad stay.
    QByteArray noise;
    uint32_t state = 7;
    for (int i = 0; i < 3000; ++i) {
        state = state * 1103515245u + 12345u;
        noise.append(char(state >> 24));
    }
    const QString random = dir.filePath(QStringLiteral("zufall.bin"));
    QFile noiseFile(random);
    ASSERT_TRUE(noiseFile.open(QIODevice::WriteOnly));
    noiseFile.write(noise);
    noiseFile.close();
    recorder.records.clear();
    files = {random};
    dialog->findChild<QPushButton*>("button32773")->click();
    ASSERT_EQ(MessageTexts().size(), 1);
    EXPECT_TRUE(MessageTexts()[0].startsWith(QStringLiteral("Die Datei ") + random +
                                             QStringLiteral(" ist keine Konfiguration:")))
        << MessageTexts()[0].toStdString();
    EXPECT_EQ(Rows(prefixPage).size(), 20);
    EXPECT_EQ(dialog->windowTitle(), QStringLiteral("Programmierung eingeben"));
    EXPECT_EQ(appkit::SettingsStore(appkit::Program::Morvane)
                  .GetString(QStringLiteral("Settings"), QStringLiteral("LastPfad")),
              QStringLiteral("/lager/test.mkp"));

    // A file whose Prefix does not load (531): "Programmieren" writes nothing.
    const QString tooLong = dir.filePath(QStringLiteral("count16.mkr"));
    QFile longFile(tooLong);
    ASSERT_TRUE(longFile.open(QIODevice::WriteOnly));
    longFile.write("[Prefix]\r\nCount=16\r\n[Suffix]\r\nCount=1\r\nAscii0=13\r\n");
    longFile.close();
    recorder.records.clear();
    files = {tooLong};
    dialog->findChild<QPushButton*>("button32773")->click();
    ASSERT_EQ(MessageTexts().size(), 1);
    EXPECT_TRUE(MessageTexts()[0].startsWith(QStringLiteral("Beim Laden der Daten ist der Fehler")));
    EXPECT_TRUE(Rows(prefixPage).isEmpty());
    recorder.records.clear();
    dialog->findChild<QPushButton*>("button32774")->click();
    ASSERT_EQ(MessageTexts().size(), 1);
    EXPECT_TRUE(MessageTexts()[0].startsWith(
        QStringLiteral("Die Seite Prefix wurde nicht aus der Datei geladen und wird nicht programmiert.")))
        << MessageTexts()[0].toStdString();
    EXPECT_EQ(Reader().GetBlock(Block::Prefix), prefix);
    EXPECT_EQ(Reader().GetBlock(Block::Suffix), CSimReader::DefaultBlock(Block::Suffix));
}

TEST_F(MorvaneUiTest, ReadBackClosesAtOnceWithoutAReader) {
    StorePort(QStringLiteral("/dev/kvplm-no-such-reader"));
    CReadBackDlg readBack(nullptr, host);
    EXPECT_EQ(readBack.exec(), QDialog::Rejected);
    EXPECT_EQ(MessageTexts(), QStringList{QString::fromUtf8("Fehler beim Öffnen des Ports")});
}

TEST_F(MorvaneUiTest, FunctionTestShowsAndCountsTheReadersTelegramsInMode3) {
    KonfigDaten record;
    record.Betriebsart = 3;
    record.Zykluszeit = 200;
    record.ZeichenAnzahl = 24;
    record.GueltigeBytes = 12;
    Reader().SetBlock(Block::ModeParam, ConfigImage::BuildModeParam(record));
    Reader().SetBlock(Block::Param, ConfigImage::BuildParam(record));
    Reader().SetBlock(Block::Prefix, {'<', 0xFF});
    Reader().SetBlock(Block::Suffix, {0x0D, 0xFF});
    Reader().PlaceTag(CSimTransponder(TestEpc()));

    CFunktionstestDlg test(nullptr, host, 0x1F000);
    ASSERT_TRUE(test.Start());
    test.show();
    EXPECT_EQ(Reader().State(), 1);
    EXPECT_EQ(Edit(&test, 1032)->text(), "3");
    EXPECT_FALSE(Find<QPushButton>(&test, "button1027")->isEnabled());
    EXPECT_TRUE(Edit(&test, 1033)->isVisible());
    EXPECT_FALSE(Find<QPushButton>(&test, "check1038")->isVisible());

    auto* hex = Find<QPlainTextEdit>(&test, "edit1029");
    auto* ascii = Find<QPlainTextEdit>(&test, "edit1030");
    ASSERT_TRUE(QTest::qWaitFor([&] { return Edit(&test, 1033)->text().toInt() >= 2; }, kWaitMs));
    // A whole telegram: "<", the EPC in hex, CR; 26 bytes, 16 to a line.
    ASSERT_TRUE(QTest::qWaitFor([&] { return test.Model().Telegram().size() >= 26; }, kWaitMs));
    const QStringList hexLines = hex->toPlainText().split('\n');
    const QStringList asciiLines = ascii->toPlainText().split('\n');
    ASSERT_EQ(hexLines.size(), 2);
    EXPECT_EQ(hexLines[0], "3C 33 30 30 30 31 31 32 32 33 33 34 34 35 35 36 ");
    EXPECT_EQ(asciiLines[0], "<  3  0  0  0  1  1  2  2  3  3  4  4  5  5  6  ");
    // The columns line up: the same width, byte for byte.
    EXPECT_EQ(hexLines[1].size(), asciiLines[1].size());
    EXPECT_TRUE(asciiLines[1].endsWith(QString(QChar(0x00B7)) + "  "));

    test.accept();
    EXPECT_EQ(Reader().State(), 2);
}

TEST_F(MorvaneUiTest, FunctionTestWithRequestModeSendsTheRequestByte) {
    KonfigDaten record;
    record.Betriebsart = 1;
    record.Aufforderung = '!';
    Reader().SetBlock(Block::ModeParam, ConfigImage::BuildModeParam(record));
    CFunktionstestDlg test(nullptr, host, 0x1F080);
    ASSERT_TRUE(test.Start());
    test.show();
    EXPECT_EQ(Edit(&test, 1028)->text(), "21 ");
    EXPECT_TRUE(Find<QPushButton>(&test, "button1027")->isEnabled());
    EXPECT_FALSE(Edit(&test, 1033)->isVisible());
    EXPECT_TRUE(Find<QPushButton>(&test, "check1038")->isVisible());
    // Without a transponder a request gets the prefix and suffix alone.
    Reader().SetBlock(Block::Prefix, {'#', 0xFF});
    Find<QPushButton>(&test, "button1027")->click();
    auto* hex = Find<QPlainTextEdit>(&test, "edit1029");
    EXPECT_TRUE(QTest::qWaitFor([&] { return hex->toPlainText().startsWith("23 "); }, kWaitMs))
        << hex->toPlainText().toStdString();
}

TEST_F(MorvaneUiTest, FunctionTestRelayAndBuzzerSendTheirBytes) {
    // The reader takes the single bytes as line noise: that is where they show.
    struct Noise {
        std::mutex mutex;
        CSimReader::Bytes bytes;
    };
    auto noise = std::make_shared<Noise>();
    Reader().SetTraceHook([noise](CSimReader::TraceKind kind, const CSimReader::Bytes& bytes) {
        if (kind != CSimReader::TraceKind::Noise) return;
        std::lock_guard<std::mutex> lock(noise->mutex);
        noise->bytes.insert(noise->bytes.end(), bytes.begin(), bytes.end());
    });
    auto received = [noise] {
        std::lock_guard<std::mutex> lock(noise->mutex);
        return noise->bytes;
    };
    Reader().SetBlock(Block::ModeParam, {0x00, 0x0A, '?', 0x05}); // mode 0, no transponder: silent
    {
        CFunktionstestDlg test(nullptr, host, 0x1F080);
        ASSERT_TRUE(test.Start());
        test.show();
        // One byte at a time: the port takes one frame per write.
        auto* relay = Find<QPushButton>(&test, "check1038");
        relay->click(); // pressed
        EXPECT_TRUE(relay->isChecked());
        EXPECT_TRUE(QTest::qWaitFor([&] { return received().size() >= 1; }, kWaitMs));
        relay->click(); // released
        EXPECT_TRUE(QTest::qWaitFor([&] { return received().size() >= 2; }, kWaitMs));
        Find<QPushButton>(&test, "button1031")->click();
        EXPECT_TRUE(QTest::qWaitFor([&] { return received().size() >= 3; }, kWaitMs));
        EXPECT_EQ(received(), (CSimReader::Bytes{0x11, 0x13, 0x07}));
        test.accept();
    }
    Reader().SetTraceHook(nullptr);
    EXPECT_EQ(Reader().State(), 2);
}

TEST_F(MorvaneUiTest, FunctionTestSaysWhenTheReaderIsUnplugged) {
    KonfigDaten record;
    record.Betriebsart = 1; // request mode: "Sende" is enabled
    record.Aufforderung = '!';
    Reader().SetBlock(Block::ModeParam, ConfigImage::BuildModeParam(record));
    Reader().SetBlock(Block::Prefix, {'#', 0xFF});
    CFunktionstestDlg test(nullptr, host, 0x1F080);
    ASSERT_TRUE(test.Start());
    test.show();
    auto* lost = Find<QLabel>(&test, "label1206");
    ASSERT_NE(lost, nullptr);
    EXPECT_FALSE(lost->isVisible());
    auto* hex = Find<QPlainTextEdit>(&test, "edit1029");
    Find<QPushButton>(&test, "button1027")->click();
    ASSERT_TRUE(QTest::qWaitFor([&] { return hex->toPlainText().startsWith("23 "); }, kWaitMs));
    const QString telegram = hex->toPlainText();

    sim.sim->Unplug();
    ASSERT_TRUE(QTest::qWaitFor([&] { return lost->isVisible(); }, kWaitMs)) << "the unplug went unnoticed";
    EXPECT_EQ(lost->text(), QString::fromUtf8("Die Verbindung zum Gerät ist unterbrochen."));
    EXPECT_TRUE(recorder.records.isEmpty());
    // Each button sends nothing and says so; the relay stays released, the
    // last telegram stays shown.
    auto* relay = Find<QPushButton>(&test, "check1038");
    relay->click();
    EXPECT_FALSE(relay->isChecked());
    Find<QPushButton>(&test, "button1031")->click();
    Find<QPushButton>(&test, "button1027")->click();
    EXPECT_EQ(MessageTexts(),
              QStringList(3, QString::fromUtf8("Die Verbindung zum Gerät ist unterbrochen.")));
    EXPECT_EQ(hex->toPlainText(), telegram);
    test.accept();
    EXPECT_FALSE(test.Model().IsOpen());
}

TEST_F(MorvaneUiTest, FunctionTestLostConnectionInEnglish) {
    ASSERT_TRUE(appkit::Texts::LoadLanguageModule(appkit::Program::Morvane));
    CFunktionstestDlg test(nullptr, host, 0x1F000);
    ASSERT_TRUE(test.Start());
    test.show();
    sim.sim->Unplug();
    auto* lost = Find<QLabel>(&test, "label1206");
    ASSERT_TRUE(QTest::qWaitFor([&] { return lost->isVisible(); }, kWaitMs));
    EXPECT_EQ(lost->text(), "The connection to the device has been lost.");
    Find<QPushButton>(&test, "button1031")->click();
    EXPECT_EQ(MessageTexts(), QStringList{"The connection to the device has been lost."});
    test.accept();
}

TEST_F(MorvaneUiTest, ReadBackAgainLinesUpWithTheFirstReport) {
    Reader().SetBlock(Block::Prefix, {0x3C, 0xFF});
    CReadBackDlg readBack(nullptr, host);
    ASSERT_TRUE(readBack.Start());
    readBack.show();
    const QString first = readBack.ReportText();
    ASSERT_TRUE(first.startsWith(" Prefix        : 3C \n")) << first.toStdString();
    ASSERT_TRUE(first.endsWith(" Millisekunden \n ")) << first.toStdString();
    Find<QPushButton>(&readBack, "button4")->click();
    // The second report starts on the blank the first one ends with.
    EXPECT_EQ(readBack.ReportText(), first + first.mid(1));
    Find<QPushButton>(&readBack, "button4")->click();
    for (const QString& line : readBack.ReportText().split('\n'))
        EXPECT_TRUE(line.isEmpty() || line == " " || (line.startsWith(' ') && !line.startsWith("  ")))
            << line.toStdString();
}

// The views whose columns must line up, whatever fonts the machine has:
// ctest runs these once more with a font configuration whose "monospace" is
// a proportional face (KVPLM_TEST_FONTS=proportional-monospace).
TEST(FixedFontTest, TheViewsGetAReallyFixedPitchFont) {
    if (qgetenv("KVPLM_TEST_FONTS") == "proportional-monospace") {
        ASSERT_FALSE(FixedFont::IsFixedPitch(QFontDatabase::systemFont(QFontDatabase::FixedFont)))
            << "the font configuration of this test did not take effect";
    }
    const QFont fixed = FixedFont::Get();
    EXPECT_TRUE(FixedFont::IsFixedPitch(fixed)) << QFontInfo(fixed).family().toStdString();
    const QFont sans(QStringLiteral("DejaVu Sans"));
    if (QFontInfo(sans).family() == QStringLiteral("DejaVu Sans")) {
        EXPECT_FALSE(FixedFont::IsFixedPitch(sans)) << "a proportional face passed for fixed";
    }

    CWidgetSetupHost host;
    CReadBackDlg readBack(nullptr, host);
    EXPECT_TRUE(QFontInfo(Find<QPlainTextEdit>(&readBack, "edit1013")->font()).fixedPitch());
    EXPECT_TRUE(FixedFont::IsFixedPitch(Find<QPlainTextEdit>(&readBack, "edit1013")->font()));

    // A telegram of narrow, wide, control and Latin 1 bytes: each line of the
    // ASCII view is as wide on the screen as the same line of the hex view.
    CFunktionstestDlg test(nullptr, host, 0);
    auto* ascii = Find<QPlainTextEdit>(&test, "edit1030");
    auto* hex = Find<QPlainTextEdit>(&test, "edit1029");
    EXPECT_TRUE(FixedFont::IsFixedPitch(ascii->font()));
    EXPECT_TRUE(FixedFont::IsFixedPitch(hex->font()));
    const std::string bytes = "iW.0 \r\x01\xE4\xDF\x80MMii||";
    std::string asciiView, hexView;
    char cell[8];
    for (char c : bytes) {
        asciiView += c;
        asciiView += "   ";
        std::snprintf(cell, sizeof cell, "%02X ", unsigned(uint8_t(c)));
        hexView += cell;
    }
    const QString asciiText = CFunktionstestDlg::AsciiDisplay(asciiView);
    const QString hexText = CFunktionstestDlg::HexDisplay(hexView);
    ASSERT_EQ(asciiText.size(), hexText.size());
    const QFontMetrics asciiMetrics(ascii->font()), hexMetrics(hex->font());
    EXPECT_EQ(asciiMetrics.horizontalAdvance(asciiText), hexMetrics.horizontalAdvance(hexText))
        << asciiText.toStdString();
}

TEST_F(MorvaneUiTest, HidFunctionTestIsAFieldToTypeInto) {
    const size_t requests = Reader().GetCounters().requests;
    CFunktionstestHidDlg test(nullptr);
    test.show();
    EXPECT_EQ(test.windowTitle(), "Funktionstest HID");
    auto* field = Find<QPlainTextEdit>(&test, "edit1030");
    QTest::keyClicks(field, "E200");
    EXPECT_EQ(field->toPlainText(), "E200");
    QTest::mouseClick(Find<QPushButton>(&test, "button1022"), Qt::LeftButton);
    EXPECT_TRUE(field->toPlainText().isEmpty());
    EXPECT_TRUE(HasFocus(field));
    // No session: the reader is not asked anything.
    EXPECT_EQ(Reader().GetCounters().requests, requests);
}

TEST_F(MorvaneUiTest, PowerOnDialogReadsAndStoresTheMode) {
    Reader().SetPowerOnMode(1);
    const SetupConnection connection = host.Connect(true);
    ASSERT_TRUE(connection.Connected());
    {
        CEinschaltkonfigDlg dialog(nullptr, host, connection.session);
        dialog.Start();
        EXPECT_TRUE(Find<QRadioButton>(&dialog, "radio1040")->isChecked());
        Find<QRadioButton>(&dialog, "radio1039")->click();
        dialog.accept();
        EXPECT_EQ(dialog.result(), QDialog::Accepted);
    }
    EXPECT_EQ(Reader().PowerOnMode(), 0);
    // A reader that cannot tell: 519, no button checked.
    Reader().FaultStatus(0xF4, 24, false);
    CEinschaltkonfigDlg unread(nullptr, host, connection.session);
    unread.Start();
    EXPECT_EQ(MessageTexts(), QStringList{"Konfiguration konnte nicht gelesen werden!"});
    EXPECT_EQ(unread.Choice(), -1);
    // OK without a choice stores nothing: 510, and the dialog stays open.
    unread.show();
    unread.accept();
    EXPECT_TRUE(unread.isVisible());
    EXPECT_EQ(recorder.records.size(), 2);
    EXPECT_TRUE(recorder.records.last().text.startsWith("Es ist ein Fehler bei der Programmierung"));
    EXPECT_EQ(Reader().PowerOnMode(), 0);
    unread.reject();
    host.CloseSession(connection.session);
}

TEST_F(MorvaneUiTest, WhileBusyTheDialogTakesNoInputButOtherWindowsDo) {
    QWidget main;
    QDialog dialog(&main);
    auto* button = new QPushButton(QStringLiteral("Programmieren"), &dialog);
    QDialog other;
    auto* otherButton = new QPushButton(QStringLiteral("OK"), &other);
    dialog.show();
    other.show();
    int clicks = 0, otherClicks = 0;
    QObject::connect(button, &QPushButton::clicked, [&] { ++clicks; });
    QObject::connect(otherButton, &QPushButton::clicked, [&] { ++otherClicks; });
    {
        CBusyGuard busy(&dialog);
        QTest::mouseClick(button, Qt::LeftButton);
        QTest::keyClick(button, Qt::Key_Space);
        QTest::mouseClick(otherButton, Qt::LeftButton);
        dialog.close();
        EXPECT_TRUE(dialog.isVisible());
    }
    EXPECT_EQ(clicks, 0);
    EXPECT_EQ(otherClicks, 1);
    QTest::mouseClick(button, Qt::LeftButton);
    EXPECT_EQ(clicks, 1);
}

class MainFrameTest : public MorvaneUiTest {
protected:
    void SetUp() override {
        MorvaneUiTest::SetUp();
        frame = std::make_unique<CMainFrame>();
        frame->SetChooser([this] { return ++chooserCalls, false; });
    }
    void TearDown() override {
        frame.reset();
        MorvaneUiTest::TearDown();
    }
    QString Text(int command) const { return frame->Action(command)->text(); }

    std::unique_ptr<CMainFrame> frame;
    int chooserCalls = 0;
};

TEST_F(MainFrameTest, CommandsAreEnabledByTheFlagsOfTheLastConnect) {
    frame->Create();
    EXPECT_EQ(frame->size(), QSize(650, 630));
    EXPECT_FALSE(frame->Action(CMainFrame::CmdIpAddress)->isEnabled());
    EXPECT_FALSE(frame->Action(CMainFrame::CmdDeviceConfig)->isEnabled());
    EXPECT_TRUE(frame->Action(CMainFrame::CmdProgram)->isEnabled());

    frame->ConnectAtStart();
    EXPECT_EQ(chooserCalls, 0);
    EXPECT_EQ(frame->Flags(), 0x1F000);
    EXPECT_TRUE(frame->windowTitle().startsWith("KV-PLM Morvane V1.04 <KV-PLM41 "))
        << frame->windowTitle().toStdString();
    EXPECT_TRUE(frame->Action(CMainFrame::CmdDeviceConfig)->isEnabled());
    // A serial reader: no network settings.
    EXPECT_FALSE(frame->Action(CMainFrame::CmdIpAddress)->isEnabled());
    // The session was closed at once.
    EXPECT_EQ(Reader().State(), 2);

    // A connect to a network reader (as a dialog's connect reports it).
    frontend::Connection network;
    network.flags = 0x1F400;
    frame->Host().onConnected(network);
    EXPECT_TRUE(frame->Action(CMainFrame::CmdIpAddress)->isEnabled());

    // A failed connect keeps the flags; the chooser is asked, cancelling ends it.
    StorePort(QStringLiteral("/dev/kvplm-no-such-reader"));
    frame->ConnectAtStart();
    EXPECT_EQ(chooserCalls, 1);
    EXPECT_EQ(frame->Flags(), 0x1F400);
    EXPECT_TRUE(frame->Action(CMainFrame::CmdIpAddress)->isEnabled());
}

TEST_F(MainFrameTest, MenuAndToolbarInTheirOrder) {
    QStringList menu;
    for (QAction* action : frame->menuBar()->actions())
        menu.append(action->text());
    EXPECT_EQ(menu, (QStringList{"&Programmieren", "&Inhalt lesen", "Einstellungen", "Sprachen", "&Beenden",
                                 "&?"}));
    QStringList settings;
    for (QAction* action : frame->menuBar()->actions()[2]->menu()->actions())
        settings.append(action->text());
    EXPECT_EQ(settings, (QStringList{"Schnittstelle", "IP-Adresse", QString::fromUtf8("Gerätekonfiguration"),
                                     "Mit Datei vergleichen ..."}));
    QStringList tools;
    for (QAction* action : frame->ToolBar()->actions())
        tools.append(action->isSeparator() ? QStringLiteral("|") : action->toolTip());
    EXPECT_EQ(tools, (QStringList{"Programmieren", "Inhalt lesen", "Schnittstelle", "Beenden", "|", "Info"}));
    EXPECT_EQ(frame->Action(CMainFrame::CmdProgram)->statusTip(), "Programmierdialog");

    // The whole menu by command ids, pop-ups included, with the entries' texts.
    QStringList ids, texts;
    for (QAction* action : frame->menuBar()->actions()) {
        if (QMenu* popup = action->menu()) {
            for (QAction* entry : popup->actions()) {
                ids.append(entry->objectName());
                texts.append(entry->text());
            }
        } else {
            ids.append(action->objectName());
        }
    }
    EXPECT_EQ(ids, (QStringList{"action32770", "action32778", "action32780", "action32785", "action32786",
                                "action9450", "action32781", "action32782", "action57665", "action57664"}));
    EXPECT_EQ(texts.mid(4),
              (QStringList{"Deutsch", "Englisch", QString::fromUtf8("Inf&o über KV-PLM Morvane...")}));
    QStringList toolIds;
    for (QAction* action : frame->ToolBar()->actions())
        toolIds.append(action->isSeparator() ? QStringLiteral("|") : action->objectName());
    EXPECT_EQ(toolIds, (QStringList{"tool32770", "tool32778", "tool32780", "tool57665", "|", "tool57664"}));

    // Status texts ("status bar\ntooltip") of the commands, shown in the status bar.
    const std::pair<int, const char*> tips[] = {
        {CMainFrame::CmdProgram, "Programmierdialog\nProgrammieren"},
        {CMainFrame::CmdReadBack, "Anzeigen des Inhalts\nInhalt lesen"},
        {CMainFrame::CmdInterface, "Schnittstelle wählen\nSchnittstelle"},
        {CMainFrame::CmdIpAddress, "IP-Adresse einstellen\nIP-Adresse"},
        {CMainFrame::CmdDeviceConfig, "Gerätekonfiguration einstellen\nGerätekonfiguration"},
        {CMainFrame::CmdGerman, "Deutsch\nDeutsch"},
        {CMainFrame::CmdEnglish, "Englisch\nEnglisch"}};
    for (const auto& [command, tip] : tips) {
        QAction* action = frame->Action(command);
        EXPECT_EQ(action->statusTip() + '\n' + action->toolTip(), QString::fromUtf8(tip)) << command;
        action->showStatusText(frame.get());
        EXPECT_EQ(frame->statusBar()->currentMessage(), action->statusTip()) << command;
    }
}

TEST_F(MainFrameTest, LanguageSwitchAndBackReadsEveryTextAgain) {
    frame->Create();
    EXPECT_TRUE(frame->Action(CMainFrame::CmdGerman)->isChecked());
    frame->Action(CMainFrame::CmdEnglish)->trigger();
    ASSERT_TRUE(frame->English()) << MessageTexts().join('|').toStdString();
    EXPECT_TRUE(frame->Action(CMainFrame::CmdEnglish)->isChecked());
    EXPECT_FALSE(frame->Action(CMainFrame::CmdGerman)->isChecked());
    EXPECT_EQ(Text(CMainFrame::CmdProgram), "&Program");
    EXPECT_EQ(Text(CMainFrame::CmdDeviceConfig), "Device configuration");
    EXPECT_EQ(frame->menuBar()->actions()[2]->text(), "Settings");
    EXPECT_EQ(frame->ToolAction(CMainFrame::CmdReadBack)->toolTip(), "Read contents");
    EXPECT_EQ(frame->Action(CMainFrame::CmdInterface)->statusTip(), "Choose the interface");
    EXPECT_EQ(Find<QLabel>(frame.get(), "statusReady")->text(), "Ready");
    // Dialogs opened now speak English.
    auto dialog = OpenProgramming();
    EXPECT_EQ(dialog->windowTitle(), "Enter programming");
    EXPECT_EQ(dialog->findChild<QPushButton*>("button32776")->text(), "Save");
    dialog.reset();

    frame->Action(CMainFrame::CmdGerman)->trigger();
    EXPECT_FALSE(frame->English());
    EXPECT_EQ(Text(CMainFrame::CmdProgram), "&Programmieren");
    EXPECT_EQ(frame->menuBar()->actions()[2]->text(), "Einstellungen");
    EXPECT_EQ(frame->ToolAction(CMainFrame::CmdReadBack)->toolTip(), "Inhalt lesen");
    EXPECT_TRUE(recorder.records.isEmpty());
}

TEST_F(MainFrameTest, DeviceConfigAndIpAddressConnectAndCloseAroundTheirDialogs) {
    Reader().SetPowerOnMode(1);
    frame->Create();
    frame->ConnectAtStart();
    ASSERT_TRUE(frame->Action(CMainFrame::CmdDeviceConfig)->isEnabled());

    // Gerätekonfiguration: connected (programming mode) while the dialog shows
    // the stored mode; closed afterwards.
    auto seen = std::make_shared<std::pair<int, int>>(-2, -1);
    OnModal<CEinschaltkonfigDlg>([seen, this](CEinschaltkonfigDlg* dialog) {
        seen->first = dialog->Choice();
        seen->second = Reader().State();
        Find<QRadioButton>(dialog, "radio1039")->click();
        dialog->accept();
    });
    frame->Action(CMainFrame::CmdDeviceConfig)->trigger();
    EXPECT_EQ(seen->first, 1);
    EXPECT_EQ(seen->second, 0);
    EXPECT_EQ(Reader().PowerOnMode(), 0);
    EXPECT_EQ(Reader().State(), 2);
    EXPECT_TRUE(recorder.records.isEmpty()) << MessageTexts().join('|').toStdString();

    // IP-Adresse: after the network dialog, cancelled or not, a connect at
    // start-up style brings the title up to date and is closed again.
    int lanDialogs = 0;
    frame->SetLanDialog([&lanDialogs](QWidget*) { return ++lanDialogs, false; });
    frame->setWindowTitle(QStringLiteral("-"));
    frame->OnIpAddress();
    EXPECT_EQ(lanDialogs, 1);
    EXPECT_TRUE(frame->windowTitle().startsWith("KV-PLM Morvane V1.04 <KV-PLM41 "))
        << frame->windowTitle().toStdString();
    EXPECT_EQ(Reader().State(), 2);
    EXPECT_EQ(chooserCalls, 0);

    // Without a reader: the connect's message and no dialog.
    StorePort(QStringLiteral("/dev/kvplm-no-such-reader"));
    ModalCloser closer;
    frame->Action(CMainFrame::CmdDeviceConfig)->trigger();
    EXPECT_EQ(closer.closed, 0);
    EXPECT_EQ(MessageTexts(), QStringList{QString::fromUtf8("Fehler beim Öffnen des Ports")});
}

TEST_F(MainFrameTest, IpAddressShowsTheLanSettingsDialogAndConnectsAgainAfterIt) {
    frame->Create();
    frame->ConnectAtStart();
    {
        // Disabled after a serial connect: nothing opens.
        ModalCloser closer;
        frame->Action(CMainFrame::CmdIpAddress)->trigger();
        QTest::qWait(20);
        EXPECT_EQ(closer.closed, 0);
    }
    frontend::Connection network;
    network.flags = 0x1F400;
    frame->Host().onConnected(network);
    ASSERT_TRUE(frame->Action(CMainFrame::CmdIpAddress)->isEnabled());

    // The command's dialog is the LAN settings dialog over the main window.
    auto seen = std::make_shared<QString>();
    CMainFrame* main = frame.get();
    OnModal<frontend::LanDialog>([seen, main](frontend::LanDialog* dialog) {
        *seen = dialog->windowTitle() + (dialog->parentWidget() == main ? "|over the main window" : "");
        dialog->reject();
    });
    frame->setWindowTitle(QStringLiteral("-"));
    frame->Action(CMainFrame::CmdIpAddress)->trigger();
    EXPECT_EQ(*seen, "LAN Einstellung|over the main window");
    // Then connected again (and closed): the title is up to date, and the
    // reader is a serial one again, so the command is disabled.
    EXPECT_TRUE(frame->windowTitle().startsWith("KV-PLM Morvane V1.04 <KV-PLM41 "))
        << frame->windowTitle().toStdString();
    EXPECT_EQ(Reader().State(), 2);
    EXPECT_FALSE(frame->Action(CMainFrame::CmdIpAddress)->isEnabled());
    EXPECT_TRUE(recorder.records.isEmpty()) << MessageTexts().join('|').toStdString();
}

TEST_F(MainFrameTest, InterfaceChoosesAndConnectsAndACancelledConnectOpensNothing) {
    frame->Create();
    // Schnittstelle: the dialog, then a connect with messages that is closed again.
    frame->SetChooser([this] { return ++chooserCalls, true; });
    frame->OnInterface();
    EXPECT_EQ(chooserCalls, 1);
    EXPECT_EQ(frame->Flags(), 0x1F000);
    EXPECT_TRUE(frame->windowTitle().startsWith("KV-PLM Morvane V1.04 <KV-PLM41 "))
        << frame->windowTitle().toStdString();
    EXPECT_EQ(Reader().State(), 2);
    EXPECT_TRUE(recorder.records.isEmpty()) << MessageTexts().join('|').toStdString();

    // Programmieren and Inhalt lesen without a reader: the interface dialog,
    // and when it is cancelled no dialog of theirs opens.
    StorePort(QStringLiteral("/dev/kvplm-no-such-reader"));
    frame->SetChooser([this] { return ++chooserCalls, false; });
    ModalCloser closer;
    frame->Action(CMainFrame::CmdProgram)->trigger();
    frame->Action(CMainFrame::CmdReadBack)->trigger();
    EXPECT_EQ(chooserCalls, 3);
    EXPECT_EQ(closer.closed, 0);
    EXPECT_TRUE(recorder.records.isEmpty()) << MessageTexts().join('|').toStdString();
    EXPECT_EQ(frame->Flags(), 0x1F000);
}

TEST_F(MainFrameTest, ClosingInEnglishStoresSpracheOneAndStartsInEnglishAgain) {
    frame->Create();
    frame->show();
    frame->Action(CMainFrame::CmdEnglish)->trigger();
    ASSERT_TRUE(frame->English());
    frame->close();
    EXPECT_EQ(appkit::SettingsStore(appkit::Program::Morvane).GetInt("Settings", "Sprache", -1), 1);
    // Closing goes back to German: the language module is released.
    EXPECT_FALSE(frame->English());
    EXPECT_EQ(Text(CMainFrame::CmdProgram), "&Programmieren");
    EXPECT_EQ(appkit::Texts::String(509), "Programmierung erfolgreich abgeschlossen");

    CMainFrame next;
    next.Create();
    EXPECT_TRUE(next.English());
    EXPECT_EQ(next.Action(CMainFrame::CmdProgram)->text(), "&Program");
    EXPECT_TRUE(recorder.records.isEmpty());
    next.close();
}

TEST_F(MainFrameTest, MissingLanguageModuleShows545AndGermanStays) {
    QTemporaryDir empty;
    frame->SetLanguageModulePath(empty.filePath(QStringLiteral("KV_PLM_MorvaneEng.rcc")));
    frame->Action(CMainFrame::CmdEnglish)->trigger();
    EXPECT_FALSE(frame->English());
    EXPECT_EQ(MessageTexts(), QStringList{QString::fromUtf8(
                                  "Die Sprachinformationen konnten nicht geladen werden!\r\nStandardsprache "
                                  "Deutsch wird geladen!")});
    EXPECT_EQ(Text(CMainFrame::CmdProgram), "&Programmieren");
    EXPECT_TRUE(frame->Action(CMainFrame::CmdGerman)->isChecked());

    // Starting with "Sprache" 1: 545 once, German, and 0 stored on closing.
    recorder.records.clear();
    appkit::SettingsStore(appkit::Program::Morvane).WriteInt("Settings", "Sprache", 1);
    CMainFrame second;
    second.SetLanguageModulePath(empty.filePath(QStringLiteral("KV_PLM_MorvaneEng.rcc")));
    second.Create();
    EXPECT_EQ(recorder.records.size(), 1);
    second.show();
    second.close();
    EXPECT_EQ(appkit::SettingsStore(appkit::Program::Morvane).GetInt("Settings", "Sprache", -1), 0);
}

TEST_F(MainFrameTest, WindowPlacementIsRestoredAndKeptWhenMinimised) {
    appkit::SettingsStore store(appkit::Program::Morvane);
    store.WriteInt("Window", "left", 40);
    store.WriteInt("Window", "top", 30);
    store.Sync();
    frame->Create();
    EXPECT_EQ(frame->pos(), QPoint(40, 30));
    frame->show();
    frame->move(70, 60);
    frame->close();
    appkit::SettingsStore after(appkit::Program::Morvane);
    EXPECT_EQ(after.GetInt("Window", "left", -1), 70);
    EXPECT_EQ(after.GetInt("Window", "top", -1), 60);
    EXPECT_EQ(after.GetInt("Window", "right", -1), 720);
    EXPECT_EQ(after.GetInt("Window", "bottom", -1), 690);
    EXPECT_EQ(after.GetInt("Window", "MaxPositionX", 0), -1);

    CMainFrame minimised;
    minimised.Create();
    minimised.showMinimized();
    minimised.move(300, 300);
    minimised.close();
    EXPECT_EQ(appkit::SettingsStore(appkit::Program::Morvane).GetInt("Window", "left", -1), 70);
}

// What a newcomer does, through the commands of the main window and the
// modal dialogs they open: start, compose and program, read back, run the
// function test from the parameter page, switch to English and back.
TEST_F(MainFrameTest, NewcomerSessionEndToEnd) {
    Reader().PlaceTag(CSimTransponder(TestEpc()));
    frame->Create();
    frame->show();
    frame->ConnectAtStart();
    ASSERT_EQ(frame->Flags(), 0x1F000);

    bool programmed = false, tested = false;
    OnModal<CSeriellEinstellDlg>([&](CSeriellEinstellDlg* dialog) {
        if (!dialog->Opened()) QSignalSpy(dialog, &CSeriellEinstellDlg::opened).wait(kWaitMs);
        Find<QRadioButton>(dialog->ParamPage(), "radio1028")->click();
        Edit(dialog->ParamPage(), 1023)->setText("200");
        dialog->Tabs()->setCurrentIndex(1);
        Type(dialog->KeyPage(SetupPage::Prefix), "<");
        dialog->Tabs()->setCurrentIndex(2);
        Edit(dialog->DataPage(), 1028)->setText("24");
        Edit(dialog->DataPage(), 1020)->setText("12");
        dialog->Tabs()->setCurrentIndex(3);
        Type(dialog->KeyPage(SetupPage::Suffix), "0D");
        dialog->findChild<QPushButton*>("button32774")->click();
        programmed = MessageTexts().contains("Programmierung erfolgreich abgeschlossen");

        // The function test from the parameter page, while the dialog is open.
        dialog->Tabs()->setCurrentIndex(0);
        OnModal<CFunktionstestDlg>([&](CFunktionstestDlg* test) {
            auto* counter = Edit(test, 1033);
            auto* hex = Find<QPlainTextEdit>(test, "edit1029");
            tested = QTest::qWaitFor(
                [&] {
                    return counter->text().toInt() >= 2 && hex->toPlainText().startsWith("3C 33 30 30 30 ");
                },
                kWaitMs);
            test->accept();
        });
        Find<QPushButton>(dialog->ParamPage(), "button1027")->click();
        dialog->reject();
    });
    frame->Action(CMainFrame::CmdProgram)->trigger();
    EXPECT_TRUE(programmed) << MessageTexts().join('|').toStdString();
    EXPECT_TRUE(tested);

    QString report;
    OnModal<CReadBackDlg>([&](CReadBackDlg* dialog) {
        report = dialog->ReportText();
        dialog->reject();
    });
    frame->ToolAction(CMainFrame::CmdReadBack)->trigger();
    EXPECT_TRUE(report.contains(" Prefix        : 3C \n")) << report.toStdString();
    EXPECT_TRUE(report.contains(" Suffix        : 0D \n"));
    EXPECT_TRUE(report.contains("Zeichenzahl   : 24\n"));
    EXPECT_TRUE(report.contains("Mode          : 3\n"));
    EXPECT_TRUE(report.contains("Zykluszeit    : 200 Millisekunden\n"));
    EXPECT_EQ(Reader().State(), 2);

    frame->Action(CMainFrame::CmdEnglish)->trigger();
    EXPECT_EQ(Text(CMainFrame::CmdReadBack), "&Read contents");
    frame->Action(CMainFrame::CmdGerman)->trigger();
    EXPECT_EQ(Text(CMainFrame::CmdReadBack), "&Inhalt lesen");
}

} // namespace

#include "MorvaneUiTest.moc"
