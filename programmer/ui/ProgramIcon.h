// The programmer's icon (the dialog's big and small icon, the menu button):
// a transponder card with its antenna, drawn at the sizes asked for.
#pragma once

#include <QIcon>

namespace Programmer {

QIcon ProgramIcon();

} // namespace Programmer
