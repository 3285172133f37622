#include "LibraryErrors.h"

#include "ProgrammerTexts.h"

namespace Programmer {

int LibraryErrors::StringId(int code) {
    switch (code) {
    case 3:
        return TextId::PortOpenError;
    case 4:
        return TextId::Timeout;
    case 5:
        return TextId::BlockLength;
    case 6:
        return TextId::WrongDataCount;
    case 8:
        return TextId::NoSendData;
    case 11:
        return TextId::NoReader;
    case 19:
        return TextId::NoValueInformation;
    case 20:
        return TextId::WrongDataCountSent;
    case 21:
        return TextId::NoValidTransponder;
    case 23:
        return TextId::Collision;
    case 24:
        return TextId::UnknownCommand;
    default:
        return TextId::UnknownError;
    }
}

std::string LibraryErrors::Text(int code) {
    return ProgrammerTexts::Get(StringId(code));
}

} // namespace Programmer
