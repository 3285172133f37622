#include "ProgrammerTexts.h"

#include "TextTable.h"

namespace Programmer {

std::string ProgrammerTexts::Get(int id) {
    return TextTable::Get(TextTable::Program::Programmer, id);
}

} // namespace Programmer
