#include "SimNetModule.h"

#include "SimReader.h"

#include <algorithm>
#include <cstdio>

namespace {

constexpr uint8_t SearchCode = 0xF8;
constexpr uint8_t SearchAnswer = 0xF9;
constexpr uint8_t ReadCode = 0xE0;
constexpr uint8_t ReadAnswer = 0xD0;
constexpr uint8_t WriteCode = 0xC0;
constexpr uint8_t WriteAnswer = 0xB0;
// A payload this long is one byte short of what a host takes as a record.
constexpr uint8_t DefaultShortPayload = 119;

unsigned ScopeOf(CSimNetModule::Kind kind) {
    switch (kind) {
    case CSimNetModule::Kind::Search:
        return CSimNetModule::ScopeSearch;
    case CSimNetModule::Kind::Read:
        return CSimNetModule::ScopeRead;
    case CSimNetModule::Kind::Write:
        return CSimNetModule::ScopeWrite;
    case CSimNetModule::Kind::Restart:
        return CSimNetModule::ScopeRestart;
    case CSimNetModule::Kind::Invalid:
        break;
    }
    return 0;
}

bool Printable(const std::string& text) {
    return std::all_of(text.begin(), text.end(), [](char c) { return c >= 0x20 && c < 0x7F; });
}

CSimNetModule::Bytes Answer(uint8_t code, const CSimNetModule::Bytes& payload = {}) {
    CSimNetModule::Bytes answer(4 + payload.size(), 0);
    answer[3] = code;
    std::copy(payload.begin(), payload.end(), answer.begin() + 4);
    return answer;
}

} // namespace

CSimNetModule::CSimNetModule() : CSimNetModule(Settings{}, DefaultDeviceName(0x302)) {}

CSimNetModule::CSimNetModule(const Settings& settings, const std::string& deviceName) {
    for (Bytes& record : m_records)
        record.assign(RecordSize, 0);
    m_records[0] = Record0(settings);
    m_records[2] = Record2(deviceName);
}

CSimNetModule::Bytes CSimNetModule::Record0(const Settings& settings) {
    Bytes record(RecordSize, 0);
    std::copy(settings.address.begin(), settings.address.end(), record.begin());
    record[HostBitsOffset] = settings.hostBits;
    record[PortOffset] = static_cast<uint8_t>(settings.port & 0xFF);
    record[PortOffset + 1] = static_cast<uint8_t>(settings.port >> 8);
    const size_t n = std::min(settings.dhcpName.size(), DhcpNameSize);
    std::copy_n(settings.dhcpName.begin(), n, record.begin() + DhcpNameOffset);
    return record;
}

CSimNetModule::Settings CSimNetModule::SettingsOf(const Bytes& record0) {
    Settings settings;
    if (record0.size() < RecordSize) return settings;
    std::copy_n(record0.begin(), 4, settings.address.begin());
    settings.hostBits = record0[HostBitsOffset];
    settings.port = static_cast<uint16_t>(record0[PortOffset] | record0[PortOffset + 1] << 8);
    const auto name = record0.begin() + DhcpNameOffset;
    settings.dhcpName.assign(name, std::find(name, name + DhcpNameSize, 0));
    return settings;
}

CSimNetModule::Bytes CSimNetModule::Record2(const std::string& deviceName) {
    Bytes record(NameRecordSize, 0);
    const size_t n = std::min(deviceName.size(), MaxDeviceName);
    std::copy_n(deviceName.begin(), n, record.begin() + NameOffset);
    return record;
}

std::string CSimNetModule::DeviceNameOf(const Bytes& record2) {
    if (record2.size() <= NameOffset) return {};
    const auto begin = record2.begin() + NameOffset;
    return std::string(begin, std::find(begin, record2.end(), 0));
}

std::string CSimNetModule::DefaultDeviceName(uint16_t deviceType) {
    const std::string model = CSimReader::ModelName(deviceType);
    return (model.empty() ? std::string("KV-PLM") : model) + " LAN";
}

std::string CSimNetModule::CheckDhcpName(const std::string& name) {
    if (name.empty() || name.size() > DhcpNameSize) return "a DHCP name has 1 to 8 characters";
    // The host writes the name between brackets, so brackets would make it ambiguous.
    if (!Printable(name) || name.find_first_of("[]") != std::string::npos)
        return "a DHCP name is printable ASCII without brackets";
    return {};
}

std::string CSimNetModule::CheckDeviceName(const std::string& name) {
    if (name.size() > MaxDeviceName) return "a device name has at most 34 characters";
    if (!Printable(name)) return "a device name is printable ASCII";
    return {};
}

std::string CSimNetModule::FormatAddress(const Address& address) {
    char text[16];
    std::snprintf(text, sizeof text, "%u.%u.%u.%u", address[0], address[1], address[2], address[3]);
    return text;
}

std::optional<CSimNetModule::Address> CSimNetModule::ParseAddress(const std::string& text) {
    Address address{};
    size_t octet = 0;
    unsigned value = 0;
    size_t digits = 0;
    for (size_t i = 0; i <= text.size(); ++i) {
        const char c = i < text.size() ? text[i] : '.';
        if (c >= '0' && c <= '9') {
            value = value * 10 + static_cast<unsigned>(c - '0');
            if (++digits > 3 || value > 255) return std::nullopt;
        } else if (c == '.') {
            if (digits == 0 || octet == 4) return std::nullopt;
            address[octet++] = static_cast<uint8_t>(value);
            value = 0;
            digits = 0;
        } else {
            return std::nullopt;
        }
    }
    if (octet != 4) return std::nullopt;
    return address;
}

CSimNetModule::Kind CSimNetModule::Classify(const Bytes& d, int& n) {
    n = -1;
    if (d.size() == 6 && d == Bytes{0x00, 0x00, 0x00, 0x03, 0x58, 0x33}) return Kind::Restart;
    if (d.size() < 4 || d[0] != 0x00 || d[2] != 0x00) return Kind::Invalid;
    const uint8_t code = d[3];
    if (d.size() == 4 && d[1] == 0x01 && code == SearchCode) return Kind::Search;
    if (d.size() == 4 && d[1] == 0x01 && (code & 0xF0) == ReadCode) {
        n = code & 0x0F;
        return Kind::Read;
    }
    if ((code & 0xF0) == WriteCode && d[1] == ((code & 0x0F) != 0 ? 0x01 : 0x00)) {
        n = code & 0x0F;
        return Kind::Write;
    }
    return Kind::Invalid;
}

bool CSimNetModule::TakeLocked(Fault fault, Kind kind, std::optional<uint8_t>* value) {
    Armed& armed = m_faults[static_cast<size_t>(fault)];
    if (armed.count == 0 || !(armed.scope & ScopeOf(kind))) return false;
    if (armed.count > 0) --armed.count;
    if (value) *value = armed.value;
    return true;
}

CSimNetModule::Outcome CSimNetModule::Handle(const Bytes& datagram) {
    Outcome outcome;
    outcome.kind = Classify(datagram, outcome.record);
    if (outcome.kind == Kind::Invalid) return outcome;

    std::lock_guard<std::mutex> lock(m_mutex);
    if (TakeLocked(Fault::Silence, outcome.kind)) {
        outcome.silenced = true;
        return outcome;
    }
    Bytes answer;
    switch (outcome.kind) {
    case Kind::Search:
        answer = Answer(SearchAnswer, m_records[0]);
        break;
    case Kind::Read:
        answer = Answer(static_cast<uint8_t>(ReadAnswer + outcome.record), m_records[outcome.record]);
        break;
    case Kind::Write:
        WriteLocked(outcome.record, Bytes(datagram.begin() + 4, datagram.end()));
        answer = Answer(static_cast<uint8_t>(WriteAnswer + outcome.record));
        break;
    case Kind::Restart:
        outcome.restart = true;
        return outcome;
    case Kind::Invalid:
        return outcome;
    }

    std::optional<uint8_t> value;
    if (TakeLocked(Fault::WrongCode, outcome.kind, &value)) answer[3] = value ? *value : answer[3] ^ 0x01;
    if (TakeLocked(Fault::ShortPayload, outcome.kind, &value)) {
        const size_t keep = 4 + (value ? *value : DefaultShortPayload);
        if (answer.size() > keep) answer.resize(keep);
    }
    outcome.answers.push_back(answer);
    if (TakeLocked(Fault::Duplicate, outcome.kind)) outcome.answers.push_back(answer);
    return outcome;
}

void CSimNetModule::WriteLocked(int n, const Bytes& bytes) {
    Bytes& record = m_records[static_cast<size_t>(n)];
    std::copy_n(bytes.begin(), std::min(bytes.size(), record.size()), record.begin());
}

CSimNetModule::Bytes CSimNetModule::Record(int n) const {
    if (n < 0 || n >= RecordCount) return {};
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_records[static_cast<size_t>(n)];
}

bool CSimNetModule::SetRecord(int n, const Bytes& bytes) {
    if (n < 0 || n >= RecordCount) return false;
    std::lock_guard<std::mutex> lock(m_mutex);
    WriteLocked(n, bytes);
    return true;
}

CSimNetModule::Settings CSimNetModule::CurrentSettings() const {
    return SettingsOf(Record(0));
}

void CSimNetModule::SetFault(Fault fault, int count, unsigned scope, std::optional<uint8_t> value) {
    std::lock_guard<std::mutex> lock(m_mutex);
    Armed& armed = m_faults[static_cast<size_t>(fault)];
    armed.count = count < 0 ? Forever : count;
    armed.scope = scope & ScopeAll ? scope & ScopeAll : ScopeAll;
    armed.value = value;
}

void CSimNetModule::ClearFaults() {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_faults = {};
}

std::string CSimNetModule::FaultSummary() const {
    static const char* const names[FaultCount] = {"code", "short", "duplicate", "silence"};
    static const char* const scopes[] = {"search", "read", "write", "restart"};
    std::lock_guard<std::mutex> lock(m_mutex);
    std::string text;
    for (int i = 0; i < FaultCount; ++i) {
        const Armed& armed = m_faults[static_cast<size_t>(i)];
        if (armed.count == 0) continue;
        if (!text.empty()) text += ", ";
        text += names[i];
        text += armed.count == Forever ? " on" : " " + std::to_string(armed.count);
        if (armed.value) {
            char value[8];
            std::snprintf(value, sizeof value, i == 0 ? " %02X" : " %u", unsigned(*armed.value));
            text += value;
        }
        if (armed.scope != ScopeAll)
            for (int s = 0; s < 4; ++s)
                if (armed.scope & (1u << s)) text += std::string(" ") + scopes[s];
    }
    return text;
}
