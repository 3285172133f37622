// kvplm-programmer-demo: KV_PLM_Programmer in a real window, driven through
// the operations a user runs, with a picture after each step (run under
// Xvfb against a simulated programmer device).
//
//   kvplm-programmer-demo --port PATH [--shots DIR] [--epc HEX]
//
// Stores PATH as the programmer's port, starts the program's shell and,
// once the main dialog has connected: inventory, read all, write a new EPC
// (default "E2 00 12 34 56 78 9A BC DE F0 11 22") and inventory again, write
// and read four bytes of user memory, write and read both passwords, run the
// cyclic inventory for a while (a timer and a mouse click must get through
// meanwhile) and stop it, show the menu and the About box. Each picture
// shows the window title above the window (Xvfb draws no title bars).
// Prints what each step left in the dialog; exit status 0 when every step
// gave what it should.
#include "AboutDialog.h"
#include "ProgrammerDialog.h"
#include "ProgrammerShell.h"
#include "SettingsStore.h"

#include <QApplication>
#include <QComboBox>
#include <QEventLoop>
#include <QLineEdit>
#include <QMenu>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <cstdio>

using Programmer::ProgrammerDialog;

namespace {

QString shots;
int failures = 0;

void Settle(int milliseconds) {
    QEventLoop loop;
    QTimer::singleShot(milliseconds, &loop, &QEventLoop::quit);
    loop.exec();
}

// Waits (bounded) for a signal.
template <class Sender, class Signal> bool WaitFor(const Sender* sender, Signal signal, int limitMs) {
    QEventLoop loop;
    bool arrived = false;
    auto connection = QObject::connect(sender, signal, &loop, [&] {
        arrived = true;
        loop.quit();
    });
    QTimer::singleShot(limitMs, &loop, &QEventLoop::quit);
    loop.exec();
    QObject::disconnect(connection);
    return arrived;
}

// The window with a drawn title bar above it.
QImage WithTitle(QWidget* window) {
    const QImage body = window->grab().toImage();
    const int bar = 26;
    QImage image(body.width(), body.height() + bar, QImage::Format_RGB32);
    image.fill(QColor(0x33, 0x3B, 0x47));
    QPainter painter(&image);
    painter.drawImage(0, bar, body);
    painter.setPen(Qt::white);
    QFont font = window->font();
    font.setBold(true);
    painter.setFont(font);
    painter.drawText(QRect(8, 0, body.width() - 16, bar), Qt::AlignVCenter | Qt::AlignLeft,
                     window->windowTitle());
    return image;
}

void Shoot(const QString& name, QWidget* window) {
    if (shots.isEmpty()) return;
    Settle(150);
    WithTitle(window).save(shots + QLatin1Char('/') + name);
}

// The screen around a window (for popups that are windows of their own).
void ShootScreen(const QString& name, QWidget* window, const QRect& extra = {}) {
    if (shots.isEmpty()) return;
    Settle(250);
    const QRect area = window->frameGeometry().united(extra).adjusted(-4, -4, 4, 4);
    QApplication::primaryScreen()
        ->grabWindow(0, area.x(), area.y(), area.width(), area.height())
        .save(shots + QLatin1Char('/') + name);
}

template <class W> W* Find(ProgrammerDialog& dialog, const char* name) {
    W* widget = dialog.findChild<W*>(QString::fromLatin1(name));
    if (!widget) std::fprintf(stderr, "no control %s\n", name);
    return widget;
}

QString Text(ProgrammerDialog& dialog, const char* edit) {
    QLineEdit* field = Find<QLineEdit>(dialog, edit);
    return field ? field->text() : QString();
}

void Set(ProgrammerDialog& dialog, const char* edit, const QString& text) {
    if (QLineEdit* field = Find<QLineEdit>(dialog, edit)) field->setText(text);
}

void Click(ProgrammerDialog& dialog, const char* button) {
    if (QPushButton* control = Find<QPushButton>(dialog, button)) QTest::mouseClick(control, Qt::LeftButton);
}

void Expect(bool ok, const char* what) {
    std::printf("%-44s %s\n", what, ok ? "ok" : "FAILED");
    if (!ok) ++failures;
}

void Report(ProgrammerDialog& dialog, const char* step) {
    std::printf("%s: status \"%s\"\n", step, Text(dialog, "edit1068").toUtf8().constData());
}

void Script(ProgrammerDialog& dialog, const QString& newEpc) {
    QComboBox* selection = Find<QComboBox>(dialog, "combo1095");
    std::printf("title: %s\n", dialog.windowTitle().toUtf8().constData());
    Expect(dialog.Session() > 0, "connected");
    Shoot(QStringLiteral("programmer-connected.png"), &dialog);

    Click(dialog, "button1012");
    Report(dialog, "inventory");
    std::printf("  EPC %s, count %s\n", selection->currentText().toUtf8().constData(),
                Text(dialog, "edit1033").toUtf8().constData());
    Expect(selection->count() > 0, "inventory found a transponder");
    Shoot(QStringLiteral("programmer-inventory.png"), &dialog);

    Click(dialog, "button1032");
    Report(dialog, "read all");
    std::printf("  CRC %s PC %s EPC %s TID %s\n", Text(dialog, "edit1039").toUtf8().constData(),
                Text(dialog, "edit1040").toUtf8().constData(), Text(dialog, "edit1041").toUtf8().constData(),
                Text(dialog, "edit1044").toUtf8().constData());
    Expect(!Text(dialog, "edit1044").isEmpty(), "read all filled the TID");
    Shoot(QStringLiteral("programmer-read-all.png"), &dialog);

    Set(dialog, "edit1041", newEpc);
    Set(dialog, "edit1078", Text(dialog, "edit1076"));
    Click(dialog, "button1043");
    Report(dialog, "EPC write");
    Click(dialog, "button1012");
    std::printf("  inventory after the write: %s\n", selection->currentText().toUtf8().constData());
    Expect(selection->currentText() == newEpc, "the next inventory shows the new EPC");
    Click(dialog, "button1042");
    Shoot(QStringLiteral("programmer-epc-written.png"), &dialog);

    Set(dialog, "edit1028", QStringLiteral("4"));
    Set(dialog, "edit1075", QStringLiteral("4"));
    Set(dialog, "edit1030", QStringLiteral("11 22 33 44"));
    Click(dialog, "button1047");
    Report(dialog, "user write");
    Set(dialog, "edit1030", QString());
    Click(dialog, "button1046");
    Report(dialog, "user read");
    Expect(Text(dialog, "edit1030") == QLatin1String("11 22 33 44"), "user memory read back");
    Shoot(QStringLiteral("programmer-user.png"), &dialog);

    Set(dialog, "edit1034", QStringLiteral("01 02 03 04"));
    Click(dialog, "button1036");
    Set(dialog, "edit1035", QStringLiteral("DE AD BE EF"));
    Click(dialog, "button1038");
    Set(dialog, "edit1034", QString());
    Set(dialog, "edit1035", QString());
    Click(dialog, "button1029");
    Click(dialog, "button1037");
    Report(dialog, "passwords");
    Expect(Text(dialog, "edit1034") == QLatin1String("01 02 03 04") &&
               Text(dialog, "edit1035") == QLatin1String("DE AD BE EF"),
           "both passwords read back");
    Shoot(QStringLiteral("programmer-passwords.png"), &dialog);

    // Cyclic inventory: rounds run while a timer keeps firing; the release
    // is a mouse click that has to get through.
    int ticks = 0, rounds = 0;
    QTimer ticker;
    QObject::connect(&ticker, &QTimer::timeout, [&] { ++ticks; });
    QObject::connect(&dialog, &ProgrammerDialog::cyclicInventoryRound, &ticker, [&](int n) { rounds = n; });
    ticker.start(50);
    Click(dialog, "button1070");
    Expect(dialog.CyclicInventoryRunning(), "cyclic inventory runs");
    Settle(1500);
    Expect(!Find<QPushButton>(dialog, "button1012")->isEnabled() &&
               !Find<QLineEdit>(dialog, "edit1041")->isEnabled(),
           "other controls disabled meanwhile");
    QTest::keyClick(&dialog, Qt::Key_Escape);
    Expect(dialog.isVisible(), "Escape ignored meanwhile");
    Shoot(QStringLiteral("programmer-cyclic.png"), &dialog);
    Click(dialog, "button1070");
    const bool ended =
        !dialog.CyclicInventoryRunning() || WaitFor(&dialog, &ProgrammerDialog::cyclicInventoryEnded, 5000);
    ticker.stop();
    std::printf("cyclic: %d rounds, %d timer ticks in about 1.6 s\n", rounds, ticks);
    Expect(ended && rounds > 3 && ticks >= 20, "window responsive, stopped by a click");
    Expect(Find<QPushButton>(dialog, "button1012")->isEnabled(), "controls enabled again");

    // The menu (a window of its own) and the About box.
    QMenu* menu = dialog.SystemMenu();
    auto* menuButton = Find<QToolButton>(dialog, "menuButton");
    QTimer::singleShot(300, [&] {
        ShootScreen(QStringLiteral("programmer-menu.png"), &dialog, menu->geometry());
        menu->hide();
    });
    menuButton->showMenu(); // returns when the menu closes
    QTimer::singleShot(300, [&] {
        if (auto* about = dialog.findChild<Programmer::AboutDialog*>()) {
            if (!shots.isEmpty()) about->grab().save(shots + QStringLiteral("/programmer-about.png"));
            about->accept();
        }
    });
    dialog.RunCommand(ProgrammerDialog::AboutCommand);
    dialog.done(QDialog::Rejected);
}

} // namespace

int main(int argc, char** argv) {
    appkit::ProgramInfo::SetCurrent(appkit::Program::Programmer);
    QApplication application(argc, argv);
    QString port, epc = QStringLiteral("E2 00 12 34 56 78 9A BC DE F0 11 22");
    const QStringList args = application.arguments();
    for (int i = 1; i + 1 < args.size(); ++i) {
        if (args[i] == QLatin1String("--port")) port = args[i + 1];
        if (args[i] == QLatin1String("--shots")) shots = args[i + 1];
        if (args[i] == QLatin1String("--epc")) epc = args[i + 1];
    }
    if (port.isEmpty()) {
        std::fprintf(stderr, "usage: kvplm-programmer-demo --port PATH [--shots DIR] [--epc HEX]\n");
        return 2;
    }
    {
        appkit::SettingsStore store;
        store.WriteString(QStringLiteral("Port"), QStringLiteral("Name"), port);
    }
    bool ran = false;
    Programmer::ProgrammerShell::Run([&](ProgrammerDialog& dialog) {
        dialog.SetChooser([] { return false; }); // no interface dialog: the stored port or nothing
        QObject::connect(
            &dialog, &ProgrammerDialog::opened, &dialog,
            [&] {
                dialog.move(10, 10);
                ran = true;
                Script(dialog, epc);
            },
            Qt::QueuedConnection);
    });
    if (!ran) ++failures;
    std::printf("%s\n", failures ? "FAILED" : "all steps ok");
    return failures ? 1 : 0;
}
