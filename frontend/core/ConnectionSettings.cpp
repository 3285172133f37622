#include "ConnectionSettings.h"

#include "DeviceLists.h"

namespace frontend {

const QString ConnectionSettings::Section = QLatin1String(PortSettings::Section);
const QString ConnectionSettings::UsbPrefix = QLatin1String(LinkPort::UsbPrefix);
const QString ConnectionSettings::LanPrefix = QLatin1String(LinkPort::LanPrefix);
const QString ConnectionSettings::BluetoothPrefix = QLatin1String(LinkPort::BluetoothPrefix);

int ConnectionSettings::FrameCode(int parityIndex, int stopBitsIndex) {
    if (parityIndex == 1) return 1;
    if (parityIndex == 2) return 2;
    return stopBitsIndex == 1 ? 3 : 0;
}

void ConnectionSettings::SplitFrameCode(int code, int& parityIndex, int& stopBitsIndex) {
    switch (code) {
    case 1:
        parityIndex = 1, stopBitsIndex = 0;
        break;
    case 2:
        parityIndex = 2, stopBitsIndex = 0;
        break;
    case 3:
        parityIndex = 0, stopBitsIndex = 1;
        break;
    default:
        parityIndex = 0, stopBitsIndex = 0;
        break;
    }
}

QString ConnectionSettings::SerialListForm(const QString& entry) {
    return QString::fromStdString(LinkPort::SerialListForm(entry.toStdString()));
}

QString ConnectionSettings::DevicePart(const QString& listForm) {
    return QString::fromStdString(LinkPort::DevicePart(listForm.toStdString()));
}

QString ConnectionSettings::LinkPortName(const QString& listForm, int address) {
    return QString::fromStdString(LinkPort::LinkPortName(listForm.toStdString(), address));
}

ConnectionSettings ConnectionSettings::Loaded(appkit::Program program, DeviceLists* lists) {
    appkit::SettingsStore store(program);
    ConnectionSettings settings;
    settings.Load(store, lists ? *lists : DeviceLists::System());
    return settings;
}

OpenRequest ConnectionSettings::Request() const {
    return OpenRequest{LinkPortName().toStdString(), BaudRateOf(baudrate), FrameCodeOf(baudrate),
                       ReplyTimeout()};
}

int ConnectionSettings::ReplyTimeout() const {
    return timeout >= MinTimeout && timeout <= MaxTimeout ? timeout : DefaultTimeout;
}

void ConnectionSettings::SetKinds(const QString& listForm) {
    usb = IsUsbName(listForm);
    network = IsLanName(listForm);
}

ConnectionSettings ConnectionSettings::Read(const appkit::SettingsStore& store) {
    ConnectionSettings settings;
    settings.baudrate = store.GetInt(Section, Key(PortSettings::Baudrate), DefaultBaudrate);
    settings.name = store.GetString(Section, Key(PortSettings::Name), QString());
    settings.timeout = store.GetInt(Section, Key(PortSettings::Timeout), DefaultTimeout);
    settings.ethernet = store.GetInt(Section, Key(PortSettings::Ethernet), 0) != 0;
    settings.address = store.GetInt(Section, Key(PortSettings::Address), DefaultAddress);
    return settings;
}

void ConnectionSettings::Load(appkit::SettingsStore& store, DeviceLists& lists) {
    usbListFetched = lanListFetched = false;
    usbList.clear();
    lanList.clear();
    const ConnectionSettings stored = Read(store);
    baudrate = stored.baudrate;
    name = stored.name;
    timeout = stored.timeout;
    ethernet = stored.ethernet;
    address = stored.address;
    if (name.isEmpty()) {
        name = QLatin1String(PortSettings::DefaultName);
        store.WriteString(Section, Key(PortSettings::Name), name);
    }

    // A stored device that is gone gives way to the first one present.
    auto check = [&](const QString& prefix, QStringList& list, bool& fetched, bool& kind) {
        if (!fetched) {
            list = prefix == UsbPrefix ? lists.Usb() : lists.Lan();
            fetched = true;
        }
        if (list.isEmpty()) {
            name.clear();
            store.WriteString(Section, Key(PortSettings::Name), name);
            kind = false;
            return;
        }
        if (!list.contains(DevicePart(name))) {
            name = prefix + list.first();
            store.WriteString(Section, Key(PortSettings::Name), name);
        }
        kind = true;
    };
    usb = network = false;
    if (IsUsbName(name))
        check(UsbPrefix, usbList, usbListFetched, usb);
    else if (IsLanName(name) && ethernet)
        check(LanPrefix, lanList, lanListFetched, network);
}

} // namespace frontend
