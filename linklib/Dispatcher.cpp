#include "Dispatcher.h"

#include "DebugLog.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <ctime>
#include <poll.h>
#include <thread>

CDispatcher& CDispatcher::Instance() {
    static CDispatcher instance;
    return instance;
}

void CDispatcher::SetUiHooks(const LinkUiHooks* hooks) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_hooks = hooks ? *hooks : LinkUiHooks{};
}

LinkUiHooks CDispatcher::Hooks() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_hooks;
}

bool CDispatcher::HasUiHooks() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_hooks.pumpEvents != nullptr;
}

bool CDispatcher::HasSources() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return !m_sources.empty();
}

void CDispatcher::AddSource(Source* source) {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (std::find(m_sources.begin(), m_sources.end(), source) == m_sources.end()) m_sources.push_back(source);
}

void CDispatcher::RemoveSource(Source* source) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_sources.erase(std::remove(m_sources.begin(), m_sources.end(), source), m_sources.end());
}

void CDispatcher::DispatchOnce() {
    // A source may close (and unregister) itself or another one while being
    // dispatched, so each is looked up again before it is called.
    std::vector<Source*> snapshot;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        snapshot = m_sources;
    }
    for (Source* source : snapshot) {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            if (std::find(m_sources.begin(), m_sources.end(), source) == m_sources.end()) continue;
        }
        source->OnDispatch();
    }
    const LinkUiHooks hooks = Hooks();
    if (hooks.pumpEvents) hooks.pumpEvents(hooks.context);
}

void CDispatcher::DispatchFor(int milliseconds) {
    const auto start = Clock::now();
    const auto end = start + std::chrono::milliseconds(std::max(milliseconds, 0));
    for (;;) {
        DispatchOnce();
        const auto now = Clock::now();
        if (now >= end) break;
        WaitForInput(std::min(end, now + std::chrono::milliseconds(1)));
    }
}

void CDispatcher::WaitForInput(Clock::time_point until) {
    std::vector<pollfd> fds;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        for (const Source* source : m_sources) {
            const int fd = source->PollFd();
            if (fd >= 0) fds.push_back(pollfd{fd, POLLIN, 0});
        }
    }
    const auto now = Clock::now();
    if (until <= now) return;
    const auto left = std::chrono::duration_cast<std::chrono::nanoseconds>(until - now).count();
    if (fds.empty()) {
        std::this_thread::sleep_for(std::chrono::nanoseconds(left));
        return;
    }
    const timespec timeout{time_t(left / 1000000000), long(left % 1000000000)};
    // EINTR only ends this wait early; the caller looks at its deadline anyway.
    (void)ppoll(fds.data(), fds.size(), &timeout, nullptr);
}

int CDispatcher::DisableMainWindow() {
    const LinkUiHooks hooks = Hooks();
    return hooks.disableMainWindow ? hooks.disableMainWindow(hooks.context) : -1;
}

void CDispatcher::RestoreMainWindow(int previous) {
    const LinkUiHooks hooks = Hooks();
    if (previous >= 0 && hooks.restoreMainWindow) hooks.restoreMainWindow(hooks.context, previous);
}

void CDispatcher::SetWaitCursor(bool on) {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (on ? m_busyDepth++ > 0 : (m_busyDepth == 0 || --m_busyDepth > 0)) return;
    }
    const LinkUiHooks hooks = Hooks();
    if (hooks.setWaitCursor) hooks.setWaitCursor(hooks.context, on ? 1 : 0);
}

void CDispatcher::ShowWaitCursorAgain() {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_busyDepth == 0) return;
    }
    const LinkUiHooks hooks = Hooks();
    if (hooks.setWaitCursor) hooks.setWaitCursor(hooks.context, 1);
}

void CDispatcher::SetMessageHook(LinkMessageHook hook) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_messageHook = hook;
}

void CDispatcher::ShowMessage(const std::string& text) {
    LinkMessageHook hook;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        hook = m_messageHook;
    }
    if (hook)
        hook(text.c_str());
    else
        DebugLog::Write(text);
}
