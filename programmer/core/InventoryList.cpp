#include "InventoryList.h"

#include "Epc.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace Programmer {

namespace {

std::string Lower(std::string text) {
    for (char& c : text)
        if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
    return text;
}

std::string WithoutBlanks(const std::string& text) {
    std::string out;
    for (char c : text)
        if (c != ' ') out += c;
    return out;
}

} // namespace

InventoryList::InventoryList(Clock clock) : clock_(std::move(clock)) {
    if (!clock_) clock_ = [] { return std::chrono::system_clock::now(); };
}

// --- Feeding ----------------------------------------------------------------

void InventoryList::BeginCounting(TimePoint now) {
    counting_ = true;
    countingSince_ = now;
    roundTimes_.clear();
    readTimes_.clear();
}

void InventoryList::Start() {
    BeginCounting(clock_());
    Changed();
}

void InventoryList::AddRead(const Bytes& epc, uint16_t pc) {
    if (paused_) return;
    const TimePoint now = clock_();
    if (!counting_) BeginCounting(now);
    const std::string hex = Epc::ToHex(epc);
    auto found = rows_.find(hex);
    if (found == rows_.end()) {
        Row row;
        row.epc = hex;
        row.identity = Epc::Summary(Epc::Decode(epc));
        row.firstSeen = now;
        row.order = nextOrder_++;
        found = rows_.emplace(hex, std::move(row)).first;
    }
    Row& row = found->second;
    row.pc = pc;
    ++row.count;
    row.lastSeen = now;
    ++reads_;
    readTimes_.push_back(now);
    Prune(now);
    Changed();
}

void InventoryList::RoundCompleted() {
    if (paused_) return;
    const TimePoint now = clock_();
    if (!counting_) BeginCounting(now);
    ++rounds_;
    roundTimes_.push_back(now);
    Prune(now);
    Changed();
}

void InventoryList::Clear() {
    rows_.clear();
    nextOrder_ = 0;
    rounds_ = reads_ = 0;
    BeginCounting(clock_());
    Changed();
}

void InventoryList::SetPaused(bool paused) {
    if (paused == paused_) return;
    paused_ = paused;
    // What was counted before the pause says nothing about the rate after it.
    if (!paused_) BeginCounting(clock_());
    Changed();
}

// --- Rates ------------------------------------------------------------------

void InventoryList::Prune(TimePoint now) const {
    const TimePoint oldest = now - RateWindow;
    for (auto* events : {&roundTimes_, &readTimes_})
        while (!events->empty() && events->front() <= oldest)
            events->pop_front();
}

double InventoryList::Rate(const std::deque<TimePoint>& events) const {
    if (paused_ || !counting_) return 0.0;
    const TimePoint now = clock_();
    Prune(now);
    auto span = now - countingSince_;
    if (span > RateWindow) span = RateWindow;
    const double seconds = std::chrono::duration<double>(span).count();
    if (seconds <= 0.0) return 0.0;
    return double(events.size()) / seconds;
}

double InventoryList::InventoriesPerSecond() const {
    return Rate(roundTimes_);
}

double InventoryList::TagsPerSecond() const {
    return Rate(readTimes_);
}

// --- View -------------------------------------------------------------------

void InventoryList::SetSort(Column column, bool ascending) {
    if (column == sortColumn_ && ascending == ascending_) return;
    sortColumn_ = column;
    ascending_ = ascending;
    Changed();
}

void InventoryList::SetFilter(const std::string& text) {
    const std::string filter = Lower(WithoutBlanks(text));
    if (filter == filter_) return;
    filter_ = filter;
    Changed();
}

const std::vector<const InventoryList::Row*>& InventoryList::Rows() const {
    if (viewVersion_ == version_) return view_;
    view_.clear();
    for (const auto& entry : rows_) {
        const Row& row = entry.second;
        if (!filter_.empty() && Lower(row.epc).find(filter_) == std::string::npos &&
            Lower(WithoutBlanks(row.identity)).find(filter_) == std::string::npos)
            continue;
        view_.push_back(&row);
    }
    const Column column = sortColumn_;
    auto less = [column](const Row* a, const Row* b) {
        switch (column) {
        case Column::Epc:
            return a->epc < b->epc;
        case Column::Pc:
            return a->pc < b->pc;
        case Column::Identity:
            return a->identity < b->identity;
        case Column::Count:
            return a->count < b->count;
        case Column::FirstSeen:
            return a->firstSeen < b->firstSeen;
        case Column::LastSeen:
            return a->lastSeen < b->lastSeen;
        }
        return false;
    };
    const bool ascending = ascending_;
    std::sort(view_.begin(), view_.end(), [&](const Row* a, const Row* b) {
        if (less(a, b)) return ascending;
        if (less(b, a)) return !ascending;
        return a->order < b->order;
    });
    viewVersion_ = version_;
    return view_;
}

// --- CSV --------------------------------------------------------------------

std::string InventoryList::CsvField(const std::string& text) {
    if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
    std::string out = "\"";
    for (char c : text) {
        if (c == '"') out += '"';
        out += c;
    }
    return out + '"';
}

std::string InventoryList::CsvLine(const std::vector<std::string>& fields) {
    std::string line;
    for (size_t i = 0; i < fields.size(); ++i) {
        if (i) line += ',';
        line += CsvField(fields[i]);
    }
    return line + "\r\n";
}

std::string InventoryList::IsoTime(TimePoint time) {
    using namespace std::chrono;
    const auto sinceEpoch = duration_cast<milliseconds>(time.time_since_epoch());
    long long ms = sinceEpoch.count() % 1000;
    time_t seconds = time_t(sinceEpoch.count() / 1000);
    if (ms < 0) {
        ms += 1000;
        --seconds;
    }
    std::tm local{};
    tzset();
    localtime_r(&seconds, &local);
    char stamp[40];
    std::strftime(stamp, sizeof stamp, "%Y-%m-%dT%H:%M:%S", &local);
    const long offset = local.tm_gmtoff;
    const long magnitude = offset < 0 ? -offset : offset;
    char tail[48];
    std::snprintf(tail, sizeof tail, ".%03lld%c%02ld:%02ld", ms, offset < 0 ? '-' : '+', magnitude / 3600,
                  magnitude % 3600 / 60);
    return std::string(stamp) + tail;
}

std::string InventoryList::PcText(uint16_t pc) {
    char text[8];
    std::snprintf(text, sizeof text, "%04X", unsigned(pc));
    return text;
}

std::string InventoryList::Csv() const {
    std::string csv = CsvLine({"EPC", "PC", "Identity", "Count", "FirstSeen", "LastSeen"});
    for (const Row* row : Rows())
        csv += CsvLine({row->epc, PcText(row->pc), row->identity, std::to_string(row->count),
                        IsoTime(row->firstSeen), IsoTime(row->lastSeen)});
    return csv;
}

bool InventoryList::WriteCsv(const std::string& path, std::string& error) const {
    const std::string csv = Csv();
    std::string temp = path + ".XXXXXX";
    const int fd = mkstemp(temp.data());
    if (fd < 0) {
        error = path + ": " + std::strerror(errno);
        return false;
    }
    auto fail = [&](int code) {
        error = path + ": " + std::strerror(code);
        unlink(temp.c_str());
        return false;
    };
    // mkstemp makes the file 0600; an export is an ordinary document.
    const mode_t mask = umask(0);
    umask(mask);
    (void)fchmod(fd, 0666 & ~mask);
    size_t written = 0;
    while (written < csv.size()) {
        const ssize_t n = write(fd, csv.data() + written, csv.size() - written);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            const int code = n < 0 ? errno : ENOSPC;
            close(fd);
            return fail(code);
        }
        written += size_t(n);
    }
    if (fsync(fd) != 0) {
        const int code = errno;
        close(fd);
        return fail(code);
    }
    if (close(fd) != 0) return fail(errno);
    if (std::rename(temp.c_str(), path.c_str()) != 0) return fail(errno);
    return true;
}

// --- Rounds over the link ---------------------------------------------------

namespace {

constexpr int ReplySize = 100;
constexpr int MaxNextRequests = 255;

void TakeRead(const uint8_t* reply, int length, InventoryRound& round) {
    if (length < 3) return;
    InventoryRound::Read read;
    read.pc = uint16_t(reply[1] << 8 | reply[2]);
    read.epc.assign(reply + 3, reply + length);
    round.reads.push_back(std::move(read));
}

} // namespace

InventoryRound RunInventoryRound(TagLink& link, int session) {
    InventoryRound round;
    if (session == 0) return round;
    if (link.IsConnected(session) == 0) {
        round.lost = true;
        return round;
    }
    uint8_t reply[ReplySize] = {};
    int length = link.Inventory(session, 0, reply, sizeof reply);
    if (length < 0) {
        round.lost = link.IsConnected(session) == 0;
        round.error = link.GetLastError(session);
        return round;
    }
    round.ok = true;
    if (length == 0 || reply[0] == 0) return round;
    length = std::min(length, ReplySize);
    TakeRead(reply, length, round);
    int remaining = reply[0];
    for (int asked = 0; remaining > 1 && asked < MaxNextRequests; ++asked) {
        std::memset(reply, 0, sizeof reply);
        length = link.Inventory(session, 2, reply, sizeof reply);
        if (length <= 0) {
            if (length < 0 && link.IsConnected(session) == 0) round.lost = true;
            break;
        }
        length = std::min(length, ReplySize);
        remaining = reply[0];
        TakeRead(reply, length, round);
    }
    return round;
}

void AddRound(InventoryList& list, const InventoryRound& round) {
    if (!round.ok || round.lost) return;
    for (const InventoryRound::Read& read : round.reads)
        list.AddRead(read.epc, read.pc);
    list.RoundCompleted();
}

} // namespace Programmer
