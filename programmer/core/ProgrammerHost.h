// What the programmer's logic needs from the program around it: message
// boxes, the Yes/No question, the window title, the wait cursor and the
// pauses of the RF cycle. The dialog implements it with Qt (a pause then keeps the window
// responsive); the command line and tests use their own.
#pragma once

#include <string>

namespace Programmer {

class ProgrammerHost {
public:
    virtual ~ProgrammerHost() = default;

    // A modal message box with the program title. Default: nothing shown.
    virtual void ShowMessage(const std::string& text);
    // A Yes/No question; true for Yes. Default: No.
    virtual bool AskYesNo(const std::string& text);
    // The main window's title. Default: ignored.
    virtual void SetTitle(const std::string& title);
    // Waits the given time. Default: sleeps the calling thread.
    virtual void Pause(int milliseconds);
    // The wait cursor while a connect runs that may take seconds (the
    // inquiry and link set-up of a Bluetooth reader). Default: nothing.
    virtual void SetBusy(bool on);
};

} // namespace Programmer
