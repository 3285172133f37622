// Port lists, the virtual COM driver check and the simulated readers, over
// fake sysfs trees.
#include "PortList.h"
#include "FakeSysfs.h"
#include "LinkApi.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sys/wait.h>
#include <unistd.h>

namespace {

std::vector<std::string> ComPorts() {
    std::vector<std::string> list;
    PortList::ListComPorts(list);
    return list;
}

// An empty simulator folder, so that real simulators on this machine stay out of the lists.
struct SimDir {
    std::string dir;
    SimDir() {
        char pattern[] = "/tmp/kvplm-simdir-XXXXXX";
        dir = mkdtemp(pattern);
        setenv("KVPLM_SIM_DIR", dir.c_str(), 1);
    }
    ~SimDir() {
        unsetenv("KVPLM_SIM_DIR");
        std::error_code ignored;
        std::filesystem::remove_all(dir, ignored);
    }
    void Announce(const std::string& file, const std::string& device, const std::string& label) {
        std::ofstream(dir + "/" + file) << device << "\n" << label << "\n";
    }
};

TEST(PortList, ListsTtysWithADeviceInNaturalOrderWithTheMakersLabels) {
    SimDir sim;
    FakeSysfs sys;
    sys.SerialTty("ttyS10", 4);
    sys.SerialTty("ttyS2", 4);
    sys.SerialTty("ttyS1", 4);
    sys.SerialTty("ttyS3", 0); // no UART behind it
    sys.VirtualTty("tty0");
    sys.VirtualTty("console");
    sys.PrinterPort();
    const std::string ftdi = sys.UsbDevice("1-1", "0403", "6001", "Norda Bridge 4401", "4401-0007");
    sys.UsbSerialTty(ftdi, "1-1:1.0", "ttyUSB0", "ftdi_sio");
    const std::string acm = sys.UsbDevice("1-2", "1234", "5678", "Norda Virtual COM", "");
    sys.AcmTty(acm, "1-2:1.0", "ttyACM0");
    const std::string zr = sys.UsbDevice("1-3", "1234", "5679", "zr-5 Virtual COM", "");
    sys.AcmTty(zr, "1-3:1.0", "ttyACM1");
    const std::string other = sys.UsbDevice("1-4", "0403", "6001", "FT232R USB UART", "A1B2");
    sys.UsbSerialTty(other, "1-4:1.0", "ttyUSB1", "ftdi_sio");

    const std::string dev = sys.Dev();
    EXPECT_EQ(ComPorts(), (std::vector<std::string>{
                              dev + "/ttyACM0 [Norda Virtual COM]",
                              dev + "/ttyACM1 [zr-5 Virtual COM]",
                              dev + "/ttyS1",
                              dev + "/ttyS2",
                              dev + "/ttyS10",
                              dev + "/ttyUSB0 [Norda Bridge 4401]",
                              dev + "/ttyUSB1",
                          }));
}

TEST(PortList, AsksTheUartProbeWhenTheSerialCoreShowsNoType) {
    SimDir sim;
    FakeSysfs sys;
    sys.SerialTty("ttyS0", 0, false);
    sys.SerialTty("ttyS1", 0, false);
    std::vector<std::string> asked;
    PortList::SetUartProbe([&](const std::string& node) {
        asked.push_back(node);
        return node.back() == '1';
    });
    EXPECT_EQ(ComPorts(), std::vector<std::string>{sys.Dev() + "/ttyS1"});
    PortList::SetUartProbe(nullptr);
    EXPECT_EQ(asked, (std::vector<std::string>{sys.Dev() + "/ttyS0", sys.Dev() + "/ttyS1"}));
}

TEST(PortList, TheLinkApiCopiesTheListInTheDeviceListFormat) {
    SimDir sim;
    FakeSysfs sys;
    sys.SerialTty("ttyS0", 4);
    sys.SerialTty("ttyS1", 4);
    char buffer[256];
    const std::string first = sys.Dev() + "/ttyS0", second = sys.Dev() + "/ttyS1";
    const int used = LinkListComPorts(buffer, sizeof buffer);
    EXPECT_EQ(used, int(first.size() + second.size() + 3));
    EXPECT_EQ(std::string(buffer), first);
    EXPECT_EQ(std::string(buffer + first.size() + 1), second);
    EXPECT_EQ(buffer[used - 1], '\0');
}

TEST(PortList, VirtualComDriverCountsWhenCdcAcmIsPresent) {
    FakeSysfs sys;
    EXPECT_FALSE(PortList::IsVirtualComDriverInstalled());
    sys.DriverPresent("usb", "cdc_acm");
    EXPECT_TRUE(PortList::IsVirtualComDriverInstalled());
}

TEST(PortList, SimulatedReadersAreListedWhileTheirProcessAndDeviceLive) {
    SimDir sim;
    FakeSysfs sys;
    sys.SerialTty("ttyS0", 4);
    const std::string self = std::to_string(getpid());
    const std::string device = sim.dir + "/pty0", another = sim.dir + "/pty1";
    std::ofstream(device) << "";
    std::ofstream(another) << "";

    const pid_t child = fork();
    if (child == 0) _exit(0);
    waitpid(child, nullptr, 0);

    sim.Announce(self + "-0.port", device, "Simulated KV-PLM41");
    sim.Announce(self + "-1.port", another, "KV-PLM72"); // not marked: the list marks it
    sim.Announce(self + "-2.port", sim.dir + "/gone", "Simulated KV-PLM41");
    sim.Announce(std::to_string(child) + "-0.port", device, "Simulated KV-PLM41");
    sim.Announce(self + "-3.txt", device, "Simulated KV-PLM41");

    EXPECT_EQ(ComPorts(), (std::vector<std::string>{
                              sys.Dev() + "/ttyS0",
                              device + " [Simulated KV-PLM41]",
                              another + " [Simulated KV-PLM72]",
                          }));
}

TEST(PortList, SimulatorDirectoryFollowsTheEnvironment) {
    unsetenv("KVPLM_SIM_DIR");
    setenv("XDG_RUNTIME_DIR", "/run/user/4711", 1);
    EXPECT_EQ(PortList::SimulatorDirectory(), "/run/user/4711/kvplm-sim");
    unsetenv("XDG_RUNTIME_DIR");
    EXPECT_EQ(PortList::SimulatorDirectory(), "/tmp/kvplm-sim");
    setenv("KVPLM_SIM_DIR", "/x/y", 1);
    EXPECT_EQ(PortList::SimulatorDirectory(), "/x/y");
    unsetenv("KVPLM_SIM_DIR");
}

TEST(PortList, NaturalOrder) {
    EXPECT_TRUE(Sysfs::NaturalLess("ttyS2", "ttyS10"));
    EXPECT_FALSE(Sysfs::NaturalLess("ttyS10", "ttyS2"));
    EXPECT_TRUE(Sysfs::NaturalLess("ttyACM9", "ttyS0"));
    EXPECT_TRUE(Sysfs::NaturalLess("ttyS1", "ttyS01x"));
    EXPECT_FALSE(Sysfs::NaturalLess("ttyS1", "ttyS1"));
}

} // namespace
