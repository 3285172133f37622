// morvane-shots: pictures of Morvane's windows for its user guide, taken
// from the running program against a simulated reader.
//
//   morvane-shots OUTDIR
//
// Runs offscreen or under Xvfb. A simulated reader with one transponder is
// started in-process and Morvane's settings (in a temporary folder) point
// at it. The program then goes through a user's session: the main window
// connects, the interface dialog, the programming dialog with each page
// (a configuration is composed and programmed), the read-back, the function
// test with the reader's telegrams, the power-on configuration, the HID
// parameter page with a German and a US keyboard table, the preview of the
// US table on a German host, the HID function test, the About box, and the
// main window in English. Since a bare X server draws no title bars, each
// picture gets a plain one with the window's title. Message boxes are recorded, not shown; they are printed.
#include "MorvaneUiSupport.h"
#include "ShotFrame.h"

#include "AboutDlg.h"
#include "DataPage.h"
#include "EinschaltkonfigDlg.h"
#include "FunktionstestDlg.h"
#include "FunktionstestHidDlg.h"
#include "InterfaceDialog.h"
#include "KeySequencePage.h"
#include "MainFrame.h"
#include "Messages.h"
#include "ParamHidPage.h"
#include "ParamPage.h"
#include "PreviewWindow.h"
#include "ReadBackDlg.h"
#include "SeriellEinstellDlg.h"
#include "UiHooks.h"
#include "WidgetSetupHost.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QEventLoop>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeWidget>
#include <cstdio>

using ShotFrame::Framed;
using ShotFrame::Settle;

namespace {

using namespace MorvaneUi;

QString outDir;
int failures = 0;

void Shoot(QWidget* window, const QString& name, const QImage& content = {}) {
    Settle();
    const QImage picture = Framed(window, content.isNull() ? window->grab().toImage() : content);
    const QString path = outDir + QLatin1Char('/') + name;
    if (picture.save(path)) {
        std::printf("%s  %dx%d  \"%s\"\n", path.toUtf8().constData(), picture.width(), picture.height(),
                    window->windowTitle().toUtf8().constData());
    } else {
        std::fprintf(stderr, "cannot save %s\n", path.toUtf8().constData());
        ++failures;
    }
}

bool Check(bool condition, const char* what) {
    if (!condition) {
        std::fprintf(stderr, "failed: %s\n", what);
        ++failures;
    }
    return condition;
}

void Type(CKeySequencePage* page, const QString& text) {
    auto* entry = Find<QLineEdit>(page, QStringLiteral("edit1040"));
    entry->selectAll();
    QTest::keyClicks(entry, text);
    Find<QPushButton>(page, QStringLiteral("button1025"))->click();
}

QLineEdit* Edit(QWidget* page, int id) {
    return Find<QLineEdit>(page, QStringLiteral("edit%1").arg(id));
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: morvane-shots OUTDIR\n");
        return 2;
    }
    QTemporaryDir config(QDir::tempPath() + QStringLiteral("/morvane-shots-XXXXXX"));
    qputenv("XDG_CONFIG_HOME", config.path().toLocal8Bit());
    qputenv("KVPLM_SIM_DIR", config.path().toLocal8Bit());
    appkit::ProgramInfo::SetCurrent(appkit::Program::Morvane);
    QApplication application(argc, argv);
    outDir = QString::fromLocal8Bit(argv[1]);
    QDir().mkpath(outDir);

    SimulatedReader sim(true, true);
    if (!sim.started) {
        std::fprintf(stderr, "no simulated reader: %s\n", sim.error.c_str());
        return 1;
    }
    sim.reader->PlaceTag(CSimTransponder(TestEpc()));
    ClearSettings();
    StorePort(sim.Port());
    appkit::Messages::Recorder recorder;
    appkit::Messages::SetRecorder(&recorder);
    CWidgetSetupHost::SetFileChooser([](QWidget*, bool) { return QString(); });

    // The main window, connected.
    CMainFrame frame;
    frame.SetChooser([] { return false; });
    appkit::UiHooks::Install(
        [&frame]() -> QWidget* { return QApplication::activeModalWidget() ? nullptr : &frame; });
    frame.Create();
    frame.move(0, 0);
    frame.show();
    frame.ConnectAtStart();
    Check(frame.Flags() == 0x1F000, "connect at start");
    Shoot(&frame, QStringLiteral("main-window.png"));

    // The same with the "Einstellungen" menu open.
    {
        QMenu* menu = frame.menuBar()->actions()[2]->menu();
        frame.UpdateCommands();
        QImage picture = frame.grab().toImage();
        const QPoint at = frame.menuBar()->actionGeometry(frame.menuBar()->actions()[2]).bottomLeft();
        menu->popup(frame.mapToGlobal(at));
        Settle();
        menu->setActiveAction(frame.Action(CMainFrame::CmdDeviceConfig));
        Settle();
        QPainter painter(&picture);
        painter.drawImage(at, menu->grab().toImage());
        painter.end();
        menu->hide();
        Shoot(&frame, QStringLiteral("main-window-menu.png"), picture);
    }

    // The interface dialog with the simulated reader.
    {
        frontend::InterfaceDialog dialog(&frame);
        dialog.show();
        Settle();
        auto* list = Find<QListWidget>(&dialog, QStringLiteral("list1012"));
        for (int i = 0; list && i < list->count(); ++i)
            if (list->item(i)->text().startsWith(sim.Port() + QLatin1Char(' '))) list->setCurrentRow(i);
        Shoot(&dialog, QStringLiteral("interface-dialog.png"));
        dialog.reject();
    }

    // The programming dialog: compose, take each page, program.
    CWidgetSetupHost& host = frame.Host();
    {
        CSeriellEinstellDlg dialog(&frame, host, 0, 19200, frame.Flags());
        QSignalSpy opened(&dialog, &CSeriellEinstellDlg::opened);
        dialog.show();
        Check(opened.count() > 0 || opened.wait(10000), "programming dialog opened");
        QTabWidget* tabs = dialog.Tabs();

        Find<QRadioButton>(dialog.ParamPage(), QStringLiteral("radio1028"))->click();
        Edit(dialog.ParamPage(), 1023)->setText(QStringLiteral("500"));
        Shoot(&dialog, QStringLiteral("programming-parameter.png"));

        tabs->setCurrentIndex(1);
        Type(dialog.KeyPage(SetupPage::Prefix), QStringLiteral("STX"));
        Type(dialog.KeyPage(SetupPage::Prefix), QStringLiteral("<"));
        auto* prefixEntry = Find<QLineEdit>(dialog.KeyPage(SetupPage::Prefix), QStringLiteral("edit1040"));
        prefixEntry->clear();
        Shoot(&dialog, QStringLiteral("programming-prefix.png"));

        tabs->setCurrentIndex(2);
        Edit(dialog.DataPage(), 1028)->setText(QStringLiteral("24"));
        Edit(dialog.DataPage(), 1020)->setText(QStringLiteral("12"));
        Shoot(&dialog, QStringLiteral("programming-data.png"));
        // The block format with two registers, for its picture only.
        Find<QRadioButton>(dialog.DataPage(), QStringLiteral("radio1049"))->click();
        Find<QComboBox>(dialog.DataPage(), QStringLiteral("combo1051"))->setCurrentIndex(2);
        Edit(dialog.DataPage(), 1006)->setText(QStringLiteral("2"));
        Edit(dialog.DataPage(), 1007)->setText(QStringLiteral("6"));
        Find<QComboBox>(dialog.DataPage(), QStringLiteral("combo1052"))->setCurrentIndex(3);
        Edit(dialog.DataPage(), 1008)->setText(QStringLiteral("0"));
        Edit(dialog.DataPage(), 1009)->setText(QStringLiteral("4"));
        Shoot(&dialog, QStringLiteral("programming-data-blocks.png"));
        Find<QRadioButton>(dialog.DataPage(), QStringLiteral("radio1048"))->click();
        for (int id : {1006, 1007, 1008, 1009})
            Edit(dialog.DataPage(), id)->clear();
        for (const char* combo : {"combo1051", "combo1052"})
            Find<QComboBox>(dialog.DataPage(), QString::fromLatin1(combo))->setCurrentIndex(0);

        tabs->setCurrentIndex(3);
        Type(dialog.KeyPage(SetupPage::Suffix), QStringLiteral(">"));
        Type(dialog.KeyPage(SetupPage::Suffix), QStringLiteral("0D"));
        Find<QLineEdit>(dialog.KeyPage(SetupPage::Suffix), QStringLiteral("edit1040"))->clear();
        Shoot(&dialog, QStringLiteral("programming-suffix.png"));
        tabs->setCurrentIndex(4);
        Type(dialog.KeyPage(SetupPage::Abziehen), QStringLiteral("ESC"));
        Find<QLineEdit>(dialog.KeyPage(SetupPage::Abziehen), QStringLiteral("edit1040"))->clear();
        Shoot(&dialog, QStringLiteral("programming-abziehen.png"));
        tabs->setCurrentIndex(5);
        Shoot(&dialog, QStringLiteral("programming-trenner.png"));

        tabs->setCurrentIndex(0);
        dialog.findChild<QPushButton*>(QStringLiteral("button32774"))->click();
        Check(!recorder.records.isEmpty() &&
                  recorder.records.last().text == QStringLiteral("Programmierung erfolgreich abgeschlossen"),
              "programmed");
        dialog.reject();
    }

    // Read-back.
    {
        CReadBackDlg dialog(&frame, host);
        Check(dialog.Start(), "read-back");
        dialog.show();
        Shoot(&dialog, QStringLiteral("read-back.png"));
        dialog.reject();
    }

    // The function test with the reader's telegrams (mode 3, every 500 ms).
    {
        CFunktionstestDlg dialog(&frame, host, frame.Flags());
        Check(dialog.Start(), "function test");
        dialog.show();
        auto* counter = Edit(&dialog, 1033);
        Check(QTest::qWaitFor(
                  [&] { return counter->text().toInt() >= 3 && dialog.Model().Telegram().size() >= 28; },
                  15000),
              "telegrams");
        Shoot(&dialog, QStringLiteral("function-test.png"), dialog.grab().toImage());
        dialog.accept();
    }

    // Power-on configuration.
    {
        const SetupConnection connection = host.Connect(true);
        if (Check(connection.Connected(), "power-on connect")) {
            CEinschaltkonfigDlg dialog(&frame, host, connection.session);
            dialog.Start();
            dialog.show();
            Shoot(&dialog, QStringLiteral("power-on.png"));
            dialog.reject();
            host.CloseSession(connection.session);
        }
    }

    // The programming dialog of an HID reader: its parameter page with the
    // keyboard table of a German and of a US keyboard (named layouts, so the
    // pictures do not depend on the display's keymap). The serial reader
    // answers the blocks; it has no keyboard table to read.
    {
        CSeriellEinstellDlg dialog(&frame, host, 0, 19200, frame.Flags() | 0x200);
        QSignalSpy opened(&dialog, &CSeriellEinstellDlg::opened);
        dialog.show();
        Check(opened.count() > 0 || opened.wait(10000), "HID programming dialog opened");
        CParamHidPage* page = dialog.HidParamPage();
        if (Check(page != nullptr, "HID parameter page")) {
            for (const char* layout : {"de", "us"}) {
                Check(!page->Model().TakeFromLayout(layout), layout);
                page->ShowControls();
                Shoot(&dialog, QStringLiteral("programming-hid-%1.png").arg(QLatin1String(layout)));
            }
            // The preview of that US table on a German host: a "Z" before
            // the reader's Prefix shows where the two layouts part.
            dialog.Tabs()->setCurrentIndex(1);
            CKeySequencePage* prefix = dialog.KeyPage(SetupPage::Prefix);
            prefix->Model().SetCodes({'Z', 'y', '<'});
            prefix->ShowControls();
            CPreviewWindow* preview = dialog.OpenPreview();
            QComboBox* layouts = preview->LayoutBox();
            layouts->setCurrentIndex(layouts->findText(QStringLiteral("de")));
            preview->UpdateNow();
            Check(!preview->Mismatches().isEmpty(), "preview mismatch");
            Shoot(preview, QStringLiteral("preview-mismatch.png"));
            preview->close();
        }
        dialog.reject();
    }

    // HID function test, with what an HID reader would type.
    {
        CFunktionstestHidDlg dialog(&frame);
        dialog.show();
        Find<QPlainTextEdit>(&dialog, QStringLiteral("edit1030"))
            ->setPlainText(QStringLiteral("<3000112233445566778899AA>\n<3000112233445566778899AA>\n"));
        Shoot(&dialog, QStringLiteral("function-test-hid.png"));
        dialog.reject();
    }

    // About.
    {
        CAboutDlg dialog(&frame);
        dialog.show();
        Shoot(&dialog, QStringLiteral("about.png"));
        dialog.reject();
    }

    // English.
    frame.SwitchToEnglish();
    Check(frame.English(), "English");
    {
        QMenu* menu = frame.menuBar()->actions()[3]->menu();
        QImage picture = frame.grab().toImage();
        const QPoint at = frame.menuBar()->actionGeometry(frame.menuBar()->actions()[3]).bottomLeft();
        menu->popup(frame.mapToGlobal(at));
        Settle();
        menu->setActiveAction(frame.Action(CMainFrame::CmdGerman));
        Settle();
        QPainter painter(&picture);
        painter.drawImage(at, menu->grab().toImage());
        painter.end();
        menu->hide();
        Shoot(&frame, QStringLiteral("main-window-english.png"), picture);
    }
    {
        CSeriellEinstellDlg dialog(&frame, host, 0, 19200, frame.Flags());
        QSignalSpy opened(&dialog, &CSeriellEinstellDlg::opened);
        dialog.show();
        Check(opened.count() > 0 || opened.wait(10000), "English programming dialog opened");
        dialog.Tabs()->setCurrentIndex(2);
        Shoot(&dialog, QStringLiteral("programming-data-english.png"));
        dialog.reject();
    }
    frame.SwitchToGerman();

    for (const appkit::Messages::Record& record : recorder.records)
        std::printf("message: %s\n", record.text.toUtf8().constData());
    frame.close();
    appkit::UiHooks::Remove();
    appkit::Messages::SetRecorder(nullptr);
    return failures == 0 ? 0 : 1;
}
