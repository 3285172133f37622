#include "Dispatcher.h"

#include <algorithm>
#include <chrono>
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
    const auto start = std::chrono::steady_clock::now();
    for (;;) {
        DispatchOnce();
        if (std::chrono::steady_clock::now() - start >= std::chrono::milliseconds(milliseconds)) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
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
    const LinkUiHooks hooks = Hooks();
    if (hooks.setWaitCursor) hooks.setWaitCursor(hooks.context, on ? 1 : 0);
}
