// The preview window beside the programming dialog, under Qt Test offscreen:
// it follows the pages' edits (after its short delay), shows the pages'
// message instead of a preview, leaves the dialog's document as it was,
// takes the sample transponder's fields, and for an HID reader marks the
// characters a host with another keyboard layout shows differently.
//
// No reader: the dialog opens without one (its connect fails), so the pages
// hold their defaults or what a file gives them. Keyboard layouts are named
// ones (XKB_DEFAULT_LAYOUT, no display), never the machine's keymap.
#include "PreviewWindow.h"
#include "DataPage.h"
#include "FakeHost.h"
#include "KeySequencePage.h"
#include "Messages.h"
#include "ParamHidPage.h"
#include "ParamPage.h"
#include "SeriellEinstellDlg.h"
#include "SeriellEinstellModel.h"
#include "WidgetSetupHost.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

#include <deque>
#include <memory>

namespace {

constexpr int kWaitMs = 10000;
constexpr int kSerialFlags = 0x1F000;
constexpr int kHidFlags = 0x1F200;

template <class W> W* Find(const QObject* parent, const QString& name) {
    return parent ? parent->findChild<W*>(name) : nullptr;
}

// No reader: every connect fails (the dialog's opening records 521).
class NoReaderHost : public CWidgetSetupHost {
public:
    SetupConnection Connect(bool withMessages) override {
        if (withMessages) ShowMessage(SetupMessage::FromId(521));
        return SetupConnection{};
    }
    void CloseSession(int) override {}
};

// The bytes of the hex view, whatever the spacing and line breaks (a
// pause, "(100 ms)", left out).
QByteArray Bytes(const CPreviewWindow& window) {
    QString hex = window.HexText();
    hex.remove(QRegularExpression(QStringLiteral("\\([^)]*\\)")));
    QString digits;
    for (QChar c : hex)
        if (std::isxdigit(static_cast<unsigned char>(c.toLatin1()))) digits.append(c);
    return QByteArray::fromHex(digits.toLatin1());
}

// The sample transponder's EPC bytes 1..5 (the pages' default used bytes)
// in upper-case hex.
QByteArray SampleData() {
    const OutputPreview::Bytes epc = OutputPreview::Sample::Default().epc;
    return QByteArray(reinterpret_cast<const char*>(epc.data()), 5).toHex().toUpper();
}

class PreviewWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        appkit::ProgramInfo::SetCurrent(appkit::Program::Morvane);
        appkit::Messages::SetRecorder(&recorder);
        QSettings(appkit::ProgramInfo::CompanyKey(),
                  appkit::ProgramInfo::ProgramKey(appkit::Program::Morvane))
            .clear();
        savedDisplay = qgetenv("DISPLAY");
        qunsetenv("DISPLAY");
        qputenv("XKB_DEFAULT_LAYOUT", "de");
        CWidgetSetupHost::SetFileChooser([this](QWidget*, bool) {
            if (files.empty()) return QString();
            const QString file = files.front();
            files.pop_front();
            return file;
        });
        ASSERT_TRUE(dir.isValid());
    }
    void TearDown() override {
        CWidgetSetupHost::SetFileChooser(nullptr);
        qunsetenv("XKB_DEFAULT_LAYOUT");
        if (!savedDisplay.isEmpty()) qputenv("DISPLAY", savedDisplay);
        appkit::Messages::SetRecorder(nullptr);
    }
    std::unique_ptr<CSeriellEinstellDlg> OpenDialog(int flags) {
        auto dialog = std::make_unique<CSeriellEinstellDlg>(nullptr, host, 0, 19200, flags);
        QSignalSpy opened(dialog.get(), &CSeriellEinstellDlg::opened);
        dialog->show();
        EXPECT_TRUE(opened.count() > 0 || opened.wait(kWaitMs));
        recorder.records.clear();
        return dialog;
    }
    // Opens the preview with the dialog's button, showing the pages as they are.
    static CPreviewWindow* OpenPreview(CSeriellEinstellDlg& dialog) {
        Find<QPushButton>(&dialog, QStringLiteral("button9400"))->click();
        CPreviewWindow* preview = dialog.Preview();
        EXPECT_NE(preview, nullptr);
        return preview;
    }
    // Waits until the preview took the edits made so far (bounded).
    static bool Followed(CPreviewWindow& preview) {
        if (!preview.UpdatePending()) return true;
        QSignalSpy updated(&preview, &CPreviewWindow::updated);
        return updated.wait(kWaitMs) && !preview.UpdatePending();
    }
    static void Type(CKeySequencePage* page, const QString& code) {
        auto* entry = Find<QLineEdit>(page, QStringLiteral("edit1040"));
        entry->selectAll();
        QTest::keyClicks(entry, code);
        Find<QPushButton>(page, QStringLiteral("button1025"))->click();
    }
    static QLineEdit* Edit(QWidget* page, int id) {
        return Find<QLineEdit>(page, QStringLiteral("edit%1").arg(id));
    }

    // An HID file: a US keyboard table and the given Prefix codes.
    QString HidFile(const std::vector<uint8_t>& prefix) {
        CSeriellEinstellModel model(0, 19200, kHidFlags);
        EXPECT_FALSE(model.ParamHid().TakeFromLayout("us"));
        model.Prefix().SetCodes(prefix);
        FakeHost files;
        files.saveFile = dir.filePath(QStringLiteral("us.mkr")).toStdString();
        EXPECT_EQ(model.SaveDocument(files), CSeriellEinstellModel::SaveResult::Saved);
        return QString::fromStdString(*files.saveFile);
    }

    appkit::Messages::Recorder recorder;
    NoReaderHost host;
    std::deque<QString> files;
    QByteArray savedDisplay;
    QTemporaryDir dir;
};

TEST_F(PreviewWindowTest, OpensBesideTheDialogAsAWindowOfItsOwnAndClosesWithIt) {
    auto dialog = OpenDialog(kSerialFlags);
    auto* button = Find<QPushButton>(dialog.get(), QStringLiteral("button9400"));
    ASSERT_NE(button, nullptr);
    EXPECT_EQ(button->text(), "Vorschau");
    // The dialog's own row is as it was: Vorschau comes before it.
    EXPECT_LT(button->geometry().right(), Find<QPushButton>(dialog.get(), "button32776")->x());

    CPreviewWindow* preview = OpenPreview(*dialog);
    ASSERT_NE(preview, nullptr);
    EXPECT_TRUE(preview->isVisible());
    EXPECT_TRUE(preview->isWindow());
    EXPECT_FALSE(preview->isModal());
    EXPECT_EQ(preview->windowTitle(), "Vorschau");
    // A second click raises the same window.
    button->click();
    EXPECT_EQ(dialog->Preview(), preview);
    EXPECT_EQ(dialog->findChildren<CPreviewWindow*>().size(), 1);
    EXPECT_TRUE(recorder.records.isEmpty());

    dialog->reject();
    EXPECT_FALSE(preview->isVisible());
}

TEST_F(PreviewWindowTest, EditingThePagesUpdatesThePreviewAfterTheDelay) {
    auto dialog = OpenDialog(kSerialFlags);
    CPreviewWindow* preview = OpenPreview(*dialog);
    ASSERT_NE(preview, nullptr);
    // The default pages: the EPC's bytes 1..5 in upper-case hex, 10 characters.
    EXPECT_TRUE(preview->Message().isEmpty()) << preview->Message().toStdString();
    EXPECT_EQ(Bytes(*preview), SampleData());
    EXPECT_TRUE(preview->PrintableText().contains(SampleData())) << preview->PrintableText().toStdString();

    // A Prefix code: nothing changes at once, then the preview follows.
    dialog->Tabs()->setCurrentIndex(1);
    Type(dialog->KeyPage(SetupPage::Prefix), QStringLiteral("STX"));
    EXPECT_TRUE(preview->UpdatePending());
    EXPECT_EQ(Bytes(*preview), SampleData());
    ASSERT_TRUE(Followed(*preview));
    EXPECT_EQ(Bytes(*preview), QByteArray(1, '\x02') + SampleData());

    // The data page, before it is left: 12 characters, lower-case hex.
    dialog->Tabs()->setCurrentIndex(2);
    Edit(dialog->DataPage(), 1028)->setText(QStringLiteral("12"));
    Find<QRadioButton>(dialog->DataPage(), QStringLiteral("radio1042"))->click();
    ASSERT_TRUE(Followed(*preview));
    EXPECT_EQ(Bytes(*preview), QByteArray(1, '\x02') + "00" + SampleData().toLower());
    Find<QRadioButton>(dialog->DataPage(), QStringLiteral("radio1038"))->click();
    ASSERT_TRUE(Followed(*preview));

    // A Suffix with a pause before its CR: the bytes in order, the pause shown.
    dialog->Tabs()->setCurrentIndex(3);
    Type(dialog->KeyPage(SetupPage::Suffix), QStringLiteral("Wait 100"));
    Type(dialog->KeyPage(SetupPage::Suffix), QStringLiteral("CR (Enter)"));
    ASSERT_TRUE(Followed(*preview));
    EXPECT_EQ(Bytes(*preview), QByteArray(1, '\x02') + "00" + SampleData() + "\r");
    EXPECT_TRUE(preview->HexText().contains("(100 ms)")) << preview->HexText().toStdString();
    EXPECT_TRUE(recorder.records.isEmpty());
}

TEST_F(PreviewWindowTest, PagesThatRefuseTheirValuesShowTheirMessageAndTheDocumentStaysAsItWas) {
    auto dialog = OpenDialog(kSerialFlags);
    CPreviewWindow* preview = OpenPreview(*dialog);
    ASSERT_NE(preview, nullptr);
    dialog->Tabs()->setCurrentIndex(2);
    const CDatenRegisterkarte::Controls before = dialog->Model().Daten().GetControls();
    const int membersBefore = dialog->Model().Daten().GetMembers().characterCount;

    Edit(dialog->DataPage(), 1028)->setText(QStringLiteral("33"));
    ASSERT_TRUE(Followed(*preview));
    EXPECT_TRUE(preview->Message().contains("Geben Sie bitte eine ganze Zahl zwischen 1 und 32 ein."))
        << preview->Message().toStdString();
    EXPECT_TRUE(preview->HexText().isEmpty());
    // Only the preview says so: no message box, and neither the page's
    // controls nor its members took the value (the page still refuses it
    // when it is left).
    EXPECT_TRUE(recorder.records.isEmpty());
    EXPECT_EQ(dialog->Model().Daten().GetControls().characterCount, before.characterCount);
    EXPECT_EQ(dialog->Model().Daten().GetMembers().characterCount, membersBefore);
    dialog->Tabs()->setCurrentIndex(1);
    EXPECT_EQ(dialog->Tabs()->currentIndex(), 2);
    EXPECT_EQ(recorder.records.size(), 1);

    // Put right, the preview is back.
    Edit(dialog->DataPage(), 1028)->setText(QStringLiteral("10"));
    ASSERT_TRUE(Followed(*preview));
    EXPECT_TRUE(preview->Message().isEmpty());
    EXPECT_EQ(Bytes(*preview), SampleData());

    // The parameter page's values count as well.
    dialog->Tabs()->setCurrentIndex(0);
    Edit(dialog->ParamPage(), 1023)->setText(QStringLiteral("50"));
    ASSERT_TRUE(Followed(*preview));
    EXPECT_FALSE(preview->Message().isEmpty());
    Edit(dialog->ParamPage(), 1023)->setText(QStringLiteral("1000"));
    ASSERT_TRUE(Followed(*preview));
    EXPECT_TRUE(preview->Message().isEmpty());
}

TEST_F(PreviewWindowTest, TheSampleTransponderIsEditable) {
    auto dialog = OpenDialog(kSerialFlags);
    CPreviewWindow* preview = OpenPreview(*dialog);
    ASSERT_NE(preview, nullptr);
    auto* epc = Find<QLineEdit>(preview, QStringLiteral("editEpc"));
    ASSERT_NE(epc, nullptr);
    const OutputPreview::Sample sample = OutputPreview::Sample::Default();
    EXPECT_EQ(QByteArray::fromHex(epc->text().toLatin1()),
              QByteArray(reinterpret_cast<const char*>(sample.epc.data()), int(sample.epc.size())));
    ASSERT_NE(Find<QLineEdit>(preview, QStringLiteral("editTid")), nullptr);
    ASSERT_NE(Find<QLineEdit>(preview, QStringLiteral("editUser")), nullptr);

    epc->setText(QStringLiteral("E2 00 34 12"));
    ASSERT_TRUE(Followed(*preview));
    EXPECT_EQ(Bytes(*preview), QByteArray("00E2003412"));

    // Not hex, or half a byte: said so, no preview.
    for (const char* text : {"E2003", "E2 0G"}) {
        epc->setText(QString::fromLatin1(text));
        ASSERT_TRUE(Followed(*preview));
        EXPECT_TRUE(preview->Message().startsWith("EPC")) << text << ": " << preview->Message().toStdString();
        EXPECT_TRUE(preview->HexText().isEmpty()) << text;
    }
    EXPECT_TRUE(recorder.records.isEmpty());
}

TEST_F(PreviewWindowTest, AnHidFileOnAGermanHostShowsTheMismatchAndAnotherLayoutClearsIt) {
    // "Z" then "y" on a US table: a German host swaps them.
    files.push_back(HidFile({'Z', 'y', '1'}));
    auto dialog = OpenDialog(kHidFlags);
    CPreviewWindow* preview = OpenPreview(*dialog);
    ASSERT_NE(preview, nullptr);
    Find<QPushButton>(dialog.get(), QStringLiteral("button32773"))->click();
    EXPECT_TRUE(recorder.records.isEmpty());
    // Loading the file is a change of the pages the preview follows.
    ASSERT_TRUE(Followed(*preview));

    // The host's layout is preselected.
    QComboBox* layouts = preview->LayoutBox();
    ASSERT_NE(layouts, nullptr);
    EXPECT_EQ(layouts->currentText(), "de");
    EXPECT_TRUE(preview->Message().isEmpty()) << preview->Message().toStdString();
    EXPECT_TRUE(preview->HostText().startsWith("Yz1")) << preview->HostText().toStdString();
    const QStringList mismatches = preview->Mismatches();
    EXPECT_TRUE(mismatches.contains("Z getippt, Host zeigt Y")) << mismatches.join('|').toStdString();
    EXPECT_TRUE(mismatches.contains("y getippt, Host zeigt z")) << mismatches.join('|').toStdString();
    for (const QString& line : mismatches)
        EXPECT_FALSE(line.startsWith("1 ")) << line.toStdString();

    // A US host shows what the reader types.
    layouts->setCurrentIndex(layouts->findText("us"));
    ASSERT_TRUE(Followed(*preview));
    EXPECT_TRUE(preview->Mismatches().isEmpty()) << preview->Mismatches().join('|').toStdString();
    EXPECT_TRUE(preview->HostText().startsWith("Zy1")) << preview->HostText().toStdString();

    // Back to German from the key table's side: "Computer Einstellung"
    // takes the host's table, and the mismatch is gone there too.
    layouts->setCurrentIndex(layouts->findText("de"));
    ASSERT_TRUE(Followed(*preview));
    EXPECT_FALSE(preview->Mismatches().isEmpty());
    Find<QPushButton>(dialog->HidParamPage(), QStringLiteral("button1012"))->click();
    ASSERT_TRUE(Followed(*preview));
    EXPECT_TRUE(preview->Mismatches().isEmpty()) << preview->Mismatches().join('|').toStdString();
    EXPECT_TRUE(preview->HostText().startsWith("Zy1")) << preview->HostText().toStdString();
    EXPECT_TRUE(recorder.records.isEmpty());
}

} // namespace
