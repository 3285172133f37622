// The programmer's transponder operations against a hostile link: every
// call answers whatever the Link API's contract allows (a failure with any
// status, or any count up to the buffer's size with any bytes in it), and
// the fields hold whatever the user typed. The checks are about what goes
// to a transponder: only bytes the fields gave, never more than the field
// and the command allow, at the addresses of the operation.
#include "FuzzCheck.h"

#include "TransponderOperations.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstring>

namespace {

using Programmer::Bytes;
using Programmer::HexText;

struct Write {
    int bank;
    int word;
    Bytes bytes;
};

class HostileLink : public Programmer::TagLink {
public:
    explicit HostileLink(FuzzedDataProvider& input) : input_(input) {}

    std::vector<Write> writes;
    std::vector<Bytes> selections;

    int Inventory(int session, int, uint8_t* buffer, int size) override {
        return Answer(session, buffer, size);
    }
    int Select(int session, const uint8_t* bytes, int count) override {
        FUZZ_CHECK(count >= 0 && count <= int(HexText::SelectionLimit), std::to_string(count));
        FUZZ_CHECK(count == 0 || bytes);
        selections.emplace_back(bytes, bytes + count);
        return Result(session);
    }
    int ReadTag(int session, int bank, int word, uint8_t* buffer, int size) override {
        FUZZ_CHECK(size >= 0 && size <= Programmer::TransponderOperations::ReadBufferSize,
                   std::to_string(size));
        if (!AddressTaken(bank, word)) return -1;
        return Answer(session, buffer, size);
    }
    int ReadTagAll(int session, int bank, int word, uint8_t* buffer, int size) override {
        if (!AddressTaken(bank, word)) return -1;
        return Answer(session, buffer, size);
    }
    int WriteTag(int session, int bank, int word, const uint8_t* bytes, int count) override {
        FUZZ_CHECK(count >= 0 && (count == 0 || bytes));
        if (!AddressTaken(bank, word)) return -1;
        writes.push_back(Write{bank, word, Bytes(bytes, bytes + count)});
        return Result(session);
    }
    int RfSwitch(int session, int) override { return Result(session); }
    int GetLastError(int) override { return status_; }
    int SetKeepWindowEnabled(int, int) override { return 1; }

private:
    // One of the four banks; a word address the library refuses (status 15)
    // as it does.
    bool AddressTaken(int bank, int word) {
        FUZZ_CHECK(bank >= 0 && bank <= 3, std::to_string(bank));
        if (word >= 0 && word <= 0xFFFF) return true;
        status_ = 15;
        return false;
    }
    // -1 with a new status, or 0.
    int Result(int session) {
        if (session == 0 || input_.ConsumeBool()) {
            status_ = session == 0 ? 3 : input_.ConsumeIntegral<uint8_t>();
            return -1;
        }
        return 0;
    }
    // -1 with a new status, or a count up to size with that many bytes copied.
    int Answer(int session, uint8_t* buffer, int size) {
        if (Result(session) < 0) return -1;
        const size_t most = size > 0 ? size_t(size) : 0;
        const Bytes bytes = input_.ConsumeBytes<uint8_t>(input_.ConsumeIntegralInRange<size_t>(0, most));
        if (!bytes.empty()) std::memcpy(buffer, bytes.data(), bytes.size());
        return int(bytes.size());
    }

    FuzzedDataProvider& input_;
    int status_ = 0;
};

class QuietHost : public Programmer::ProgrammerHost {
public:
    explicit QuietHost(FuzzedDataProvider& input) : input_(input) {}
    void ShowMessage(const std::string&) override {}
    bool AskYesNo(const std::string&) override { return input_.ConsumeBool(); }
    void SetTitle(const std::string&) override {}
    void Pause(int) override {}

private:
    FuzzedDataProvider& input_;
};

std::string Field(FuzzedDataProvider& input) {
    return input.ConsumeRandomLengthString(80);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider input(data, size);
    HostileLink link(input);
    QuietHost host(input);
    Programmer::TransponderOperations operations(host, link);
    operations.SetSession(input.ConsumeBool() ? 1 : 0);
    Programmer::TransponderValues& values = operations.Values();

    for (int step = 0; step < 12 && input.remaining_bytes() > 0; ++step) {
        const size_t writesBefore = link.writes.size();
        switch (input.ConsumeIntegralInRange(0, 14)) {
        case 0:
            values.selectedEpc = Field(input);
            break;
        case 1:
            values.epc = Field(input);
            operations.EpcEdited();
            break;
        case 2:
            values.userData = Field(input);
            values.userStart = input.ConsumeIntegralInRange(-4, 0x20000);
            values.userLength = input.ConsumeIntegralInRange(-4, 260);
            operations.UserStartLeft();
            operations.UserLengthLeft();
            break;
        case 3:
            (input.ConsumeBool() ? values.killPassword : values.accessPassword) = Field(input);
            break;
        case 4:
            values.pc = Field(input);
            values.payloadLength = input.ConsumeIntegralInRange(-2, 80);
            operations.PayloadLengthEdited();
            FUZZ_CHECK(HexText::Parse(values.pc, 8).size() == 2, values.pc);
            break;
        case 5:
            operations.Inventory();
            break;
        case 6:
            operations.ReadAll();
            break;
        case 7:
            operations.ReadEpc();
            break;
        case 8:
            operations.ReadTid();
            break;
        case 9:
            operations.ReadUser();
            break;
        case 10: {
            const Bytes epc = HexText::Parse(values.epc, HexText::EpcWriteLimit);
            operations.WriteEpc();
            for (size_t i = writesBefore; i < link.writes.size(); ++i) {
                // The new PC (only its length bits), then the EPC as typed, at word 1 of bank 1.
                const Write& w = link.writes[i];
                FUZZ_CHECK(w.bank == Programmer::Bank::Epc && w.word == 1);
                FUZZ_CHECK(w.bytes.size() == epc.size() + 2 && (w.bytes[0] & 0x07) == 0 && w.bytes[1] == 0);
                FUZZ_CHECK(std::equal(epc.begin(), epc.end(), w.bytes.begin() + 2));
            }
            FUZZ_CHECK(link.writes.size() <= writesBefore + 1);
            break;
        }
        case 11: {
            operations.WriteUser();
            FUZZ_CHECK(link.writes.size() <= writesBefore + 1);
            if (link.writes.size() > writesBefore) {
                const Write& w = link.writes.back();
                FUZZ_CHECK(w.bank == Programmer::Bank::User && w.word == values.userStart / 2);
                FUZZ_CHECK(w.bytes.size() <= size_t(Programmer::TransponderOperations::ReadBufferSize));
                FUZZ_CHECK(HexText::Format(w.bytes) == HexText::Format(HexText::Parse(values.userData, 200)));
            }
            break;
        }
        case 12:
        case 13: {
            const Programmer::Password which =
                input.ConsumeBool() ? Programmer::Password::Kill : Programmer::Password::Access;
            const std::string field =
                which == Programmer::Password::Kill ? values.killPassword : values.accessPassword;
            if (input.ConsumeBool()) {
                operations.ReadPassword(which);
                break;
            }
            operations.WritePassword(which);
            FUZZ_CHECK(link.writes.size() <= writesBefore + 1);
            if (link.writes.size() > writesBefore) {
                // Exactly the four bytes of the field, at the password's word.
                const Write& w = link.writes.back();
                FUZZ_CHECK(w.bank == Programmer::Bank::Reserved);
                FUZZ_CHECK(w.word == Programmer::TransponderOperations::PasswordByteAddress(which) / 2);
                FUZZ_CHECK(w.bytes == HexText::Parse(field, HexText::FieldLimit), field);
                FUZZ_CHECK(w.bytes.size() == 4);
            }
            break;
        }
        default:
            if (operations.BeginCyclicInventory()) {
                for (int round = input.ConsumeIntegralInRange(0, 3); round > 0; --round)
                    operations.CyclicInventoryRound();
                operations.EndCyclicInventory();
            }
            FUZZ_CHECK(!operations.CyclicInventoryRunning());
            break;
        }
        // Nothing is written without a programmer.
        if (link.writes.size() > writesBefore) FUZZ_CHECK(operations.Session() != 0);
        FUZZ_CHECK(values.epcList.size() <= size_t(Programmer::TransponderOperations::MaxNextRequests) + 1);
    }
    return 0;
}
