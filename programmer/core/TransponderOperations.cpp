#include "TransponderOperations.h"

#include "PcWord.h"
#include "ProgrammerTexts.h"
#include "TextTable.h"

#include <algorithm>
#include <cstring>

namespace Programmer {

namespace {

// An inventory reply: byte 0 = transponders still to come including this
// one, bytes 1-2 not used here, bytes 3.. the EPC.
std::string EpcOfReply(const uint8_t* reply, int length) {
    return length > 3 ? HexText::Format(reply + 3, size_t(length - 3)) : std::string();
}

std::string Slice(const Bytes& data, size_t from, size_t to) {
    return HexText::Format(data.data() + from, to - from);
}

// Nothing was read: a field was refused, or the device is gone. The fields
// keep what they showed (a failed read empties them).
bool NothingRead(int result) {
    return result == Refused || result == Result::ConnectionLost;
}

} // namespace

TransponderOperations::TransponderOperations(ProgrammerHost& host, TagLink& link)
    : host_(host), link_(link) {}

// --- The connection and the fields ------------------------------------------

bool TransponderOperations::Lost() {
    if (!lost_ && session_ != 0 && link_.IsConnected(session_) == 0) lost_ = true;
    return lost_;
}

void TransponderOperations::ReportLost() {
    values_.status = ProgrammerTexts::Get(TextId::ConnectionLost);
}

bool TransponderOperations::CheckConnection() {
    if (!Lost()) return true;
    ReportLost();
    return false;
}

bool TransponderOperations::ReadField(const std::string& text, size_t limit, int field, Bytes& bytes) {
    HexText::Reading reading = HexText::Read(text, limit);
    if (!reading.valid) {
        values_.status = TextTable::Arg(ProgrammerTexts::Get(TextId::InvalidHex),
                                        ProgrammerTexts::FieldName(field), reading.offending);
        invalidField_ = field;
        return false;
    }
    bytes = std::move(reading.bytes);
    return true;
}

// --- Inventory ----------------------------------------------------------

bool TransponderOperations::RunInventory() {
    // A lost device leaves the list as it was: it is no answer of the field.
    if (Lost()) {
        ReportLost();
        return false;
    }
    uint8_t reply[InventoryBufferSize];
    std::memset(reply, 0, sizeof reply);
    int length = link_.Inventory(session_, 0, reply, sizeof reply);
    if (length < 0) {
        if (Lost()) {
            ReportLost();
            return false;
        }
        const std::string text = "Error " + std::to_string(link_.GetLastError(session_));
        values_.selectedEpc = text;
        values_.epcList.clear();
        values_.count = 0;
        values_.status = text;
        return false;
    }
    // An empty reply counts as "none found" (byte 0 = 0).
    if (length == 0 || reply[0] == 0) {
        values_.selectedEpc.clear();
        values_.epcList.clear();
        values_.status.clear();
        values_.count = 0;
        return false;
    }
    values_.count = reply[0];
    values_.epcList.assign(1, EpcOfReply(reply, length));
    int remaining = reply[0];
    for (int asked = 0; remaining > 1 && asked < MaxNextRequests; ++asked) {
        std::memset(reply, 0, sizeof reply);
        length = link_.Inventory(session_, 2, reply, sizeof reply);
        if (length < 0 && Lost()) break;
        if (length <= 0) break;
        remaining = reply[0];
        values_.epcList.push_back(EpcOfReply(reply, length));
    }
    values_.selectedEpc = values_.epcList.front();
    if (lost_) {
        ReportLost();
        return false;
    }
    values_.status.clear();
    return true;
}

void TransponderOperations::Inventory() {
    if (session_ == 0) return;
    RunInventory();
}

bool TransponderOperations::BeginCyclicInventory() {
    if (session_ == 0 || !CheckConnection()) return false;
    values_.status.clear();
    link_.SetKeepWindowEnabled(session_, 1);
    cyclic_ = true;
    return true;
}

bool TransponderOperations::CyclicInventoryRound() {
    return RunInventory();
}

void TransponderOperations::EndCyclicInventory() {
    if (!cyclic_) return;
    link_.SetKeepWindowEnabled(session_, 0);
    cyclic_ = false;
}

// --- Addressed operations -------------------------------------------------

int TransponderOperations::SelectTransponder() {
    if (session_ == 0) return Result::NoSession;
    Bytes selection;
    if (!ReadField(values_.selectedEpc, HexText::SelectionLimit, HexField::Selection, selection))
        return Refused;
    return SelectBytes(selection);
}

int TransponderOperations::SelectBytes(const Bytes& selection) {
    if (session_ == 0) return Result::NoSession;
    if (Lost()) return Result::ConnectionLost;
    if (link_.Select(session_, selection.empty() ? nullptr : selection.data(), int(selection.size())) < 0)
        return FailedOrLost(Result::SelectFailed);
    return 0;
}

int TransponderOperations::ReadBank(int bank, int byteAddress, int length, Bytes& data) {
    data.clear();
    const int selected = SelectTransponder();
    if (selected < 0) return selected;
    Bytes buffer(size_t(length > 0 ? length : 0));
    const int count = link_.ReadTag(session_, bank, byteAddress / 2, buffer.data(), length);
    if (count < 0) return FailedOrLost(Result::Failed);
    data.assign(buffer.begin(), buffer.begin() + std::min<long>(count, long(buffer.size())));
    return count;
}

int TransponderOperations::ReadWholeBank(int bank, Bytes& data) {
    data.clear();
    const int selected = SelectTransponder();
    if (selected < 0) return selected;
    uint8_t buffer[ReadBufferSize];
    const int count = link_.ReadTagAll(session_, bank, 0, buffer, sizeof buffer);
    if (count < 0) return FailedOrLost(Result::Failed);
    data.assign(buffer, buffer + std::min(count, ReadBufferSize));
    return count;
}

int TransponderOperations::WriteBank(int bank, int byteAddress, const Bytes& data) {
    const int selected = SelectTransponder();
    if (selected < 0) return selected;
    if (link_.WriteTag(session_, bank, byteAddress / 2, data.data(), int(data.size())) < 0)
        return FailedOrLost(Result::Failed);
    return int(data.size());
}

void TransponderOperations::Report(int result, Access access) {
    if (result == Refused) return; // the refusal's text is there already
    const int code = result == Result::Failed ? link_.GetLastError(session_) : 0;
    values_.status = StatusText::ForResult(result, access, code, values_.status);
}

// --- EPC ------------------------------------------------------------------

int TransponderOperations::ReadEpc() {
    Bytes data;
    const int result = ReadWholeBank(Bank::Epc, data);
    if (NothingRead(result)) {
        Report(result, Access::Read);
        return result;
    }
    if (result < 0) {
        values_.crc.clear();
        values_.pc.clear();
        values_.epc.clear();
        values_.epcLength = 0;
    } else {
        if (data.size() >= 2) values_.crc = Slice(data, 0, 2);
        if (data.size() >= 4) {
            values_.pc = Slice(data, 2, 4);
            values_.payloadLength = PcWord::PayloadLength(data[2]);
        }
        if (data.size() >= 5) {
            values_.epc = Slice(data, 4, data.size());
            values_.epcLength = int(data.size() - 4);
        } else {
            values_.epc.clear();
            values_.epcLength = 0;
        }
    }
    Report(result, Access::Read);
    return result;
}

EpcWriteOutcome TransponderOperations::WriteEpc() {
    EpcWriteOutcome outcome;
    Bytes epc;
    if (!ReadField(values_.epc, HexText::EpcWriteLimit, HexField::Epc, epc)) {
        outcome.result = Refused;
        return outcome;
    }
    // The new PC carries only the length; its other bits become 0.
    Bytes data(2 + epc.size(), 0);
    data[0] = PcWord::FirstByte(values_.payloadLength);
    std::copy(epc.begin(), epc.end(), data.begin() + 2);
    outcome.result = WriteBank(Bank::Epc, 2, data);
    Report(outcome.result, Access::Write);
    if (session_ == 0 || outcome.result == Refused || outcome.result == Result::ConnectionLost)
        return outcome;

    // A transponder answers with its new EPC only after a power cycle: the
    // field goes off and on until an inventory finds it again.
    const std::string writeStatus = values_.status;
    while (outcome.rfCycles < EpcWriteTries && !outcome.found && !lost_) {
        link_.RfSwitch(session_, 0);
        host_.Pause(RfPauseMs);
        link_.RfSwitch(session_, 1);
        host_.Pause(RfPauseMs);
        ++outcome.rfCycles;
        outcome.found = RunInventory();
    }
    if (outcome.result > 0) {
        // The fields show what the transponder now holds, not the CRC of its
        // old EPC: the PC as written until it is read back, the CRC only
        // when it is.
        values_.pc = Slice(data, 0, 2);
        values_.crc.clear();
        if (outcome.found) outcome.readBack = ReadBackPcAndCrc(data);
    }
    if (lost_) {
        ReportLost();
        return outcome;
    }
    // The inventories empty the status; the write's own outcome, failed or
    // done, is what the user asked about.
    values_.status = writeStatus;
    return outcome;
}

// Selects the transponder by the EPC just written (as far as its new PC
// announces it, at most the selection's 16 bytes) and reads CRC and PC,
// bank 1 bytes 0-3.
bool TransponderOperations::ReadBackPcAndCrc(const Bytes& written) {
    const size_t announced = size_t(PcWord::PayloadLength(written[0]));
    const size_t count = std::min({written.size() - 2, announced, HexText::SelectionLimit});
    if (SelectBytes(Bytes(written.begin() + 2, written.begin() + 2 + long(count))) < 0) return false;
    uint8_t buffer[4] = {};
    const int read = link_.ReadTag(session_, Bank::Epc, 0, buffer, sizeof buffer);
    if (read < 0) {
        Lost();
        return false;
    }
    const Bytes data(buffer, buffer + std::min(read, 4));
    if (data.size() >= 2) values_.crc = Slice(data, 0, 2);
    if (data.size() < 4) return false;
    values_.pc = Slice(data, 2, 4);
    values_.payloadLength = PcWord::PayloadLength(data[2]);
    return true;
}

// --- TID and user memory --------------------------------------------------

int TransponderOperations::ReadTid() {
    Bytes data;
    const int result = ReadWholeBank(Bank::Tid, data);
    if (NothingRead(result)) {
        Report(result, Access::Read);
        return result;
    }
    if (result < 2) {
        values_.tid.clear();
        values_.tidLength = 0;
    } else {
        values_.tid = HexText::Format(data);
        values_.tidLength = result;
    }
    Report(result, Access::Read);
    return result;
}

bool TransponderOperations::UserLengthInRange() {
    if (values_.userLength >= 0 && values_.userLength <= ReadBufferSize) return true;
    values_.status = ProgrammerTexts::Get(TextId::UserLengthRange);
    return false;
}

int TransponderOperations::ReadUser() {
    if (!UserLengthInRange()) return Refused;
    Bytes data;
    const int result = values_.userLength != 0
                           ? ReadBank(Bank::User, values_.userStart, values_.userLength, data)
                           : ReadWholeBank(Bank::User, data);
    if (NothingRead(result)) {
        Report(result, Access::Read);
        return result;
    }
    if (result < 0) {
        values_.userData.clear();
        values_.userLength = 0;
    } else {
        values_.userData = result < 2 ? std::string() : HexText::Format(data);
        values_.userLength = result;
    }
    Report(result, Access::Read);
    return result;
}

int TransponderOperations::WriteUser() {
    Bytes data;
    if (!ReadField(values_.userData, HexText::FieldLimit, HexField::UserData, data)) return Refused;
    const int given = int(data.size());
    if (given != values_.userLength) {
        // Yes: the length field decides (data cut or filled with zeros);
        // No: the data decide.
        if (!host_.AskYesNo(ProgrammerTexts::Get(TextId::DataLengthQuestion))) values_.userLength = given;
        if (!UserLengthInRange()) return Refused;
        data.resize(size_t(values_.userLength), 0);
        values_.userData = HexText::Format(data);
    }
    const int result = WriteBank(Bank::User, values_.userStart, data);
    Report(result, Access::Write);
    return result;
}

void TransponderOperations::ReadAll() {
    RunInventory();
    ReadEpc();
    ReadTid();
    values_.userStart = 0;
    values_.userLength = 0;
    ReadUser();
    ReadPassword(Password::Access);
    ReadPassword(Password::Kill);
}

// --- Passwords ------------------------------------------------------------

std::string& TransponderOperations::PasswordField(Password which) {
    return which == Password::Kill ? values_.killPassword : values_.accessPassword;
}

int TransponderOperations::ReadPassword(Password which) {
    Bytes data;
    const int result = ReadBank(Bank::Reserved, PasswordByteAddress(which), 4, data);
    if (!NothingRead(result)) PasswordField(which) = result == 4 ? HexText::Format(data) : std::string();
    Report(result, Access::Read);
    return result;
}

int TransponderOperations::WritePassword(Password which) {
    Bytes password;
    if (!ReadField(PasswordField(which), HexText::FieldLimit,
                   which == Password::Kill ? HexField::KillPassword : HexField::AccessPassword, password))
        return Refused;
    if (password.size() != 4) {
        values_.status = ProgrammerTexts::Get(TextId::PasswordLength);
        return Refused;
    }
    const int result = WriteBank(Bank::Reserved, PasswordByteAddress(which), password);
    Report(result, Access::Write);
    return result;
}

// --- Field updates --------------------------------------------------------

void TransponderOperations::EpcEdited() {
    // While it is typed the text need not be bytes yet ("E2003"): the count
    // follows the digits typed.
    values_.epcLength = int(std::min(HexText::TokenCount(values_.epc), HexText::FieldLimit));
}

void TransponderOperations::PayloadLengthEdited() {
    values_.pc = PcWord::WithPayloadLength(values_.pc, values_.payloadLength);
}

} // namespace Programmer
