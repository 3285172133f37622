// KV_PLM_Programmer: reads and writes the transponders in front of a
// programmer device.
#include "ProgramIcon.h"
#include "ProgramInfo.h"
#include "ProgrammerShell.h"

#include <QApplication>

int main(int argc, char** argv) {
    appkit::ProgramInfo::SetCurrent(appkit::Program::Programmer);
    QApplication application(argc, argv);
    application.setWindowIcon(Programmer::ProgramIcon());
    Programmer::ProgrammerShell::Run();
    return 0;
}
