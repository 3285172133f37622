#include "SimOutputReader.h"

namespace {

bool CountsOnItsOwn(int mode) {
    return mode == 0 || mode == 3 || mode == 5 || mode == 6;
}

bool Cyclic(int mode) {
    return mode == 3 || mode == 5;
}

} // namespace

CSimOutputReader::CSimOutputReader() : CSimOutputReader(Options{}) {}

CSimOutputReader::CSimOutputReader(const Options& options)
    : CSimReader(options), m_readerType((options.deviceType & 0xFF0) == 0x300) {}

bool CSimOutputReader::ActiveLocked() const {
    return m_readerType && StateLocked() == 1;
}

int CSimOutputReader::ModeLocked() const {
    const Bytes& mode = BlockLocked(Block::ModeParam);
    return mode.empty() ? 0 : mode[0] & 0x0F;
}

std::chrono::milliseconds CSimOutputReader::CycleLocked() const {
    const Bytes& mode = BlockLocked(Block::ModeParam);
    const int units = mode.size() > 1 ? mode[1] : 10;
    return std::chrono::milliseconds(std::max(units, 1) * 100);
}

uint8_t CSimOutputReader::RequestByteLocked() const {
    const Bytes& mode = BlockLocked(Block::ModeParam);
    return mode.size() > 2 && mode[2] >= 0x20 ? mode[2] : uint8_t('?');
}

SimTelegram::Blocks CSimOutputReader::BlocksLocked() const {
    return SimTelegram::Blocks{BlockLocked(Block::Param), BlockLocked(Block::Prefix),
                               BlockLocked(Block::Suffix), BlockLocked(Block::Termix),
                               BlockLocked(Block::Postcode)};
}

void CSimOutputReader::QueueLocked(const SimTelegram::Output& output, TimePoint at) {
    // A pause counts from the end of the bytes before it on the line.
    const std::chrono::nanoseconds byteTime = LineLocked().ByteTime();
    TimePoint start = at;
    for (const SimTelegram::Piece& piece : output) {
        start += piece.pauseBefore;
        QueueUnsolicitedLocked(piece.bytes, start);
        start += byteTime * static_cast<int64_t>(piece.bytes.size());
    }
}

void CSimOutputReader::StartCycleLocked(TimePoint now) {
    if (m_nextCycle) return;
    const std::vector<CSimTransponder> tags = TagsLocked();
    if (tags.empty()) return;
    QueueLocked(SimTelegram::Telegram(BlocksLocked(), &tags.front()), now);
    m_nextCycle = now + CycleLocked();
}

void CSimOutputReader::OnInput(const uint8_t* data, size_t count, TimePoint at) {
    if (m_lastInput && at - *m_lastInput > StaleInput) m_tail.clear();
    m_lastInput = at;
    m_tail.insert(m_tail.end(), data, data + count);
    // Complete frames are the engine's: drop them from the front.
    for (bool found = true; found && !m_tail.empty();) {
        found = false;
        for (Frame::Framing framing : {Frame::Bcc, Frame::Crc}) {
            if (framing == Frame::Bcc && m_tail[0] != Frame::StartByte) continue;
            const size_t length = Frame::CompleteLength(framing, m_tail.data(), m_tail.size());
            if (!length) continue;
            if (Frame::CheckFrame(framing, Bytes(m_tail.begin(), m_tail.begin() + long(length))) !=
                Frame::Check::Ok)
                continue;
            m_tail.erase(m_tail.begin(), m_tail.begin() + long(length));
            found = true;
            break;
        }
    }
    if (m_tail.size() > 512) m_tail.clear();
    // A request character alone, waiting for quiet: more bytes make it part
    // of something else (the start of a frame, say).
    m_request.reset();
    if (!ActiveLocked() || ModeLocked() != 1) return;
    if (m_tail.size() == 1 && m_tail[0] == RequestByteLocked()) m_request = at;
}

std::optional<CSimReader::TimePoint> CSimOutputReader::NextTickLocked() const {
    std::optional<TimePoint> next = m_nextCycle;
    auto earlier = [&next](std::optional<TimePoint> due) {
        if (due && (!next || *due < *next)) next = due;
    };
    if (m_request) earlier(*m_request + RequestQuiet);
    earlier(m_entered);
    return next;
}

void CSimOutputReader::OnTick(TimePoint now) {
    if (m_entered && now >= *m_entered) {
        m_entered.reset();
        if (ActiveLocked()) {
            const int mode = ModeLocked();
            const std::vector<CSimTransponder> tags = TagsLocked();
            if ((mode == 0 || mode == 6) && !tags.empty())
                QueueLocked(SimTelegram::Telegram(BlocksLocked(), &tags.front()), now);
            if (Cyclic(mode)) StartCycleLocked(now);
        }
    }
    if (m_request && now >= *m_request + RequestQuiet) {
        m_request.reset();
        m_tail.clear();
        if (ActiveLocked() && ModeLocked() == 1) {
            const std::vector<CSimTransponder> tags = TagsLocked();
            QueueLocked(SimTelegram::Telegram(BlocksLocked(), tags.empty() ? nullptr : &tags.front()), now);
        }
    }
    if (m_nextCycle && now >= *m_nextCycle) {
        const std::vector<CSimTransponder> tags = TagsLocked();
        if (!ActiveLocked() || !Cyclic(ModeLocked()) || tags.empty()) {
            m_nextCycle.reset();
            return;
        }
        QueueLocked(SimTelegram::Telegram(BlocksLocked(), &tags.front()), now);
        m_nextCycle = *m_nextCycle + CycleLocked();
        if (*m_nextCycle <= now) m_nextCycle = now + CycleLocked(); // fell behind: no burst
    }
}

void CSimOutputReader::OnTagPlaced(const CSimTransponder& tag) {
    if (!ActiveLocked()) return;
    const int mode = ModeLocked();
    const TimePoint now = Clock::now();
    if (mode == 0 || mode == 6) QueueLocked(SimTelegram::Telegram(BlocksLocked(), &tag), now);
    if (Cyclic(mode)) StartCycleLocked(now);
}

void CSimOutputReader::OnTagRemoved(const CSimTransponder&) {
    if (!ActiveLocked()) return;
    if (CountsOnItsOwn(ModeLocked())) QueueLocked(SimTelegram::Removal(BlocksLocked()), Clock::now());
    if (TagsLocked().empty()) m_nextCycle.reset();
}

void CSimOutputReader::OnStateChanged(int, int to) {
    m_request.reset();
    m_nextCycle.reset();
    m_entered.reset();
    if (to == 1 && m_readerType) m_entered = Clock::now() + EnterDelay;
}
