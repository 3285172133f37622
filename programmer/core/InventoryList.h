// InventoryList: what a running cyclic inventory has seen, one row per
// distinct EPC, for the programmer's "Inventarliste" window and for
// `kvplm inventory PORT --watch`.
//
// It is fed with the reads of each inventory round (EPC bytes and PC) and
// with "a round completed"; the time stamps come from an injectable clock so
// that tests can drive it. Each row holds the PC last read, the decoded
// identity (pure identity URI or "not a GS1 EPC"), the read count and the
// first and last time it was seen.
//
// Rates: inventories per second = rounds completed, tags per second = reads
// (repeats included), both counted over the last RateWindow (5 s) and divided
// by that window, or by the time since counting began when that is shorter
// (Start, Clear, the end of a pause, or else the first event).
//
// Paused: reads and rounds are dropped, not counted later; the rows stay.
//
// The view (Rows) is the rows that pass the filter (a case-insensitive
// substring of the EPC hex or of the identity), in the chosen sort order;
// ties keep the order of first sighting. The CSV export writes the view.
#pragma once

#include "TagLink.h"

#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace Programmer {

class InventoryList {
public:
    using TimePoint = std::chrono::system_clock::time_point;
    using Clock = std::function<TimePoint()>;
    using Bytes = std::vector<uint8_t>;

    static constexpr std::chrono::seconds RateWindow{5};

    enum class Column : int { Epc = 0, Pc, Identity, Count, FirstSeen, LastSeen };
    static constexpr int ColumnCount = 6;

    struct Row {
        std::string epc;      // upper-case hex without blanks
        uint16_t pc = 0;      // as last read
        std::string identity; // pure identity URI, or "not a GS1 EPC"
        uint64_t count = 0;   // reads, repeats included
        TimePoint firstSeen;
        TimePoint lastSeen;
        uint64_t order = 0; // order of first sighting
    };

    // Without a clock: the system clock.
    explicit InventoryList(Clock clock = {});

    // The cyclic inventory starts: the rates count from now.
    void Start();
    // One read of an inventory round, and the end of a round.
    void AddRead(const Bytes& epc, uint16_t pc);
    void RoundCompleted();

    void Clear();
    void SetPaused(bool paused);
    bool Paused() const { return paused_; }

    double InventoriesPerSecond() const;
    double TagsPerSecond() const;
    uint64_t Rounds() const { return rounds_; } // since Clear
    uint64_t Reads() const { return reads_; }

    void SetSort(Column column, bool ascending);
    Column SortColumn() const { return sortColumn_; }
    bool SortAscending() const { return ascending_; }
    void SetFilter(const std::string& text);
    const std::string& Filter() const { return filter_; }

    // The filtered, sorted rows; valid until the next change.
    const std::vector<const Row*>& Rows() const;
    size_t TotalRows() const { return rows_.size(); }
    // Changes with every change of rows, rates, sort or filter (for views
    // that redraw only when something changed).
    uint64_t Version() const { return version_; }

    // --- CSV ---------------------------------------------------------------
    // RFC 4180: fields with a comma, quote, CR or LF in quotes, quotes
    // doubled, lines ended by CRLF. Text is passed through as UTF-8.
    static std::string CsvField(const std::string& text);
    static std::string CsvLine(const std::vector<std::string>& fields);
    // ISO 8601 with milliseconds and the offset of the local time zone
    // (TZ) at that time: "2026-12-09T01:02:03.456+00:00".
    static std::string IsoTime(TimePoint time);
    static std::string PcText(uint16_t pc); // "3000"
    // The header row and the rows of the view.
    std::string Csv() const;
    // Writes Csv() to a temporary file beside path, then renames it over
    // path: a failure leaves path as it was and no temporary file behind.
    // False with the reason in error.
    bool WriteCsv(const std::string& path, std::string& error) const;

private:
    void Changed() { ++version_; }
    void Prune(TimePoint now) const;
    double Rate(const std::deque<TimePoint>& events) const;
    void BeginCounting(TimePoint now);

    Clock clock_;
    std::map<std::string, Row> rows_;
    uint64_t nextOrder_ = 0;
    uint64_t rounds_ = 0, reads_ = 0;
    bool paused_ = false;
    bool counting_ = false; // a rate window has begun
    TimePoint countingSince_;
    mutable std::deque<TimePoint> roundTimes_, readTimes_;
    Column sortColumn_ = Column::FirstSeen;
    bool ascending_ = true;
    std::string filter_;
    uint64_t version_ = 0;
    mutable std::vector<const Row*> view_;
    mutable uint64_t viewVersion_ = ~uint64_t(0);
};

// One cyclic inventory round over the link, with the calls the main dialog's
// cyclic inventory makes: LinkInventory with 0, then with 2 while the last
// reply announces more (at most 255 times). The reply's bytes 1-2 are the
// PC, bytes 3.. the EPC.
struct InventoryRound {
    struct Read {
        InventoryList::Bytes epc;
        uint16_t pc = 0;
    };
    bool ok = false;   // the first call succeeded (no transponder is ok)
    bool lost = false; // the device went away
    int error = 0;     // LinkGetLastError after a failed first call
    std::vector<Read> reads;
};
InventoryRound RunInventoryRound(TagLink& link, int session);

// Feeds a round into the list: its reads, then the end of the round. A
// failed round is no round.
void AddRound(InventoryList& list, const InventoryRound& round);

} // namespace Programmer
