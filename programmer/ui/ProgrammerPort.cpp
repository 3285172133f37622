#include "ProgrammerPort.h"

#include "DeviceLists.h"
#include "SettingsStore.h"

namespace Programmer {

frontend::ConnectionSettings ProgrammerPort::Load(frontend::DeviceLists* lists) {
    appkit::SettingsStore store(appkit::Program::Programmer);
    frontend::ConnectionSettings settings;
    settings.Load(store, lists ? *lists : frontend::DeviceLists::System());
    return settings;
}

ConnectRequest ProgrammerPort::Request(const frontend::ConnectionSettings& settings) {
    ConnectRequest request;
    request.linkPortName = settings.LinkPortName().toStdString();
    request.baud = frontend::ConnectionSettings::BaudRateOf(settings.baudrate);
    request.format = frontend::ConnectionSettings::FrameCodeOf(settings.baudrate);
    request.timeoutMs = settings.timeout;
    return request;
}

bool ProgrammerPort::IsNetwork(const frontend::ConnectionSettings& settings) {
    return frontend::ConnectionSettings::IsLanName(settings.name);
}

} // namespace Programmer
