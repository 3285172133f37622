#include "ProgrammerHost.h"

#include <chrono>
#include <thread>

namespace Programmer {

void ProgrammerHost::ShowMessage(const std::string&) {}

bool ProgrammerHost::AskYesNo(const std::string&) {
    return false;
}

void ProgrammerHost::SetTitle(const std::string&) {}

void ProgrammerHost::SetBusy(bool) {}

void ProgrammerHost::Pause(int milliseconds) {
    if (milliseconds > 0) std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

} // namespace Programmer
