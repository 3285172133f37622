// The programmer's stored port: its connection settings ("Port" in the
// settings of "KV-PLM Programmer") and the connect request they make.
//
// The programmer opens exactly what is stored: the link port name (the list
// form without "USB: ", "LAN: " or "Bluetooth: ", then ":" and the bus
// address), the stored "Baudrate" split into rate and frame code, and the
// stored "Timeout". Unlike the configuration program it does not search
// other baud rates. The main dialog and `kvplm ... -` both connect this way.
#pragma once

#include "ConnectionSettings.h"
#include "ProgrammerConnection.h"

namespace frontend {
class DeviceLists;
}

namespace Programmer {

class ProgrammerPort {
public:
    // Loads the programmer's settings, checking the stored name as loading
    // always does (an empty name becomes "COM1"; a vanished USB or network
    // device is replaced). lists null: the system's device lists.
    static frontend::ConnectionSettings Load(frontend::DeviceLists* lists = nullptr);

    // The connect request of loaded settings.
    static ConnectRequest Request(const frontend::ConnectionSettings& settings);

    // Whether the settings name a network port ("LAN: ...").
    static bool IsNetwork(const frontend::ConnectionSettings& settings);
};

} // namespace Programmer
