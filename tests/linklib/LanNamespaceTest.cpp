// The network transport on a real broadcast: a host network namespace and
// two reader namespaces joined by a bridge (192.0.2.0/24 only), a static
// reader and a DHCP one. The host's own search comes back to its socket and
// is dropped by its sender address; the DHCP reader is listed under the
// address it answered from and opened by its name. The namespaces are made
// with "ip netns" and deleted in every outcome; where they cannot be made
// the test says so and is skipped.
#include "LanPeer.h"

#include "LinkApi.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <fcntl.h>
#include <functional>
#include <memory>
#include <sched.h>
#include <set>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

using namespace lantest;

int Run(const std::string& command) {
    return std::system((command + " >/dev/null 2>&1").c_str());
}

// The three namespaces and their links, deleted when it goes.
class Namespaces {
public:
    Namespaces() {
        const std::string tag = std::to_string(getpid());
        host = "kvplm-lanlink-h" + tag;
        readerA = "kvplm-lanlink-a" + tag;
        readerB = "kvplm-lanlink-b" + tag;
        for (const std::string& ns : {host, readerA, readerB})
            if (Run("ip netns add " + ns) != 0) return;
        made = true;
        const std::vector<std::string> steps{
            "ip -n " + host + " link add br0 type bridge",
            "ip -n " + host + " addr add 192.0.2.1/24 dev br0",
            "ip -n " + host + " link set br0 up",
            "ip -n " + host + " link set lo up",
            "ip -n " + host + " link add va type veth peer name eth0 netns " + readerA,
            "ip -n " + host + " link add vb type veth peer name eth0 netns " + readerB,
            "ip -n " + host + " link set va master br0 up",
            "ip -n " + host + " link set vb master br0 up",
            "ip -n " + readerA + " addr add 192.0.2.10/24 dev eth0",
            "ip -n " + readerA + " link set eth0 up",
            "ip -n " + readerA + " link set lo up",
            "ip -n " + readerB + " addr add 192.0.2.11/24 dev eth0",
            "ip -n " + readerB + " link set eth0 up",
            "ip -n " + readerB + " link set lo up",
        };
        for (const std::string& step : steps)
            if (Run(step) != 0) {
                failedStep = step;
                return;
            }
        ready = true;
    }
    ~Namespaces() {
        for (const std::string& ns : {host, readerA, readerB})
            Run("ip netns del " + ns);
    }

    // Runs body with the calling thread in namespace ns; it comes back in every case.
    bool In(const std::string& ns, const std::function<void()>& body) {
        const int own = open("/proc/thread-self/ns/net", O_RDONLY | O_CLOEXEC);
        const int target = open(("/run/netns/" + ns).c_str(), O_RDONLY | O_CLOEXEC);
        bool entered = own >= 0 && target >= 0 && setns(target, CLONE_NEWNET) == 0;
        if (entered) {
            struct Back {
                int fd;
                ~Back() { setns(fd, CLONE_NEWNET); }
            } back{own};
            body();
        }
        if (own >= 0) close(own);
        if (target >= 0) close(target);
        return entered;
    }

    std::string host, readerA, readerB;
    bool made = false, ready = false;
    std::string failedStep;
};

std::set<std::string> List(int (*list)(char*, int)) {
    char buffer[1024];
    const int used = list(buffer, sizeof buffer);
    std::set<std::string> entries;
    for (int at = 0; at + 1 < used && buffer[at];) {
        entries.insert(&buffer[at]);
        at += int(std::string(&buffer[at]).size()) + 1;
    }
    return entries;
}

TEST(LanNamespace, StaticAndDhcpReadersOnARealBroadcast) {
    if (geteuid() != 0) GTEST_SKIP() << "network namespaces need root; the namespace test is skipped";
    Namespaces ns;
    if (!ns.made) GTEST_SKIP() << "\"ip netns add\" failed here; the namespace test is skipped";
    ASSERT_TRUE(ns.ready) << "namespace set-up failed at: " << ns.failedStep;

    std::unique_ptr<LanPeer> fixed, dhcp;
    ASSERT_TRUE(ns.In(ns.readerA, [&] {
        fixed = std::make_unique<LanPeer>("192.0.2.10", Record0("192.0.2.10", 8, 10001), "192.0.2.255");
    }));
    ASSERT_TRUE(ns.In(ns.readerB, [&] {
        dhcp = std::make_unique<LanPeer>("192.0.2.11", Record0("0.0.0.0", 8, 10001, "LAGER1"), "192.0.2.255");
        dhcp->Listen(10001);
    }));
    ASSERT_TRUE(fixed->Ok() && dhcp->Ok());

    const char* before = std::getenv("KVPLM_LAN_BROADCAST");
    const std::string kept = before ? before : "";
    setenv("KVPLM_LAN_BROADCAST", "192.0.2.255", 1);
    ASSERT_TRUE(ns.In(ns.host, [&] {
        // A socket of the host's own that answers every search as a reader
        // would: its answers come from the host's address and are dropped.
        // (It answers from another port: 192.0.2.1:30718 is the host's.)
        auto own = std::make_unique<LanPeer>("192.0.2.1", Record0("192.0.2.99", 8, 1), "192.0.2.255", 0);
        EXPECT_EQ(List(&LinkListLanDevicesAll),
                  (std::set<std::string>{"192.0.2.10-10001", "[LAGER1]192.0.2.11-10001"}));
        EXPECT_EQ(List(&LinkListLanDevices), (std::set<std::string>{"192.0.2.10-10001", "[LAGER1]"}));
        // The host's own search reached its own port 30718 (the broadcast
        // loops back) and the readers saw it from the host's address.
        ASSERT_FALSE(own->Received().empty());
        EXPECT_EQ(own->Received()[0].from, "192.0.2.1");
        EXPECT_EQ(own->Received()[0].bytes, H({0x00, 0x01, 0x00, 0xF8}));
        ASSERT_FALSE(fixed->Received().empty());
        EXPECT_EQ(fixed->Received()[0].from, "192.0.2.1");
        EXPECT_EQ(fixed->Received()[0].fromPort, 30718);
        own.reset();

        // The DHCP reader opened by its name, over TCP into its namespace.
        const int id = LinkOpen("[LAGER1]:1", 19200, 0, 300);
        ASSERT_GT(id, 0);
        EXPECT_EQ(LinkSetState(id, 0), 0);
        // Its connection goes down; the next command connects again, from
        // the local port equal to the reader's port (free on this host).
        dhcp->CloseConnection();
        unsigned char buffer[8];
        const auto deadline = std::chrono::steady_clock::now() + 3s;
        while (LinkIsConnected(id) == 1 && std::chrono::steady_clock::now() < deadline)
            LinkReceiveRaw(id, buffer, sizeof buffer);
        EXPECT_EQ(LinkIsConnected(id), 0);
        EXPECT_EQ(LinkSetState(id, 0), 0);
        EXPECT_EQ(dhcp->Accepted(), 2);
        EXPECT_EQ(dhcp->LastClientPort(), 10001);
        EXPECT_EQ(LinkClose(id), 0);

        // The configuration channel to the static reader: the host name gives
        // a loopback address here, which cannot reach the reader, so the
        // channel takes all local addresses and the answers come back.
        EXPECT_EQ(LinkLanSetAddress("192.0.2.10-10001:1", "192.0.2.20-10002", "255.255.255.0"), 0);
        EXPECT_TRUE(fixed->WaitFor([&] { return fixed->restarts == 1; }));
        EXPECT_EQ(fixed->Record(0)[0], 192);
        EXPECT_EQ(fixed->Record(0)[3], 20);
        EXPECT_EQ(fixed->Record(0)[20] | fixed->Record(0)[21] << 8, 10002);
    }));
    if (before)
        setenv("KVPLM_LAN_BROADCAST", kept.c_str(), 1);
    else
        unsetenv("KVPLM_LAN_BROADCAST");
    fixed.reset();
    dhcp.reset();
}

} // namespace
