// ConnectionSettings: the five connection values of a program ("Port" in its
// settings store), the forms a port takes, and the rules that check a stored
// name when the settings are loaded. The keys, defaults, list forms and the
// packed "Baudrate" value are the link library's vocabulary
// (LinkVocabulary.h); this class reads and writes them with Qt.
//
//   "Name"          the chosen port in its list form ("" -> "COM1" on loading)
//   "Baudrate"      baud rate + frame code: 0 8N1, 1 8E1, 2 8O1, 3 8N2 (19200)
//   "Timeout"       reply timeout in ms, 10..300000 (500)
//   "Adresse"       bus address, 1..255 (1)
//   "EthernetAktiv" 0/1: network readers are searched and listed (0)
#pragma once

#include "LinkVocabulary.h"
#include "ReaderConnection.h"
#include "SettingsStore.h"

#include <QString>
#include <QStringList>

namespace frontend {

class DeviceLists;

class ConnectionSettings {
public:
    static constexpr int DefaultBaudrate = PortSettings::DefaultBaudrate;
    static constexpr int DefaultTimeout = PortSettings::DefaultTimeout;
    static constexpr int DefaultAddress = PortSettings::DefaultAddress;
    static constexpr int MinTimeout = PortSettings::MinTimeout, MaxTimeout = PortSettings::MaxTimeout;
    static constexpr int MinAddress = PortSettings::MinAddress, MaxAddress = PortSettings::MaxAddress;

    static const QString Section;         // "Port"
    static const QString UsbPrefix;       // "USB: "
    static const QString LanPrefix;       // "LAN: "
    static const QString BluetoothPrefix; // "Bluetooth: "
    // A settings key of the section, as the store takes it.
    static QString Key(const char* key) { return QLatin1String(key); }

    // The stored "Baudrate" value split into rate and frame code.
    static int BaudRateOf(int stored) { return PackedBaud::Rate(stored); }
    static int FrameCodeOf(int stored) { return PackedBaud::FrameCode(stored); }
    // The frame code of the dialog's parity (0 none, 1 even, 2 odd) and
    // stop bits (0 one, 1 two): parity wins, two stop bits only without it.
    static int FrameCode(int parityIndex, int stopBitsIndex);
    // And back: 1 even/1, 2 odd/1, 3 none/2, anything else none/1.
    static void SplitFrameCode(int code, int& parityIndex, int& stopBitsIndex);

    static bool IsUsbName(const QString& name) { return LinkPort::IsUsbListForm(name.toStdString()); }
    static bool IsLanName(const QString& name) { return LinkPort::IsLanListForm(name.toStdString()); }
    static bool IsBluetoothName(const QString& name) {
        return LinkPort::IsBluetoothListForm(name.toStdString());
    }
    // The serial list form of a port list entry.
    static QString SerialListForm(const QString& entry);
    // The list form without its prefix.
    static QString DevicePart(const QString& listForm);
    static QString LinkPortName(const QString& listForm, int address);

    // The settings of a program, loaded (lists null: the system's device lists).
    static ConnectionSettings Loaded(appkit::Program program, DeviceLists* lists = nullptr);

    // The values, with their defaults until loaded.
    QString name;
    int baudrate = DefaultBaudrate;
    int timeout = DefaultTimeout;
    int address = DefaultAddress;
    bool ethernet = false;
    // Kind flags of the name.
    bool usb = false;
    bool network = false;
    // The lists fetched while loading (kept for the dialog).
    QStringList usbList, lanList;
    bool usbListFetched = false, lanListFetched = false;

    // The five values as stored, without the checks of Load (which write).
    static ConnectionSettings Read(const appkit::SettingsStore& store);
    // Reads the five values and checks the stored name: an empty name
    // becomes "COM1"; a USB name whose device is gone becomes the first USB
    // device, or "" when there is none; a network name (with Ethernet on)
    // likewise with the network devices. Changed names are written back.
    void Load(appkit::SettingsStore& store, DeviceLists& lists);

    QString LinkPortName() const { return LinkPortName(name, address); }
    // LinkOpen's arguments as stored: the link port name, the rate and the
    // frame code of "Baudrate", the timeout (the programmer's connect opens
    // exactly these, Morvane's starts with them).
    OpenRequest Request() const;
    // The reply timeout a connect uses: the stored one when it lies in
    // 10..300000 (what the interface dialog accepts), else the default. A
    // settings file edited by hand must not make every wait last for days.
    int ReplyTimeout() const;
    // Sets the kind flags from a name.
    void SetKinds(const QString& listForm);
};

} // namespace frontend
