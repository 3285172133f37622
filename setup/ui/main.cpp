// Morvane: the reader configuration program.
//
//   Morvane [--screenshot PATH] [--quit-after MS]
//
// --screenshot saves a picture of the screen area the program's windows
// cover once it has started (and connected), then ends; --quit-after sets
// how long after the start that happens (default 2000 ms). Without a
// display (under Xvfb) that is how to see the program.
#include "MainFrame.h"
#include "ProgramInfo.h"
#include "UiHooks.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QPainter>
#include <QPixmap>
#include <QScreen>
#include <QTimer>
#include <QWindow>
#include <cstdio>

namespace {

// The windows the program shows, as one picture: from the screen where the
// platform can grab it, else drawn from the widgets.
QImage Picture() {
    QRect area;
    QList<QWidget*> windows;
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (!widget->isVisible() || widget->windowType() == Qt::ToolTip) continue;
        windows.append(widget);
        area |= widget->frameGeometry();
    }
    if (area.isEmpty()) return {};
    if (QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect bounded = area & screen->geometry();
        const QPixmap grabbed =
            screen->grabWindow(0, bounded.x(), bounded.y(), bounded.width(), bounded.height());
        if (!grabbed.isNull() && QGuiApplication::platformName() != QLatin1String("offscreen"))
            return grabbed.toImage();
    }
    QImage image(area.size(), QImage::Format_RGB32);
    image.fill(Qt::darkGray);
    QPainter painter(&image);
    for (QWidget* widget : windows)
        painter.drawPixmap(widget->geometry().topLeft() - area.topLeft(), widget->grab());
    return image;
}

} // namespace

int main(int argc, char** argv) {
    appkit::ProgramInfo::SetCurrent(appkit::Program::Morvane);
    QApplication application(argc, argv);
    QApplication::setApplicationName(appkit::ProgramInfo::ProgramKey());
    QApplication::setApplicationVersion(appkit::ProgramInfo::Version());

    QCommandLineParser parser;
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption screenshot(
        QStringLiteral("screenshot"),
        QStringLiteral("Save a picture of the program's windows to PATH, then end."), QStringLiteral("PATH"));
    const QCommandLineOption quitAfter(QStringLiteral("quit-after"),
                                       QStringLiteral("End MS milliseconds after the start (default 2000 "
                                                      "with --screenshot)."),
                                       QStringLiteral("MS"));
    parser.addOption(screenshot);
    parser.addOption(quitAfter);
    parser.process(application);

    CMainFrame frame;
    appkit::UiHooks::Install([&frame]() -> QWidget* {
        // While a modal dialog is open the main window takes no input
        // anyway; disabling it would grey out the dialog, its child.
        return QApplication::activeModalWidget() ? nullptr : &frame;
    });
    frame.Create();
    frame.show();
    QTimer::singleShot(0, &frame, &CMainFrame::ConnectAtStart);

    const QString picture = parser.value(screenshot);
    int delay = picture.isEmpty() ? -1 : 2000;
    if (parser.isSet(quitAfter)) delay = parser.value(quitAfter).toInt();
    if (delay >= 0) {
        QTimer::singleShot(delay, &application, [&picture, &frame] {
            if (!picture.isEmpty()) {
                // A bare X server draws no title bar: the title is printed.
                std::printf("title:      %s\n", frame.windowTitle().toUtf8().constData());
                if (Picture().save(picture))
                    std::printf("screenshot: %s\n", picture.toLocal8Bit().constData());
                else
                    std::fprintf(stderr, "Morvane: cannot save %s\n", picture.toLocal8Bit().constData());
                std::fflush(stdout);
            }
            // Closing stores the settings as the user's closing does;
            // exit ends every event loop, a modal dialog's too.
            frame.close();
            QCoreApplication::exit(0);
        });
    }
    const int status = application.exec();
    appkit::UiHooks::Remove();
    return status;
}
