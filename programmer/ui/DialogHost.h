// The programmer's logic inside the main dialog: messages in message boxes
// with the program title, question 125 as a Yes/No box, the title on the
// dialog, and pauses that keep the window painted.
#pragma once

#include "ProgrammerHost.h"

#include "WaitCursor.h"

#include <QPointer>
#include <QWidget>
#include <memory>

namespace Programmer {

class DialogHost : public ProgrammerHost {
public:
    explicit DialogHost(QWidget* window) : m_window(window) {}

    void ShowMessage(const std::string& text) override;
    bool AskYesNo(const std::string& text) override;
    void SetTitle(const std::string& title) override;
    // Waits in an event loop: the window keeps painting, but it is disabled
    // meanwhile (as during a reply wait), so no other operation can start in
    // the middle of the one that pauses.
    void Pause(int milliseconds) override;
    void SetBusy(bool on) override;

private:
    QPointer<QWidget> m_window;
    std::unique_ptr<appkit::WaitCursor> m_waitCursor;
};

} // namespace Programmer
