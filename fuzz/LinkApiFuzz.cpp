// The Link API's functions against a reader that answers anything: a
// session on a fake line joins the registry, and the calls that copy reply
// data into the caller's buffers (identification, block reads, inventory,
// tag reads, any command, raw receive) and those that only look at the
// status run against the input's replies. Buffers are exactly as large as
// the call is told, so anything written past them is a finding, and the
// contract of the header is checked: a result of -1 or at most the size, a
// status kept by a success, a model name with its NUL inside its buffer.
#include "FuzzCheck.h"
#include "FuzzInput.h"

#include "FakeLine.h"
#include "LinkApi.h"
#include "LinkRegistry.h"

#include <cstring>
#include <memory>

namespace {

using Bytes = Frame::Bytes;

// A buffer of exactly size bytes (null for size 0 now and then).
struct Buffer {
    explicit Buffer(int size, bool nullWhenEmpty)
        : bytes(size > 0 ? new unsigned char[size_t(size)]
                         : (nullWhenEmpty ? nullptr : new unsigned char[1])) {
        if (size > 0) std::memset(bytes.get(), 0xA5, size_t(size));
    }
    std::unique_ptr<unsigned char[]> bytes;
    unsigned char* data() { return bytes.get(); }
};

void CheckCount(int result, int size, const char* call) {
    FUZZ_CHECK(result == -1 || (result >= 0 && result <= std::max(size, 0)),
               std::string(call) + " gave " + std::to_string(result) + " for " + std::to_string(size));
}

// One call, chosen by the input, with its arguments from the input.
void Call(Fuzz::Input& input, int id) {
    const uint8_t which = input.Byte();
    const int size = input.Byte() % 80;
    const bool nullWhenEmpty = which & 0x80;
    const int statusBefore = LinkGetLastError(id);
    int result = 0;
    switch (which % 12) {
    case 0: {
        Buffer type(size, nullWhenEmpty);
        const int nameSize = input.Byte() % 40;
        Buffer name(nameSize, nullWhenEmpty);
        result = LinkGetDeviceInfo(id, reinterpret_cast<char*>(type.data()), size,
                                   reinterpret_cast<char*>(name.data()), nameSize);
        CheckCount(result, size, "LinkGetDeviceInfo");
        if (result >= 0 && name.data() && nameSize > 0 && name.data()[0] != 0xA5)
            FUZZ_CHECK(std::memchr(name.data(), 0, size_t(nameSize)), "a model name without its NUL");
        break;
    }
    case 1: {
        int (*const reads[])(int, unsigned char*, int) = {ReadParam,  ReadPrefix,   ReadSuffix,
                                                          ReadTermix, ReadPostcode, ReadModeParam};
        Buffer buffer(size, nullWhenEmpty);
        result = reads[input.Byte() % 6](id, buffer.data(), size);
        CheckCount(result, size, "a block read");
        break;
    }
    case 2: {
        Buffer buffer(size, nullWhenEmpty);
        result = LinkInventory(id, input.Byte(), buffer.data(), size);
        CheckCount(result, size, "LinkInventory");
        break;
    }
    case 3:
    case 4: {
        Buffer buffer(size, nullWhenEmpty);
        const int bank = input.Byte() % 4;
        const int high = input.Byte();
        const int word = high << 9 | input.Byte(); // also beyond 0xFFFF
        result = which % 12 == 3 ? LinkReadTag(id, bank, word, buffer.data(), size)
                                 : LinkReadTagAll(id, bank, word, buffer.data(), size);
        CheckCount(result, size, "a tag read");
        break;
    }
    case 5: {
        const Bytes payload = input.Counted();
        Buffer reply(size, nullWhenEmpty);
        result = LinkTransceive(id, input.Byte(), payload.data(), int(payload.size()), reply.data(), size);
        CheckCount(result, size, "LinkTransceive");
        break;
    }
    case 6: {
        Buffer buffer(size, nullWhenEmpty);
        result = LinkReceiveRaw(id, buffer.data(), size);
        CheckCount(result, size, "LinkReceiveRaw");
        break;
    }
    case 7: {
        const Bytes bytes = input.Counted();
        const int bank = input.Byte() % 4;
        const int word = input.Byte();
        result = LinkWriteTag(id, bank, word, bytes.data(), int(bytes.size()));
        FUZZ_CHECK(result == 0 || result == -1);
        break;
    }
    case 8: {
        const Bytes bytes = input.Counted();
        int (*const writes[])(int, const unsigned char*, int) = {WriteParam,  WritePrefix,   WriteSuffix,
                                                                 WriteTermix, WritePostcode, WriteModeParam};
        result = writes[input.Byte() % 6](id, bytes.data(), int(bytes.size()));
        FUZZ_CHECK(result == 0 || result == -1);
        break;
    }
    case 9:
        result = LinkSetState(id, input.Byte());
        break;
    case 10: {
        const Bytes bytes = input.Counted();
        result = LinkSelect(id, bytes.data(), int(bytes.size()));
        break;
    }
    default: {
        static const int rates[] = {2400, 4800, 9600, 19200, 38400, 57600, 115200, 0};
        const int baud = rates[input.Byte() % 8];
        result = LinkSetBaudRate(id, baud, input.Byte() % 4);
        break;
    }
    }
    if (result >= 0 && which % 12 != 6)
        FUZZ_CHECK(LinkGetLastError(id) == statusBefore, "a success changed the status");
}

} // namespace

// The input, byte by byte:
//   flags: bit 0 CRC framing, bits 1-2 the reply timeout in ms (0..3)
//   the reader's answers, one per frame the calls send: the number of
//   answers, and per answer the number of pieces and each piece as a
//   length byte and its bytes
//   the calls: per call a byte choosing the function (bit 7: a null buffer
//   for size 0), the buffer size (modulo 80), then the function's own
//   bytes (see Call)
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Fuzz::Input input(data, size);
    auto owned = std::make_unique<Fuzz::FakeLineSession>();
    Fuzz::FakeLineSession* session = owned.get();
    const uint8_t flags = input.Byte();
    session->SetFraming((flags & 1) ? Frame::Crc : Frame::Bcc);
    session->SetReplyTimeout((flags >> 1) & 3);
    for (int answers = input.Byte() % 16; answers > 0; --answers) {
        std::vector<Bytes> pieces;
        for (int p = input.Byte() % 8; p > 0; --p)
            pieces.push_back(input.Counted());
        session->answers.push_back(std::move(pieces));
    }
    LinkRegistry().Add(std::move(owned));
    const int id = Fuzz::FakeLineSession::Id;
    FUZZ_CHECK(LinkGetLastError(id) == 0);

    for (int calls = 0; calls < 16 && input.Left() > 0; ++calls)
        Call(input, id);

    const std::unique_ptr<CReaderSession> removed = LinkRegistry().Remove(session);
    FUZZ_CHECK(removed.get() == session);
    FUZZ_CHECK(LinkGetLastError(id) == 3, "the id is gone");
    return 0;
}
