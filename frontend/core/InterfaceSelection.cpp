#include "InterfaceSelection.h"

#include "DeviceLists.h"
#include "DeviceWatcher.h"
#include "LinkApi.h"
#include "Texts.h"

#include <QEventLoop>
#include <QTimer>

namespace frontend {

const QStringList InterfaceSelection::BaudRates = {QStringLiteral("2400"), QStringLiteral("4800"),
                                                   QStringLiteral("9600"), QStringLiteral("19200")};

namespace {

// Waits with the event loop running, as the dialog stays alive meanwhile.
void EventLoopWait(int milliseconds) {
    QEventLoop loop;
    QTimer::singleShot(milliseconds, &loop, &QEventLoop::quit);
    loop.exec();
}

} // namespace

InterfaceSelection::InterfaceSelection(appkit::Program program, DeviceLists& lists)
    : m_program(program), m_lists(lists), m_store(std::make_unique<appkit::SettingsStore>(program)),
      m_wait(&EventLoopWait) {
    m_settings.Load(*m_store, m_lists);
    // The lists fetched while checking the stored name are kept.
    if (m_settings.usbListFetched) m_usb = m_settings.usbList, m_usbFilled = true;
    if (m_settings.lanListFetched) m_lan = m_settings.lanList, m_lanFilled = true;
}

InterfaceSelection::~InterfaceSelection() = default;

bool InterfaceSelection::IsVirtualComEntry(const QString& entry) {
    return LinkPort::IsVirtualComEntry(entry.toStdString());
}

bool InterfaceSelection::IsDualModeHidEntry(const QString& entry) {
    return LinkPort::IsDualModeHidEntry(entry.toStdString()) && m_lists.VirtualComDriverInstalled();
}

void InterfaceSelection::Open() {
    int parity = 0, stopBits = 0;
    ConnectionSettings::SplitFrameCode(ConnectionSettings::FrameCodeOf(m_settings.baudrate), parity,
                                       stopBits);
    m_controls.parityIndex = parity;
    m_controls.stopBitsIndex = stopBits;
    m_controls.baudIndex =
        BaudRates.indexOf(QString::number(ConnectionSettings::BaudRateOf(m_settings.baudrate)));
    m_controls.timeoutText = QString::number(m_settings.timeout);
    m_controls.addressText = QString::number(m_settings.address);
    m_controls.ethernet = m_settings.ethernet;

    if (!m_settings.ethernet) {
        m_lan.clear();
        m_lanFilled = false;
    } else if (m_lan.isEmpty()) {
        m_lan = m_lists.Lan();
        m_lanFilled = true;
    }
    if (m_usb.isEmpty()) m_usb = m_lists.Usb(), m_usbFilled = true;
    if (m_serial.isEmpty()) m_serial = m_lists.Serial(), m_serialFilled = true;

    FillEntries();
    SelectStoredName();
    ApplyKinds(m_settings.name);
    UpdateModeButtons(m_settings.name);
    m_controls.ipVisible = m_settings.ethernet;
}

void InterfaceSelection::FillEntries() {
    QStringList entries;
    for (const QString& entry : m_serial)
        entries.append(ConnectionSettings::SerialListForm(entry));
    for (const QString& entry : m_usb)
        entries.append(ConnectionSettings::UsbPrefix + entry);
    for (const QString& entry : m_lan)
        entries.append(ConnectionSettings::LanPrefix + entry);
    m_controls.entries = entries;
    m_controls.selected = -1;
}

void InterfaceSelection::SelectStoredName() {
    // The entry that is the stored name, or carries it followed by a label.
    // Any other entry that merely begins with it is another port (COM1 and
    // COM10, /dev/ttyS1 and /dev/ttyS10).
    const QString& name = m_settings.name;
    int found = -1;
    if (!name.isEmpty()) {
        found = m_controls.entries.indexOf(name);
        for (int i = 0; found < 0 && i < m_controls.entries.size(); ++i)
            if (m_controls.entries[i].startsWith(name + QLatin1Char(' '))) found = i;
    }
    m_controls.selected = found;
    if (found < 0) m_settings.name.clear();
}

void InterfaceSelection::ApplyKinds(const QString& name) {
    m_settings.SetKinds(name);
    m_controls.serialControlsEnabled = !m_settings.usb && !m_settings.network;
}

void InterfaceSelection::UpdateModeButtons(const QString& name) {
    // The switch needs the virtual COM driver's platform support, which
    // every Linux kernel with cdc_acm has: always offered here.
    m_controls.modeButtonsEnabled = false;
    m_controls.hidModeChecked = m_controls.virtualComChecked = false;
    if (IsVirtualComEntry(name)) {
        m_controls.modeButtonsEnabled = true;
        m_controls.virtualComChecked = true;
    } else if (IsDualModeHidEntry(name)) {
        m_controls.modeButtonsEnabled = true;
        m_controls.hidModeChecked = true;
    }
}

void InterfaceSelection::SelectionChanged() {
    const int row = m_controls.selected;
    if (row < 0 || row >= m_controls.entries.size()) {
        UpdateModeButtons(QString());
        return;
    }
    const QString entry = m_controls.entries[row];
    ApplyKinds(entry);
    UpdateModeButtons(entry);
}

bool InterfaceSelection::SwitchMode(const QString& portName, int commandByte) {
    const int id = OpenSession({portName.toStdString(), 19200, 0, 100});
    if (id <= 0) return false;
    LinkSendCommandByte(id, commandByte);
    LinkClose(id);
    m_settings.name.clear();
    if (m_wait) m_wait(1000);
    UpdateModeButtons(QString());
    return true;
}

bool InterfaceSelection::ChooseHidMode() {
    const int row = m_controls.selected;
    const QString entry = row >= 0 && row < m_controls.entries.size() ? m_controls.entries[row] : QString();
    const bool switched = IsVirtualComEntry(entry) && SwitchMode(entry, 1);
    if (!switched) UpdateModeButtons(entry);
    return switched;
}

bool InterfaceSelection::ChooseVirtualCom() {
    const int row = m_controls.selected;
    const QString entry = row >= 0 && row < m_controls.entries.size() ? m_controls.entries[row] : QString();
    const bool switched = IsDualModeHidEntry(entry) && SwitchMode(ConnectionSettings::DevicePart(entry), 2);
    if (!switched) UpdateModeButtons(entry);
    return switched;
}

void InterfaceSelection::Refresh() {
    if (m_refreshing) return;
    m_refreshing = true;
    m_controls.entries.clear();
    m_controls.selected = -1;
    if (m_settings.ethernet) {
        m_lan = m_lists.Lan();
        m_lanFilled = true;
    } else {
        m_lan.clear();
        m_lanFilled = false;
    }
    m_usb = m_lists.Usb();
    m_serial = m_lists.Serial();
    FillEntries();
    SelectStoredName();
    m_refreshing = false;
}

void InterfaceSelection::DeviceChange(int eventCode) {
    if (eventCode == appkit::DeviceWatcher::DeviceArrival ||
        eventCode == appkit::DeviceWatcher::DevNodesChanged)
        Refresh();
    UpdateModeButtons(m_settings.name);
}

void InterfaceSelection::EthernetToggled() {
    m_settings.ethernet = m_controls.ethernet;
    Refresh();
    m_controls.ipVisible = m_settings.ethernet;
}

InterfaceSelection::Message InterfaceSelection::IpQuery() {
    Message message;
    message.caption = appkit::Texts::String(m_program, 10129);
    const QStringList found = m_lists.LanAll();
    if (found.isEmpty()) {
        message.text = appkit::Texts::String(m_program, 10131);
        return message;
    }
    for (const QString& entry : found)
        message.text += entry + QStringLiteral("\r\n");
    return message;
}

bool InterfaceSelection::Accept(Message& message, Field& field) {
    auto number = [&](const QString& text, int low, int high, Field which, int& value) {
        bool ok = false;
        value = text.trimmed().toInt(&ok);
        if (ok && value >= low && value <= high) return true;
        message.caption.clear();
        message.text = ok ? appkit::Texts::String(m_program, 61697).arg(low).arg(high)
                          : appkit::Texts::String(m_program, 61696);
        field = which;
        return false;
    };
    int timeout = 0, address = 0;
    field = Field::None;
    if (!number(m_controls.timeoutText, ConnectionSettings::MinTimeout, ConnectionSettings::MaxTimeout,
                Field::Timeout, timeout) ||
        !number(m_controls.addressText, ConnectionSettings::MinAddress, ConnectionSettings::MaxAddress,
                Field::Address, address))
        return false;
    m_settings.timeout = timeout;
    m_settings.address = address;
    m_settings.ethernet = m_controls.ethernet;

    const QString section = ConnectionSettings::Section;
    const int row = m_controls.selected;
    if (row >= 0 && row < m_controls.entries.size()) {
        m_settings.name = m_controls.entries[row];
        m_store->WriteString(section, ConnectionSettings::Key(PortSettings::Name), m_settings.name);
        m_settings.SetKinds(m_settings.name);
    }
    if (m_controls.baudIndex < 0 || m_controls.baudIndex >= BaudRates.size()) {
        m_settings.baudrate = ConnectionSettings::DefaultBaudrate;
    } else {
        m_settings.baudrate = BaudRates[m_controls.baudIndex].toInt() +
                              ConnectionSettings::FrameCode(m_controls.parityIndex, m_controls.stopBitsIndex);
        m_store->WriteInt(section, ConnectionSettings::Key(PortSettings::Baudrate), m_settings.baudrate);
    }
    m_store->WriteInt(section, ConnectionSettings::Key(PortSettings::Timeout), m_settings.timeout);
    m_store->WriteInt(section, ConnectionSettings::Key(PortSettings::Address), m_settings.address);
    m_store->WriteInt(section, ConnectionSettings::Key(PortSettings::Ethernet), m_settings.ethernet ? 1 : 0);
    m_store->Sync();
    return true;
}

} // namespace frontend
