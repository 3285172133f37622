#include "ReaderCommands.h"

#include "ReaderSession.h"

#include <chrono>
#include <cstdlib>
#include <thread>

namespace ReaderCommands {

bool Run(CReaderSession& session, uint8_t command, const uint8_t* payload, size_t count, Bytes* data) {
    session.SetCommand(command, payload, count);
    if (!session.Exchange()) return false;
    if (data) return session.ReadReply(*data);
    return session.ReadStatusReply();
}

std::string ModelName(const Bytes& reply) {
    if (reply.size() < 3) return "---";
    const std::string digits(reply.begin(), reply.begin() + 3);
    switch (std::strtol(digits.c_str(), nullptr, 16)) {
    case 0x301:
        return "KV-PL41";
    case 0x302:
        return "KV-PLM41";
    case 0x303:
        return "KV-PLM41 Plus";
    case 0x311:
        return "KV-PL72";
    case 0x312:
        return "KV-PLM72";
    case 0x313:
        return "KV-PLM72 Plus";
    default:
        return "";
    }
}

uint8_t RateCode(int baud) {
    switch (baud) {
    case 2400:
        return 0;
    case 4800:
        return 1;
    case 9600:
        return 2;
    default:
        return 3;
    }
}

bool SetBaudRate(CReaderSession& session, int baud, int format) {
    ITransport* transport = session.Transport();
    switch (transport ? transport->LineChangeKind() : ITransport::LineChange::Refused) {
    case ITransport::LineChange::Refused:
        session.SetStatus(LinkStatus::NoFormatChange);
        return false;
    case ITransport::LineChange::HostOnly:
        transport->SetLine({baud, format});
        return true;
    case ITransport::LineChange::WithReader:
        break;
    }
    const uint8_t code = static_cast<uint8_t>((static_cast<unsigned>(format) << 4) | RateCode(baud));
    if (!Run(session, Command::SetBaud, &code, 1, nullptr)) return false;
    // The host line follows the reader's.
    if (!transport->SetLine({baud, format})) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    return true;
}

void AppendWordAddress(Bytes& payload, int wordAddress) {
    payload.push_back(static_cast<uint8_t>(wordAddress & 0xFF));
    payload.push_back(static_cast<uint8_t>((wordAddress >> 8) & 0xFF));
    payload.push_back(0);
}

int WriteTag(CReaderSession& session, int bank, int wordAddress, const uint8_t* data, size_t count) {
    Bytes payload{static_cast<uint8_t>(bank)};
    AppendWordAddress(payload, wordAddress);
    if (data && count) payload.insert(payload.end(), data, data + count);
    if (Run(session, Command::WriteTag, payload, nullptr)) return 0;

    const int status = session.Status();
    if (status == LinkStatus::NoTransponder) {
        Bytes request{static_cast<uint8_t>(bank)};
        AppendWordAddress(request, wordAddress);
        request.push_back(static_cast<uint8_t>(count));
        Bytes readBack;
        if (Run(session, Command::ReadTag, request, &readBack)) {
            if (readBack.size() == count && std::equal(readBack.begin(), readBack.end(), data)) {
                session.SetStatus(0);
                return 0;
            }
        }
    }
    session.SetStatus(status);
    return -1;
}

} // namespace ReaderCommands
