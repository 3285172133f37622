// A fake /sys tree in a temporary folder, shaped as the kernel lays out its
// tty class, USB devices and usb-serial ports. It is set as the root both
// through the setter (code linked into the test) and through the environment
// (the shared library, which has its own copy of that code).
#pragma once

#include "Sysfs.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>

class FakeSysfs {
public:
    FakeSysfs() {
        char pattern[] = "/tmp/kvplm-sysfs-XXXXXX";
        root = mkdtemp(pattern);
        std::filesystem::create_directories(root + "/sys/class/tty");
        std::filesystem::create_directories(root + "/dev");
        Sysfs::SetRoot(root + "/sys");
        Sysfs::SetDevRoot(root + "/dev");
        setenv("KVPLM_SYSFS_ROOT", (root + "/sys").c_str(), 1);
        setenv("KVPLM_DEV_ROOT", (root + "/dev").c_str(), 1);
    }
    ~FakeSysfs() {
        Sysfs::SetRoot("");
        Sysfs::SetDevRoot("");
        unsetenv("KVPLM_SYSFS_ROOT");
        unsetenv("KVPLM_DEV_ROOT");
        std::error_code ignored;
        std::filesystem::remove_all(root, ignored);
    }
    FakeSysfs(const FakeSysfs&) = delete;
    FakeSysfs& operator=(const FakeSysfs&) = delete;

    std::string Sys() const { return root + "/sys"; }
    std::string Dev() const { return root + "/dev"; }

    // A USB device (relative to sys/devices); returns its folder.
    std::string UsbDevice(const std::string& name, const std::string& vendor, const std::string& product,
                          const std::string& productString, const std::string& serial) {
        const std::string dir = Sys() + "/devices/pci0000:00/0000:00:14.0/usb1/" + name;
        std::filesystem::create_directories(dir);
        Write(dir + "/idVendor", vendor);
        Write(dir + "/idProduct", product);
        if (!productString.empty()) Write(dir + "/product", productString);
        if (!serial.empty()) Write(dir + "/serial", serial);
        Write(dir + "/busnum", "1");
        Write(dir + "/devnum", "4");
        return dir;
    }

    // A usb-serial tty (ftdi_sio, cp210x): the port device two levels below
    // the USB device, the tty class folder below the port.
    std::string UsbSerialTty(const std::string& usbDir, const std::string& interface, const std::string& tty,
                             const std::string& driver) {
        const std::string port = usbDir + "/" + interface + "/" + tty;
        std::filesystem::create_directories(port + "/tty/" + tty);
        Driver(port, "usb-serial", driver);
        Write(port + "/latency_timer", "16");
        ClassEntry(tty, port + "/tty/" + tty, port);
        return port;
    }

    // A cdc_acm tty: the interface one level below the USB device is its device.
    void AcmTty(const std::string& usbDir, const std::string& interface, const std::string& tty) {
        const std::string iface = usbDir + "/" + interface;
        std::filesystem::create_directories(iface + "/tty/" + tty);
        Driver(iface, "usb", "cdc_acm");
        ClassEntry(tty, iface + "/tty/" + tty, iface);
    }

    // A platform serial port with the serial core's type attribute (0: no UART).
    void SerialTty(const std::string& tty, int type, bool withTypeAttribute = true) {
        const std::string device = Sys() + "/devices/pnp0/00:0" + tty.substr(4);
        std::filesystem::create_directories(device + "/tty/" + tty);
        Driver(device, "pnp", "serial");
        ClassEntry(tty, device + "/tty/" + tty, device);
        if (withTypeAttribute) Write(device + "/tty/" + tty + "/type", std::to_string(type));
    }

    // A tty without a device (virtual console).
    void VirtualTty(const std::string& tty) {
        const std::string dir = Sys() + "/devices/virtual/tty/" + tty;
        std::filesystem::create_directories(dir);
        std::filesystem::create_directory_symlink(dir, Sys() + "/class/tty/" + tty);
    }

    // A parallel printer port: a device of its own class, not a tty.
    void PrinterPort() {
        const std::string device = Sys() + "/devices/pnp0/00:07/parport0/lp0";
        std::filesystem::create_directories(device);
        std::filesystem::create_directories(Sys() + "/class/printer");
        std::filesystem::create_directory_symlink(device, Sys() + "/class/printer/lp0");
    }

    void DriverPresent(const std::string& bus, const std::string& driver) {
        std::filesystem::create_directories(Sys() + "/bus/" + bus + "/drivers/" + driver);
    }

    static void Write(const std::string& path, const std::string& text) {
        std::ofstream(path) << text << "\n";
    }
    static std::string Read(const std::string& path) { return Sysfs::ReadAttribute(path); }

    std::string root;

private:
    void Driver(const std::string& device, const std::string& bus, const std::string& driver) {
        const std::string dir = Sys() + "/bus/" + bus + "/drivers/" + driver;
        std::filesystem::create_directories(dir);
        std::filesystem::create_directory_symlink(dir, device + "/driver");
    }
    void ClassEntry(const std::string& tty, const std::string& classDir, const std::string& device) {
        std::filesystem::create_directory_symlink(classDir, Sys() + "/class/tty/" + tty);
        std::filesystem::create_directory_symlink(device, classDir + "/device");
    }
};
