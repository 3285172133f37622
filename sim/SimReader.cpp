#include "SimReader.h"

#include <algorithm>
#include <cstdio>

namespace {

// Replies with LEN 0xFF announce a record run, so fixed replies hold at most 254 bytes.
constexpr size_t MaxReplyData = 254;
constexpr size_t MaxBlockSize = MaxReplyData;
// Logs keep the newest entries only, so a simulator that runs for hours stays small.
constexpr size_t MaxLogEntries = 4096;

template <typename T> void AppendBounded(std::vector<T>& log, T entry) {
    if (log.size() >= MaxLogEntries) log.erase(log.begin(), log.begin() + MaxLogEntries / 2);
    log.push_back(std::move(entry));
}

} // namespace

CSimReader::CSimReader() : CSimReader(Options{}) {}

CSimReader::CSimReader(const Options& options) : m_options(options) {
    for (int i = 0; i < BlockCount; ++i)
        m_blocks[i] = DefaultBlock(static_cast<Block>(i));
    m_powerOnMode = options.powerOnMode & 1;
    m_state = m_powerOnMode;
    m_line = options.line;
}

CSimReader::~CSimReader() = default;

// ---------------------------------------------------------------- input

void CSimReader::Feed(const uint8_t* data, size_t count, TimePoint firstAt, std::chrono::nanoseconds interval,
                      bool garbled) {
    if (count == 0) return;
    Notices notices;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        OnInput(data, count, firstAt);
        for (size_t i = 0; i < count; ++i) {
            const TimePoint at = firstAt + interval * static_cast<int64_t>(i);
            if (!m_in.empty() && at - m_inTimes.back() > m_options.staleGap) FlushStaleLocked();
            m_in.push_back(data[i]);
            m_inTimes.push_back(at);
            m_inGarbled.push_back(garbled ? 1 : 0);
            ParseLocked();
        }
        FlushNoiseTraceLocked();
        notices = TakeNoticesLocked();
    }
    Deliver(notices);
}

void CSimReader::Tick(TimePoint now) {
    Notices notices;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (!m_in.empty() && now - m_inTimes.back() > m_options.staleGap) FlushStaleLocked();
        // Bytes dropped by the quiet gap are logged now, not when the next input arrives.
        FlushNoiseTraceLocked();
        OnTick(now);
        notices = TakeNoticesLocked();
    }
    Deliver(notices);
}

std::optional<CSimReader::TimePoint> CSimReader::NextDeadline() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    std::optional<TimePoint> deadline = NextTickLocked();
    if (!m_in.empty()) {
        const TimePoint stale = m_inTimes.back() + m_options.staleGap + std::chrono::milliseconds(1);
        if (!deadline || stale < *deadline) deadline = stale;
    }
    return deadline;
}

CSimReader::Parse CSimReader::ClassifyLocked(Frame::Framing framing, size_t& length) const {
    length = 0;
    if (framing == Frame::Bcc && m_in[0] != Frame::StartByte) return Parse::Invalid;
    const size_t n = Frame::CompleteLength(framing, m_in.data(), m_in.size());
    if (n == 0) return Parse::Pending;
    const Bytes frame(m_in.begin(), m_in.begin() + static_cast<std::ptrdiff_t>(n));
    if (Frame::CheckFrame(framing, frame) != Frame::Check::Ok) return Parse::Invalid;
    length = n;
    return Parse::Valid;
}

// At the head of the buffer a valid BCC frame wins over a valid CRC frame; as
// long as either framing could still complete, wait; when both are complete
// and wrong, the head byte is noise.
void CSimReader::ParseLocked() {
    while (!m_in.empty()) {
        size_t length = 0;
        const Parse bcc = ClassifyLocked(Frame::Bcc, length);
        Frame::Framing framing = Frame::Bcc;
        Parse crc = Parse::Invalid;
        if (bcc != Parse::Valid) {
            crc = ClassifyLocked(Frame::Crc, length);
            framing = Frame::Crc;
        }
        if (length) {
            FlushNoiseTraceLocked();
            const auto end = static_cast<std::ptrdiff_t>(length);
            Bytes raw(m_in.begin(), m_in.begin() + end);
            const TimePoint at = m_inTimes[length - 1];
            const bool garbled =
                std::any_of(m_inGarbled.begin(), m_inGarbled.begin() + end, [](uint8_t g) { return g != 0; });
            m_in.erase(m_in.begin(), m_in.begin() + end);
            m_inTimes.erase(m_inTimes.begin(), m_inTimes.begin() + end);
            m_inGarbled.erase(m_inGarbled.begin(), m_inGarbled.begin() + end);
            HandleFrameLocked(std::move(raw), framing, at, garbled);
            continue;
        }
        if (bcc == Parse::Pending || crc == Parse::Pending) break;
        DropNoiseLocked();
    }
}

void CSimReader::DropNoiseLocked() {
    m_noise.push_back(m_in.front());
    ++m_counters.noiseBytes;
    m_in.erase(m_in.begin());
    m_inTimes.erase(m_inTimes.begin());
    m_inGarbled.erase(m_inGarbled.begin());
}

void CSimReader::FlushNoiseTraceLocked() {
    if (m_noise.empty()) return;
    m_pending.trace.emplace_back(TraceKind::Noise, std::move(m_noise));
    m_noise.clear();
}

// Nothing more arrived for a while: whatever waits in the buffer cannot become
// a frame any more. Drop it byte by byte so that a frame behind a stuck head
// (noise that looked like a long CRC frame) is still found.
void CSimReader::FlushStaleLocked() {
    while (!m_in.empty()) {
        DropNoiseLocked();
        ParseLocked();
    }
    FlushNoiseTraceLocked();
}

void CSimReader::HandleFrameLocked(Bytes raw, Frame::Framing framing, TimePoint at, bool garbled) {
    const uint8_t address = raw[Frame::AddressOffset(framing)];
    Fate fate = Fate::Answered;
    if (garbled) {
        fate = Fate::LineMismatch;
    } else if ((m_options.framing == FramingMode::BccOnly && framing != Frame::Bcc) ||
               (m_options.framing == FramingMode::CrcOnly && framing != Frame::Crc)) {
        fate = Fate::OtherFraming;
    } else if (m_options.address >= 0 && address != static_cast<uint8_t>(m_options.address)) {
        fate = Fate::OtherAddress;
    } else if (m_silenceAll) {
        fate = Fate::Silenced;
    } else if (m_silenceCount > 0) {
        --m_silenceCount;
        fate = Fate::Silenced;
    }

    ++m_counters.requests;
    if (fate == Fate::Answered)
        ++m_counters.answered;
    else
        ++m_counters.ignored;
    m_pending.trace.emplace_back(fate == Fate::Answered ? TraceKind::Request : TraceKind::Ignored, raw);
    AppendBounded(m_requests, Request{raw, framing, at, fate});
    m_traffic.notify_all();
    if (fate != Fate::Answered) return;

    const uint8_t command = raw[Frame::CodeOffset(framing)];
    const Bytes payload = Frame::Strip(framing, raw);
    const SimLine lineBefore = m_line; // the reply to a line change still goes out the old way

    Reply reply;
    auto forced = m_forcedStatus.find(command);
    if (forced != m_forcedStatus.end()) {
        if (forced->second.second) ExecuteLocked(command, payload);
        reply.status = forced->second.first;
        m_forcedStatus.erase(forced);
    } else {
        reply = ExecuteLocked(command, payload);
    }
    if (reply.data.size() > MaxReplyData) reply = Reply{StatusBadParameter, {}};

    Bytes frame = Frame::Build(framing, address, reply.status, reply.data);
    if (m_badCheck) frame.back() ^= 0xFF;

    SimOutput output;
    output.bytes = std::move(m_noiseFault);
    output.bytes.insert(output.bytes.end(), frame.begin(), frame.end());
    output.bytes.insert(output.bytes.end(), m_extraFault.begin(), m_extraFault.end());
    output.line = lineBefore;
    output.notBefore = at;
    output.gapAfter = m_gapAfter;
    output.gap = m_gap;
    output.reply = true;

    m_noiseFault.clear();
    m_extraFault.clear();
    m_badCheck = false;
    m_gapAfter = 0;
    m_gap = std::chrono::milliseconds(0);

    ++m_counters.replies;
    AppendBounded(m_replies, output.bytes);
    m_traffic.notify_all();
    QueueOutputLocked(std::move(output), TraceKind::Reply);
}

// ---------------------------------------------------------------- commands

CSimReader::Reply CSimReader::ExecuteLocked(uint8_t command, const Bytes& payload) {
    if (command >= 0x81 && command <= 0x86) {
        if (payload.size() > MaxBlockSize) return {StatusBadParameter, {}};
        m_blocks[command - 0x81] = payload;
        return {};
    }
    if (command >= 0x89 && command <= 0x8E) return {StatusOk, m_blocks[command - 0x89]};

    switch (command) {
    case 0xF0: {
        const std::string id = IdentificationLocked();
        return {StatusOk, Bytes(id.begin(), id.end())};
    }
    case 0xF2: {
        if (payload.size() != 1) return {StatusBadParameter, {}};
        static const uint32_t rates[] = {2400, 4800, 9600, 19200};
        const unsigned rate = payload[0] & 0x0F;
        const unsigned format = payload[0] >> 4;
        if (rate > 3 || format > 3) return {StatusBadParameter, {}};
        m_line = SimLine{rates[rate], static_cast<uint8_t>(format)};
        return {};
    }
    case 0xF4:
        if (payload.empty()) return {StatusOk, {static_cast<uint8_t>(m_powerOnMode & 1)}};
        if (payload.size() != 1) return {StatusBadParameter, {}};
        if (payload[0] & 0x80) {
            m_powerOnMode = payload[0] & 1;
            return {};
        }
        if ((payload[0] & 0x7F) > 2) return {StatusBadParameter, {}};
        SetStateLocked(payload[0] & 0x7F);
        return {};
    case 0xF5:
        if (payload.size() != 1 || payload[0] > 1) return {StatusBadParameter, {}};
        m_rf = payload[0] == 1;
        if (!m_rf) {
            m_inventory.clear();
            m_accessGranted.reset(); // the transponders lose their power and state
        }
        return {};
    case 0xFF:
        if (payload.size() != 1) return {StatusBadParameter, {}};
        m_commandByte = payload[0];
        return {};
    case 0xC0:
        return InventoryLocked(payload);
    case 0xC2:
        return SelectLocked(payload);
    case 0xC3:
        return ReadTagLocked(payload);
    case 0xC4:
        return WriteTagLocked(payload);
    case 0xC6:
        return AccessLocked(payload);
    default:
        return {StatusUnknownCommand, {}};
    }
}

CSimReader::Reply CSimReader::InventoryLocked(const Bytes& payload) {
    if (payload.size() != 1) return {StatusBadParameter, {}};
    if (payload[0] == 0) {
        // The reader collects every answer at the start and hands them out one by one.
        m_inventory.clear();
        m_inventoryNext = 0;
        m_accessGranted.reset();
        if (m_rf)
            for (const FieldTag& f : m_field)
                m_inventory.emplace_back(f.tag.PcBytes(), f.tag.Epc());
        if (m_inventory.empty()) return {StatusOk, {0, 0, 0}};
    } else if (payload[0] != 2) {
        return {StatusBadParameter, {}};
    }
    if (m_inventoryNext >= m_inventory.size()) return {StatusNoTransponder, {}};
    const auto& [pc, epc] = m_inventory[m_inventoryNext];
    const size_t remaining = m_inventory.size() - m_inventoryNext;
    ++m_inventoryNext;
    Reply reply;
    reply.data.push_back(static_cast<uint8_t>(std::min<size_t>(remaining, 255)));
    reply.data.insert(reply.data.end(), pc.begin(), pc.end());
    reply.data.insert(reply.data.end(), epc.begin(), epc.end());
    return reply;
}

CSimReader::Reply CSimReader::SelectLocked(const Bytes& payload) {
    // A failed select forgets the old selection, so a read after it cannot
    // reach a transponder the host no longer means.
    m_selected.reset();
    m_accessGranted.reset();
    if (!m_rf) return {StatusNoTransponder, {}};
    for (const FieldTag& f : m_field) {
        const Bytes epc = f.tag.Epc();
        if (payload.size() <= epc.size() && std::equal(payload.begin(), payload.end(), epc.begin())) {
            m_selected = f.id;
            return {};
        }
    }
    return {StatusNoTransponder, {}};
}

CSimTransponder* CSimReader::SelectedLocked() {
    if (!m_rf || !m_selected) return nullptr;
    for (FieldTag& f : m_field)
        if (f.id == *m_selected) return &f.tag;
    return nullptr;
}

static uint8_t AccessStatus(CSimTransponder::Access access) {
    return access == CSimTransponder::Access::Ok ? CSimReader::StatusOk : CSimReader::StatusBadParameter;
}

CSimReader::Reply CSimReader::ReadTagLocked(const Bytes& payload) {
    if (payload.size() != 5) return {StatusBadParameter, {}};
    const CSimTransponder* tag = SelectedLocked();
    if (!tag) return {StatusNoTransponder, {}};
    const uint32_t word = payload[1] | uint32_t(payload[2]) << 8 | uint32_t(payload[3]) << 16;
    Reply reply;
    reply.status = AccessStatus(tag->Read(payload[0], word, payload[4], reply.data));
    if (reply.status != StatusOk) reply.data.clear();
    return reply;
}

CSimReader::Reply CSimReader::WriteTagLocked(const Bytes& payload) {
    if (payload.size() < 5) return {StatusBadParameter, {}};
    CSimTransponder* tag = SelectedLocked();
    if (!tag) return {StatusNoTransponder, {}};
    const uint32_t word = payload[1] | uint32_t(payload[2]) << 8 | uint32_t(payload[3]) << 16;
    const Bytes data(payload.begin() + 4, payload.end());
    // A locked transponder takes writes only after its access password.
    if (tag->Locked() && m_accessGranted != m_selected) return {StatusBadParameter, {}};
    return {AccessStatus(tag->Write(payload[0], word, data)), {}};
}

CSimReader::Reply CSimReader::AccessLocked(const Bytes& payload) {
    // Every attempt forgets an earlier grant: a wrong password locks again.
    m_accessGranted.reset();
    if (payload.size() != 4) return {StatusBadParameter, {}};
    const CSimTransponder* tag = SelectedLocked();
    if (!tag) return {StatusNoTransponder, {}};
    if (tag->AccessPassword() != payload) return {StatusBadParameter, {}};
    m_accessGranted = m_selected;
    return {};
}

// ---------------------------------------------------------------- output

void CSimReader::QueueOutputLocked(SimOutput output, TraceKind kind) {
    m_pending.trace.emplace_back(kind, output.bytes);
    m_output.push_back(std::move(output));
    m_pending.output = true;
}

void CSimReader::QueueUnsolicitedLocked(const Bytes& bytes, TimePoint at) {
    if (bytes.empty()) return;
    SimOutput output;
    output.bytes = bytes;
    output.line = m_line;
    output.notBefore = at;
    output.reply = false;
    ++m_counters.unsolicited;
    QueueOutputLocked(std::move(output), TraceKind::Unsolicited);
}

std::vector<SimOutput> CSimReader::TakeOutput() {
    std::lock_guard<std::mutex> lock(m_mutex);
    std::vector<SimOutput> output;
    output.swap(m_output);
    return output;
}

bool CSimReader::HasOutput() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return !m_output.empty();
}

void CSimReader::SetOutputNotifier(std::function<void()> notifier) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_outputNotifier = std::move(notifier);
}

void CSimReader::SetTraceHook(TraceHook hook) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_trace = std::move(hook);
}

CSimReader::Notices CSimReader::TakeNoticesLocked() {
    Notices notices = std::move(m_pending);
    m_pending = Notices{};
    return notices;
}

void CSimReader::Deliver(Notices& notices) {
    if (!notices.output && notices.trace.empty()) return;
    std::function<void()> notifier;
    TraceHook trace;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (notices.output) notifier = m_outputNotifier;
        if (!notices.trace.empty()) trace = m_trace;
    }
    if (trace)
        for (const auto& [kind, bytes] : notices.trace)
            trace(kind, bytes);
    if (notifier) notifier();
}

// ---------------------------------------------------------------- identity, state, line

std::string CSimReader::ModelName(uint16_t deviceType) {
    switch (deviceType) {
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

CSimReader::Options CSimReader::GetOptions() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_options;
}

void CSimReader::SetDeviceType(uint16_t deviceType, uint8_t minorVersion) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_options.deviceType = deviceType;
    m_options.minorVersion = minorVersion;
}

void CSimReader::SetFramingMode(FramingMode mode) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_options.framing = mode;
}

void CSimReader::SetAddressFilter(int address) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_options.address = address;
}

std::string CSimReader::IdentificationLocked() const {
    char text[8];
    std::snprintf(text, sizeof text, "%03X%X", m_options.deviceType & 0xFFFu, m_options.minorVersion & 0xFu);
    return text;
}

std::string CSimReader::Identification() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return IdentificationLocked();
}

int CSimReader::State() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_state;
}

void CSimReader::SetState(int state) {
    Notices notices;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        SetStateLocked(state);
        notices = TakeNoticesLocked();
    }
    Deliver(notices);
}

void CSimReader::SetStateLocked(int state) {
    if (state == m_state) return;
    const int from = m_state;
    m_state = state;
    OnStateChanged(from, state);
}

int CSimReader::PowerOnMode() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_powerOnMode;
}

void CSimReader::SetPowerOnMode(int mode) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_powerOnMode = mode & 1;
}

SimLine CSimReader::Line() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_line;
}

void CSimReader::SetLine(const SimLine& line) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_line = line;
}

std::optional<uint8_t> CSimReader::CommandByte() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_commandByte;
}

// ---------------------------------------------------------------- blocks

CSimReader::Bytes CSimReader::DefaultBlock(Block block) {
    switch (block) {
    case Block::Param: {
        Bytes param(1, 0x00);
        param.insert(param.end(), 16, 0xFF);
        param.insert(param.end(), {0x00, 0x00, 0x0A, 0x05, 0x01, 0x00, 0x00});
        return param;
    }
    case Block::ModeParam:
        return {0x00, 0x0A, 0x3F, 0x05};
    default:
        return {0xFF};
    }
}

CSimReader::Bytes CSimReader::GetBlock(Block block) const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_blocks[static_cast<size_t>(block)];
}

void CSimReader::SetBlock(Block block, const Bytes& bytes) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_blocks[static_cast<size_t>(block)] = bytes;
}

void CSimReader::FactoryReset() {
    std::lock_guard<std::mutex> lock(m_mutex);
    for (int i = 0; i < BlockCount; ++i)
        m_blocks[i] = DefaultBlock(static_cast<Block>(i));
}

// ---------------------------------------------------------------- field

void CSimReader::PlaceTag(const CSimTransponder& tag) {
    Notices notices;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_field.push_back(FieldTag{m_nextTagId++, tag});
        OnTagPlaced(m_field.back().tag);
        notices = TakeNoticesLocked();
    }
    Deliver(notices);
}

bool CSimReader::RemoveTag(const Bytes& epc) {
    Notices notices;
    bool removed = false;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        auto it = std::find_if(m_field.begin(), m_field.end(),
                               [&](const FieldTag& f) { return f.tag.Epc() == epc; });
        if (it != m_field.end()) {
            const CSimTransponder tag = it->tag;
            if (m_selected == it->id) m_selected.reset();
            if (m_accessGranted == it->id) m_accessGranted.reset();
            m_field.erase(it);
            OnTagRemoved(tag);
            removed = true;
        }
        notices = TakeNoticesLocked();
    }
    Deliver(notices);
    return removed;
}

size_t CSimReader::RemoveAllTags() {
    Notices notices;
    size_t count;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        std::vector<FieldTag> field;
        field.swap(m_field);
        m_selected.reset();
        m_accessGranted.reset();
        count = field.size();
        for (const FieldTag& f : field)
            OnTagRemoved(f.tag);
        notices = TakeNoticesLocked();
    }
    Deliver(notices);
    return count;
}

std::vector<CSimTransponder> CSimReader::TagsLocked() const {
    std::vector<CSimTransponder> tags;
    for (const FieldTag& f : m_field)
        tags.push_back(f.tag);
    return tags;
}

std::vector<CSimTransponder> CSimReader::Tags() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return TagsLocked();
}

std::optional<CSimTransponder> CSimReader::FindTag(const Bytes& epc) const {
    std::lock_guard<std::mutex> lock(m_mutex);
    for (const FieldTag& f : m_field)
        if (f.tag.Epc() == epc) return f.tag;
    return std::nullopt;
}

bool CSimReader::Rf() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_rf;
}

void CSimReader::SetRf(bool on) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_rf = on;
    if (!on) {
        m_inventory.clear();
        m_accessGranted.reset();
    }
}

// ---------------------------------------------------------------- faults

void CSimReader::FaultSilence(unsigned requests) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_silenceCount = requests;
}

void CSimReader::FaultSilenceAll(bool on) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_silenceAll = on;
    if (!on) m_silenceCount = 0;
}

void CSimReader::FaultNoise(const Bytes& bytes) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_noiseFault = bytes;
}

void CSimReader::FaultBadCheck() {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_badCheck = true;
}

void CSimReader::FaultStatus(uint8_t command, uint8_t status, bool execute) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_forcedStatus[command] = {status, execute};
}

void CSimReader::FaultExtra(const Bytes& bytes) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_extraFault = bytes;
}

void CSimReader::FaultGap(size_t afterBytes, std::chrono::milliseconds gap) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_gapAfter = afterBytes;
    m_gap = gap;
}

void CSimReader::SendUnsolicited(const Bytes& bytes) {
    Notices notices;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        QueueUnsolicitedLocked(bytes, Clock::now());
        notices = TakeNoticesLocked();
    }
    Deliver(notices);
}

void CSimReader::ClearFaults() {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_silenceCount = 0;
    m_silenceAll = false;
    m_noiseFault.clear();
    m_badCheck = false;
    m_forcedStatus.clear();
    m_extraFault.clear();
    m_gapAfter = 0;
    m_gap = std::chrono::milliseconds(0);
}

// ---------------------------------------------------------------- observation

std::vector<CSimReader::Request> CSimReader::Requests() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_requests;
}

std::vector<CSimReader::Bytes> CSimReader::Replies() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_replies;
}

CSimReader::Counters CSimReader::GetCounters() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_counters;
}

void CSimReader::ClearLogs() {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_requests.clear();
    m_replies.clear();
    m_counters = Counters{};
}

bool CSimReader::WaitForRequests(size_t count, std::chrono::milliseconds timeout) const {
    std::unique_lock<std::mutex> lock(m_mutex);
    return m_traffic.wait_for(lock, timeout, [&] { return m_counters.requests >= count; });
}

bool CSimReader::WaitForReplies(size_t count, std::chrono::milliseconds timeout) const {
    std::unique_lock<std::mutex> lock(m_mutex);
    return m_traffic.wait_for(lock, timeout, [&] { return m_counters.replies >= count; });
}
