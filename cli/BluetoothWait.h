// "searching for the reader ..." while a Bluetooth reader is being reached.
//
// A session over a Bluetooth adapter module opens at once; the module's
// inquiry and the link set-up run inside the first exchange and may take
// up to ten seconds. The library keeps calling the program's event pump
// during those waits; the command line uses it to say, once and on stderr,
// that it is still looking when no reply has come after a second.
#pragma once

#include <string>

namespace Cli {

// Call before a link port name is opened. For a Bluetooth name the watch
// starts now (and the trace hook is taken over: --trace still prints);
// other names leave the hooks as they are. trace: --trace was given.
void WatchBluetoothWait(const std::string& linkPortName, bool trace);
// The same watch for any name (the module inquiry of "bt scan").
void WatchSearch(bool trace);

// The watch's rule, apart from the hooks: the text is due once, when more
// than 1000 ms have passed since the start and no reply has arrived.
class SearchNotice {
public:
    static constexpr const char* Text = "searching for the reader ...";
    static constexpr long DelayMs = 1000;
    void Start(long nowMs);
    void ReplyArrived() { m_armed = false; }
    // True once: the moment the text is to be printed.
    bool Due(long nowMs);

private:
    bool m_armed = false;
    long m_startMs = 0;
};

// Whether a trace line ("<(id) 02 03 ...") carries received bytes.
bool TraceLineReceived(const char* line);

} // namespace Cli
