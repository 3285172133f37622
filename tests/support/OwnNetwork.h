// The network tests' own network namespace: a test program linked with
// OwnNetwork.cpp moves, before its first test, into a network namespace of
// its own with its loopback up, where one can be made (as root here), so that
// its searches, simulated readers and UDP port 30718 meet no other test run on
// the machine. KVPLM_TEST_NO_NETNS=1 keeps the machine's loopback.
#pragma once

namespace OwnNetwork {

// Whether this process moved into a namespace of its own.
bool InOwnNamespace();

} // namespace OwnNetwork
