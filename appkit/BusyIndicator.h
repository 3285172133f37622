// The busy indicator: "Bitte warten ..." with an indeterminate bar in a small
// window of its own beside the active window, once the wait cursor has been
// up for longer than a second. Every appkit::WaitCursor counts (the nested
// ones as one wait, timed from the outermost); the link library's waits
// reach it through the wait cursor and the event pump of UiHooks.
//
// A window of its own, so that no dialog's contents change. It shows only
// while the program really waits: not while a message box asks something
// during the wait (a box is modal, or the cursor above the wait cursor is
// another one); it comes back when the box is gone and the wait goes on.
//
// It is looked at by a 100 ms timer while a wait runs and by each poll step
// of a link wait, so it appears whenever the operation keeps events flowing;
// an operation that blocks the user-interface thread shows nothing.
#pragma once

#include <QtGlobal>
#include <functional>

class QWidget;

namespace appkit {

class BusyIndicator {
public:
    // How long the wait cursor is up before the indicator shows.
    static constexpr qint64 DelayMs = 1000;

    // A wait begins / ends (WaitCursor does this). ownProgress: the window
    // shows a progress of its own; while such a wait runs, the indicator
    // stays away, for the waits nested in it too.
    static void Begin(bool ownProgress = false);
    static void End(bool ownProgress = false);
    // Shows or hides the indicator as the wait and the clock stand.
    static void Poll();

    static bool Visible();
    // The indicator's window (null until it was first shown).
    static QWidget* Window();

    // Milliseconds of a monotonic clock; null gives back the real one.
    using Clock = std::function<qint64()>;
    static void SetClock(Clock clock);
};

} // namespace appkit
