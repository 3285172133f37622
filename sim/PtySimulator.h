// CPtySimulator: puts a CSimReader on the master side of a pseudo-terminal, so
// a host opens the slave path as if it were the reader's serial port.
//
// One I/O thread polls the master, feeds received bytes (with arrival times)
// into the engine and writes what it answers. The simulator keeps a slave fd
// open itself: the master then never sees a hang-up when the host closes and
// reopens the port, and the host's line settings can be read from it.
//
// Line time (default on): bytes leave at the pace of the engine's line
// settings (10 bits per byte for 8N1, 11 otherwise) on an absolute schedule,
// and a request counts as received only when its last byte would have
// arrived at that pace after its first. A pty itself does not pace anything.
//
// Host line check (default on): bytes that arrive while the host's output
// speed differs from the engine's baud rate are line garbage, never answered,
// as a real reader would see framing errors. A pty drops PARENB, so only the
// speed can be compared.
//
// Every public member may be called from any thread.
#pragma once

#include "SimReader.h"

#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

class CPtySimulator {
public:
    struct Options {
        bool lineTime = true;
        bool hostLineCheck = true;
        std::string linkPath; // symlink to the slave, replaced if it is a symlink already
        bool announce = true; // announce file for port lists (SimAnnounce)
        std::string label;    // announce label; empty: "Simulated <model>"
    };

    explicit CPtySimulator(CSimReader& reader);
    CPtySimulator(CSimReader& reader, const Options& options);
    ~CPtySimulator();
    CPtySimulator(const CPtySimulator&) = delete;
    CPtySimulator& operator=(const CPtySimulator&) = delete;

    // Opens a new pty, sets its slave to raw mode at the engine's baud rate,
    // places the link and the announce file and starts the I/O thread. Also
    // used after Unplug to plug the device in again (with a new slave path).
    bool Start(std::string* error = nullptr);
    // Ends the I/O thread, closes the pty and removes link and announce file.
    void Stop();
    // As Stop: the host's open port sees POLLHUP, reads give 0 and writes EIO,
    // as when a USB adapter is pulled.
    void Unplug();

    bool IsRunning() const;
    bool IsUnplugged() const;
    std::string SlavePath() const;
    std::string DevicePath() const; // the link if one was asked for, else the slave path
    std::string AnnounceFile() const;
    Options GetOptions() const;
    void SetLineTime(bool on);
    void SetHostLineCheck(bool on);
    size_t MismatchedReads() const { return m_mismatchedReads; } // reads taken as garbage

    CSimReader& Reader() { return m_reader; }

private:
    struct WakeFd;

    void Run();
    void CloseLocked();

    CSimReader& m_reader;
    mutable std::mutex m_control;
    Options m_options;
    std::atomic<bool> m_lineTime{true};
    std::atomic<bool> m_hostLineCheck{true};
    std::shared_ptr<WakeFd> m_wake;
    int m_master = -1;
    int m_slave = -1;
    std::string m_slavePath;
    std::string m_announceFile;
    std::thread m_thread;
    std::atomic<bool> m_stop{false};
    bool m_running = false;
    bool m_unplugged = false;
    std::atomic<size_t> m_mismatchedReads{0};
};
