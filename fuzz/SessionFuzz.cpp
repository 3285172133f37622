// The frame exchange of a session over a fake line: the reader side answers
// every frame sent with pieces taken from the input (noise, partial frames,
// frames in the wrong framing, more than was asked for), one piece per
// poll step, so the three-phase reply wait, the reply check and strip and
// the identification decoding see what a babbling or broken reader sends.
#include "FuzzCheck.h"
#include "FuzzInput.h"

#include "FakeLine.h"
#include "ReaderCommands.h"

namespace {
using Bytes = Frame::Bytes;
} // namespace

// The input, byte by byte:
//   flags: bit 0 CRC framing, bits 1-2 the reply timeout in ms (0..3),
//          bits 3-4 the number of exchanges less one
//   the bus address
//   per exchange: the command byte; the payload length (a byte from 0xF0
//   up asks for 246 + (byte - 0xF0) bytes, up to 261, beyond the 255 a
//   frame can carry); the number of pieces the reader answers with, and
//   each piece as a length byte and its bytes
//   the rest: more bytes after the last answer, as a babbling reader sends
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Fuzz::Input input(data, size);
    Fuzz::FakeLineSession session;
    const uint8_t flags = input.Byte();
    const Frame::Framing framing = (flags & 1) ? Frame::Crc : Frame::Bcc;
    session.SetFraming(framing);
    session.SetReplyTimeout((flags >> 1) & 3);
    session.SetAddress(input.Byte());

    struct Request {
        uint8_t command;
        Bytes payload;
    };
    std::vector<Request> requests;
    const int exchanges = ((flags >> 3) & 3) + 1;
    for (int i = 0; i < exchanges; ++i) {
        Request request{input.Byte(), {}};
        const uint8_t length = input.Byte();
        request.payload.assign(length < 0xF0 ? length : 246u + (length - 0xF0u), uint8_t(i));
        requests.push_back(std::move(request));
        std::vector<Bytes> pieces;
        for (int p = input.Byte() % 8; p > 0; --p)
            pieces.push_back(input.Counted());
        session.answers.push_back(std::move(pieces));
    }
    session.answers.back().push_back(input.Rest());

    for (const Request& request : requests) {
        const size_t sentBefore = session.sent.size();
        session.SetCommand(request.command, request.payload.data(), request.payload.size());
        const bool exchanged = session.Exchange();

        if (request.payload.size() > Frame::MaxPayload) {
            // Refused before anything went out.
            FUZZ_CHECK(!exchanged && session.Status() == LinkStatus::PayloadTooLong);
            FUZZ_CHECK(session.sent.size() == sentBefore);
            continue;
        }
        // Exactly the frame of the command went out, once.
        FUZZ_CHECK(session.sent.size() == sentBefore + 1);
        FUZZ_CHECK(session.sent.back() ==
                       Frame::Build(framing, uint8_t(session.Address()), request.command, request.payload),
                   Fuzz::Hex(session.sent.back()));
        if (!exchanged) {
            FUZZ_CHECK(session.Status() == LinkStatus::Timeout);
            // Bytes the reader sends on its own are handed out raw.
            uint8_t raw[64];
            const int taken = session.TakeReceived(raw, sizeof raw);
            FUZZ_CHECK(taken >= 0 && taken <= int(sizeof raw));
            continue;
        }

        // The wait ended on a whole frame at the front of the queue.
        const Bytes queued = [&] {
            Bytes bytes;
            for (size_t i = 0; i < session.QueuedCount(); ++i)
                bytes.push_back(session.QueuedByte(i));
            return bytes;
        }();
        FUZZ_CHECK(Frame::IsComplete(framing, queued), Fuzz::Hex(queued));
        if (framing == Frame::Bcc) FUZZ_CHECK(queued.front() == Frame::StartByte, Fuzz::Hex(queued));

        const int statusBefore = session.Status();
        Bytes reply;
        if (session.ReadReply(reply)) {
            FUZZ_CHECK(Frame::CheckFrame(framing, queued) == Frame::Check::Ok);
            FUZZ_CHECK(queued[Frame::CodeOffset(framing)] == 0);
            FUZZ_CHECK(reply == Frame::Strip(framing, queued));
            FUZZ_CHECK(session.Status() == statusBefore, "a success keeps the status");
            (void)ReaderCommands::ModelName(reply);
        } else {
            const int status = session.Status();
            FUZZ_CHECK(status == LinkStatus::CheckMismatch || status == queued[Frame::CodeOffset(framing)],
                       std::to_string(status) + ": " + Fuzz::Hex(queued));
        }
        FUZZ_CHECK(session.QueuedCount() == 0, "the reply is taken whole");
    }
    return 0;
}
