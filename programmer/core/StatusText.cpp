#include "StatusText.h"

#include "ProgrammerTexts.h"

namespace Programmer {

std::string StatusText::WithCode(const std::string& text, int code) {
    return text + " <" + std::to_string(ShownCode(code)) + ">";
}

std::string StatusText::ForResult(int result, Access access, int lastError, const std::string& current) {
    const bool read = access == Access::Read;
    if (result > 0) return ProgrammerTexts::Get(read ? TextId::ReadOk : TextId::WriteOk);
    if (result == 0) return current;
    if (result == Result::Failed)
        return WithCode(ProgrammerTexts::Get(read ? TextId::ReadFailed : TextId::WriteFailed), lastError);
    if (result == Result::SelectFailed) return ProgrammerTexts::Get(TextId::SelectFailed);
    if (result == Result::ConnectionLost) return ProgrammerTexts::Get(TextId::ConnectionLost);
    return ProgrammerTexts::Get(TextId::NoAccess);
}

} // namespace Programmer
