// Connector: the procedures that open a reader session from the stored
// connection settings.
//
// ConnectStored: load the settings, open the port (a serial reader that does
// not answer at the stored rate is looked for at the other rates, and the
// rate found is stored), put the reader into programming mode, identify it
// and set the window title, e.g. "KV-PLM Morvane V1.04 <KV-PLM41
// /dev/ttyUSB0:1 V1.05>". Results: 0 connected, 1 the port could not be
// opened or nothing answered, 2 the reader did not identify itself, 4 the
// device type is refused (a device whose type has the low four bits 0).
//
// ChooseAndConnect shows the interface dialog (through the chooser) until a
// connect succeeds or the user cancels; ConnectAtStart first tries the
// stored settings quietly and falls back to other USB devices or the dialog.
#pragma once

#include "ConnectUi.h"
#include "ConnectionSettings.h"

#include <functional>

namespace frontend {

class DeviceLists;

// A session as the connect procedures hand it over.
struct Connection {
    int session = 0;      // 0: none; the caller closes it
    int baudrate = 19200; // the "Baudrate" value in use
    int flags = 0;        // ConnectionFlag bits of the last successful connect
};

class Connector {
public:
    enum Code { Ok = 0, OpenFailed = 1, NoDevice = 2, Refused = 4 };
    // Shows the interface selection dialog; true when the user chose OK.
    using Chooser = std::function<bool()>;

    Connector(ConnectUi& ui, appkit::Program program = appkit::Program::Morvane,
              DeviceLists* lists = nullptr);

    // The session, the baud rate and (on success) the flags go into
    // connection; a failure leaves the flags as they were and no session.
    int ConnectStored(Connection& connection, bool messages);
    bool ChooseAndConnect(Connection& connection, const Chooser& choose);
    bool ConnectAtStart(Connection& connection, const Chooser& choose);

    // Opens with the stored settings as they are (no baud search), as the
    // programmer's connect does: LinkOpen's result.
    static int OpenStored(const ConnectionSettings& settings);
    // The programmer's loop: connect, and while that fails let the user
    // choose again; false when the user cancels.
    static bool RetryUntilConnected(const std::function<bool()>& connect, const Chooser& choose);

private:
    ConnectUi& m_ui;
    appkit::Program m_program;
    DeviceLists& m_lists;
};

} // namespace frontend
