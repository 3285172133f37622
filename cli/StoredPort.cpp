#include "StoredPort.h"

#include "BluetoothWait.h"
#include "ConnectionSettings.h"
#include "Connector.h"
#include "DeviceLists.h"
#include "Progress.h"

#include <iostream>

namespace Cli {

namespace {

StoredConnection lastStored;

// The connect procedure's output on the command line: the title is kept,
// the (German) message boxes are replaced by the lines below.
class CliConnectUi : public frontend::ConnectUi {
public:
    void SetTitle(const QString& title) override { m_title = title.toStdString(); }
    void ShowMessage(const QString&) override {}
    const std::string& Title() const { return m_title; }

private:
    std::string m_title;
};

} // namespace

const StoredConnection& LastStoredConnection() {
    return lastStored;
}

int OpenStoredPort(const Options& options) {
    if (options.baudGiven || options.formatGiven || options.timeoutGiven)
        std::cerr
            << "kvplm: PORT \"-\" uses the stored settings; --baud, --format and --timeout do not apply\n";
    appkit::ProgramInfo::SetCurrent(appkit::Program::Morvane);
    CliConnectUi ui;
    frontend::Connector connector(ui, appkit::Program::Morvane);
    frontend::Connection connection;
    WatchBluetoothWait(frontend::ConnectionSettings::Read(appkit::SettingsStore(appkit::Program::Morvane))
                           .LinkPortName()
                           .toStdString(),
                       options.trace);
    int code = 0;
    {
        ConnectProgress progress;
        code = connector.ConnectStored(connection, false);
    }

    // What was used, as the settings hold it now.
    const frontend::ConnectionSettings settings =
        frontend::ConnectionSettings::Read(appkit::SettingsStore(appkit::Program::Morvane));
    const std::string link = settings.LinkPortName().toStdString();
    lastStored = StoredConnection{link, connection.baudrate, connection.flags, ui.Title()};

    if (code != frontend::Connector::Ok) NoteNoConnection();
    switch (code) {
    case frontend::Connector::Ok:
        if (options.trace) std::cerr << "kvplm: " << ui.Title() << "\n";
        return connection.session;
    case frontend::Connector::OpenFailed:
        if (settings.name.isEmpty())
            std::cerr << "kvplm: no port is stored in the settings of Morvane (choose one in its interface "
                         "dialog)\n";
        else
            std::cerr << "kvplm: cannot open the stored port " << link
                      << " (no such port, busy, or no reader answered at any rate)\n";
        return -1;
    case frontend::Connector::NoDevice:
        std::cerr << "kvplm: no connection to the device on " << link << " (identification failed)\n";
        return -1;
    default:
        std::cerr << "kvplm: the device on " << link << " is of a type Morvane does not support\n";
        return -1;
    }
}

} // namespace Cli
