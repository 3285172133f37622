#include "ProgrammerTexts.h"

#include "TextTable.h"

namespace Programmer {

std::string ProgrammerTexts::Get(int id) {
    return TextTable::Get(TextTable::Program::Programmer, id);
}

std::string ProgrammerTexts::FieldName(int control) {
    std::string name = TextTable::Dialog(TextTable::Program::Programmer, 102, control);
    while (!name.empty() && (name.back() == ':' || name.back() == ' '))
        name.pop_back();
    return name;
}

} // namespace Programmer
