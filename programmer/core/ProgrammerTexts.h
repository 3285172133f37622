// The string ids the programmer's logic shows, and their lookup in the
// programmer's text table (German, or the loaded language module).
#pragma once

#include <string>

namespace Programmer {

namespace TextId {
// Status of a read or write.
constexpr int WriteFailed = 120;
constexpr int WriteOk = 121;
constexpr int ReadFailed = 122;
constexpr int ReadOk = 123;
constexpr int SelectFailed = 119;
constexpr int NoAccess = 32849;
constexpr int PasswordLength = 124;
constexpr int DataLengthQuestion = 125;
// The user memory goes through a buffer of 200 bytes: a longer (or
// negative) user length is refused before anything is sent.
constexpr int UserLengthRange = 300;
// A hex field refused before anything is sent: "%1" the field's label, "%2"
// the token that is no byte.
constexpr int InvalidHex = 301;
// The device went away (unplugged, hung up) while connected.
constexpr int ConnectionLost = 302;
// Connect.
constexpr int NoReader = 129;
constexpr int FirmwareFormat = 139;
constexpr int ReaderOnly = 231;
// Library error texts.
constexpr int PortOpenError = 180;
constexpr int Timeout = 104;
constexpr int BlockLength = 165;
constexpr int WrongDataCount = 112;
constexpr int NoSendData = 188;
constexpr int NoValueInformation = 177;
constexpr int WrongDataCountSent = 115;
constexpr int NoValidTransponder = 230;
constexpr int Collision = 118;
constexpr int UnknownCommand = 176;
constexpr int UnknownError = 117;
} // namespace TextId

class ProgrammerTexts {
public:
    static std::string Get(int id);
    // The main dialog's label of a control ("102.<id>") without its colon:
    // "Kill Passwort" for 1034.
    static std::string FieldName(int control);
};

} // namespace Programmer
