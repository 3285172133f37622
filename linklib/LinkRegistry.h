// CLinkRegistry: the one process-wide owner of every open reader session.
// Lookups by id take the registry mutex; adding and removing happen on the
// calling thread.
#pragma once

#include "LinkApi.h"

#include <memory>
#include <mutex>
#include <string>
#include <vector>

class CReaderSession;

class CLinkRegistry {
public:
    CLinkRegistry();
    ~CLinkRegistry();
    CLinkRegistry(const CLinkRegistry&) = delete;
    CLinkRegistry& operator=(const CLinkRegistry&) = delete;

    // The session whose current id equals id, or null.
    CReaderSession* Find(int id);
    void Add(std::unique_ptr<CReaderSession> session);
    // Takes the session out of the list; the caller destroys it.
    std::unique_ptr<CReaderSession> Remove(CReaderSession* session);
    size_t Count();

    LinkTraceHook TraceHook() const { return m_traceHook; }
    void SetTraceHook(LinkTraceHook hook) { m_traceHook = hook; }

private:
    std::mutex m_mutex;
    std::vector<std::unique_ptr<CReaderSession>> m_sessions;
    LinkTraceHook m_traceHook = nullptr;
};

// The registry instance, built before the program's own start-up code.
CLinkRegistry& LinkRegistry();

// Writes entries in the device list format; returns the bytes used.
int CopyDeviceList(const std::vector<std::string>& entries, char* buffer, int size);
