#include "ConnectionSettings.h"

#include "DeviceLists.h"

namespace frontend {

const QString ConnectionSettings::Section = QStringLiteral("Port");
const QString ConnectionSettings::UsbPrefix = QStringLiteral("USB: ");
const QString ConnectionSettings::LanPrefix = QStringLiteral("LAN: ");
const QString ConnectionSettings::BluetoothPrefix = QStringLiteral("Bluetooth: ");

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
    return entry.startsWith(QLatin1String("\\\\.\\")) ? entry.mid(4) : entry;
}

QString ConnectionSettings::DevicePart(const QString& listForm) {
    for (const QString* prefix : {&UsbPrefix, &LanPrefix, &BluetoothPrefix})
        if (listForm.startsWith(*prefix)) return listForm.mid(prefix->size());
    return listForm;
}

QString ConnectionSettings::LinkPortName(const QString& listForm, int address) {
    return DevicePart(listForm) + QLatin1Char(':') + QString::number(address);
}

void ConnectionSettings::SetKinds(const QString& listForm) {
    usb = IsUsbName(listForm);
    network = IsLanName(listForm);
}

void ConnectionSettings::Load(appkit::SettingsStore& store, DeviceLists& lists) {
    usbListFetched = lanListFetched = false;
    usbList.clear();
    lanList.clear();
    baudrate = store.GetInt(Section, QStringLiteral("Baudrate"), DefaultBaudrate);
    name = store.GetString(Section, QStringLiteral("Name"), QString());
    timeout = store.GetInt(Section, QStringLiteral("Timeout"), DefaultTimeout);
    ethernet = store.GetInt(Section, QStringLiteral("EthernetAktiv"), 0) != 0;
    address = store.GetInt(Section, QStringLiteral("Adresse"), DefaultAddress);
    if (name.isEmpty()) {
        name = QStringLiteral("COM1");
        store.WriteString(Section, QStringLiteral("Name"), name);
    }

    // A stored device that is gone gives way to the first one present.
    auto check = [&](const QString& prefix, QStringList& list, bool& fetched, bool& kind) {
        if (!fetched) {
            list = prefix == UsbPrefix ? lists.Usb() : lists.Lan();
            fetched = true;
        }
        if (list.isEmpty()) {
            name.clear();
            store.WriteString(Section, QStringLiteral("Name"), name);
            kind = false;
            return;
        }
        if (!list.contains(name.mid(prefix.size()))) {
            name = prefix + list.first();
            store.WriteString(Section, QStringLiteral("Name"), name);
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
