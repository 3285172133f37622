#include "BluetoothLink.h"

#include "ComPort.h"
#include "DebugLog.h"
#include "Dispatcher.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <poll.h>
#include <termios.h>
#include <thread>

namespace {

bool EqualNoCase(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

std::string WithoutMarkers(std::string name) {
    for (size_t at; (at = name.find(" BT")) != std::string::npos;)
        name.erase(at, 3);
    return name;
}

// The longest single pause of a wait: the dispatcher runs at least this often.
constexpr int PollStepMs = 5;

} // namespace

std::vector<uint8_t> CBluetoothLink::BuildPacket(uint8_t opcode, const uint8_t* payload, size_t count) {
    std::vector<uint8_t> packet;
    packet.reserve(count + 7);
    packet.push_back(0x02);
    packet.push_back(0x52);
    packet.push_back(opcode);
    packet.push_back(uint8_t(count & 0xFF));
    packet.push_back(uint8_t((count >> 8) & 0xFF));
    packet.push_back(uint8_t(packet[1] + packet[2] + packet[3] + packet[4]));
    if (count) packet.insert(packet.end(), payload, payload + count);
    packet.push_back(0x03);
    return packet;
}

void CBluetoothLink::ResetState() {
    m_expected = 0;
    m_assemblyCount = 0;
    m_incompleteSince.reset();
    m_dataCount = 0;
    m_deviceCount = 0;
    m_filter = 0;
    std::memset(m_name, 0, sizeof m_name);
    m_replied = false;
    m_linkStatus = 0;
    m_linkUp = false;
    std::memset(m_remote, 0, sizeof m_remote);
    m_remoteKnown = false;
    m_remotePort = 2;
    m_linkTimeoutMs = m_timing.link;
    m_failed = false;
}

bool CBluetoothLink::Open(const std::string& portName) {
    Close();
    ResetState();
    const std::string name = WithoutMarkers(portName);

    // A USB adapter whose product string is the name, in any letter case.
    uint32_t devices = 0;
    if (m_usb.SI_GetNumDevices(&devices) == SiUsb::Success) {
        for (uint32_t index = 0; index < devices; ++index) {
            char product[SiUsb::MaxDeviceString] = {};
            if (m_usb.SI_GetProductString(index, product, SiUsb::ReturnDescription) != SiUsb::Success)
                continue;
            product[sizeof product - 1] = 0;
            if (!EqualNoCase(product, name)) continue;
            if (!OpenUsb(index)) return false;
            m_portName = portName;
            return true;
        }
    }
    if (!OpenCom(name)) return false;
    m_portName = portName;
    return true;
}

bool CBluetoothLink::OpenUsb(uint32_t index) {
    if (m_usb.SI_SetTimeouts(1000, 1000) != SiUsb::Success) return false;
    SiUsb::Handle handle = -1;
    if (m_usb.SI_Open(index, &handle) != SiUsb::Success) return false;
    m_handle = handle;
    m_com = false;
    const bool ready = m_usb.SI_SetBaudRate(handle, 921600) == SiUsb::Success &&
                       m_usb.SI_SetLineControl(handle, 0x0800) == SiUsb::Success &&
                       m_usb.SI_SetFlowControl(handle, 1, 2, 0, 0, 0, 0) == SiUsb::Success &&
                       m_usb.SI_FlushBuffers(handle, 1, 1) == SiUsb::Success &&
                       m_usb.SI_SetFlowControl(handle, 1, 2, 1, 0, 0, 0) == SiUsb::Success &&
                       m_usb.SI_SetBreak(handle, 1) == SiUsb::Success;
    if (!ready) {
        CloseHandle();
        return false;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    if (m_usb.SI_SetBreak(handle, 0) != SiUsb::Success) {
        CloseHandle();
        return false;
    }
    // The module answers opcode 0x26 once it is ready; its answer does not
    // decide anything.
    m_replied = false;
    m_expected = HandshakeIndication;
    if (WritePacket(OpHandshake, nullptr, 0)) WaitReply(m_timing.handshake);
    return true;
}

bool CBluetoothLink::OpenCom(const std::string& name) {
    const CComPort::NameInfo info = CComPort::ClassifyName(name);
    if (info.kind == CComPort::NameInfo::Bridge) {
        errno = ENODEV;
        return false;
    }
    const int fd = m_io->Open(info.openName);
    if (fd < 0) return false;
    termios settings{};
    if (m_io->GetAttributes(fd, &settings) != 0) {
        const int error = errno;
        m_io->Close(fd);
        errno = error;
        return false;
    }
    cfmakeraw(&settings);
    settings.c_cflag &= ~tcflag_t(CSIZE | PARENB | CSTOPB | CRTSCTS);
    settings.c_cflag |= CS8 | CLOCAL | CREAD;
    settings.c_cc[VMIN] = 0;
    settings.c_cc[VTIME] = 0;
    cfsetispeed(&settings, B9600);
    cfsetospeed(&settings, B9600);
    // As with the module's own line setting, a rate the device does not take
    // does not stop the open.
    (void)m_io->SetAttributes(fd, &settings);
    m_io->SetBreak(fd, true);
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    m_io->SetBreak(fd, false);
    // What the module sent before this open (a late answer to an earlier
    // session's request, as the inquiry confirm after an inquiry that a
    // found reader ended early) must not be taken for an answer to this
    // one's: dropped after the break, right before the first request.
    (void)m_io->Flush(fd, TCIFLUSH);
    m_handle = fd;
    m_com = true;
    return true;
}

void CBluetoothLink::CloseHandle() {
    if (m_handle >= 0) {
        if (m_com)
            m_io->Close(int(m_handle));
        else
            m_usb.SI_Close(m_handle);
    }
    m_handle = -1;
    m_com = false;
}

void CBluetoothLink::Close() {
    if (m_handle < 0) return;
    ReleaseLink();
    CloseHandle();
    m_linkUp = false;
}

bool CBluetoothLink::WritePacket(uint8_t opcode, const uint8_t* payload, size_t count) {
    if (m_handle < 0) return false;
    const std::vector<uint8_t> packet = BuildPacket(opcode, payload, count);
    if (!m_com) {
        // The flush drops the bridge's receive queue: take in what is there
        // first so no module packet is lost.
        ReadOnce();
        m_usb.SI_FlushBuffers(m_handle, 0, 1);
        uint32_t done = 0;
        return m_usb.SI_Write(m_handle, packet.data(), uint32_t(packet.size()), &done) == SiUsb::Success &&
               done == packet.size();
    }
    size_t written = 0;
    const Clock::time_point end = Clock::now() + std::chrono::milliseconds(1000);
    while (written < packet.size()) {
        const ssize_t n = m_io->Write(int(m_handle), packet.data() + written, packet.size() - written);
        if (n > 0) {
            written += size_t(n);
            continue;
        }
        if (n < 0 && errno != EAGAIN && errno != EINTR) return false;
        if (Clock::now() >= end) return false;
        m_io->WaitReady(int(m_handle), POLLOUT, PollStepMs);
    }
    return true;
}

void CBluetoothLink::ReadOnce() {
    if (m_handle < 0) return;
    const int free = BufferSize - m_assemblyCount;
    if (free <= 0) return;
    if (m_com) {
        const ssize_t n = m_io->Read(int(m_handle), m_assembly + m_assemblyCount, size_t(free));
        if (n > 0) m_assemblyCount += int(std::min<ssize_t>(n, free));
        return;
    }
    uint32_t queued = 0, status = 0;
    if (m_usb.SI_CheckRXQueue(m_handle, &queued, &status) != SiUsb::Success || queued == 0) return;
    uint32_t done = 0;
    const uint32_t want = std::min<uint32_t>(queued, uint32_t(free));
    if (m_usb.SI_Read(m_handle, m_assembly + m_assemblyCount, want, &done) == SiUsb::Success)
        m_assemblyCount += int(std::min(done, want));
}

int CBluetoothLink::FeedForTest(const uint8_t* data, int count) {
    const int take = std::max(0, std::min(count, BufferSize - m_assemblyCount));
    if (take) std::memcpy(m_assembly + m_assemblyCount, data, size_t(take));
    m_assemblyCount += take;
    return take;
}

uint16_t CBluetoothLink::Assemble(std::vector<uint8_t>& payload) {
    ReadOnce();
    while (m_assemblyCount > 7) {
        if (m_assembly[0] != 0x02) {
            m_incompleteSince.reset();
            std::memmove(m_assembly, m_assembly + 1, size_t(--m_assemblyCount));
            continue;
        }
        const int length = m_assembly[3] | (m_assembly[4] << 8);
        if (length + 7 > BufferSize) {
            // It could never be whole here: give up its start and look for
            // the next packet.
            DebugLog::Printf("Bluetooth: packet announcing %d payload bytes dropped", length);
            m_incompleteSince.reset();
            std::memmove(m_assembly, m_assembly + 1, size_t(--m_assemblyCount));
            continue;
        }
        if (m_assemblyCount >= length + 7) {
            m_incompleteSince.reset();
            payload.assign(m_assembly + 6, m_assembly + 6 + length);
            const uint16_t code = uint16_t(m_assembly[1] | (m_assembly[2] << 8));
            m_assemblyCount -= length + 7;
            std::memmove(m_assembly, m_assembly + length + 7, size_t(m_assemblyCount));
            return code;
        }
        // Not whole yet: take in what has arrived meanwhile, and leave the
        // rest to a later pass rather than wait for it. A start that stays
        // incomplete for longer than a whole packet takes to arrive at 9600
        // baud was no packet start (a stray 0x02 with a length that would
        // swallow the packets after it): it is given up.
        const Clock::time_point now = Clock::now();
        if (!m_incompleteSince) m_incompleteSince = now;
        if (now - *m_incompleteSince > std::chrono::milliseconds(m_timing.incomplete)) {
            DebugLog::Printf("Bluetooth: a packet of %d payload bytes stayed incomplete, dropped", length);
            m_incompleteSince.reset();
            std::memmove(m_assembly, m_assembly + 1, size_t(--m_assemblyCount));
            continue;
        }
        const int before = m_assemblyCount;
        ReadOnce();
        if (m_assemblyCount == before) break;
    }
    return 0;
}

void CBluetoothLink::Apply(uint16_t code, const std::vector<uint8_t>& p) {
    const size_t n = p.size();
    const bool expected = code == m_expected;
    switch (code) {
    case InquiryConfirm:
        if (n >= 1 && expected) m_replied = true;
        break;
    case DeviceFound: {
        if (m_deviceCount >= MaxDevices || n < 6) break;
        // With a filter the first match has ended the inquiry; a device the
        // module reports before it has taken the end in is not taken (nor a
        // second end sent).
        if (m_filter != 0 && m_deviceCount > 0) break;
        bool take = m_filter == 0;
        if (!take && n >= 9) take = uint32_t(p[6] | (p[7] << 8) | (p[8] << 16)) == m_filter;
        if (!take) break;
        std::memcpy(m_devices[m_deviceCount++], p.data(), 6);
        if (m_filter != 0) {
            // One reader is enough: end the inquiry now.
            m_expected = HandshakeIndication;
            WritePacket(OpHandshake, nullptr, 0);
        }
        break;
    }
    case NameConfirm:
        if (n < 8) break;
        std::memset(m_name, 0, sizeof m_name);
        if (p[0] == 0) {
            const size_t length = std::min<size_t>({p[7], size_t(MaxNameLength), n - 8});
            std::memcpy(m_name, p.data() + 8, length);
        }
        if (expected) m_replied = true;
        break;
    case LinkConfirm:
        if (n >= 2 && p[0] != 0) {
            m_linkStatus = p[0];
            m_replied = true;
        }
        break;
    case LinkIndication:
        if (n < 9) break;
        m_linkStatus = p[0];
        if (expected) m_replied = true;
        if (p[0] == 0) m_linkUp = true;
        break;
    case LinkLost:
        if (n >= 2) m_linkUp = false;
        if (expected) m_replied = true;
        break;
    case DataIndication: {
        if (n < 1 || p[0] != 0x02) break;
        if (n < 3) break;
        const size_t announced = size_t(p[1] | (p[2] << 8));
        const size_t count = std::min(announced, n - 3);
        if (count > size_t(BufferSize - m_dataCount)) {
            DebugLog::Printf("Bluetooth: %zu data bytes dropped, %d bytes free", count,
                             BufferSize - m_dataCount);
            break;
        }
        std::memcpy(m_data + m_dataCount, p.data() + 3, count);
        m_dataCount += int(count);
        break;
    }
    case HandshakeIndication:
    case ReleaseIndication:
        if (expected) m_replied = true;
        break;
    default:
        break;
    }
}

bool CBluetoothLink::ProcessPacket() {
    std::vector<uint8_t> payload;
    const uint16_t code = Assemble(payload);
    if (code == 0) return false;
    Apply(code, payload);
    return true;
}

void CBluetoothLink::WaitForInput(int milliseconds) {
    if (m_com && m_handle >= 0)
        m_io->WaitReady(int(m_handle), POLLIN, milliseconds);
    else
        std::this_thread::sleep_for(std::chrono::milliseconds(std::min(milliseconds, 2)));
}

bool CBluetoothLink::WaitReply(int milliseconds) {
    const Clock::time_point end = Clock::now() + std::chrono::milliseconds(std::max(0, milliseconds));
    Clock::time_point dispatched = Clock::now();
    for (;;) {
        const bool arrived = ProcessPacket();
        if (m_replied) return true;
        if (m_handle < 0) return false;
        const Clock::time_point now = Clock::now();
        if (now >= end) return false;
        // A module that keeps talking still leaves the program its events.
        if (arrived && now - dispatched < std::chrono::milliseconds(PollStepMs)) continue;
        CDispatcher::Instance().DispatchOnce();
        dispatched = Clock::now();
        if (arrived) continue;
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - dispatched).count();
        if (left > 0) WaitForInput(int(std::min<long long>(left, PollStepMs)));
    }
}

void CBluetoothLink::PauseFor(int milliseconds) {
    const Clock::time_point end = Clock::now() + std::chrono::milliseconds(std::max(0, milliseconds));
    while (Clock::now() < end) {
        CDispatcher::Instance().DispatchOnce();
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now()).count();
        if (left <= 0) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(std::min<long long>(left, PollStepMs)));
    }
}

int CBluetoothLink::Inquiry(int timeoutMs, uint32_t filter, uint8_t* records, int room) {
    if (m_handle < 0) return -1;
    const int steps = std::min(std::max(timeoutMs / 1300 - 1, 0), 48);
    const uint8_t request[3] = {uint8_t(steps), 0, 0};
    m_replied = false;
    m_expected = InquiryConfirm;
    m_filter = filter;
    m_deviceCount = 0;
    if (!WritePacket(OpInquiry, request, sizeof request)) return -1;
    if (!WaitReply(timeoutMs)) return -1;

    int written = 0;
    for (int device = 0; device < m_deviceCount; ++device) {
        if (written + RecordSize > room) break;
        for (int asked = 0;; ++asked) {
            m_replied = false;
            m_expected = NameConfirm;
            std::memset(m_name, 0, sizeof m_name);
            if (!WritePacket(OpRemoteName, m_devices[device], 6)) return -1;
            if (!WaitReply(timeoutMs)) return -1;
            if (m_name[0] != 0 || asked >= 5) break;
        }
        std::memcpy(records + written, m_devices[device], 6);
        std::memcpy(records + written + 6, m_name, sizeof m_name);
        written += RecordSize;
    }
    return written;
}

int CBluetoothLink::LinkRequest(const uint8_t* address, uint8_t port, int timeoutMs) {
    uint8_t request[8] = {0x02};
    std::memcpy(request + 1, address, 6);
    request[7] = port;
    m_replied = false;
    m_expected = LinkIndication;
    m_linkStatus = 0;
    if (!WritePacket(OpLink, request, sizeof request)) return -1;
    if (!WaitReply(timeoutMs)) return -1;
    if (!m_linkUp) return m_linkStatus ? m_linkStatus : -1;
    std::memcpy(m_remote, address, 6);
    m_remotePort = port;
    m_linkTimeoutMs = timeoutMs;
    m_remoteKnown = true;
    return 0;
}

bool CBluetoothLink::EnsureLink() {
    if (m_handle < 0) return false;
    if (m_linkUp) return true;
    // Soon after a failed attempt no new one is made, and the exchange goes
    // on as if the link were up: a frame goes to the module in its data
    // packet and what the module sends is still taken in.
    if (m_failed && Clock::now() - m_failedAt <= std::chrono::milliseconds(m_timing.backOff)) return true;
    if (!m_remoteKnown) {
        uint8_t record[RecordSize] = {};
        if (Inquiry(m_timing.inquiry, ReaderClass, record, RecordSize) < RecordSize) {
            m_failed = true;
            m_failedAt = Clock::now();
            return false;
        }
        PauseFor(m_timing.afterInquiry);
        std::memcpy(m_remote, record, 6);
        m_remoteKnown = true;
        m_linkTimeoutMs = m_timing.link;
    }
    if (LinkRequest(m_remote, m_remotePort, m_linkTimeoutMs) != 0) {
        m_failed = true;
        m_failedAt = Clock::now();
        return false;
    }
    m_failed = false;
    return true;
}

bool CBluetoothLink::Send(const uint8_t* data, size_t count) {
    if (count > size_t(MaxDataPerPacket)) {
        DebugLog::Printf("Bluetooth: a frame of %zu bytes does not fit one data packet", count);
        return false;
    }
    if (!EnsureLink()) return false;
    std::vector<uint8_t> payload{0x02, uint8_t(count & 0xFF), uint8_t(count >> 8)};
    if (count) payload.insert(payload.end(), data, data + count);
    return WritePacket(OpData, payload.data(), payload.size());
}

int CBluetoothLink::Receive(uint8_t* buffer, int maximum) {
    if (m_handle < 0) return 0;
    // A failed attempt leaves the data buffer as it is; the next poll, within
    // the back-off, hands it over.
    if (!EnsureLink()) return 0;
    ProcessPacket();
    return TakeData(buffer, maximum);
}

int CBluetoothLink::TakeData(uint8_t* buffer, int maximum) {
    const int count = std::max(0, std::min(maximum, m_dataCount));
    if (count == 0) return 0;
    std::memcpy(buffer, m_data, size_t(count));
    m_dataCount -= count;
    std::memmove(m_data, m_data + count, size_t(m_dataCount));
    return count;
}

bool CBluetoothLink::SetBaudRate(int baud) {
    if (m_handle < 0 || baud <= 0) return false;
    if (m_com) return m_io->SetSpeed(int(m_handle), baud) == 0;
    return m_usb.SI_SetBaudRate(m_handle, uint32_t(baud)) == SiUsb::Success;
}

void CBluetoothLink::ReleaseLink() {
    // What is still queued first (it may report the link lost); a module
    // that never stops talking ends this at the release time.
    const Clock::time_point end = Clock::now() + std::chrono::milliseconds(m_timing.release);
    while (ProcessPacket() && Clock::now() < end) {
    }
    if (!m_linkUp) return;
    const uint8_t request[1] = {0x02};
    m_replied = false;
    m_expected = ReleaseIndication;
    // The whole release, queued input included, stays within the release time.
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now()).count();
    if (WritePacket(OpRelease, request, sizeof request)) WaitReply(int(std::max<long long>(left, 0)));
    m_linkUp = false;
}
