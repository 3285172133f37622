// The device lists the front end shows, as the link library gives them.
// Tests derive from this class to play other machines.
#pragma once

#include <QStringList>

namespace frontend {

class DeviceLists {
public:
    virtual ~DeviceLists() = default;

    // LinkListComPorts: serial port entries as the library lists them.
    virtual QStringList Serial();
    // LinkListHidPorts: USB device names.
    virtual QStringList Usb();
    // LinkListLanDevices: the network search, filtered to the readers.
    virtual QStringList Lan();
    // LinkListLanDevicesAll into 2000 bytes: every device that answered.
    virtual QStringList LanAll();
    // LinkIsVirtualComDriverInstalled.
    virtual bool VirtualComDriverInstalled();

    // The lists of the running system.
    static DeviceLists& System();

    // Splits a device list buffer (entries ended by NUL, one more NUL).
    static QStringList Parse(const char* buffer, int used);
};

} // namespace frontend
