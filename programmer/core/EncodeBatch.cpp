#include "EncodeBatch.h"

#include "TransponderOperations.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace Programmer {

namespace {

std::string Hex(const BatchBytes& bytes) {
    return Epc::ToHex(bytes);
}

// RFC 4180: a field with a comma, quote or line break goes in quotes, its
// quotes doubled.
std::string CsvField(const std::string& text) {
    if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
    std::string quoted = "\"";
    for (char c : text) {
        if (c == '"') quoted += '"';
        quoted += c;
    }
    return quoted + "\"";
}

bool SplitCsv(const std::string& line, std::vector<std::string>& fields) {
    fields.assign(1, std::string());
    bool quoted = false;
    for (size_t i = 0; i < line.size(); ++i) {
        const char c = line[i];
        if (quoted) {
            if (c == '"' && i + 1 < line.size() && line[i + 1] == '"') {
                fields.back() += '"';
                ++i;
            } else if (c == '"') {
                quoted = false;
            } else {
                fields.back() += c;
            }
        } else if (c == '"' && fields.back().empty()) {
            quoted = true;
        } else if (c == ',') {
            fields.emplace_back();
        } else {
            fields.back() += c;
        }
    }
    return !quoted;
}

bool Digits(const std::string& text) {
    return !text.empty() &&
           std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

bool HexDigits(const std::string& text) {
    return std::all_of(text.begin(), text.end(),
                       [](char c) { return std::isxdigit(static_cast<unsigned char>(c)); });
}

bool WriteAll(int fd, const std::string& text) {
    size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += size_t(n);
    }
    return true;
}

} // namespace

// ---------------------------------------------------------------- the log

BatchLog::~BatchLog() {
    Close();
}

void BatchLog::Close() {
    if (fd_ >= 0) close(fd_);
    fd_ = -1;
}

std::string BatchLog::FormatRow(const BatchRow& row) {
    return CsvField(row.time) + "," + (row.serial ? std::to_string(*row.serial) : std::string()) + "," +
           CsvField(row.tid) + "," + CsvField(row.oldEpc) + "," + CsvField(row.newEpc) + "," +
           CsvField(row.result);
}

bool BatchLog::ParseRow(const std::string& line, BatchRow& row) {
    std::vector<std::string> f;
    if (!SplitCsv(line, f) || f.size() != 6) return false;
    row = BatchRow();
    row.time = f[0];
    if (!f[1].empty()) {
        if (!Digits(f[1]) || f[1].size() > 19) return false;
        row.serial = std::stoull(f[1]);
    }
    if (!HexDigits(f[2]) || !HexDigits(f[3]) || !HexDigits(f[4])) return false;
    row.tid = f[2];
    row.oldEpc = f[3];
    row.newEpc = f[4];
    row.result = f[5];
    return row.time.size() >= 10 && (row.Ok() || row.result.rfind("failed", 0) == 0);
}

void BatchLog::Remember(const BatchRow& row) {
    rows_.push_back(row);
    if (row.Ok() && !row.tid.empty()) doneTids_.insert(row.tid);
}

bool BatchLog::Open(const std::string& path, std::string& error) {
    Close();
    rows_.clear();
    doneTids_.clear();
    const int fd = open(path.c_str(), O_RDWR | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (fd < 0) {
        error = "cannot open the log " + path + ": " + std::strerror(errno);
        return false;
    }
    // Two batches on one log would hand out the same serials.
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        error = "the log " + path + " is in use by another batch";
        close(fd);
        return false;
    }
    std::string text;
    char chunk[4096];
    for (;;) {
        const ssize_t n = read(fd, chunk, sizeof chunk);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            error = "cannot read the log " + path + ": " + std::strerror(errno);
            close(fd);
            return false;
        }
        if (n == 0) break;
        text.append(chunk, size_t(n));
    }
    if (text.empty()) {
        if (!WriteAll(fd, std::string(Header) + "\n") || fsync(fd) != 0) {
            error = "cannot write the log " + path + ": " + std::strerror(errno);
            close(fd);
            return false;
        }
        fd_ = fd;
        return true;
    }
    size_t lineNumber = 0;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        const bool complete = end != std::string::npos;
        if (!complete) end = text.size();
        std::string line = text.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        start = end + 1;
        ++lineNumber;
        if (lineNumber == 1) {
            if (line != Header) {
                error =
                    path + " is not an encoding log (its first line is not \"" + Header + "\"); not touched";
                close(fd);
                return false;
            }
            continue;
        }
        if (line.empty()) continue;
        BatchRow row;
        // A last line without its line break is a row cut short: refused
        // as well, since its serial may have been written.
        if (!complete || !ParseRow(line, row)) {
            error = path + " line " + std::to_string(lineNumber) +
                    " is not a row of an encoding log; not touched";
            close(fd);
            return false;
        }
        Remember(row);
    }
    // A header without its line break: rows go on the next line.
    if (text.back() != '\n' && !WriteAll(fd, "\n")) {
        error = "cannot write the log " + path + ": " + std::strerror(errno);
        close(fd);
        return false;
    }
    fd_ = fd;
    return true;
}

bool BatchLog::Append(const BatchRow& row, std::string& error) {
    if (fd_ < 0) {
        error = "the log is not open";
        return false;
    }
    if (!WriteAll(fd_, FormatRow(row) + "\n") || fsync(fd_) != 0) {
        error = std::string("cannot write the log: ") + std::strerror(errno);
        return false;
    }
    Remember(row);
    return true;
}

std::optional<uint64_t> BatchLog::HighestSerial() const {
    std::optional<uint64_t> highest;
    for (const BatchRow& row : rows_)
        if (row.serial && (!highest || *row.serial > *highest)) highest = row.serial;
    return highest;
}

int64_t BatchLog::OkFrom(uint64_t serial) const {
    return std::count_if(rows_.begin(), rows_.end(), [&](const BatchRow& row) {
        return row.Ok() && row.serial && *row.serial >= serial;
    });
}

// ---------------------------------------------------------------- the procedure

uint16_t EncodeBatch::PcFor(uint16_t oldPc, size_t byteCount) {
    return static_cast<uint16_t>((oldPc & 0x07FF) | ((byteCount / 2) & 0x1F) << 11);
}

std::string EncodeBatch::Now() {
    const std::time_t now = std::time(nullptr);
    std::tm utc{};
    gmtime_r(&now, &utc);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &utc);
    return text;
}

Epc::Encoded EncodeBatch::EncodeSerial(uint64_t serial) const {
    return Epc::Encode(settings_.scheme, settings_.filter,
                       {settings_.company, settings_.item, std::to_string(serial)});
}

bool EncodeBatch::Check(const BatchSettings& settings, std::string& error) {
    std::string scheme = settings.scheme;
    std::transform(scheme.begin(), scheme.end(), scheme.begin(),
                   [](unsigned char c) { return std::tolower(c); });
    if (scheme != "sgtin-96") {
        error = "scheme " + settings.scheme + " is not supported for batches (sgtin-96 is)";
        return false;
    }
    if (!Digits(settings.company) || !Digits(settings.item)) {
        error = "company prefix and item reference must be digits";
        return false;
    }
    if (!settings.accessPassword.empty() && settings.accessPassword.size() != 4) {
        error = "the access password must be 4 bytes (8 hex digits)";
        return false;
    }
    if (settings.count == 0 || settings.count < -1) {
        error = "the count must be at least 1";
        return false;
    }
    if (settings.logPath.empty()) {
        error = "a log file is needed";
        return false;
    }
    const Epc::Encoded first = Epc::Encode(
        scheme, settings.filter, {settings.company, settings.item, std::to_string(settings.serialFrom)});
    if (!first.ok) {
        error = first.error;
        return false;
    }
    return true;
}

bool EncodeBatch::Start(const BatchSettings& settings, std::string& error) {
    state_ = State::Idle;
    failedThisRun_ = 0;
    leaving_.clear();
    // The fields are checked before the log is touched.
    if (!Check(settings, error)) return false;
    settings_ = settings;
    std::transform(settings_.scheme.begin(), settings_.scheme.end(), settings_.scheme.begin(),
                   [](unsigned char c) { return std::tolower(c); });
    if (!log_.Open(settings.logPath, error)) return false;
    next_ = settings.serialFrom;
    const std::optional<uint64_t> highest = log_.HighestSerial();
    if (highest && *highest >= next_) next_ = *highest + 1;
    okInBatch_ = log_.OkFrom(settings.serialFrom);
    if (settings.count > 0 && okInBatch_ >= settings.count) {
        state_ = State::Finished;
        return true;
    }
    const Epc::Encoded next = EncodeSerial(next_);
    if (!next.ok) {
        error = next.error;
        log_.Close();
        return false;
    }
    state_ = State::WaitForOne;
    return true;
}

void EncodeBatch::Stop() {
    log_.Close();
    if (state_ == State::WaitForOne || state_ == State::WaitForLeave) state_ = State::Idle;
}

BatchStep EncodeBatch::Halt(const std::string& message) {
    state_ = State::Halted;
    log_.Close();
    BatchStep step;
    step.event = BatchEvent::Halted;
    step.message = message;
    return step;
}

bool EncodeBatch::Gone() {
    return link_.IsConnected(session_) == 0;
}

std::string EncodeBatch::StatusOf(const char* what) {
    return std::string(what) + " (status " + std::to_string(link_.GetLastError(session_)) + ")";
}

int EncodeBatch::SelectEpc(const BatchBytes& epc) {
    const size_t count = std::min(epc.size(), HexText::SelectionLimit);
    return link_.Select(session_, epc.data(), int(count));
}

bool EncodeBatch::RunInventory(std::vector<Seen>& seen) {
    seen.clear();
    uint8_t reply[InventoryBufferSize];
    int remaining = 0;
    for (int asked = 0; asked <= TransponderOperations::MaxNextRequests; ++asked) {
        std::memset(reply, 0, sizeof reply);
        const int length = link_.Inventory(session_, asked == 0 ? 0 : 2, reply, sizeof reply);
        if (length < 0 && asked == 0) return false;
        if (length < 0) break; // a failing "next": what came so far counts
        if (length == 0 || reply[0] == 0) break;
        if (asked == 0) remaining = reply[0];
        Seen tag;
        if (length >= 3) tag.pc = static_cast<uint16_t>(reply[1] << 8 | reply[2]);
        if (length > 3) tag.epc.assign(reply + 3, reply + length);
        seen.push_back(tag);
        if (asked == 0 ? remaining <= 1 : reply[0] <= 1) break;
    }
    // The count the reader announced, even where it handed out fewer.
    while (int(seen.size()) < remaining)
        seen.push_back(Seen());
    return true;
}

BatchStep EncodeBatch::Step() {
    if (state_ == State::Finished) return BatchStep{BatchEvent::Finished, 0, {}, {}, {}};
    if (state_ != State::WaitForOne && state_ != State::WaitForLeave) {
        BatchStep step;
        step.event = BatchEvent::Halted;
        step.message = "the batch is not running";
        return step;
    }
    if (Gone()) return Halt("the reader is no longer connected");
    std::vector<Seen> seen;
    if (!RunInventory(seen)) {
        if (Gone()) return Halt("the reader is no longer connected");
        seen.clear(); // no answer of the field: as if empty, try again
    }
    if (state_ == State::WaitForLeave) {
        if (seen.empty()) {
            state_ = State::WaitForOne;
            leaving_.clear();
            return BatchStep{BatchEvent::TagLeft, 0, {}, {}, {}};
        }
        const bool onlyLeaving = std::all_of(seen.begin(), seen.end(), [&](const Seen& s) {
            return std::find(leaving_.begin(), leaving_.end(), s.epc) != leaving_.end();
        });
        if (onlyLeaving) return BatchStep{BatchEvent::None, int(seen.size()), {}, {}, {}};
        // Another transponder came: it is handled now.
        state_ = State::WaitForOne;
        leaving_.clear();
    }
    return HandleField(seen);
}

BatchStep EncodeBatch::HandleField(const std::vector<Seen>& seen) {
    BatchStep step;
    step.tags = int(seen.size());
    if (seen.empty()) {
        step.event = BatchEvent::NoTag;
        return step;
    }
    if (seen.size() > 1) {
        step.event = BatchEvent::SeveralTags;
        return step;
    }
    return EncodeOne(seen.front());
}

BatchStep EncodeBatch::EncodeOne(const Seen& tag) {
    BatchStep step;
    step.tags = 1;
    step.epc = Hex(tag.epc);
    leaving_ = {tag.epc};
    state_ = State::WaitForLeave;

    if (SelectEpc(tag.epc) < 0) {
        if (Gone()) return Halt("the reader is no longer connected");
        step.event = BatchEvent::Unreadable;
        step.message = StatusOf("select failed");
        return step;
    }
    uint8_t buffer[TransponderOperations::ReadBufferSize] = {};
    const int tidLength = link_.ReadTagAll(session_, Bank::Tid, 0, buffer, sizeof buffer);
    if (tidLength <= 0) {
        if (Gone()) return Halt("the reader is no longer connected");
        step.event = BatchEvent::Unreadable;
        step.message = tidLength < 0 ? StatusOf("the TID cannot be read") : "the TID is empty";
        return step;
    }
    const std::string tid = Hex(BatchBytes(buffer, buffer + std::min<int>(tidLength, sizeof buffer)));
    if (log_.TidDone(tid)) {
        step.event = BatchEvent::AlreadyDone;
        step.row.tid = tid;
        step.row.oldEpc = step.epc;
        return step;
    }

    const uint64_t serial = next_;
    const Epc::Encoded encoded = EncodeSerial(serial);
    if (!encoded.ok) return Halt(encoded.error); // the range is used up: nothing written

    BatchRow& row = step.row;
    row.time = Now();
    row.tid = tid;
    row.oldEpc = step.epc;
    bool sent = false;
    std::string failure;
    if (!settings_.accessPassword.empty() && link_.Access(session_, settings_.accessPassword.data()) < 0) {
        failure = StatusOf("access password refused");
    } else {
        BatchBytes data(2 + encoded.bytes.size());
        const uint16_t pc = PcFor(tag.pc, encoded.bytes.size());
        data[0] = static_cast<uint8_t>(pc >> 8);
        data[1] = static_cast<uint8_t>(pc);
        std::copy(encoded.bytes.begin(), encoded.bytes.end(), data.begin() + 2);
        sent = true;
        if (writingNotice_) writingNotice_();
        if (link_.WriteTag(session_, Bank::Epc, 1, data.data(), int(data.size())) < 0) {
            failure = StatusOf("write refused");
            if (settings_.accessPassword.empty())
                failure += "; the transponder may be locked: give its access password";
        } else {
            // A transponder answers with its new EPC after a power cycle.
            bool found = false;
            for (int cycle = 0; cycle < RfTries && !found && !Gone(); ++cycle) {
                link_.RfSwitch(session_, 0);
                host_.Pause(RfPauseMs);
                link_.RfSwitch(session_, 1);
                host_.Pause(RfPauseMs);
                std::vector<Seen> seen;
                found = RunInventory(seen) && std::any_of(seen.begin(), seen.end(), [&](const Seen& s) {
                            return s.epc == encoded.bytes;
                        });
            }
            uint8_t back[64] = {};
            int read = -1;
            if (found && SelectEpc(encoded.bytes) >= 0)
                read = link_.ReadTag(session_, Bank::Epc, 1, back, int(data.size()));
            if (!found)
                failure = "verify: the new EPC does not answer";
            else if (read < 0)
                failure = StatusOf("verify: read back failed");
            else if (BatchBytes(back, back + std::min<int>(read, sizeof back)) != data)
                failure =
                    "verify: read back " + Hex(BatchBytes(back, back + std::min<int>(read, sizeof back)));
        }
    }
    if (sent) {
        row.serial = serial;
        row.newEpc = Hex(encoded.bytes);
        next_ = serial + 1;
        leaving_.push_back(encoded.bytes);
    }
    row.result = failure.empty() ? "ok" : "failed: " + failure;
    std::string error;
    if (!log_.Append(row, error)) {
        const std::string what = sent
                                     ? "serial " + std::to_string(serial) + " was written but is not logged: "
                                     : "the attempt is not logged: ";
        return Halt(what + error);
    }
    if (Gone()) return Halt("the reader is no longer connected");
    if (failure.empty()) {
        step.event = BatchEvent::Encoded;
        ++okInBatch_;
        if (settings_.count > 0 && okInBatch_ >= settings_.count) {
            state_ = State::Finished;
            log_.Close();
        }
    } else {
        step.event = BatchEvent::Failed;
        ++failedThisRun_;
    }
    return step;
}

} // namespace Programmer
