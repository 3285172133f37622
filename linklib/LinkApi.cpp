// The flat Link API over the session registry.
#include "LinkApi.h"

#include "Dispatcher.h"
#include "LanWire.h"
#include "LinkRegistry.h"
#include "PortList.h"
#include "ReaderCommands.h"
#include "ReaderSession.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

using Bytes = Frame::Bytes;

constexpr int LibraryVersion = 104;

// Nothing may escape to the program: an exception (out of memory) becomes
// the function's failure value.
template <class F> int Guarded(int failure, F&& body) {
    try {
        return body();
    } catch (...) {
        return failure;
    }
}

CReaderSession* Find(int id) {
    return LinkRegistry().Find(id);
}

bool ValidInput(const unsigned char* bytes, int count) {
    return count >= 0 && (count == 0 || bytes != nullptr);
}

// Copies reply data into the caller's buffer; status 5 when it does not fit.
int CopyReply(CReaderSession& session, const Bytes& data, unsigned char* buffer, int size) {
    if (data.size() > size_t(std::max(size, 0)) || (!buffer && !data.empty())) {
        session.SetStatus(LinkStatus::BufferTooSmall);
        return -1;
    }
    if (!data.empty()) std::memcpy(buffer, data.data(), data.size());
    return int(data.size());
}

int WriteBlock(int id, uint8_t command, const unsigned char* bytes, int count, int limit) {
    return Guarded(-1, [&] {
        CReaderSession* session = Find(id);
        if (!session) return -1;
        if (!ValidInput(bytes, count) || count > limit) {
            session->SetStatus(LinkStatus::PayloadTooLong);
            return -1;
        }
        return ReaderCommands::Run(*session, command, bytes, size_t(count), nullptr) ? 0 : -1;
    });
}

int ReadBlock(int id, uint8_t command, unsigned char* buffer, int size) {
    return Guarded(-1, [&] {
        CReaderSession* session = Find(id);
        if (!session) return -1;
        Bytes data;
        if (!ReaderCommands::Run(*session, command, nullptr, 0, &data)) return -1;
        return CopyReply(*session, data, buffer, size);
    });
}

int ReadTag(int id, int bank, int wordAddress, unsigned char* buffer, int size, uint8_t lengthByte) {
    return Guarded(-1, [&] {
        CReaderSession* session = Find(id);
        if (!session) return -1;
        if (wordAddress < 0 || wordAddress > 0xFFFF) {
            session->SetStatus(LinkStatus::AddressRange);
            return -1;
        }
        Bytes payload{static_cast<uint8_t>(bank)};
        ReaderCommands::AppendWordAddress(payload, wordAddress);
        payload.push_back(lengthByte);
        Bytes data;
        if (!ReaderCommands::Run(*session, Command::ReadTag, payload, &data)) return -1;
        return CopyReply(*session, data, buffer, size);
    });
}

// Probe: identification in BCC framing, then once more in CRC framing.
bool Probe(CReaderSession& session) {
    Bytes reply;
    session.SetFraming(Frame::Bcc);
    if (ReaderCommands::Run(session, Command::Identify, nullptr, 0, &reply)) return reply.size() == 4;
    session.SetFraming(Frame::Crc);
    if (ReaderCommands::Run(session, Command::Identify, nullptr, 0, &reply)) return reply.size() == 4;
    session.SetFraming(Frame::Bcc);
    return false;
}

int OpenSession(const char* portName, int baud, int format, int timeoutMs) {
    if (!portName) return LinkOpenResult::Failed;
    std::string name = portName;
    if (!LinkPort::CountsAsCom(name)) baud = 19200;

    auto session = std::make_unique<CReaderSession>();
    if (timeoutMs < 0) return LinkOpenResult::NegativeTimeout;
    session->SetReplyTimeout(uint32_t(timeoutMs));

    int address = 1;
    name = LinkPort::SplitAddress(name, address);
    session->SetAddress(uint32_t(address));

    // errno tells the caller why a transport did not open.
    errno = 0;
    const LinkPort::Kind kind = LinkPort::Transport(name);
    if (!session->OpenTransport(kind, name, LinkLine{baud, format})) {
        const int error = kind == LinkPort::Kind::Refused ? EINVAL : errno ? errno : ENODEV;
        session.reset();
        errno = error;
        return LinkOpenResult::Failed;
    }
    if (!session->Transport()->ProbesOnOpen()) {
        session->SetTraceHook(LinkRegistry().TraceHook());
        const int id = session->SessionId();
        LinkRegistry().Add(std::move(session));
        return id;
    }

    CReaderSession* raw = session.get();
    LinkRegistry().Add(std::move(session));
    if (Probe(*raw)) {
        raw->SetTraceHook(LinkRegistry().TraceHook());
        return raw->SessionId();
    }
    raw->CloseTransport();
    LinkRegistry().Remove(raw);
    return LinkOpenResult::NoAnswer;
}

// What the status codes mean, in English.
const char* StatusText(int code) {
    switch (code) {
    case LinkStatus::None:
        return "no failure";
    case LinkStatus::UnknownId:
        return "unknown session";
    case LinkStatus::Timeout:
        return "reply timeout";
    case LinkStatus::BufferTooSmall:
        return "reply longer than the buffer";
    case LinkStatus::PayloadTooLong:
        return "payload too long";
    case LinkStatus::NothingToSend:
        return "nothing to send";
    case LinkStatus::CheckMismatch:
        return "check byte or CRC mismatch";
    case LinkStatus::EmptyReply:
        return "empty reply";
    case LinkStatus::BadState:
        return "bad state argument";
    case LinkStatus::NoFormatChange:
        return "the line format cannot be changed on this connection";
    case LinkStatus::AddressRange:
        return "tag word address out of range";
    case LinkStatus::NoTransponder:
        return "no valid transponder";
    case LinkStatus::UnknownCommand:
        return "unknown command";
    default:
        return nullptr;
    }
}

} // namespace

extern "C" {

int LinkGetVersion(void) {
    return LibraryVersion;
}

int LinkListHidPorts(char* buffer, int size) {
    return Guarded(0, [&] {
        std::vector<std::string> all;
        {
            CReaderSession temporary;
            PortList::ListFtdiDevices(all);
            temporary.Hid().ListDevices(all);
        }
        std::vector<std::string> kept;
        for (const std::string& entry : all) {
            const int article = std::atoi(entry.substr(0, 4).c_str());
            if (article >= 4400 && article <= 4409) kept.push_back(entry);
        }
        return CopyDeviceList(kept, buffer, size);
    });
}

int LinkListComPorts(char* buffer, int size) {
    return Guarded(0, [&] {
        std::vector<std::string> list;
        PortList::ListComPorts(list);
        return CopyDeviceList(list, buffer, size);
    });
}

// Readers behind a Bluetooth adapter module: "AA:BB:CC:DD:EE:FF NAME" per
// device, the address in the module's order. A control character in a
// remote name (which the remote device chooses) is shown as '?'.
static int ScanBluetooth(const char* port, uint32_t filter, char* buffer, int size) {
    return Guarded(-1, [&] {
        if (!port) return -1;
        std::vector<uint8_t> records(size_t(CBluetoothLink::MaxDevices) * CBluetoothLink::RecordSize);
        int bytes;
        {
            CBluetoothLink link;
            if (!link.Open(port)) return -1;
            bytes = link.Inquiry(link.GetTiming().inquiry, filter, records.data(), int(records.size()));
            link.Close();
        }
        if (bytes < 0) return -1;
        std::vector<std::string> list;
        for (int at = 0; at + CBluetoothLink::RecordSize <= bytes; at += CBluetoothLink::RecordSize) {
            const uint8_t* record = records.data() + at;
            char address[18];
            std::snprintf(address, sizeof address, "%02X:%02X:%02X:%02X:%02X:%02X", record[0], record[1],
                          record[2], record[3], record[4], record[5]);
            std::string entry = address;
            entry += ' ';
            for (int i = 0; i < CBluetoothLink::MaxNameLength && record[6 + i]; ++i) {
                const uint8_t c = record[6 + i];
                entry += (c < 0x20 || c == 0x7F) ? '?' : char(c);
            }
            list.push_back(entry);
        }
        return CopyDeviceList(list, buffer, size);
    });
}

int LinkBluetoothScan(const char* port, char* buffer, int size) {
    return ScanBluetooth(port, CBluetoothLink::ReaderClass, buffer, size);
}

int LinkBluetoothScanAll(const char* port, char* buffer, int size) {
    return ScanBluetooth(port, 0, buffer, size);
}

static int ListLan(char* buffer, int size, bool verify) {
    return Guarded(0, [&] {
        std::vector<std::string> list;
        {
            CReaderSession temporary;
            temporary.Tcp().Search(list, 200, verify);
        }
        return CopyDeviceList(list, buffer, size);
    });
}

int LinkListLanDevices(char* buffer, int size) {
    return ListLan(buffer, size, true);
}

int LinkListLanDevicesAll(char* buffer, int size) {
    return ListLan(buffer, size, false);
}

int LinkLanOpenConfig(const char* portName) {
    return Guarded(-1, [&] {
        if (!portName) return -1;
        int address = 1;
        const std::string name = LinkPort::SplitAddress(portName, address);
        auto session = std::make_unique<CReaderSession>();
        if (!session->OpenConfigChannel(name)) return -1;
        const int id = session->SessionId();
        LinkRegistry().Add(std::move(session));
        return id;
    });
}

int LinkLanSetAddress(const char* portName, const char* addressText, const char* maskText) {
    return Guarded(-1, [&] {
        // A text in neither form, or a mask that is no dotted address, would
        // put a made-up address into the reader: refused before anything is sent.
        if (!portName || !addressText) return -1;
        LanWire::AddressSetting setting;
        if (!LanWire::ParseAddressSetting(addressText, setting)) return -1;
        int hostBits = -1;
        if (maskText && *maskText && !LanWire::ParseMask(maskText, hostBits)) return -1;

        const int id = LinkLanOpenConfig(portName);
        if (id < 0) return id;
        bool done = false;
        if (CReaderSession* session = Find(id)) {
            Bytes record;
            if (session->Tcp().ReadRecord(0, record) && record.size() >= LanWire::RecordMinimum) {
                if (LanWire::Differs(record, setting, hostBits)) {
                    LanWire::Apply(record, setting, hostBits);
                    done = session->Tcp().WriteRecord(0, record);
                } else {
                    done = true;
                }
            }
        }
        // The reader restarts in every case, also when nothing was written.
        LinkLanCloseConfig(id, 1);
        return done ? 0 : -1;
    });
}

int LinkLanFind(const char* text) {
    return Guarded(0, [&] {
        if (!text) return 0;
        int address = 1;
        const std::string wanted = LinkPort::SplitAddress(text, address);
        std::vector<std::string> list;
        CReaderSession temporary;
        temporary.Tcp().Search(list, 200, true);
        for (const std::string& entry : list)
            if (entry.find(wanted) != std::string::npos) return 1;
        return 0;
    });
}

int LinkLanReadConfig(int id, int record, unsigned char* buffer, int size) {
    return Guarded(-1, [&] {
        CReaderSession* session = Find(id);
        if (!session) return -1;
        Bytes data;
        if (!session->Tcp().ReadRecord(record, data)) {
            // A request that went out on a channel and got no answer in time.
            if (session->Tcp().InConfigurationMode() && record >= 0 && record < LanWire::RecordCount)
                session->SetStatus(LinkStatus::Timeout);
            return -1;
        }
        return CopyReply(*session, data, buffer, size);
    });
}

int LinkLanCloseConfig(int id, int restart) {
    return Guarded(-1, [&] {
        CReaderSession* session = Find(id);
        if (!session) return -1;
        if (restart) session->Tcp().Restart();
        session->Tcp().CloseChannel();
        LinkRegistry().Remove(session);
        return 0;
    });
}

int LinkHidExchange(int id, const unsigned char* request, int count, unsigned char* reply, int size) {
    return Guarded(0, [&] {
        CReaderSession* session = Find(id);
        if (!session || !session->Hid().IsOpen()) return 0;
        if (!ValidInput(request, count)) return -1;
        return session->Hid().TransactInterfaceCommand(request, size_t(count), reply, reply ? size : 0);
    });
}

int LinkHidSend(int id, const unsigned char* bytes, int count) {
    return Guarded(-1, [&] {
        CReaderSession* session = Find(id);
        if (!session || !session->Hid().IsOpen() || !ValidInput(bytes, count)) return -1;
        return session->Hid().SendInterfaceCommand(bytes, size_t(count)) ? 0 : -1;
    });
}

int LinkOpen(const char* portName, int baud, int format, int timeoutMs) {
    return Guarded(-1, [&] { return OpenSession(portName, baud, format, timeoutMs); });
}

int LinkClose(int id) {
    return Guarded(-1, [&] {
        CReaderSession* session = Find(id);
        if (!session) return -1;
        session->CloseTransport();
        LinkRegistry().Remove(session);
        return 0;
    });
}

int LinkGetDeviceInfo(int id, char* buffer, int size, char* name, int nameSize) {
    return Guarded(-1, [&] {
        CReaderSession* session = Find(id);
        if (!session) return -1;
        Bytes data;
        if (!ReaderCommands::Run(*session, Command::Identify, nullptr, 0, &data)) return -1;
        const int copied = CopyReply(*session, data, reinterpret_cast<unsigned char*>(buffer), size);
        if (copied < 0) return -1;
        const std::string model = ReaderCommands::ModelName(data);
        if (name && nameSize > 0 && model.size() + 1 <= size_t(nameSize))
            std::memcpy(name, model.c_str(), model.size() + 1);
        return copied;
    });
}

int LinkIsUsb(int id) {
    CReaderSession* session = Find(id);
    if (!session) return -1;
    return session->Transport() && session->Transport()->IsUsb() ? 1 : 0;
}

int LinkSetBaudRate(int id, int baud, int format) {
    return Guarded(-1, [&] {
        CReaderSession* session = Find(id);
        if (!session) return -1;
        return ReaderCommands::SetBaudRate(*session, baud, format) ? 0 : -1;
    });
}

int LinkSetState(int id, int state) {
    return Guarded(-1, [&] {
        CReaderSession* session = Find(id);
        if (!session) return -1;
        if ((state & 0x7F) >= 3) {
            session->SetStatus(LinkStatus::BadState);
            return -1;
        }
        const uint8_t value = static_cast<uint8_t>(state);
        return ReaderCommands::Run(*session, Command::SetState, &value, 1, nullptr) ? 0 : -1;
    });
}

int LinkRfSwitch(int id, int value) {
    return Guarded(-1, [&] {
        CReaderSession* session = Find(id);
        if (!session) return -1;
        const uint8_t byte = static_cast<uint8_t>(value);
        return ReaderCommands::Run(*session, Command::RfSwitch, &byte, 1, nullptr) ? 0 : -1;
    });
}

int LinkGetLastError(int id) {
    CReaderSession* session = Find(id);
    return session ? session->Status() : LinkStatus::UnknownId;
}

int LinkIsConnected(int id) {
    return Guarded(-1, [&] {
        CReaderSession* session = Find(id);
        if (!session) return -1;
        ITransport* transport = session->Transport();
        return transport && !transport->IsLost() ? 1 : 0;
    });
}

const char* LinkStatusText(int code) {
    return StatusText(code);
}

int LinkSetKeepWindowEnabled(int id, int flag) {
    CReaderSession* session = Find(id);
    if (!session) return -1;
    session->SetKeepWindowEnabled(flag != 0);
    return 1;
}

int LinkSendCommandByte(int id, int value) {
    return Guarded(-1, [&] {
        CReaderSession* session = Find(id);
        if (!session) return -1;
        const uint8_t byte = static_cast<uint8_t>(value);
        Bytes discarded;
        return ReaderCommands::Run(*session, Command::CommandByte, &byte, 1, &discarded) ? 0 : -1;
    });
}

int LinkSendRaw(int id, const unsigned char* bytes, int count) {
    return Guarded(-1, [&] {
        CReaderSession* session = Find(id);
        if (!session) return -1;
        if (ValidInput(bytes, count) && count > 0) session->SendRaw(bytes, size_t(count));
        return 0;
    });
}

int LinkReceiveRaw(int id, unsigned char* buffer, int maximum) {
    return Guarded(-1, [&] {
        CReaderSession* session = Find(id);
        if (!session) return -1;
        return session->TakeReceived(buffer, maximum);
    });
}

int LinkTransceive(int id, int command, const unsigned char* payload, int length, unsigned char* reply,
                   int size) {
    return Guarded(-1, [&] {
        CReaderSession* session = Find(id);
        if (!session) return -1;
        if (!ValidInput(payload, length)) {
            session->SetStatus(LinkStatus::PayloadTooLong);
            return -1;
        }
        Bytes data;
        if (!ReaderCommands::Run(*session, static_cast<uint8_t>(command), payload, size_t(length), &data))
            return -1;
        return CopyReply(*session, data, reply, size);
    });
}

int WriteParam(int id, const unsigned char* bytes, int count) {
    return WriteBlock(id, Command::WriteParam, bytes, count, 50);
}
int WritePrefix(int id, const unsigned char* bytes, int count) {
    return WriteBlock(id, Command::WritePrefix, bytes, count, 100);
}
int WriteSuffix(int id, const unsigned char* bytes, int count) {
    return WriteBlock(id, Command::WriteSuffix, bytes, count, 100);
}
int WriteTermix(int id, const unsigned char* bytes, int count) {
    return WriteBlock(id, Command::WriteTermix, bytes, count, 100);
}
int WritePostcode(int id, const unsigned char* bytes, int count) {
    return WriteBlock(id, Command::WritePostcode, bytes, count, 100);
}
int WriteModeParam(int id, const unsigned char* bytes, int count) {
    return WriteBlock(id, Command::WriteModeParam, bytes, count, 100);
}

int ReadParam(int id, unsigned char* buffer, int size) {
    return ReadBlock(id, Command::ReadParam, buffer, size);
}
int ReadPrefix(int id, unsigned char* buffer, int size) {
    return ReadBlock(id, Command::ReadPrefix, buffer, size);
}
int ReadSuffix(int id, unsigned char* buffer, int size) {
    return ReadBlock(id, Command::ReadSuffix, buffer, size);
}
int ReadTermix(int id, unsigned char* buffer, int size) {
    return ReadBlock(id, Command::ReadTermix, buffer, size);
}
int ReadPostcode(int id, unsigned char* buffer, int size) {
    return ReadBlock(id, Command::ReadPostcode, buffer, size);
}
int ReadModeParam(int id, unsigned char* buffer, int size) {
    return ReadBlock(id, Command::ReadModeParam, buffer, size);
}

int LinkInventory(int id, int value, unsigned char* buffer, int size) {
    return Guarded(-1, [&] {
        CReaderSession* session = Find(id);
        if (!session) return -1;
        const uint8_t byte = static_cast<uint8_t>(value);
        Bytes data;
        if (!ReaderCommands::Run(*session, Command::Inventory, &byte, 1, &data)) return -1;
        // An inventory reply that does not fit is cut to whole 16-byte steps.
        size_t count = data.size();
        if (count > size_t(std::max(size, 0))) count = size_t(std::max(size, 0)) / 16 * 16;
        if (!buffer) count = 0;
        if (count) std::memcpy(buffer, data.data(), count);
        return int(count);
    });
}

int LinkReadTag(int id, int bank, int wordAddress, unsigned char* buffer, int size) {
    return ReadTag(id, bank, wordAddress, buffer, size, static_cast<uint8_t>(size));
}

int LinkReadTagAll(int id, int bank, int wordAddress, unsigned char* buffer, int size) {
    return ReadTag(id, bank, wordAddress, buffer, size, 0);
}

int LinkWriteTag(int id, int bank, int wordAddress, const unsigned char* bytes, int count) {
    return Guarded(-1, [&] {
        CReaderSession* session = Find(id);
        if (!session) return -1;
        if (wordAddress < 0 || wordAddress > 0xFFFF) {
            session->SetStatus(LinkStatus::AddressRange);
            return -1;
        }
        if (!ValidInput(bytes, count)) {
            session->SetStatus(LinkStatus::PayloadTooLong);
            return -1;
        }
        return ReaderCommands::WriteTag(*session, bank, wordAddress, bytes, size_t(count));
    });
}

int LinkSelect(int id, const unsigned char* bytes, int count) {
    return Guarded(-1, [&] {
        CReaderSession* session = Find(id);
        if (!session) return -1;
        if (!bytes || count < 0) count = 0;
        return ReaderCommands::Run(*session, Command::Select, bytes, size_t(count), nullptr) ? 0 : -1;
    });
}

void LinkSetUiHooks(const LinkUiHooks* hooks) {
    CDispatcher::Instance().SetUiHooks(hooks);
}

void LinkSetMessageHook(LinkMessageHook hook) {
    CDispatcher::Instance().SetMessageHook(hook);
}

void LinkSetTraceHook(LinkTraceHook hook) {
    LinkRegistry().SetTraceHook(hook);
}

int LinkGetFraming(int id) {
    CReaderSession* session = Find(id);
    return session ? int(session->Framing()) : -1;
}

int LinkIsVirtualComDriverInstalled(void) {
    return Guarded(0, [] { return PortList::IsVirtualComDriverInstalled() ? 1 : 0; });
}

} // extern "C"
