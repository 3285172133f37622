#include "LinkRegistry.h"

#include "Dispatcher.h"
#include "HidDevice.h"
#include "ReaderSession.h"

#include <algorithm>
#include <cstring>

CLinkRegistry::CLinkRegistry() {
    // The dispatcher is built first so that it outlives the registry: the
    // sessions closed at the end still dispatch (a LAN connection's close).
    CDispatcher::Instance();
    CHidDevice::BindHidLibraries();
}

CLinkRegistry::~CLinkRegistry() {
    std::vector<std::unique_ptr<CReaderSession>> sessions;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        sessions.swap(m_sessions);
    }
    for (auto& session : sessions)
        session->CloseTransport();
    sessions.clear();
    CHidDevice::UnbindHidLibraries();
}

CReaderSession* CLinkRegistry::Find(int id) {
    if (id == 0) return nullptr;
    std::lock_guard<std::mutex> lock(m_mutex);
    for (auto& session : m_sessions)
        if (session->SessionId() == id) return session.get();
    return nullptr;
}

void CLinkRegistry::Add(std::unique_ptr<CReaderSession> session) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_sessions.push_back(std::move(session));
}

std::unique_ptr<CReaderSession> CLinkRegistry::Remove(CReaderSession* session) {
    std::lock_guard<std::mutex> lock(m_mutex);
    auto it =
        std::find_if(m_sessions.begin(), m_sessions.end(),
                     [session](const std::unique_ptr<CReaderSession>& s) { return s.get() == session; });
    if (it == m_sessions.end()) return nullptr;
    std::unique_ptr<CReaderSession> taken = std::move(*it);
    m_sessions.erase(it);
    return taken;
}

size_t CLinkRegistry::Count() {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_sessions.size();
}

CLinkRegistry& LinkRegistry() {
    static CLinkRegistry registry;
    return registry;
}

namespace {
// Build the registry when the library is loaded, before the program's own
// start-up code runs, as the single owner of every session.
struct RegistryAtLoad {
    RegistryAtLoad() { LinkRegistry(); }
} registryAtLoad;
} // namespace

int CopyDeviceList(const std::vector<std::string>& entries, char* buffer, int size) {
    if (!buffer || size < 1) return 0;
    size_t pos = 0;
    for (const std::string& entry : entries) {
        if (pos + entry.size() + 2 > size_t(size)) break;
        std::memcpy(buffer + pos, entry.c_str(), entry.size() + 1);
        pos += entry.size() + 1;
    }
    buffer[pos] = '\0';
    return int(pos + 1);
}
