// Lists of the ports a user can choose. Until port enumeration is built the
// lists stay empty.
#pragma once

#include <string>
#include <vector>

namespace PortList {

// The serial ports, sorted by port number.
void ListComPorts(std::vector<std::string>& list);
// Serial numbers of the USB bridge devices that are not open.
void ListFtdiDevices(std::vector<std::string>& list);
bool IsVirtualComDriverInstalled();

} // namespace PortList
