// Serialised bulk encoding: one transponder at a time gets the next EPC of a
// serial range, and every attempt is appended to a CSV log that is also the
// batch's memory (a run resumes from it).
//
// The procedure is a step machine so that a dialog can run it from a timer
// and the command line from a loop; Step() does one inventory and whatever
// follows from it, and returns what happened. Nothing is cancelled inside a
// step, so stopping between steps always leaves the log whole.
//
// Per transponder: inventory until exactly one is in the field (none: wait;
// two or more: say so and write nothing), select it by its EPC, read its TID
// (a TID the log holds as "ok" is not encoded again), compute the next EPC,
// present the access password when one is given (command 0xC6), write PC and
// EPC at bank 1 word 1 (the PC's length bits set for the new EPC, its other
// bits kept), switch the field off and on until the new EPC answers, read PC
// and EPC back and compare, append the log row (flushed and fsync'd), then
// wait until that transponder leaves the field or another one appears.
//
// The log ("time,serial,tid,old_epc,new_epc,result"): a row has a serial
// exactly when the write was sent, whatever the outcome ("ok" or "failed:
// reason"); such a row uses its serial up, since a write whose reply or
// verification failed may still have taken effect. Rows of attempts that
// never sent the write (the access password refused) have no serial and no
// new EPC. A run starts after the highest serial in the log (or at the
// first serial of the settings, whichever is higher), so a serial is never
// written twice.
#pragma once

#include "Epc.h"
#include "ProgrammerHost.h"
#include "TagLink.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace Programmer {

using BatchBytes = std::vector<uint8_t>;

struct BatchSettings {
    std::string scheme = "sgtin-96";
    int filter = 0;
    std::string company; // company prefix, digits (their count picks the partition)
    std::string item;    // item reference (with indicator digit), digits
    uint64_t serialFrom = 0;
    // Transponders the batch is to hold as "ok" (counted in the whole log from
    // serialFrom on, so that a resumed run completes the same batch); -1 until
    // stopped.
    int64_t count = -1;
    BatchBytes accessPassword; // empty or 4 bytes
    std::string logPath;
};

struct BatchRow {
    std::string time;                // ISO 8601, UTC
    std::optional<uint64_t> serial;  // present when the write was sent
    std::string tid, oldEpc, newEpc; // upper-case hex
    std::string result;              // "ok" or "failed: reason"

    bool Ok() const { return result == "ok"; }
};

// The CSV log: RFC 4180 fields, one row per attempt, each row written,
// flushed and fsync'd before the next transponder.
class BatchLog {
public:
    static constexpr const char* Header = "time,serial,tid,old_epc,new_epc,result";

    BatchLog() = default;
    ~BatchLog();
    BatchLog(const BatchLog&) = delete;
    BatchLog& operator=(const BatchLog&) = delete;

    // Reads the log at path (a missing or empty file is started with the
    // header). A file whose first line is not the header, or with a line that
    // is no row of ours, is refused and left as it is; so is a log another
    // batch holds open (an exclusive lock while open).
    bool Open(const std::string& path, std::string& error);
    bool Append(const BatchRow& row, std::string& error);
    void Close();

    const std::vector<BatchRow>& Rows() const { return rows_; }
    std::optional<uint64_t> HighestSerial() const;
    bool TidDone(const std::string& tid) const { return doneTids_.count(tid) != 0; }
    int64_t OkFrom(uint64_t serial) const;

    static std::string FormatRow(const BatchRow& row);
    static bool ParseRow(const std::string& line, BatchRow& row);

private:
    void Remember(const BatchRow& row);

    int fd_ = -1;
    std::vector<BatchRow> rows_;
    std::set<std::string> doneTids_;
};

enum class BatchEvent {
    None,        // still waiting for the transponder to leave
    NoTag,       // the field is empty: place one
    SeveralTags, // tags = how many: nothing written
    AlreadyDone, // the TID is in the log as "ok": not encoded again
    Encoded,     // row: the new EPC was written and verified
    Failed,      // row: the attempt failed (row.result says why)
    Unreadable,  // select or TID read failed: nothing written, no row
    TagLeft,     // the transponder left the field
    Finished,    // the batch holds its count
    Halted,      // message: the batch cannot go on (serial range, log, connection)
};

struct BatchStep {
    BatchEvent event = BatchEvent::None;
    int tags = 0;
    BatchRow row;        // Encoded, Failed
    std::string epc;     // the transponder's EPC (AlreadyDone, Unreadable)
    std::string message; // Halted, Unreadable
};

class EncodeBatch {
public:
    enum class State { Idle, WaitForOne, WaitForLeave, Finished, Halted };

    static constexpr int PollMs = 100; // between two steps while waiting
    static constexpr int RfPauseMs = 200;
    static constexpr int RfTries = 6;
    static constexpr int InventoryBufferSize = 100;

    EncodeBatch(TagLink& link, ProgrammerHost& host, int session)
        : link_(link), host_(host), session_(session) {}

    // Checks the settings, opens the log and finds the next serial; false
    // with a message (nothing written to any transponder) when the settings
    // are wrong, the log is not ours, or the next serial is out of the
    // scheme's range.
    bool Start(const BatchSettings& settings, std::string& error);
    // The settings' own checks (scheme, fields, password, count, the first
    // serial in range), without the log and without a reader.
    static bool Check(const BatchSettings& settings, std::string& error);
    BatchStep Step();
    // Ends the run between steps; the log is closed.
    void Stop();
    // Called right before a write is sent (a dialog shows "writing").
    void SetWritingNotice(std::function<void()> notice) { writingNotice_ = std::move(notice); }

    State GetState() const { return state_; }
    uint64_t NextSerial() const { return next_; }
    int64_t OkInBatch() const { return okInBatch_; } // "ok" rows from serialFrom on
    int64_t FailedThisRun() const { return failedThisRun_; }
    const BatchSettings& Settings() const { return settings_; }
    const BatchLog& Log() const { return log_; }

    // The EPC bank's PC for an EPC of byteCount bytes: bits 11-15 the length
    // in words, the other bits of the old PC kept.
    static uint16_t PcFor(uint16_t oldPc, size_t byteCount);
    static std::string Now();

private:
    struct Seen {
        uint16_t pc = 0;
        BatchBytes epc;
    };
    // Every transponder one inventory finds; false when the inventory failed.
    bool RunInventory(std::vector<Seen>& seen);
    BatchStep HandleField(const std::vector<Seen>& seen);
    BatchStep EncodeOne(const Seen& tag);
    BatchStep Halt(const std::string& message);
    bool Gone();
    int SelectEpc(const BatchBytes& epc);
    std::string StatusOf(const char* what);
    Epc::Encoded EncodeSerial(uint64_t serial) const;

    TagLink& link_;
    ProgrammerHost& host_;
    int session_;
    BatchSettings settings_;
    BatchLog log_;
    State state_ = State::Idle;
    uint64_t next_ = 0;
    int64_t okInBatch_ = 0;
    int64_t failedThisRun_ = 0;
    std::vector<BatchBytes> leaving_; // EPCs of the transponder we wait to leave
    std::function<void()> writingNotice_;
};

} // namespace Programmer
