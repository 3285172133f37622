#include "Connector.h"

#include "DeviceLists.h"
#include "ReaderConnection.h"
#include "Texts.h"

#include <cstdlib>

namespace frontend {

Connector::Connector(ConnectUi& ui, appkit::Program program, DeviceLists* lists)
    : m_ui(ui), m_program(program), m_lists(lists ? *lists : DeviceLists::System()) {}

int Connector::OpenStored(const ConnectionSettings& settings) {
    return OpenSession(settings.Request());
}

int Connector::ConnectStored(Connection& connection, bool messages) {
    appkit::SettingsStore store(m_program);
    ConnectionSettings settings;
    settings.Load(store, m_lists);
    connection.session = 0;
    connection.baudrate = settings.baudrate;

    auto fail = [&](int code) {
        if (messages) m_ui.ShowMessage(appkit::Texts::String(m_program, code == OpenFailed ? 521 : 522));
        return code;
    };
    if (settings.name.isEmpty()) return fail(OpenFailed);

    ReaderRequest request;
    request.linkPortName = settings.LinkPortName().toStdString();
    request.baudrate = settings.baudrate;
    request.timeoutMs = settings.ReplyTimeout();
    request.serial =
        !ConnectionSettings::IsUsbName(settings.name) && !ConnectionSettings::IsLanName(settings.name);
    request.network = ConnectionSettings::IsLanName(settings.name);
    // A Bluetooth session opens at once; the module's inquiry and the link
    // run in the identification that follows.
    const bool bluetooth = LinkPort::TransportOf(request.linkPortName) == LinkPort::Kind::Bluetooth;
    if (bluetooth) m_ui.SetBusy(true);
    const ReaderResult result = ConnectReader(request);
    if (bluetooth) m_ui.SetBusy(false);
    // The rate found by the search is stored, and in use from now on.
    if (result.rateFound) {
        store.WriteInt(ConnectionSettings::Section, ConnectionSettings::Key(PortSettings::Baudrate),
                       result.baudrate);
        connection.baudrate = result.baudrate;
    }

    const QString title = appkit::ProgramInfo::Title(m_program);
    switch (result.code) {
    case ReaderResult::Ok:
        break;
    case ReaderResult::NoDevice:
        m_ui.SetTitle(title + QLatin1Char(' ') + appkit::Texts::String(m_program, 522));
        return fail(NoDevice);
    case ReaderResult::Refused:
        m_ui.SetTitle(title + QLatin1Char(' ') + appkit::Texts::String(m_program, 523));
        return fail(Refused);
    default:
        return fail(OpenFailed);
    }

    const QString firmware =
        QString::asprintf(appkit::Texts::String(m_program, 533).toUtf8().constData(), 1, result.minorVersion);
    m_ui.SetTitle(title + QStringLiteral(" V") + appkit::ProgramInfo::Version(m_program) +
                  QStringLiteral(" <") + QString::fromStdString(result.deviceName) + QLatin1Char(' ') +
                  (result.usb ? QStringLiteral("USB:") : QString()) + settings.LinkPortName() +
                  QLatin1Char(' ') + firmware + QLatin1Char('>'));
    connection.session = result.session;
    connection.flags = result.flags;
    return Ok;
}

bool Connector::ChooseAndConnect(Connection& connection, const Chooser& choose) {
    for (;;) {
        if (!choose || !choose()) {
            connection.session = 0;
            return false;
        }
        if (ConnectStored(connection, true) == Ok) return true;
    }
}

bool Connector::ConnectAtStart(Connection& connection, const Chooser& choose) {
    if (ConnectStored(connection, false) == Ok) return true;
    appkit::SettingsStore store(m_program);
    const QString stored =
        store.GetString(ConnectionSettings::Section, ConnectionSettings::Key(PortSettings::Name));
    if (!ConnectionSettings::IsUsbName(stored)) return ChooseAndConnect(connection, choose);

    const QStringList devices = m_lists.Usb();
    if (devices.size() != 1) return ChooseAndConnect(connection, choose);
    // The only USB device is the one that just failed: nothing else to try.
    if (devices.first() == ConnectionSettings::DevicePart(stored)) return false;
    store.WriteString(ConnectionSettings::Section, ConnectionSettings::Key(PortSettings::Name),
                      ConnectionSettings::UsbPrefix + devices.first());
    store.Sync();
    if (ConnectStored(connection, true) == Ok) return true;
    return ChooseAndConnect(connection, choose);
}

bool Connector::RetryUntilConnected(const std::function<bool()>& connect, const Chooser& choose) {
    while (!connect())
        if (!choose || !choose()) return false;
    return true;
}

} // namespace frontend
