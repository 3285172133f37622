// The network transport against a reader played on loopback (the tests'
// LanPeer): one command exchange over TCP next to the bare TCP round trip
// of the same frames, and a search, which must be done in its 200 ms.
//
// Every broadcast goes to 127.255.255.255; the peer is 127.0.0.41.
#include "LanPeer.h"
#include "LinkApi.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdlib>
#include <memory>
#include <netinet/tcp.h>

namespace {

using namespace lantest;
using Clock = std::chrono::steady_clock;

double Ms(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

const bool loopbackOnly = [] {
    setenv("KVPLM_LAN_BROADCAST", "127.255.255.255", 1);
    return true;
}();

// The frames of LinkSetState (6 bytes out, 5 back) over a plain socket:
// what the network itself costs, without the library and its pause.
double TcpRoundTripMs(int iterations) {
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    const int on = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    const sockaddr_in peer = Ipv4("127.0.0.41", 10041);
    if (connect(fd, reinterpret_cast<const sockaddr*>(&peer), sizeof peer) != 0) {
        close(fd);
        return -1;
    }
    const Bytes frame = H({0x02, 0x01, 0xF4, 0x01, 0x00, 0xF4});
    double total = 0;
    for (int i = 0; i < iterations; ++i) {
        const auto start = Clock::now();
        (void)!send(fd, frame.data(), frame.size(), 0);
        uint8_t reply[16];
        size_t got = 0;
        while (got < 5) {
            const ssize_t n = recv(fd, reply + got, sizeof reply - got, 0);
            if (n <= 0) break;
            got += size_t(n);
        }
        total += Ms(start);
    }
    close(fd);
    return total / iterations;
}

void BM_LanExchange(benchmark::State& state) {
    LanPeer peer("127.0.0.41");
    if (!loopbackOnly || !peer.Ok() || !peer.Listen(10041)) {
        state.SkipWithError("no loopback peer");
        return;
    }
    const double roundTrip = TcpRoundTripMs(200);
    const int id = LinkOpen("127.0.0.41-10041:1", 19200, 0, 500);
    if (id <= 0) {
        state.SkipWithError("open failed");
        return;
    }
    double totalMs = 0;
    for (auto _ : state) {
        const auto start = Clock::now();
        if (LinkSetState(id, 0) != 0) state.SkipWithError("exchange failed");
        totalMs += Ms(start);
    }
    LinkClose(id);
    const double measured = totalMs / double(state.iterations());
    state.counters["tcp_round_trip_ms"] = roundTrip;
    state.counters["measured_ms"] = measured;
    // Target: within 1 ms of the round trip plus the 10 ms pause.
    state.counters["over_target_base_ms"] = measured - (roundTrip + 10.0);
}
BENCHMARK(BM_LanExchange)->Unit(benchmark::kMillisecond)->Iterations(100);

void BM_LanSearch(benchmark::State& state) {
    LanPeer a("127.0.0.41"), b("127.0.0.42", Record0("0.0.0.0", 8, 10001, "LAGER1"));
    if (!a.Ok() || !b.Ok()) {
        state.SkipWithError("no loopback peers");
        return;
    }
    double totalMs = 0;
    char buffer[512];
    for (auto _ : state) {
        const auto start = Clock::now();
        LinkListLanDevicesAll(buffer, sizeof buffer);
        totalMs += Ms(start);
    }
    const double measured = totalMs / double(state.iterations());
    state.counters["measured_ms"] = measured;
    state.counters["over_200_ms"] = measured - 200.0;
}
BENCHMARK(BM_LanSearch)->Unit(benchmark::kMillisecond)->Iterations(20);

void BM_LanVerifiedSearch(benchmark::State& state) {
    LanPeer a("127.0.0.41"), b("127.0.0.42", Record0("0.0.0.0", 8, 10001, "LAGER1"));
    if (!a.Ok() || !b.Ok()) {
        state.SkipWithError("no loopback peers");
        return;
    }
    double totalMs = 0;
    char buffer[512];
    for (auto _ : state) {
        const auto start = Clock::now();
        LinkListLanDevices(buffer, sizeof buffer);
        totalMs += Ms(start);
    }
    state.counters["measured_ms"] = totalMs / double(state.iterations());
}
BENCHMARK(BM_LanVerifiedSearch)->Unit(benchmark::kMillisecond)->Iterations(20);

} // namespace

BENCHMARK_MAIN();
