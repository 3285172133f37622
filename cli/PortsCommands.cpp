// ports: the serial, USB and network lists in their list forms, as the
// interface dialog shows them and as "Name" stores them.
#include "Commands.h"
#include "ConnectionSettings.h"
#include "DeviceLists.h"

#include <cstdio>

namespace Cli {

int RunPorts(Options& options) {
    const bool lan = TakeFlag(options.args, "--lan");
    NoMoreArgs(options);
    using frontend::ConnectionSettings;
    frontend::DeviceLists& lists = frontend::DeviceLists::System();
    for (const QString& entry : lists.Serial())
        std::printf("%s\n", ConnectionSettings::SerialListForm(entry).toUtf8().constData());
    for (const QString& entry : lists.Usb())
        std::printf("%s%s\n", ConnectionSettings::UsbPrefix.toUtf8().constData(), entry.toUtf8().constData());
    if (lan)
        for (const QString& entry : lists.Lan())
            std::printf("%s%s\n", ConnectionSettings::LanPrefix.toUtf8().constData(),
                        entry.toUtf8().constData());
    return ExitOk;
}

namespace {
const Registration ports{{"ports", "[--lan]",
                          "list serial ports, USB devices (--lan: network readers) as the dialog names them",
                          5, RunPorts}};
} // namespace

} // namespace Cli
