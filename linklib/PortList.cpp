#include "PortList.h"

namespace PortList {

void ListComPorts(std::vector<std::string>& list) {
    list.clear();
}
void ListFtdiDevices(std::vector<std::string>&) {}
bool IsVirtualComDriverInstalled() {
    return false;
}

} // namespace PortList
