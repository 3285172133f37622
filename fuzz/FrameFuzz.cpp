// Reply frames as a reader (or line noise) may send them, in both framings:
// the completeness test the reply wait ends on, the check and the strip
// that turn a reply into its data, and frames built by the library itself.
#include "FuzzCheck.h"

#include "Frame.h"

#include <algorithm>

namespace {

void CheckReceived(Frame::Framing framing, const uint8_t* data, size_t size) {
    using namespace Frame;
    const size_t length = CompleteLength(framing, data, size);
    FUZZ_CHECK(IsComplete(framing, data, size) == (length != 0));
    // The whole input goes through check and strip as a reply taken from the queue.
    const Bytes all(data, data + size);
    const Check allCheck = CheckFrame(framing, all);
    FUZZ_CHECK((allCheck == Check::Empty) == all.empty());
    FUZZ_CHECK(Strip(framing, all).size() <= all.size());
    if (!length) return;

    // A complete frame lies inside what arrived, holds its header and its
    // check bytes, and is complete as soon as its last byte is there.
    FUZZ_CHECK(length <= size, Fuzz::Hex(data, size));
    FUZZ_CHECK(length >= HeaderSize(framing) + CheckSize(framing), Fuzz::Hex(data, size));
    FUZZ_CHECK(CompleteLength(framing, data, length) == length, Fuzz::Hex(data, size));
    FUZZ_CHECK(CompleteLength(framing, data, length - 1) == 0, Fuzz::Hex(data, size));

    // What the strip leaves of it: the LEN data bytes, or the records
    // without their terminator.
    const Bytes frame(data, data + length);
    const Bytes stripped = Strip(framing, frame);
    const uint8_t len = frame[LenOffset(framing)];
    if (len != VariableLength) {
        FUZZ_CHECK(stripped.size() == len, Fuzz::Hex(frame));
    } else {
        FUZZ_CHECK(stripped.size() == length - HeaderSize(framing) - CheckSize(framing) - 1,
                   Fuzz::Hex(frame));
        FUZZ_CHECK(frame[length - CheckSize(framing) - 1] == VariableLength, Fuzz::Hex(frame));
    }
    FUZZ_CHECK(std::equal(stripped.begin(), stripped.end(), frame.begin() + long(HeaderSize(framing))));
}

void CheckBuilt(Frame::Framing framing, const uint8_t* data, size_t size) {
    using namespace Frame;
    if (size < 2) return;
    const uint8_t address = data[0];
    const uint8_t code = data[1];
    const size_t count = std::min(size - 2, MaxPayload);
    const Bytes frame = Build(framing, address, code, data + 2, count);
    FUZZ_CHECK(frame.size() == count + 5);
    FUZZ_CHECK(frame[AddressOffset(framing)] == address && frame[CodeOffset(framing)] == code);
    FUZZ_CHECK(CheckFrame(framing, frame) == Check::Ok, Fuzz::Hex(frame));
    // A LEN below 0xFF reads back as a reply of that length with the payload as its data.
    if (count < VariableLength) {
        FUZZ_CHECK(CompleteLength(framing, frame.data(), frame.size()) == frame.size(), Fuzz::Hex(frame));
        FUZZ_CHECK(Strip(framing, frame) == Bytes(data + 2, data + 2 + count), Fuzz::Hex(frame));
    }
    // One flipped bit is always noticed by either check.
    Bytes damaged = frame;
    const size_t at = AddressOffset(framing) + data[1] % (frame.size() - AddressOffset(framing));
    damaged[at] ^= uint8_t(1u << (data[0] & 7));
    FUZZ_CHECK(CheckFrame(framing, damaged) == Check::Mismatch, Fuzz::Hex(damaged));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    for (const Frame::Framing framing : {Frame::Bcc, Frame::Crc}) {
        CheckReceived(framing, data, size);
        CheckBuilt(framing, data, size);
    }
    return 0;
}
