// A progress line on stderr for long work: redrawn in place ("\r", the rest
// of the line cleared), and cleared when the work ends, so that the next
// line starts on a clean line. It shows only when both stdout and stderr are
// terminals: nothing of it reaches a pipe, a file or a log.
#pragma once

#include <string>

namespace Cli {

class ProgressLine {
public:
    ProgressLine();
    ~ProgressLine();
    ProgressLine(const ProgressLine&) = delete;
    ProgressLine& operator=(const ProgressLine&) = delete;

    // Whether this run shows progress at all.
    static bool Wanted();
    // No progress for the rest of the run (--trace: its frame lines share stderr).
    static void Disable();
    bool Enabled() const { return m_enabled; }

    // The line now reads text (nothing when not enabled).
    void Show(const std::string& text);
    // The line is taken away; the cursor is at the start of an empty line.
    void Clear();
    // A message line on stderr while progress may be shown: the progress
    // line is cleared first, and drawn again by the next Show.
    void Say(const std::string& line);
    // Clears whichever progress line is shown, before a message is printed.
    static void ClearShown();

private:
    bool m_enabled;
    bool m_shown = false;
};

// While one lives, every port the connect opens (each rate of a baud search
// too) is named on a progress line: "connecting to PORT at 9600 baud".
class ConnectProgress {
public:
    ConnectProgress();
    ~ConnectProgress();
    ConnectProgress(const ConnectProgress&) = delete;
    ConnectProgress& operator=(const ConnectProgress&) = delete;

private:
    bool m_owner = false; // the outermost one shows the line
};

// The text of that line for a port and rate (the rate only for a serial port).
std::string ConnectingText(const std::string& linkPortName, int baud);

} // namespace Cli
