// CReadBack: the read-back report ("Inhalt lesen"): reads the six blocks out
// of a reader and appends them to a text report, decoded. Lines end in
// "\r\n"; every line of the decoded part starts with a blank.
#pragma once

#include "SetupHost.h"

#include <cstddef>
#include <cstdint>
#include <string>

class CReadBack {
public:
    // session: one the caller opened (0 = connect with the stored settings).
    // The read-back closes it when it is done.
    explicit CReadBack(int session = 0, int baud = 19200, int connectionFlags = 0);

    const std::string& Report() const { return m_report; }
    // "Löschen" (and opening): the report is emptied.
    void Clear() { m_report.clear(); }

    // One read-back, appended to the report. False when no reader was found
    // (the connect procedure showed why); the dialog then closes when it was
    // the read-back of its opening.
    bool Run(ISetupHost& host);

    int Session() const { return m_session; }
    // Whether the last Run read and decoded all six blocks (no read failed).
    bool Complete() const { return m_complete; }

    // The pieces of the report, for the dialog, the command line and tests.
    // " " + label + "%02X " per byte up to the first 0xFF + "\r\n".
    static std::string KeySequenceLine(int labelId, const uint8_t* bytes, size_t count);
    // The separator after the four key sequence lines.
    static std::string Separator();
    // The decoded Param and ModeParam blocks; 546 alone when either is short.
    static std::string ParameterLines(const uint8_t* param, size_t paramCount, const uint8_t* mode,
                                      size_t modeCount);

private:
    int m_session;
    int m_baud;
    [[maybe_unused]] int m_flags; // the connection flags the dialog was opened with
    std::string m_report;
    bool m_complete = false;
};
