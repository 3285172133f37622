// What a network module (or anything on UDP port 30718) may send, and the
// address texts a caller may pass: taking a datagram from the queue, the
// search answer's list entry and how a verification and a DHCP name
// resolution read that entry back, record 2's family test, and the address
// settings of LinkLanSetAddress against a record 0 made of the input.
//
// Input: 4 bytes sender address, a length byte and that many bytes of an
// address text, a length byte and that many bytes of a mask text, then the
// datagram as received (header and payload).
#include "FuzzCheck.h"
#include "FuzzInput.h"

#include "LanWire.h"

#include <algorithm>
#include <string>

namespace {

using namespace LanWire;

std::string Text(const Bytes& bytes) {
    return std::string(bytes.begin(), bytes.end());
}

void CheckDatagram(const Address& sender, const Bytes& datagram) {
    const Datagram taken = Take(Queued(sender, datagram.data(), datagram.size()));
    FUZZ_CHECK(taken.sender == sender);
    if (datagram.size() < 4) {
        FUZZ_CHECK(taken.code == -1 && taken.payload.empty());
    } else {
        FUZZ_CHECK(taken.code == datagram[3]);
        FUZZ_CHECK(taken.payload == Bytes(datagram.begin() + 4, datagram.end()), Fuzz::Hex(datagram));
    }

    const std::string entry = SearchEntry(taken);
    const bool counts = taken.code == SearchAnswerCode && taken.payload.size() >= RecordMinimum;
    FUZZ_CHECK(entry.empty() != counts, Fuzz::Hex(datagram));
    if (counts) {
        // The entry reads back as what a verification asks and a DHCP name
        // resolves to.
        const EntryParts parts = SplitEntry(entry);
        const Address address = RecordAddress(taken.payload);
        const std::string port = "-" + std::to_string(RecordPort(taken.payload));
        if (!IsZero(address)) {
            FUZZ_CHECK(entry == AddressText(address) + port, entry);
            FUZZ_CHECK(parts.host == AddressText(address) && parts.bracketed.empty(), entry);
        } else {
            const std::string name = RecordName(taken.payload);
            FUZZ_CHECK(name.size() <= NameSize);
            FUZZ_CHECK(entry == "[" + name + "]" + AddressText(sender) + port, entry);
            FUZZ_CHECK(parts.host == AddressText(sender), entry);
            FUZZ_CHECK(parts.bracketed == "[" + name + "]", entry);
            if (name.find_first_of("[]") == std::string::npos)
                FUZZ_CHECK(ResolveFrom({entry}, "[" + name + "]") == AddressText(sender) + port, entry);
        }
        std::string host;
        int tcpPort = 0;
        SplitHostPort(entry, host, tcpPort);
        FUZZ_CHECK(tcpPort == RecordPort(taken.payload), entry);
    }
    if (IsFamilyRecord(taken.payload)) {
        FUZZ_CHECK(taken.payload.size() >= Record2Minimum);
        const std::string name = DeviceName(taken.payload);
        FUZZ_CHECK(name.size() >= 3 && (name[0] == 'K' || name[0] == 'k') && name[2] == '-', name);
    }
}

void CheckSetting(const std::string& text, const std::string& maskText, const Bytes& payload) {
    AddressSetting setting;
    if (!ParseAddressSetting(text, setting)) return;
    FUZZ_CHECK(setting.port >= 0 && setting.port <= 65535);
    if (setting.name.empty() && text[0] != '[') {
        Address again{};
        FUZZ_CHECK(ParseDotted(AddressText(setting.address), again) && again == setting.address, text);
    } else {
        FUZZ_CHECK(IsZero(setting.address), text);
    }
    int hostBits = -1;
    if (!maskText.empty() && !ParseMask(maskText, hostBits)) return;
    FUZZ_CHECK(hostBits >= -1 && hostBits <= 32);

    // A record 0 of the input's payload: after storing the setting, only its
    // fields changed, and it no longer differs (unless the name is longer
    // than the 8 characters the record holds).
    Bytes record = payload;
    if (record.size() < RecordMinimum) record.resize(RecordMinimum, 0);
    const Bytes before = record;
    Apply(record, setting, hostBits);
    FUZZ_CHECK(record.size() == before.size());
    for (size_t i = 0; i < record.size(); ++i) {
        const bool field = i < 4 || (i == HostBitsOffset && hostBits >= 0) ||
                           ((i == PortOffset || i == PortOffset + 1) && setting.port != 0) ||
                           (i >= NameOffset && i < NameOffset + NameSize && !setting.name.empty());
        if (!field) FUZZ_CHECK(record[i] == before[i], text);
    }
    const bool fits = setting.name.size() <= NameSize && setting.name.find('\0') == std::string::npos;
    if (fits) FUZZ_CHECK(!Differs(record, setting, hostBits), text);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Fuzz::Input input(data, size);
    Address sender{};
    for (uint8_t& octet : sender)
        octet = input.Byte();
    const std::string text = Text(input.Counted());
    const std::string mask = Text(input.Counted());
    const Bytes datagram = input.Rest();
    CheckDatagram(sender, datagram);
    CheckSetting(text, mask,
                 Bytes(datagram.begin() + long(std::min<size_t>(4, datagram.size())), datagram.end()));
    return 0;
}
