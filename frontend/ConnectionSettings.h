// ConnectionSettings: the five connection values of a program ("Port" in its
// settings store), the forms a port takes, and the rules that check a stored
// name when the settings are loaded.
//
//   "Name"          the chosen port in its list form ("" -> "COM1" on loading)
//   "Baudrate"      baud rate + frame code: 0 8N1, 1 8E1, 2 8O1, 3 8N2 (19200)
//   "Timeout"       reply timeout in ms, 10..300000 (500)
//   "Adresse"       bus address, 1..255 (1)
//   "EthernetAktiv" 0/1: network readers are searched and listed (0)
//
// List forms: a serial port as the port list gives it (any "\\.\" in front
// removed), "USB: " + a USB device name, "LAN: " + a network device name,
// "Bluetooth: " + a device name (the programmer only). The link port name is
// the list form without its prefix, ":" and the bus address.
#pragma once

#include "SettingsStore.h"

#include <QString>
#include <QStringList>

namespace frontend {

class DeviceLists;

class ConnectionSettings {
public:
    static constexpr int DefaultBaudrate = 19200;
    static constexpr int DefaultTimeout = 500;
    static constexpr int DefaultAddress = 1;
    static constexpr int MinTimeout = 10, MaxTimeout = 300000;
    static constexpr int MinAddress = 1, MaxAddress = 255;

    static const QString Section;         // "Port"
    static const QString UsbPrefix;       // "USB: "
    static const QString LanPrefix;       // "LAN: "
    static const QString BluetoothPrefix; // "Bluetooth: "

    // The stored "Baudrate" value: the rate is the value without its
    // remainder modulo 100, the frame code is that remainder.
    static int BaudRateOf(int stored) { return stored - FrameCodeOf(stored); }
    static int FrameCodeOf(int stored) { return stored % 100; }
    // The frame code of the dialog's parity (0 none, 1 even, 2 odd) and
    // stop bits (0 one, 1 two): parity wins, two stop bits only without it.
    static int FrameCode(int parityIndex, int stopBitsIndex);
    // And back: 1 even/1, 2 odd/1, 3 none/2, anything else none/1.
    static void SplitFrameCode(int code, int& parityIndex, int& stopBitsIndex);

    static bool IsUsbName(const QString& name) { return name.startsWith(UsbPrefix); }
    static bool IsLanName(const QString& name) { return name.startsWith(LanPrefix); }
    static bool IsBluetoothName(const QString& name) { return name.startsWith(BluetoothPrefix); }
    // The serial list form of a port list entry.
    static QString SerialListForm(const QString& entry);
    // The list form without its prefix.
    static QString DevicePart(const QString& listForm);
    static QString LinkPortName(const QString& listForm, int address);

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

    // Reads the five values and checks the stored name: an empty name
    // becomes "COM1"; a USB name whose device is gone becomes the first USB
    // device, or "" when there is none; a network name (with Ethernet on)
    // likewise with the network devices. Changed names are written back.
    void Load(appkit::SettingsStore& store, DeviceLists& lists);

    QString LinkPortName() const { return LinkPortName(name, address); }
    // Sets the kind flags from a name.
    void SetKinds(const QString& listForm);
};

} // namespace frontend
