#include "TransponderOperations.h"

#include "PcWord.h"
#include "ProgrammerTexts.h"

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

} // namespace

TransponderOperations::TransponderOperations(ProgrammerHost& host, TagLink& link)
    : host_(host), link_(link) {}

// --- Inventory ----------------------------------------------------------

bool TransponderOperations::RunInventory() {
    uint8_t reply[InventoryBufferSize];
    std::memset(reply, 0, sizeof reply);
    int length = link_.Inventory(session_, 0, reply, sizeof reply);
    if (length < 0) {
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
        if (length <= 0) break;
        remaining = reply[0];
        values_.epcList.push_back(EpcOfReply(reply, length));
    }
    values_.selectedEpc = values_.epcList.front();
    values_.status.clear();
    return true;
}

void TransponderOperations::Inventory() {
    if (session_ == 0) return;
    RunInventory();
}

bool TransponderOperations::BeginCyclicInventory() {
    if (session_ == 0) return false;
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
    const Bytes selection = HexText::Parse(values_.selectedEpc, HexText::SelectionLimit);
    if (link_.Select(session_, selection.empty() ? nullptr : selection.data(), int(selection.size())) < 0)
        return Result::SelectFailed;
    return 0;
}

int TransponderOperations::ReadBank(int bank, int byteAddress, int length, Bytes& data) {
    data.clear();
    const int selected = SelectTransponder();
    if (selected < 0) return selected;
    Bytes buffer(size_t(length > 0 ? length : 0));
    const int count = link_.ReadTag(session_, bank, byteAddress / 2, buffer.data(), length);
    if (count < 0) return Result::Failed;
    data.assign(buffer.begin(), buffer.begin() + std::min<long>(count, long(buffer.size())));
    return count;
}

int TransponderOperations::ReadWholeBank(int bank, Bytes& data) {
    data.clear();
    const int selected = SelectTransponder();
    if (selected < 0) return selected;
    uint8_t buffer[ReadBufferSize];
    const int count = link_.ReadTagAll(session_, bank, 0, buffer, sizeof buffer);
    if (count < 0) return Result::Failed;
    data.assign(buffer, buffer + std::min(count, ReadBufferSize));
    return count;
}

int TransponderOperations::WriteBank(int bank, int byteAddress, const Bytes& data) {
    const int selected = SelectTransponder();
    if (selected < 0) return selected;
    if (link_.WriteTag(session_, bank, byteAddress / 2, data.data(), int(data.size())) < 0)
        return Result::Failed;
    return int(data.size());
}

void TransponderOperations::Report(int result, Access access) {
    const int code = result == Result::Failed ? link_.GetLastError(session_) : 0;
    values_.status = StatusText::ForResult(result, access, code, values_.status);
}

// --- EPC ------------------------------------------------------------------

int TransponderOperations::ReadEpc() {
    Bytes data;
    const int result = ReadWholeBank(Bank::Epc, data);
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
    // The new PC carries only the length; its other bits become 0.
    Bytes data{PcWord::FirstByte(values_.payloadLength), 0};
    const Bytes epc = HexText::Parse(values_.epc, HexText::EpcWriteLimit);
    data.insert(data.end(), epc.begin(), epc.end());
    outcome.result = WriteBank(Bank::Epc, 2, data);
    Report(outcome.result, Access::Write);
    if (session_ == 0) return outcome;

    // A transponder answers with its new EPC only after a power cycle: the
    // field goes off and on until an inventory finds it again.
    const std::string writeStatus = values_.status;
    while (outcome.rfCycles < EpcWriteTries && !outcome.found) {
        link_.RfSwitch(session_, 0);
        host_.Pause(RfPauseMs);
        link_.RfSwitch(session_, 1);
        host_.Pause(RfPauseMs);
        ++outcome.rfCycles;
        outcome.found = RunInventory();
    }
    // The inventory empties the status; a failed write must stay visible.
    if (outcome.result < 0) values_.status = writeStatus;
    return outcome;
}

// --- TID and user memory --------------------------------------------------

int TransponderOperations::ReadTid() {
    Bytes data;
    const int result = ReadWholeBank(Bank::Tid, data);
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
    Bytes data = HexText::Parse(values_.userData, HexText::FieldLimit);
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
    PasswordField(which) = result == 4 ? HexText::Format(data) : std::string();
    Report(result, Access::Read);
    return result;
}

int TransponderOperations::WritePassword(Password which) {
    const Bytes password = HexText::Parse(PasswordField(which), HexText::FieldLimit);
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
    values_.epcLength = int(HexText::Parse(values_.epc, HexText::FieldLimit).size());
}

void TransponderOperations::PayloadLengthEdited() {
    values_.pc = PcWord::WithPayloadLength(values_.pc, values_.payloadLength);
}

} // namespace Programmer
