// A HID backend of the tests' own: devices held in memory whose written
// reports are recorded and whose input reports the test queues (or a
// reader answers). Installed with SetHidBackendForTesting for as long as the
// object lives.
#pragma once

#include "Frame.h"
#include "HidBackend.h"

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

using Report = std::vector<uint8_t>;

class FakeHidDevice {
public:
    HidBackend::DeviceInfo info;
    int reportLength = 9;
    bool openFails = false;
    // Called (outside the lock) with every written report; may queue input.
    std::function<void(FakeHidDevice&, const Report&)> onWrite;

    void QueueInput(const Report& report) {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_input.push_back(report);
        m_changed.notify_all();
    }
    void FailReads() {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_readError = true;
        m_changed.notify_all();
    }
    // Writes block from now until Release.
    void BlockWrites() {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_blockWrites = true;
    }
    void Release() {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_blockWrites = false;
        m_changed.notify_all();
    }
    std::vector<Report> Written() {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_written;
    }
    void ClearWritten() {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_written.clear();
    }
    int Opens() {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_opens;
    }
    int Closes() {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_closes;
    }
    bool WritingBlocked() {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_blockedWriters > 0;
    }
    // Bounded waits for what another thread does.
    bool WaitForCloses(int count, std::chrono::milliseconds bound = std::chrono::seconds(5)) {
        std::unique_lock<std::mutex> lock(m_mutex);
        return m_changed.wait_for(lock, bound, [&] { return m_closes >= count; });
    }
    bool WaitForBlockedWriter(std::chrono::milliseconds bound = std::chrono::seconds(5)) {
        std::unique_lock<std::mutex> lock(m_mutex);
        return m_changed.wait_for(lock, bound, [&] { return m_blockedWriters > 0; });
    }

private:
    friend class FakeHidConnection;
    friend class FakeHidBackend;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::deque<Report> m_input;
    std::vector<Report> m_written;
    bool m_readError = false;
    bool m_blockWrites = false;
    int m_blockedWriters = 0;
    int m_opens = 0;
    int m_closes = 0;
};

class FakeHidConnection : public HidBackend::IConnection {
public:
    explicit FakeHidConnection(std::shared_ptr<FakeHidDevice> device) : m_device(std::move(device)) {}
    ~FakeHidConnection() override {
        std::lock_guard<std::mutex> lock(m_device->m_mutex);
        ++m_device->m_closes;
        m_device->m_changed.notify_all();
    }
    int Write(const uint8_t* report, size_t length) override {
        Report written(report, report + length);
        std::function<void(FakeHidDevice&, const Report&)> onWrite;
        {
            std::unique_lock<std::mutex> lock(m_device->m_mutex);
            if (m_device->m_blockWrites) {
                ++m_device->m_blockedWriters;
                m_device->m_changed.notify_all();
                m_device->m_changed.wait(lock, [&] { return !m_device->m_blockWrites; });
                --m_device->m_blockedWriters;
            }
            m_device->m_written.push_back(written);
            onWrite = m_device->onWrite;
        }
        if (onWrite) onWrite(*m_device, written);
        return int(length);
    }
    int Read(uint8_t* report, size_t length, int timeoutMs) override {
        std::unique_lock<std::mutex> lock(m_device->m_mutex);
        m_device->m_changed.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                                     [&] { return m_device->m_readError || !m_device->m_input.empty(); });
        if (m_device->m_readError) return -1;
        if (m_device->m_input.empty()) return 0;
        Report next = std::move(m_device->m_input.front());
        m_device->m_input.pop_front();
        const size_t n = std::min(length, next.size());
        std::copy(next.begin(), next.begin() + long(n), report);
        return int(n);
    }
    int ReportLength() const override { return m_device->reportLength; }

private:
    std::shared_ptr<FakeHidDevice> m_device;
};

class FakeHidBackend : public HidBackend::IBackend {
public:
    bool available = true;
    std::vector<std::shared_ptr<FakeHidDevice>> devices;

    std::shared_ptr<FakeHidDevice> Add(const std::string& path, uint16_t vendor, uint16_t product,
                                       const std::string& serial, int reportLength = 9) {
        auto device = std::make_shared<FakeHidDevice>();
        device->info.path = path;
        device->info.vendorId = vendor;
        device->info.productId = product;
        device->info.serial = serial;
        device->reportLength = reportLength;
        devices.push_back(device);
        return device;
    }

    bool Available() const override { return available; }
    std::vector<HidBackend::DeviceInfo> Enumerate() override {
        std::vector<HidBackend::DeviceInfo> list;
        if (!available) return list;
        for (auto& device : devices)
            list.push_back(device->info);
        return list;
    }
    std::shared_ptr<HidBackend::IConnection> Open(const std::string& path) override {
        if (!available) return nullptr;
        for (auto& device : devices) {
            if (device->info.path != path || device->openFails) continue;
            {
                std::lock_guard<std::mutex> lock(device->m_mutex);
                ++device->m_opens;
            }
            return std::make_shared<FakeHidConnection>(device);
        }
        return nullptr;
    }
};

// Installs a fake backend for the lifetime of the object.
class FakeHidInstalled {
public:
    FakeHidInstalled() : backend(std::make_shared<FakeHidBackend>()) {
        HidBackend::SetHidBackendForTesting(backend);
    }
    ~FakeHidInstalled() { HidBackend::SetHidBackendForTesting(nullptr); }
    FakeHidInstalled(const FakeHidInstalled&) = delete;
    FakeHidInstalled& operator=(const FakeHidInstalled&) = delete;
    std::shared_ptr<FakeHidBackend> backend;
};

// A reader behind the fake device: it collects data-channel payloads into a
// stream, and answers every whole BCC frame with replies built by answer
// (command frame -> reply frame), split into input reports of the device's
// length. Interface-channel reports go to onInterface when set.
class FakeHidReader {
public:
    std::function<Frame::Bytes(const Frame::Bytes& request)> answer;
    std::function<void(FakeHidDevice&, const Report& payload)> onInterface;

    void Attach(FakeHidDevice& device) {
        device.onWrite = [this](FakeHidDevice& d, const Report& report) { OnReport(d, report); };
    }
    std::vector<Frame::Bytes> Requests() {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_requests;
    }

    // Input reports carrying bytes: id 0, count, payload, zeros up to length.
    static std::vector<Report> InputReports(const Frame::Bytes& bytes, int length) {
        std::vector<Report> reports;
        const size_t chunk = size_t(length) - 2;
        for (size_t offset = 0; offset < bytes.size(); offset += chunk) {
            const size_t n = std::min(chunk, bytes.size() - offset);
            Report report(size_t(length), 0);
            report[1] = uint8_t(n);
            std::copy(bytes.begin() + long(offset), bytes.begin() + long(offset + n), report.begin() + 2);
            reports.push_back(report);
        }
        return reports;
    }

private:
    void OnReport(FakeHidDevice& device, const Report& report) {
        if (report.size() < 2) return;
        const size_t n = std::min<size_t>(report[1] & 0x7F, report.size() - 2);
        Report payload(report.begin() + 2, report.begin() + 2 + long(n));
        if (report[1] & 0x80) {
            if (onInterface) onInterface(device, payload);
            return;
        }
        Frame::Bytes reply;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_stream.insert(m_stream.end(), payload.begin(), payload.end());
            while (!m_stream.empty() && m_stream.front() != Frame::StartByte)
                m_stream.erase(m_stream.begin());
            if (!Frame::IsComplete(Frame::Bcc, m_stream)) return;
            const size_t length = Frame::CompleteLength(Frame::Bcc, m_stream.data(), m_stream.size());
            Frame::Bytes request(m_stream.begin(), m_stream.begin() + long(length));
            m_stream.erase(m_stream.begin(), m_stream.begin() + long(length));
            m_requests.push_back(request);
            if (answer) reply = answer(request);
        }
        for (const Report& input : InputReports(reply, device.reportLength))
            device.QueueInput(input);
    }

    std::mutex m_mutex;
    Frame::Bytes m_stream;
    std::vector<Frame::Bytes> m_requests;
};
