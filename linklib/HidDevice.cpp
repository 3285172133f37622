#include "HidDevice.h"

#include "DebugLog.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <sys/eventfd.h>
#include <unistd.h>

namespace {

constexpr uint8_t DataChannel = 0x00;
constexpr uint8_t InterfaceChannel = 0x80;
constexpr uint8_t LinkStateCommand = 0x10;
constexpr size_t SerialMaxChars = 50;

bool IsUtf8Continuation(char c) {
    return (static_cast<unsigned char>(c) & 0xC0) == 0x80;
}

// Keyboards and mice are the system's own: the reader's channel is its other
// interface, so they are tried last when several interfaces share a name.
bool IsSystemInput(const HidBackend::DeviceInfo& device) {
    return device.usagePage == 0x01 && (device.usage == 0x02 || device.usage == 0x06);
}

} // namespace

// What the caller and the device's writer thread share. A report is handed
// over (pending), taken by the thread (writing) and answered with its
// sequence number and result. A report the thread has not taken within the
// time-out is withdrawn; one it is stuck in keeps the thread busy, and
// every later report fails at once until it returns.
struct CHidDevice::Writer {
    std::mutex mutex;
    std::condition_variable wake;
    std::condition_variable done;
    std::vector<uint8_t> report;
    uint64_t handedOver = 0;
    uint64_t completed = 0;
    int result = -1;
    bool pending = false;
    bool writing = false;
    bool stop = false;
    std::shared_ptr<HidBackend::IConnection> connection;
};

void CHidDevice::WriterLoop(std::shared_ptr<Writer> writer) {
    {
        std::unique_lock<std::mutex> lock(writer->mutex);
        for (;;) {
            writer->wake.wait(lock, [&] { return writer->stop || writer->pending; });
            if (writer->stop) break;
            std::vector<uint8_t> report;
            report.swap(writer->report);
            const uint64_t sequence = writer->handedOver;
            writer->pending = false;
            writer->writing = true;
            std::shared_ptr<HidBackend::IConnection> connection = writer->connection;
            lock.unlock();
            const int result = connection->Write(report.data(), report.size());
            connection.reset();
            lock.lock();
            writer->writing = false;
            writer->completed = sequence;
            writer->result = result;
            writer->done.notify_all();
        }
        // A device closed while this thread was stuck in a write is closed
        // here, when the last reference goes.
        std::shared_ptr<HidBackend::IConnection> last = std::move(writer->connection);
        lock.unlock();
        last.reset();
    }
    writer.reset();
    HidBackend::NoteWriterEnded();
}

void CHidDevice::BindHidLibraries() {
    HidBackend::BindHidapi();
}

void CHidDevice::UnbindHidLibraries() {
    HidBackend::UnbindHidapi();
}

bool CHidDevice::IsFamilyDevice(uint16_t vendorId, uint16_t productId) {
    if (vendorId == 0x16C0) return productId == 0x2913;
    if (vendorId == 0x1C40)
        return productId == 0x05AB || productId == 0x05AD || productId == 0x05AE || productId == 0x05AF;
    return false;
}

std::string CHidDevice::ListName(const std::string& serial) {
    if (serial.empty()) return "2286-???? HID";
    // At most 50 characters of the serial number (UTF-8: cut between
    // characters, never inside one).
    size_t chars = 0, end = 0;
    while (end < serial.size()) {
        size_t next = end + 1;
        while (next < serial.size() && IsUtf8Continuation(serial[next]))
            ++next;
        if (++chars > SerialMaxChars) break;
        end = next;
    }
    return serial.substr(0, end) + " HID";
}

void CHidDevice::ListDevices(std::vector<std::string>& list) {
    const std::shared_ptr<HidBackend::IBackend> backend = HidBackend::Active();
    if (!backend->Available()) return;
    for (const HidBackend::DeviceInfo& device : backend->Enumerate()) {
        if (!IsFamilyDevice(device.vendorId, device.productId)) continue;
        const std::string name = ListName(device.serial);
        if (std::find(list.begin(), list.end(), name) == list.end()) list.push_back(name);
    }
}

int CHidDevice::TakeHandle() {
    const int fd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    return fd < 0 ? -1 : HandleBase + fd;
}

bool CHidDevice::OpenByName(const std::string& name) {
    Close();
    const std::shared_ptr<HidBackend::IBackend> backend = HidBackend::Active();
    if (!backend->Available()) return false;

    std::vector<HidBackend::DeviceInfo> candidates;
    for (HidBackend::DeviceInfo& device : backend->Enumerate())
        if (IsFamilyDevice(device.vendorId, device.productId) && ListName(device.serial) == name)
            candidates.push_back(std::move(device));
    std::stable_partition(candidates.begin(), candidates.end(),
                          [](const HidBackend::DeviceInfo& device) { return !IsSystemInput(device); });

    for (const HidBackend::DeviceInfo& device : candidates) {
        std::shared_ptr<HidBackend::IConnection> connection = backend->Open(device.path);
        if (!connection) continue;
        const int length = connection->ReportLength();
        if (length < MinReportLength || length > MaxReportLength) {
            // Output reports are built for at most 36 bytes; a device with
            // longer (or too short) reports is not served.
            DebugLog::Printf("HID: %s refused, report length %d outside %d..%d", device.path.c_str(), length,
                             MinReportLength, MaxReportLength);
            continue;
        }
        const int handle = TakeHandle();
        if (handle < 0) {
            DebugLog::Printf("HID: no handle for %s", name.c_str());
            return false;
        }
        auto writer = std::make_shared<Writer>();
        writer->connection = connection;
        HidBackend::NoteWriterStarted();
        try {
            m_writerThread = std::thread(&CHidDevice::WriterLoop, writer);
        } catch (...) {
            HidBackend::NoteWriterEnded();
            ::close(handle - HandleBase);
            return false;
        }
        m_writer = std::move(writer);
        m_connection = std::move(connection);
        m_handle = handle;
        m_reportLength = length;
        m_name = name;
        m_input.assign(size_t(length), 0);
        return true;
    }
    return false;
}

void CHidDevice::ReleaseConnection() {
    if (m_writer) {
        bool stuck;
        {
            std::lock_guard<std::mutex> lock(m_writer->mutex);
            m_writer->stop = true;
            m_writer->pending = false;
            stuck = m_writer->writing;
        }
        m_writer->wake.notify_all();
        // A thread stuck in a write owns the device from here on and closes
        // it when the write returns; waiting for it could hang.
        if (m_writerThread.joinable()) {
            if (stuck)
                m_writerThread.detach();
            else
                m_writerThread.join();
        }
        m_writer.reset();
    }
    m_connection.reset();
}

void CHidDevice::Close() {
    ReleaseConnection();
    if (m_handle >= 0) ::close(m_handle - HandleBase);
    m_handle = -1;
    m_reportLength = 0;
    m_name.clear();
    m_input.clear();
}

bool CHidDevice::WriteReport(uint8_t channelBits, const uint8_t* data, size_t count) {
    if (!m_connection || !m_writer) return false;
    const size_t length = size_t(m_reportLength);
    if (count > length - 2 || (count && !data)) return false;
    std::vector<uint8_t> report(length, 0);
    report[1] = static_cast<uint8_t>(channelBits | count);
    if (count) std::memcpy(report.data() + 2, data, count);

    Writer& writer = *m_writer;
    std::unique_lock<std::mutex> lock(writer.mutex);
    if (writer.pending || writer.writing) {
        DebugLog::Printf("HID: %s: an earlier write is still outstanding", m_name.c_str());
        return false;
    }
    writer.report.swap(report);
    const uint64_t sequence = ++writer.handedOver;
    writer.pending = true;
    writer.wake.notify_one();
    const bool finished = writer.done.wait_for(lock, std::chrono::milliseconds(WriteTimeoutMs),
                                               [&] { return writer.completed == sequence; });
    if (!finished) {
        // Withdrawn if the thread has not taken it yet; otherwise the write
        // stays outstanding and blocks the next ones.
        writer.pending = false;
        writer.report.clear();
        DebugLog::Printf("HID: %s: write not done within %d ms", m_name.c_str(), WriteTimeoutMs);
        return false;
    }
    return writer.result >= 0;
}

bool CHidDevice::Send(const uint8_t* data, size_t count) {
    if (!m_connection) return false;
    if (count && !data) return false;
    const size_t chunk = size_t(m_reportLength) - 2;
    for (size_t offset = 0; offset < count; offset += chunk)
        if (!WriteReport(DataChannel, data + offset, std::min(chunk, count - offset))) return false;
    return true;
}

int CHidDevice::PollFor(uint8_t* buffer, int maximum, int timeoutMs) {
    if (!m_connection || !buffer || maximum <= 0) return 0;
    const int length = m_reportLength;
    const int n = m_connection->Read(m_input.data(), m_input.size(), timeoutMs);
    if (n < 0) {
        // A hard read error (unplugged): the device is gone; the handle
        // stays until the session closes it.
        DebugLog::Printf("HID: %s: read failed, device closed", m_name.c_str());
        ReleaseConnection();
        return 0;
    }
    if (n < length) return 0;
    const int count = std::min<int>(m_input[1], length - 2);
    const int copied = std::min(count, maximum);
    std::memcpy(buffer, m_input.data() + 2, size_t(copied));
    return copied;
}

int CHidDevice::Poll(uint8_t* buffer, int maximum) {
    return PollFor(buffer, maximum, 0);
}

bool CHidDevice::SetLinkState(int value) {
    const uint8_t payload[2] = {LinkStateCommand, static_cast<uint8_t>(value)};
    return WriteReport(InterfaceChannel, payload, sizeof payload);
}

bool CHidDevice::SendInterfaceCommand(const uint8_t* data, size_t count) {
    return WriteReport(InterfaceChannel, data, count);
}

int CHidDevice::TransactInterfaceCommand(const uint8_t* data, size_t count, uint8_t* reply, int replyMax) {
    if (!m_connection) return -1;
    if (!SendInterfaceCommand(data, count)) return -1;
    using Clock = std::chrono::steady_clock;
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(TransactTimeoutMs);
    uint8_t answer[MaxReportLength];
    int n = 0;
    for (;;) {
        n = PollFor(answer, m_reportLength, 1);
        if (n > 0) break;
        if (!m_connection || Clock::now() >= deadline) return -1;
    }
    if (n <= 2 || count == 0 || answer[0] != data[0]) return -1;
    const int copied = reply ? std::min(n, std::max(replyMax, 0)) : 0;
    if (copied) std::memcpy(reply, answer, size_t(copied));
    return copied;
}

bool CHidDevice::OpenLink(const std::string& name, const LinkLine&) {
    if (!OpenByName(name)) return false;
    SetLinkState(0);
    return true;
}

void CHidDevice::CloseLink() {
    if (!IsOpen()) return;
    if (m_connection) SetLinkState(1);
    Close();
}
