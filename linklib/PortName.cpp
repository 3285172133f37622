#include "PortName.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>

namespace PortName {

namespace {
bool IsPath(const std::string& name) {
    return !name.empty() && name[0] == '/';
}
bool Contains(const std::string& text, const char* part) {
    return text.find(part) != std::string::npos;
}
} // namespace

bool CountsAsCom(const std::string& name) {
    if (IsPath(name)) return true;
    return name.size() >= 3 && std::toupper(static_cast<unsigned char>(name[0])) == 'C' &&
           std::toupper(static_cast<unsigned char>(name[1])) == 'O' &&
           std::toupper(static_cast<unsigned char>(name[2])) == 'M';
}

std::string SplitAddress(const std::string& name, int& address) {
    address = 1;
    if (IsPath(name)) {
        const size_t colon = name.rfind(':');
        if (colon == std::string::npos || colon + 1 == name.size()) return name;
        const std::string tail = name.substr(colon + 1);
        if (!std::all_of(tail.begin(), tail.end(), [](unsigned char c) { return std::isdigit(c); }))
            return name;
        address = std::atoi(tail.c_str());
        return name.substr(0, colon);
    }
    const size_t colon = name.find(':');
    if (colon == std::string::npos || colon + 1 == name.size()) return name;
    address = std::atoi(name.c_str() + colon + 1);
    return name.substr(0, colon);
}

Kind Transport(const std::string& name) {
    if (IsPath(name)) {
        if (Contains(name, " HID")) return Kind::Hid;
        if (!Contains(name, " BT")) return Kind::Serial;
        if (Contains(name, " BTW")) return Kind::Refused;
        return Kind::Bluetooth;
    }
    if (!name.empty()) {
        const size_t firstDot = name.find('.');
        if (name[0] == '[' || (std::count(name.begin(), name.end(), '.') == 3 && firstDot != 0))
            return Kind::Lan;
    }
    if (Contains(name, "HID")) return Kind::Hid;
    if (!Contains(name, "BT")) return Kind::Serial;
    if (Contains(name, "BTW")) return Kind::Refused;
    return Kind::Bluetooth;
}

} // namespace PortName
