// The transponder operations of the programmer's main dialog: one function
// per button and per field update, working on TransponderValues and the
// session of the connected programmer device. Every result ends in
// Values().status; the functions also return it for callers without a
// dialog (the command line).
//
// Addressed operations first select the transponder named by the selection
// (Values().selectedEpc, at most 16 bytes) and give a result:
// Result::ConnectionLost (-5), Refused (-4, a field was refused before
// anything was sent), Result::NoSession (-3), Result::SelectFailed (-2),
// Result::Failed (-1, the session status says why), or the number of bytes
// read or written.
//
// Hex fields are read with HexText::Read: a field it refuses sends nothing,
// its status names the field (string 301) and InvalidField() its control.
//
// A device that goes away (unplugged, hung up) is noticed before each
// exchange and after each failed one (TagLink::IsConnected): from then on
// nothing more is sent, every operation reports string 302, and
// ConnectionLost() tells the program to close the session (the dialog then
// connects again on the next operation, the command line fails).
#pragma once

#include "HexText.h"
#include "PcWord.h"
#include "ProgrammerHost.h"
#include "StatusText.h"
#include "TagLink.h"
#include "TransponderValues.h"

namespace Programmer {

// Memory banks of a transponder.
namespace Bank {
constexpr int Reserved = 0; // kill password at byte 0, access password at byte 4
constexpr int Epc = 1;      // CRC, PC, EPC
constexpr int Tid = 2;
constexpr int User = 3;
} // namespace Bank

enum class Password { Kill, Access };

// An operation refused before anything was sent (wrong password length, user
// length out of range, a hex field that is no bytes); its text is in the
// status already.
constexpr int Refused = -4;

// The hex fields, by the id of their control (what InvalidField() gives).
namespace HexField {
constexpr int Selection = 1095;
constexpr int Epc = 1041;
constexpr int UserData = 1030;
constexpr int KillPassword = 1034;
constexpr int AccessPassword = 1035;
} // namespace HexField

struct EpcWriteOutcome {
    int result = Result::NoSession; // of the write itself
    int rfCycles = 0;               // RF off/on cycles run afterwards
    bool found = false;             // an inventory after a cycle found a transponder
    bool readBack = false;          // CRC and PC of the new EPC were read from bank 1
};

class TransponderOperations {
public:
    static constexpr int InventoryBufferSize = 100;
    static constexpr int ReadBufferSize = 200; // whole-bank reads and the user data
    static constexpr int EpcWriteTries = 6;
    static constexpr int RfPauseMs = 200;
    // A reader announces at most 255 transponders; more "next" requests than
    // that mean it never counts down, and the inventory stops there.
    static constexpr int MaxNextRequests = 255;

    explicit TransponderOperations(ProgrammerHost& host, TagLink& link = TagLink::Api());

    // 0 = no programmer connected. A new session (or none) forgets a lost one.
    void SetSession(int session) {
        session_ = session;
        lost_ = false;
    }
    int Session() const { return session_; }

    // The session's device went away; the status says so. Stays until the
    // next SetSession.
    bool ConnectionLost() const { return lost_; }
    // Asks the link whether the device is still there, without sending
    // anything; false (status string 302) once it is gone. True without a
    // session.
    bool CheckConnection();
    // The control id (HexField) of the field the last refusal named, 0 when
    // none; taking it clears it.
    int TakeInvalidField() {
        const int field = invalidField_;
        invalidField_ = 0;
        return field;
    }

    TransponderValues& Values() { return values_; }
    const TransponderValues& Values() const { return values_; }

    // --- Buttons ---------------------------------------------------------
    // "Inventory" (1012): the inventory procedure, only with a session.
    void Inventory();
    // "Inventory Zyklisch" (1070). Begin when the button goes down: false
    // (and nothing done) without a session. Then one round per loop pass,
    // with the dialog pumping its events in between, until the button is
    // released: End. While it runs the reply waits leave the window enabled.
    bool BeginCyclicInventory();
    bool CyclicInventoryRound();
    void EndCyclicInventory();
    bool CyclicInventoryRunning() const { return cyclic_; }
    // "Alles lesen" (1032): inventory, EPC, TID, the whole user bank (start
    // and length become 0 first), access and kill password.
    void ReadAll();
    // EPC group "Lesen" (1042) / "Schreiben" (1043). After a write that
    // succeeded and an inventory that found the transponder again, its new
    // CRC and PC are read back from bank 1, and the status says the write
    // succeeded.
    int ReadEpc();
    EpcWriteOutcome WriteEpc();
    // TID "Lesen" (1045).
    int ReadTid();
    // User memory "Lesen" (1046) / "Schreiben" (1047). The write asks
    // question 125 through the host when the data and the user length
    // differ.
    int ReadUser();
    int WriteUser();
    // Kill "Lesen" (1029) / "Schreiben" (1036); access "Lesen" (1037) /
    // "Schreiben" (1038).
    int ReadPassword(Password which);
    int WritePassword(Password which);

    // --- Field updates ---------------------------------------------------
    // While the EPC field changes: its byte count becomes the EPC length.
    void EpcEdited();
    // While the payload length changes: the PC's length bits follow it.
    void PayloadLengthEdited();
    // When start, user length or payload length lose the focus.
    void UserStartLeft() { values_.userStart = PcWord::MakeEven(values_.userStart); }
    void UserLengthLeft() { values_.userLength = PcWord::MakeEven(values_.userLength); }
    void PayloadLengthLeft() { values_.payloadLength = PcWord::MakeEven(values_.payloadLength); }

    // --- Procedures the buttons are made of -------------------------------
    // The inventory procedure: true when a transponder was found; the
    // selection then holds the first EPC.
    bool RunInventory();
    // Select, then read length bytes from the byte address (word address =
    // byte address / 2). data receives the bytes read.
    int ReadBank(int bank, int byteAddress, int length, Bytes& data);
    // Select, then read the whole bank into a 200-byte buffer.
    int ReadWholeBank(int bank, Bytes& data);
    // Select, then write the bytes at the byte address.
    int WriteBank(int bank, int byteAddress, const Bytes& data);
    // The status for an addressed operation's result.
    void Report(int result, Access access);

    static int PasswordByteAddress(Password which) { return which == Password::Kill ? 0 : 4; }

private:
    int SelectTransponder();
    int SelectBytes(const Bytes& selection);
    bool ReadField(const std::string& text, size_t limit, int field, Bytes& bytes);
    // Whether the device went away (asks the link once per session).
    bool Lost();
    // A failed call's result, or ConnectionLost when the device went away.
    int FailedOrLost(int result) { return Lost() ? Result::ConnectionLost : result; }
    void ReportLost();
    bool ReadBackPcAndCrc(const Bytes& written);
    std::string& PasswordField(Password which);
    bool UserLengthInRange();

    ProgrammerHost& host_;
    TagLink& link_;
    int session_ = 0;
    bool cyclic_ = false;
    bool lost_ = false;
    int invalidField_ = 0;
    TransponderValues values_;
};

} // namespace Programmer
