#include "LibraryErrors.h"

#include "LinkVocabulary.h"
#include "ProgrammerTexts.h"

namespace Programmer {

int LibraryErrors::StringId(int code) {
    switch (code) {
    case LinkStatus::UnknownId:
        return TextId::PortOpenError;
    case LinkStatus::Timeout:
        return TextId::Timeout;
    case LinkStatus::BufferTooSmall:
        return TextId::BlockLength;
    case LinkStatus::PayloadTooLong:
        return TextId::WrongDataCount;
    case LinkStatus::NothingToSend:
        return TextId::NoSendData;
    case LinkStatus::NoReader:
        return TextId::NoReader;
    case LinkStatus::NoValueInformation:
        return TextId::NoValueInformation;
    case LinkStatus::WrongDataCountSent:
        return TextId::WrongDataCountSent;
    case LinkStatus::NoTransponder:
        return TextId::NoValidTransponder;
    case LinkStatus::Collision:
        return TextId::Collision;
    case LinkStatus::UnknownCommand:
        return TextId::UnknownCommand;
    default:
        return TextId::UnknownError;
    }
}

std::string LibraryErrors::Text(int code) {
    return ProgrammerTexts::Get(StringId(code));
}

} // namespace Programmer
