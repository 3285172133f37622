// Reading the kernel's device tree under /sys, for the port lists and the
// USB bridge routes.
//
// The tree's root is replaceable, so that tests can build a fake one: the
// setter wins, then the environment variable KVPLM_SYSFS_ROOT, then "/sys".
// Device nodes are looked for under KVPLM_DEV_ROOT (default "/dev") in the
// same way. No udev database is used: these machines may run without udevd.
#pragma once

#include <string>
#include <vector>

namespace Sysfs {

std::string Root();
// "" goes back to the environment or the default.
void SetRoot(const std::string& root);
std::string DevRoot();
void SetDevRoot(const std::string& root);

// The first line of an attribute file, without trailing blanks; "" when the
// file cannot be read.
std::string ReadAttribute(const std::string& path);
bool WriteAttribute(const std::string& path, const std::string& value);
bool Exists(const std::string& path);
// The names in a folder, sorted; empty when it cannot be read.
std::vector<std::string> ListDir(const std::string& path);
// The resolved path, or "" when it does not exist.
std::string RealPath(const std::string& path);
// The last element of a link's target ("ftdi_sio" for .../drivers/ftdi_sio).
std::string LinkTargetName(const std::string& link);

// The USB device a tty hangs below: the first folder with an idVendor
// attribute on the way up from the tty's device folder.
struct UsbDevice {
    bool found = false;
    std::string path;
    std::string vendorId, productId; // four hex digits each
    std::string product, manufacturer, serial;
    int busNumber = 0, deviceNumber = 0;
};
UsbDevice UsbDeviceAbove(const std::string& devicePath);

// One entry of the tty class that has a device behind it (the virtual
// consoles, ptmx and the like have none).
struct Tty {
    std::string name;       // ttyUSB0
    std::string classPath;  // <root>/class/tty/ttyUSB0
    std::string devicePath; // resolved folder of its device
    std::string driver;     // driver of that device ("ftdi_sio", "cdc_acm", "serial8250", ...)
    std::string node;       // <dev root>/ttyUSB0
};
std::vector<Tty> TtysWithDevice();

// Natural order of device names: the same stem sorts by its number, so
// ttyS2 comes before ttyS10.
bool NaturalLess(const std::string& a, const std::string& b);

} // namespace Sysfs
