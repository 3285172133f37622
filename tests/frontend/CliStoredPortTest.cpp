// kvplm ports and PORT "-", run as the program is run.
#include "FakeSysfs.h"
#include "FrontendTestSupport.h"
#include "PtySimulator.h"
#include "SimReader.h"

#include <QProcess>
#include <gtest/gtest.h>

namespace {

struct CliRun {
    int exitCode = -1;
    QString out, err;
};

CliRun Kvplm(const QStringList& arguments) {
    QProcess process;
    process.start(QStringLiteral(KVPLM_CLI), arguments);
    CliRun run;
    if (!process.waitForFinished(20000)) {
        process.kill();
        process.waitForFinished(2000);
        return run;
    }
    run.exitCode = process.exitCode();
    run.out = QString::fromUtf8(process.readAllStandardOutput());
    run.err = QString::fromUtf8(process.readAllStandardError());
    return run;
}

struct SimFolder {
    std::string dir;
    SimFolder() {
        char pattern[] = "/tmp/kvplm-cli-sim-XXXXXX";
        dir = mkdtemp(pattern);
        setenv("KVPLM_SIM_DIR", dir.c_str(), 1);
    }
    ~SimFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(dir, ignored);
    }
};

TEST(CliStoredPort, PortsListsSerialUsbAndSimulatedReadersInTheirListForms) {
    SimFolder folder;
    FakeSysfs sys;
    sys.SerialTty("ttyS0", 4);
    const std::string usb = sys.UsbDevice("1-1", "0403", "6001", "Norda Bridge", "4401-0001");
    sys.UsbSerialTty(usb, "1-1:1.0", "ttyUSB0", "ftdi_sio");
    CSimReader reader;
    CPtySimulator sim(reader);
    ASSERT_TRUE(sim.Start());

    const CliRun run = Kvplm({"ports"});
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    const QString dev = QString::fromStdString(sys.Dev());
    EXPECT_EQ(run.out, dev + "/ttyS0\n" + dev + "/ttyUSB0 [Norda Bridge]\n" +
                           QString::fromStdString(sim.DevicePath()) + " [Simulated KV-PLM41]\n" +
                           "USB: 4401-0001\n");
}

TEST(CliStoredPort, DashConnectsAsMorvaneDoesAndStoresTheRateFound) {
    CSimReader::Options options;
    options.line.baud = 9600;
    CSimReader reader(options);
    CPtySimulator::Options simOptions;
    simOptions.announce = false;
    simOptions.lineTime = false;
    CPtySimulator sim(reader, simOptions);
    ASSERT_TRUE(sim.Start());
    StorePort(QString::fromStdString(sim.DevicePath()), 19200, 100, 1);

    const CliRun run = Kvplm({"--trace", "info", "-"});
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_TRUE(run.out.contains("Model:     KV-PLM41"));
    EXPECT_TRUE(run.err.contains("KV-PLM Morvane V1.04 <KV-PLM41 " +
                                 QString::fromStdString(sim.DevicePath()) + ":1 V1.05>"));
    EXPECT_EQ(StoredInt("Baudrate"), 9600);

    StorePort("/dev/kvplm-no-such-port");
    const CliRun failed = Kvplm({"info", "-"});
    EXPECT_EQ(failed.exitCode, 3); // no connection
    EXPECT_TRUE(failed.err.contains("cannot open the stored port /dev/kvplm-no-such-port:1"));
}

} // namespace
