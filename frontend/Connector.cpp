#include "Connector.h"

#include "DeviceLists.h"
#include "LinkApi.h"
#include "Texts.h"

#include <cstdlib>

namespace frontend {

const int Connector::BaudCycle[4] = {2400, 4800, 9600, 19200};

namespace {

constexpr int NoAnswer = -11;

int HexDigits(const char* text, int count) {
    const std::string digits(text, size_t(count));
    return int(std::strtol(digits.c_str(), nullptr, 16));
}

} // namespace

Connector::Connector(ConnectUi& ui, appkit::Program program, DeviceLists* lists)
    : m_ui(ui), m_program(program), m_lists(lists ? *lists : DeviceLists::System()) {}

int Connector::OpenStored(const ConnectionSettings& settings) {
    const QByteArray link = settings.LinkPortName().toUtf8();
    return LinkOpen(link.constData(), ConnectionSettings::BaudRateOf(settings.baudrate),
                    ConnectionSettings::FrameCodeOf(settings.baudrate), settings.timeout);
}

int Connector::OpenPort(const ConnectionSettings& settings, appkit::SettingsStore& store, int& baudrate) {
    const QByteArray link = settings.LinkPortName().toUtf8();
    if (ConnectionSettings::IsUsbName(settings.name) || ConnectionSettings::IsLanName(settings.name))
        return LinkOpen(link.constData(), 19200, 0, settings.timeout);

    int id = OpenStored(settings);
    if (id != NoAnswer) return id;
    // A reader set to another rate: only a plain stored rate is searched,
    // the others at 8N1.
    int start = -1;
    for (int i = 0; i < 4; ++i)
        if (BaudCycle[i] == settings.baudrate) start = i;
    if (start < 0) return id;
    for (int step = 1; step < 4; ++step) {
        const int rate = BaudCycle[(start + step) % 4];
        id = LinkOpen(link.constData(), rate, 0, settings.timeout);
        if (id > 0) {
            store.WriteInt(ConnectionSettings::Section, QStringLiteral("Baudrate"), rate);
            baudrate = rate;
            return id;
        }
    }
    return id;
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

    // The rate found by the search is the rate in use from now on.
    const int id = OpenPort(settings, store, connection.baudrate);
    if (id <= 0) return fail(OpenFailed);

    LinkSetState(id, 0);
    const QString title = appkit::ProgramInfo::Title(m_program);
    char type[4] = {};
    char device[31] = {};
    if (LinkGetDeviceInfo(id, type, sizeof type, device, sizeof device) < 0) {
        LinkClose(id);
        m_ui.SetTitle(title + QLatin1Char(' ') + appkit::Texts::String(m_program, 522));
        return fail(NoDevice);
    }
    const int deviceType = HexDigits(type, 3);
    const int minor = HexDigits(type + 3, 1);
    if ((deviceType & 0x0F) == 0) {
        LinkClose(id);
        m_ui.SetTitle(title + QLatin1Char(' ') + appkit::Texts::String(m_program, 523));
        return fail(Refused);
    }

    const QString linkName = settings.LinkPortName();
    const QString firmware =
        QString::asprintf(appkit::Texts::String(m_program, 533).toUtf8().constData(), 1, minor);
    m_ui.SetTitle(title + QStringLiteral(" V") + appkit::ProgramInfo::Version(m_program) +
                  QStringLiteral(" <") + QString::fromUtf8(device) + QLatin1Char(' ') +
                  (LinkIsUsb(id) > 0 ? QStringLiteral("USB:") : QString()) + linkName + QLatin1Char(' ') +
                  firmware + QLatin1Char('>'));

    connection.session = id;
    connection.flags = ConnectionFlags::Connected | ConnectionFlags::Features;
    if (linkName.contains(QLatin1String("HID"))) connection.flags |= ConnectionFlags::Hid;
    if (ConnectionSettings::IsLanName(settings.name)) connection.flags |= ConnectionFlags::Network;
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
    const QString stored = store.GetString(ConnectionSettings::Section, QStringLiteral("Name"));
    if (!ConnectionSettings::IsUsbName(stored)) return ChooseAndConnect(connection, choose);

    const QStringList devices = m_lists.Usb();
    if (devices.size() != 1) return ChooseAndConnect(connection, choose);
    // The only USB device is the one that just failed: nothing else to try.
    if (devices.first() == ConnectionSettings::DevicePart(stored)) return false;
    store.WriteString(ConnectionSettings::Section, QStringLiteral("Name"),
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
