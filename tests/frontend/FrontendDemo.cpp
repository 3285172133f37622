// kvplm-frontend-demo: the interface dialog and the connect with the stored
// settings in real windows, for a look at them (run under Xvfb).
//
//   kvplm-frontend-demo [--pick TEXT] [--shots DIR]
//
// Opens a stand-in main window and the interface dialog over it, picks the
// first list entry containing TEXT (default "[Simulated"), takes a picture,
// presses OK (which stores the choice), connects with the stored settings
// and takes a picture of the main window, which shows its new title inside
// (Xvfb has no window manager to draw title bars). Prints the stored name and the title; exit status 0 when
// the connect succeeded.
#include "Connector.h"
#include "InterfaceDialog.h"
#include "Messages.h"
#include "SettingsStore.h"
#include "Texts.h"
#include "UiHooks.h"
#include "WidgetConnectUi.h"

#include "LinkApi.h"

#include <QApplication>
#include <QEventLoop>
#include <QLabel>
#include <QListWidget>
#include <QMainWindow>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>
#include <cstdio>

namespace {

void Settle(int milliseconds) {
    QEventLoop loop;
    QTimer::singleShot(milliseconds, &loop, &QEventLoop::quit);
    loop.exec();
}

void Shoot(const QString& dir, const QString& name, QWidget* widget) {
    if (dir.isEmpty()) return;
    Settle(300);
    widget->grab().save(dir + QLatin1Char('/') + name);
}

} // namespace

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    QString pick = QStringLiteral("[Simulated"), shots;
    const QStringList args = application.arguments();
    for (int i = 1; i + 1 < args.size(); ++i) {
        if (args[i] == QLatin1String("--pick")) pick = args[i + 1];
        if (args[i] == QLatin1String("--shots")) shots = args[i + 1];
    }
    appkit::ProgramInfo::SetCurrent(appkit::Program::Morvane);

    // A stand-in for the program's main window: it shows its own title,
    // since Xvfb has no window manager to draw title bars.
    QMainWindow window;
    auto* central = new QWidget(&window);
    auto* titleLabel = new QLabel(central);
    titleLabel->setWordWrap(true);
    QFont font = titleLabel->font();
    font.setPointSize(font.pointSize() + 2);
    titleLabel->setFont(font);
    auto* layout = new QVBoxLayout(central);
    layout->addWidget(new QLabel(QStringLiteral("Fenstertitel des Hauptfensters:"), central));
    layout->addWidget(titleLabel);
    layout->addStretch();
    window.setCentralWidget(central);
    window.setWindowTitle(appkit::ProgramInfo::Title());
    QObject::connect(&window, &QWidget::windowTitleChanged, titleLabel, &QLabel::setText);
    titleLabel->setText(window.windowTitle());
    window.resize(650, 90);
    window.move(0, 0);
    window.show();
    appkit::UiHooks::Install(&window);

    frontend::InterfaceDialog dialog(&window);
    dialog.move(0, 230);
    dialog.show();
    Settle(200);
    auto* list = dialog.findChild<QListWidget*>(QStringLiteral("list1012"));
    for (int i = 0; list && i < list->count(); ++i) {
        if (list->item(i)->text().contains(pick)) {
            list->setCurrentRow(i);
            break;
        }
    }
    Shoot(shots, QStringLiteral("interface-dialog.png"), &dialog);
    dialog.findChild<QPushButton*>(QStringLiteral("buttonOk"))->click();
    if (dialog.result() != QDialog::Accepted) {
        std::fprintf(stderr, "the dialog did not accept\n");
        return 2;
    }
    const QString stored = appkit::SettingsStore().GetString(QStringLiteral("Port"), QStringLiteral("Name"));
    std::printf("stored:    %s\n", stored.toUtf8().constData());

    frontend::WidgetConnectUi ui(&window);
    frontend::Connector connector(ui);
    frontend::Connection connection;
    const int code = connector.ConnectStored(connection, true);
    std::printf("connect:   %d (session %d, baud %d, flags 0x%X)\n", code, connection.session,
                connection.baudrate, connection.flags);
    std::printf("title:     %s\n", window.windowTitle().toUtf8().constData());
    if (connection.session > 0) {
        LinkSetState(connection.session, 2);
        LinkClose(connection.session);
    }
    Shoot(shots, QStringLiteral("connected-title.png"), &window);
    appkit::UiHooks::Remove();
    return code == 0 ? 0 : 1;
}
