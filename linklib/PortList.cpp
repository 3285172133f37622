#include "PortList.h"

#include "FtdiLibrary.h"
#include "SimAnnounce.h"
#include "Sysfs.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <linux/serial.h>
#include <mutex>
#include <sys/ioctl.h>
#include <sys/utsname.h>
#include <unistd.h>

namespace PortList {

namespace {

std::mutex probeMutex;
UartProbe uartProbe;

bool SystemUartProbe(const std::string& node) {
    const int fd = ::open(node.c_str(), O_RDWR | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) return false;
    serial_struct info{};
    const bool uart = ::ioctl(fd, TIOCGSERIAL, &info) == 0 && info.type != PORT_UNKNOWN;
    ::close(fd);
    return uart;
}

bool HasUart(const Sysfs::Tty& tty) {
    UartProbe probe;
    {
        std::lock_guard<std::mutex> lock(probeMutex);
        probe = uartProbe;
    }
    if (probe) return probe(tty.node);
    // The serial core shows the UART type as an attribute; without it, ask
    // the driver.
    const std::string type = Sysfs::ReadAttribute(tty.classPath + "/type");
    if (!type.empty()) return std::atoi(type.c_str()) != PORT_UNKNOWN;
    return SystemUartProbe(tty.node);
}

bool StartsWithNoCase(const std::string& text, const char* prefix) {
    for (size_t i = 0; prefix[i]; ++i)
        if (i >= text.size() || std::tolower(static_cast<unsigned char>(text[i])) !=
                                    std::tolower(static_cast<unsigned char>(prefix[i])))
            return false;
    return true;
}

bool IsSerialUart(const std::string& name) {
    return name.compare(0, 4, "ttyS") == 0 && name.size() > 4 &&
           std::isdigit(static_cast<unsigned char>(name[4]));
}

bool FileHasLine(const std::string& path, const std::string& needle) {
    std::ifstream in(path);
    std::string line;
    while (std::getline(in, line))
        if (line.find(needle) != std::string::npos) return true;
    return false;
}

} // namespace

std::string LabelFor(const std::string& productString) {
    if (StartsWithNoCase(productString, "Norda") || StartsWithNoCase(productString, "ZR-5"))
        return " [" + productString + "]";
    return {};
}

void ListComPorts(std::vector<std::string>& list) {
    list.clear();
    for (const Sysfs::Tty& tty : Sysfs::TtysWithDevice()) {
        if (IsSerialUart(tty.name) && !HasUart(tty)) continue;
        std::string entry = tty.node;
        const Sysfs::UsbDevice usb = Sysfs::UsbDeviceAbove(tty.devicePath);
        if (usb.found) entry += LabelFor(usb.product);
        list.push_back(entry);
    }
    ListSimulatedPorts(list);
}

void ListFtdiDevices(std::vector<std::string>& list) {
    CFtdiLibrary library;
    uint32_t count = 0;
    if (library.FT_CreateDeviceInfoList(&count) != Ftdi::Ok || count == 0) return;
    std::vector<Ftdi::DeviceInfoNode> nodes(count);
    if (library.FT_GetDeviceInfoList(nodes.data(), &count) != Ftdi::Ok) return;
    for (uint32_t i = 0; i < count && i < nodes.size(); ++i) {
        const Ftdi::DeviceInfoNode& node = nodes[i];
        const std::string serial(node.SerialNumber, strnlen(node.SerialNumber, sizeof node.SerialNumber));
        if (node.ftHandle == 0 && !serial.empty()) list.push_back(serial);
    }
}

bool IsVirtualComDriverInstalled() {
    const std::string root = Sysfs::Root();
    if (Sysfs::Exists(root + "/bus/usb/drivers/cdc_acm")) return true;
    // Not loaded yet: look for it among the running kernel's modules, but
    // only on the real system (a fake tree stands for the whole machine).
    if (root != "/sys") return false;
    utsname name{};
    if (::uname(&name) != 0) return false;
    const std::string modules = std::string("/lib/modules/") + name.release;
    return FileHasLine(modules + "/modules.dep", "/cdc-acm.ko") ||
           FileHasLine(modules + "/modules.builtin", "/cdc-acm.ko");
}

std::string SimulatorDirectory() {
    return SimAnnounce::Directory();
}

void ListSimulatedPorts(std::vector<std::string>& list) {
    for (SimAnnounce::Entry& entry : SimAnnounce::List()) {
        // Only a device path opens as one, and a blank would cut it short.
        if (entry.path.empty() || entry.path[0] != '/' || entry.path.find(' ') != std::string::npos) continue;
        std::string& label = entry.label;
        if (!StartsWithNoCase(label, "Simulated"))
            label = label.empty() ? "Simulated reader" : "Simulated " + label;
        list.push_back(entry.path + " [" + label + "]");
    }
}

void SetUartProbe(UartProbe probe) {
    std::lock_guard<std::mutex> lock(probeMutex);
    uartProbe = std::move(probe);
}

} // namespace PortList
