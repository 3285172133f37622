#include "LanWire.h"

#include <algorithm>
#include <cctype>
#include <cstdio>

namespace LanWire {

Bytes SearchRequest() {
    return {0x00, 0x01, 0x00, 0xF8};
}

Bytes ReadRecordRequest(int number) {
    return {0x00, 0x01, 0x00, uint8_t(0xE0 + number)};
}

Bytes WriteRecordRequest(int number, const Bytes& record) {
    Bytes request(4 + record.size());
    request[1] = uint8_t(number != 0 ? 0x01 : 0x00);
    request[3] = uint8_t(0xC0 + number);
    std::copy(record.begin(), record.end(), request.begin() + 4);
    return request;
}

Bytes RestartRequest() {
    return {0x00, 0x00, 0x00, 0x03, 0x58, 0x33};
}

Bytes Queued(const Address& sender, const uint8_t* datagram, size_t count) {
    Bytes queued(sender.begin(), sender.end());
    if (datagram && count) queued.insert(queued.end(), datagram, datagram + count);
    return queued;
}

Datagram Take(const Bytes& queued) {
    Datagram taken;
    for (size_t i = 0; i < 4 && i < queued.size(); ++i)
        taken.sender[i] = queued[i];
    if (queued.size() >= 8) {
        taken.code = queued[7];
        taken.payload.assign(queued.begin() + 8, queued.end());
    }
    return taken;
}

std::string AddressText(const Address& address) {
    char text[20];
    std::snprintf(text, sizeof text, "%d.%d.%d.%d", address[0], address[1], address[2], address[3]);
    return text;
}

bool IsZero(const Address& address) {
    return address == Address{};
}

bool IsLoopback(const Address& address) {
    return address[0] == 127;
}

namespace {

bool AllDigits(const std::string& text) {
    return !text.empty() &&
           std::all_of(text.begin(), text.end(), [](unsigned char c) { return std::isdigit(c) != 0; });
}

// A decimal number of at most digits digits, not above limit.
bool ParseNumber(const std::string& text, size_t digits, long limit, long& value) {
    if (!AllDigits(text) || text.size() > digits) return false;
    value = std::stol(text);
    return value <= limit;
}

} // namespace

bool ParseDotted(const std::string& text, Address& address) {
    return LanRecord::ParseDotted(text, address);
}

bool ParsePort(const std::string& text, int& port) {
    long value = 0;
    if (!ParseNumber(text, 5, 65535, value) || value == 0) return false;
    port = int(value);
    return true;
}

std::string SearchEntry(const Datagram& answer) {
    if (answer.code != SearchAnswerCode || answer.payload.size() < RecordMinimum) return "";
    const Address address = RecordAddress(answer.payload);
    const int port = RecordPort(answer.payload);
    char text[64];
    if (!IsZero(address)) {
        std::snprintf(text, sizeof text, "%s-%d", AddressText(address).c_str(), port);
        return text;
    }
    std::snprintf(text, sizeof text, "[%s]%s-%d", RecordName(answer.payload).c_str(),
                  AddressText(answer.sender).c_str(), port);
    return text;
}

EntryParts SplitEntry(const std::string& entry) {
    EntryParts parts;
    const size_t hyphen = entry.rfind('-');
    parts.host = hyphen == std::string::npos ? entry : entry.substr(0, hyphen);
    const size_t close = parts.host.rfind(']');
    if (close != std::string::npos) {
        const size_t open = parts.host.find('[');
        const size_t from = open == std::string::npos || open > close ? 0 : open;
        parts.bracketed = parts.host.substr(from, close + 1 - from);
        parts.host = parts.host.substr(0, from) + parts.host.substr(close + 1);
    }
    return parts;
}

std::string DeviceName(const Bytes& record2) {
    return LanRecord::DeviceName(record2.data(), record2.size());
}

bool IsFamilyRecord(const Bytes& record2) {
    if (record2.size() < Record2Minimum) return false;
    std::string name = DeviceName(record2);
    std::transform(name.begin(), name.end(), name.begin(),
                   [](unsigned char c) { return char(std::toupper(c)); });
    return name.compare(0, 3, "KV-") == 0;
}

std::string BracketedPart(const std::string& text) {
    const size_t open = text.find('[');
    if (open == std::string::npos) return "";
    const size_t close = text.find(']', open);
    return text.substr(open, close == std::string::npos ? std::string::npos : close + 1 - open);
}

std::string ResolveFrom(const std::vector<std::string>& entries, const std::string& bracketed) {
    if (bracketed.empty()) return "";
    for (const std::string& entry : entries) {
        const size_t at = entry.find(bracketed);
        if (at == std::string::npos || entry.find(bracketed, at + 1) != std::string::npos) continue;
        return entry.substr(0, at) + entry.substr(at + bracketed.size());
    }
    return "";
}

void SplitHostPort(const std::string& text, std::string& host, int& port) {
    const size_t hyphen = text.rfind('-');
    if (hyphen == std::string::npos) {
        host = text;
        port = DefaultTcpPort;
        return;
    }
    host = text.substr(0, hyphen);
    if (!ParsePort(text.substr(hyphen + 1), port)) port = 0;
}

std::string WithoutPort(const std::string& text) {
    const size_t hyphen = text.rfind('-');
    return hyphen == std::string::npos ? text : text.substr(0, hyphen);
}

Address RecordAddress(const Bytes& record) {
    Address address{};
    for (size_t i = 0; i < 4 && i < record.size(); ++i)
        address[i] = record[i];
    return address;
}

int RecordPort(const Bytes& record) {
    if (record.size() < PortOffset + 2) return 0;
    return record[PortOffset] | (record[PortOffset + 1] << 8);
}

std::string RecordName(const Bytes& record) {
    std::string name;
    for (size_t i = NameOffset; i < NameOffset + NameSize && i < record.size() && record[i] != 0; ++i)
        name += char(record[i]);
    return name;
}

bool ParseAddressSetting(const std::string& text, AddressSetting& setting) {
    setting = AddressSetting{};
    if (!text.empty() && text[0] == '[') {
        // DHCP: the name between the brackets, the port after the first "-" behind the "]".
        const size_t close = text.find(']');
        if (close == std::string::npos) return false;
        setting.name = text.substr(1, close - 1);
        const size_t hyphen = text.find('-', close);
        if (hyphen != std::string::npos && !ParsePort(text.substr(hyphen + 1), setting.port)) return false;
        return true;
    }
    const size_t hyphen = text.find('-');
    if (!ParseDotted(text.substr(0, hyphen), setting.address)) return false;
    if (hyphen != std::string::npos && !ParsePort(text.substr(hyphen + 1), setting.port)) return false;
    return true;
}

int HostBits(const Address& mask) {
    return LanRecord::HostBits(mask);
}

bool ParseMask(const std::string& text, int& hostBits) {
    Address mask{};
    if (!ParseDotted(text, mask)) return false;
    hostBits = HostBits(mask);
    return true;
}

bool Differs(const Bytes& record, const AddressSetting& setting, int hostBits) {
    if (RecordAddress(record) != setting.address) return true;
    if (setting.port != 0 && setting.port != RecordPort(record)) return true;
    if (hostBits >= 0 && (record.size() <= HostBitsOffset || record[HostBitsOffset] != hostBits)) return true;
    return !setting.name.empty() && setting.name != RecordName(record);
}

void Apply(Bytes& record, const AddressSetting& setting, int hostBits) {
    if (record.size() < RecordMinimum) record.resize(RecordMinimum, 0);
    std::copy(setting.address.begin(), setting.address.end(), record.begin());
    if (hostBits >= 0) record[HostBitsOffset] = uint8_t(hostBits);
    if (setting.port != 0) {
        record[PortOffset] = uint8_t(setting.port & 0xFF);
        record[PortOffset + 1] = uint8_t(setting.port >> 8);
    }
    if (!setting.name.empty()) {
        std::fill(record.begin() + NameOffset, record.begin() + NameOffset + NameSize, 0);
        const size_t count = std::min(setting.name.size(), NameSize);
        std::copy(setting.name.begin(), setting.name.begin() + long(count), record.begin() + NameOffset);
    }
}

} // namespace LanWire
