// The status line of the main dialog: what a read or write came to.
#pragma once

#include <string>

namespace Programmer {

// Result of an addressed operation (select, then read or write).
namespace Result {
constexpr int ConnectionLost = -5; // the device went away (unplugged, hung up)
constexpr int NoSession = -3;      // no programmer connected
constexpr int SelectFailed = -2;   // the transponder could not be selected
constexpr int Failed = -1;         // the read or write failed; the session status says why
// 0: nothing read or written; >0: the number of bytes read or written.
} // namespace Result

enum class Access { Read, Write };

class StatusText {
public:
    // "text <code>", a code from 129 to 255 shown as the signed byte it is
    // (a reader's status byte 255 reads -1).
    static std::string WithCode(const std::string& text, int code);
    static int ShownCode(int code) { return code >= 129 && code <= 255 ? code - 256 : code; }

    // The status after an operation's result; lastError is the session
    // status, used for a failed read or write. Result 0 leaves the status as
    // it was, so the current text is passed in and comes back unchanged.
    static std::string ForResult(int result, Access access, int lastError, const std::string& current);
};

} // namespace Programmer
