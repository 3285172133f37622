// ports: the serial, USB and network lists in their list forms, as the
// interface dialog shows them and as "Name" stores them.
#include "Commands.h"
#include "ConnectionSettings.h"
#include "DeviceLists.h"
#include "EpcOutput.h"

#include <cstdio>

namespace Cli {

int RunPorts(Options& options) {
    const bool lan = TakeFlag(options.args, "--lan");
    const bool json = TakeFlag(options.args, "--json");
    NoMoreArgs(options);
    using frontend::ConnectionSettings;
    frontend::DeviceLists& lists = frontend::DeviceLists::System();
    std::vector<std::string> serial, usb, network;
    for (const QString& entry : lists.Serial())
        serial.push_back(ConnectionSettings::SerialListForm(entry).toStdString());
    for (const QString& entry : lists.Usb())
        usb.push_back((ConnectionSettings::UsbPrefix + entry).toStdString());
    if (lan)
        for (const QString& entry : lists.Lan())
            network.push_back((ConnectionSettings::LanPrefix + entry).toStdString());
    if (json) {
        auto array = [](const std::vector<std::string>& entries) {
            std::vector<std::string> items;
            for (const std::string& entry : entries)
                items.push_back(JsonString(entry));
            return JsonArray(items);
        };
        std::printf("{\"serial\":%s,\"usb\":%s,\"lan\":%s}\n", array(serial).c_str(), array(usb).c_str(),
                    lan ? array(network).c_str() : "null");
        return ExitOk;
    }
    for (const std::vector<std::string>* list : {&serial, &usb, &network})
        for (const std::string& entry : *list)
            std::printf("%s\n", entry.c_str());
    return ExitOk;
}

namespace {
const Registration ports{{"ports", "[--lan] [--json]",
                          "list serial ports, USB devices (--lan: network readers) as the dialog names them",
                          5, RunPorts}};
} // namespace

} // namespace Cli
