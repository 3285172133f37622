// KV_PLM_Programmer: reads and writes the transponders in front of a
// programmer device.
//
//   KV_PLM_Programmer [--screenshot FILE]
//
// --screenshot saves a picture of the main dialog (PNG) once its connect at
// opening is over; the program then goes on as usual.
#include "ProgramIcon.h"
#include "ProgramInfo.h"
#include "ProgrammerDialog.h"
#include "ProgrammerShell.h"

#include <QApplication>
#include <QTimer>

int main(int argc, char** argv) {
    appkit::ProgramInfo::SetCurrent(appkit::Program::Programmer);
    QApplication application(argc, argv);
    application.setWindowIcon(Programmer::ProgramIcon());
    QString screenshot;
    const QStringList args = application.arguments();
    const int at = args.indexOf(QStringLiteral("--screenshot"));
    if (at > 0 && at + 1 < args.size()) screenshot = args[at + 1];

    Programmer::ProgrammerShell::Run([&](Programmer::ProgrammerDialog& dialog) {
        if (screenshot.isEmpty()) return;
        QObject::connect(&dialog, &Programmer::ProgrammerDialog::opened, &dialog, [&dialog, &screenshot] {
            // Once the window has been painted.
            QTimer::singleShot(300, &dialog, [&dialog, &screenshot] {
                dialog.grab().save(screenshot);
                screenshot.clear();
            });
        });
    });
    return 0;
}
