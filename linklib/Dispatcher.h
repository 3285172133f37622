// The library's dispatcher: what a wait does on the calling (user-interface)
// thread to keep the program alive. One dispatch reads the sources that have
// no thread of their own (network sockets) without blocking and then runs
// the program's pump hook. The program's window and cursor hooks live here
// too. Without hooks every call is a cheap no-op.
#pragma once

#include "LinkApi.h"

#include <mutex>
#include <vector>

class CDispatcher {
public:
    // Something read without blocking on each dispatch (a LAN socket).
    class Source {
    public:
        virtual ~Source() = default;
        virtual void OnDispatch() = 0;
    };

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
    // 0 means once), waiting at most 1 ms between rounds.
    void DispatchFor(int milliseconds);

    // Returns the previous state for RestoreMainWindow (-1: no window).
    int DisableMainWindow();
    void RestoreMainWindow(int previous);
    void SetWaitCursor(bool on);

private:
    CDispatcher() = default;
    LinkUiHooks Hooks() const;

    mutable std::mutex m_mutex;
    LinkUiHooks m_hooks{};
    std::vector<Source*> m_sources;
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
