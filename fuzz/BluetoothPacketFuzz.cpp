// What an adapter module sends the Bluetooth transport: bytes in pieces of
// any size, assembled into module packets and applied through the table of
// received packets (device found, names, link state, data indications).
//
// Input: a byte choosing the class filter (odd: readers only), then pieces,
// each with its length byte; after each piece the packets that are whole are
// processed, and a byte tells how much reader data the caller takes.
#include "FuzzCheck.h"
#include "FuzzInput.h"

#include "BluetoothLink.h"

#include <algorithm>
#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Fuzz::Input input(data, size);
    CBluetoothLink link;
    if (input.Byte() & 1) link.SetFilterForTest(CBluetoothLink::ReaderClass);
    uint8_t taken[256];
    while (input.Left() > 0) {
        const std::vector<uint8_t> piece = input.Counted();
        const int fed = link.FeedForTest(piece.data(), int(piece.size()));
        FUZZ_CHECK(fed >= 0 && fed <= int(piece.size()));
        // Each packet consumes at least 7 bytes, so this ends.
        int packets = 0;
        while (link.ProcessPacket()) {
            ++packets;
            FUZZ_CHECK(packets <= CBluetoothLink::BufferSize / 7);
        }
        FUZZ_CHECK(link.AssemblyCount() >= 0 && link.AssemblyCount() <= CBluetoothLink::BufferSize);
        FUZZ_CHECK(link.DataCount() >= 0 && link.DataCount() <= CBluetoothLink::BufferSize);
        FUZZ_CHECK(link.DeviceCount() >= 0 && link.DeviceCount() <= CBluetoothLink::MaxDevices);
        const int before = link.DataCount();
        const int want = input.Byte();
        std::memset(taken, 0xA5, sizeof taken);
        const int got = link.TakeData(taken, want);
        FUZZ_CHECK(got == std::min(want, before));
        FUZZ_CHECK(link.DataCount() == before - got);
    }
    return 0;
}
