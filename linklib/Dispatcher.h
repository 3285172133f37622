// The library's dispatcher: what a wait does on the calling (user-interface)
// thread to keep the program alive. One dispatch reads the sources that have
// no thread of their own (network sockets) without blocking and then runs
// the program's pump hook. A wait that expects input from a source blocks in
// poll() on the sources' descriptors, so it wakes as soon as one is
// readable. The program's window, cursor and message hooks live here too.
// Without hooks every call is a cheap no-op.
#pragma once

#include "LinkApi.h"

#include <chrono>
#include <mutex>
#include <string>
#include <vector>

class CDispatcher {
public:
    // Something read without blocking on each dispatch (a LAN socket).
    class Source {
    public:
        virtual ~Source() = default;
        virtual void OnDispatch() = 0;
        // The descriptor whose readiness means OnDispatch has something to
        // read, or -1 (nothing to wait for now).
        virtual int PollFd() const { return -1; }
    };
    using Clock = std::chrono::steady_clock;

    static CDispatcher& Instance();

    void SetUiHooks(const LinkUiHooks* hooks);

    void AddSource(Source* source);
    void RemoveSource(Source* source);

    // Whether the program installed an event pump, and whether any source
    // (a LAN socket) is registered: waits then run in steps.
    bool HasUiHooks() const;
    bool HasSources() const;

    // Reads every source once, then pumps the program's events once.
    void DispatchOnce();
    // Dispatches repeatedly until milliseconds have passed (at least once;
    // 0 means once). Between rounds it waits for a source to become
    // readable, at most 1 ms.
    void DispatchFor(int milliseconds);
    // Blocks until a source's descriptor is readable or until (whichever
    // comes first); without sources it only sleeps. Dispatches nothing.
    void WaitForInput(Clock::time_point until);

    // Returns the previous state for RestoreMainWindow (-1: no window).
    int DisableMainWindow();
    void RestoreMainWindow(int previous);
    // The wait cursor, nested: shown by the first of nested busy scopes and
    // taken away by the last. ShowWaitCursorAgain shows it once more while a
    // scope is open (after the program's events may have changed it).
    void SetWaitCursor(bool on);
    void ShowWaitCursorAgain();

    // A text the library shows the user: through the program's message hook
    // (LinkSetMessageHook), else into the debug log.
    void SetMessageHook(LinkMessageHook hook);
    void ShowMessage(const std::string& text);

private:
    CDispatcher() = default;
    LinkUiHooks Hooks() const;

    mutable std::mutex m_mutex;
    LinkUiHooks m_hooks{};
    LinkMessageHook m_messageHook = nullptr;
    std::vector<Source*> m_sources;
    int m_busyDepth = 0; // the calling thread's nested wait-cursor scopes
};

// Disables the main window for its lifetime and restores the previous state.
class CMainWindowLock {
public:
    explicit CMainWindowLock(bool active = true)
        : m_active(active), m_previous(active ? CDispatcher::Instance().DisableMainWindow() : -1) {}
    ~CMainWindowLock() {
        if (m_active) CDispatcher::Instance().RestoreMainWindow(m_previous);
    }
    CMainWindowLock(const CMainWindowLock&) = delete;
    CMainWindowLock& operator=(const CMainWindowLock&) = delete;

private:
    bool m_active;
    int m_previous;
};

// Shows the wait cursor and disables the main window for its lifetime.
class CBusyScope {
public:
    CBusyScope() { CDispatcher::Instance().SetWaitCursor(true); }
    ~CBusyScope() { CDispatcher::Instance().SetWaitCursor(false); }
    CBusyScope(const CBusyScope&) = delete;
    CBusyScope& operator=(const CBusyScope&) = delete;

private:
    CMainWindowLock m_window;
};
