#include "OwnNetwork.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <net/if.h>
#include <sched.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace OwnNetwork {

namespace {

bool g_ownNamespace = false;

// The network tests run in a network namespace of their own where one can be
// made: its loopback carries nothing but this test's datagrams, so searches
// and simulated readers of other test runs on the same machine (which ctest's
// resource lock does not reach) cannot answer, take an address or split the
// answers. Without namespaces (no privilege) they run on the machine's
// loopback under the lock. KVPLM_TEST_NO_NETNS=1 keeps the machine's.
class OwnNetworkEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        // Whatever the test's properties say: a network test never searches
        // beyond loopback (or the namespaces it makes and names itself).
        setenv("KVPLM_LAN_BROADCAST", "127.255.255.255", 0);
        const char* keep = std::getenv("KVPLM_TEST_NO_NETNS");
        if (keep && *keep && std::strcmp(keep, "0") != 0) {
            std::printf("[ network  ] KVPLM_TEST_NO_NETNS: on the machine's loopback\n");
            return;
        }
        if (unshare(CLONE_NEWNET) != 0) {
            std::printf("[ network  ] no network namespace (%s): on the machine's loopback\n",
                        std::strerror(errno));
            return;
        }
        // A new namespace has its loopback down.
        const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        ifreq request{};
        std::strncpy(request.ifr_name, "lo", IFNAMSIZ - 1);
        const bool up = fd >= 0 && ioctl(fd, SIOCGIFFLAGS, &request) == 0 &&
                        (request.ifr_flags |= IFF_UP, ioctl(fd, SIOCSIFFLAGS, &request) == 0);
        if (fd >= 0) close(fd);
        ASSERT_TRUE(up) << "loopback of the test's network namespace: " << std::strerror(errno);
        g_ownNamespace = true;
        std::printf("[ network  ] in a network namespace of its own\n");
    }
};

[[maybe_unused]] const auto* const g_environment =
    ::testing::AddGlobalTestEnvironment(new OwnNetworkEnvironment);

} // namespace

bool InOwnNamespace() {
    return g_ownNamespace;
}

} // namespace OwnNetwork
