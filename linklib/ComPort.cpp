#include "ComPort.h"

#include "DebugLog.h"
#include "FtdiLibrary.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace {

using namespace ComPortBits;

void SignalEvent(int fd) {
    if (fd < 0) return;
    const uint64_t one = 1;
    (void)!::write(fd, &one, sizeof one);
}

void ResetEvent(int fd) {
    if (fd < 0) return;
    uint64_t value;
    (void)!::read(fd, &value, sizeof value);
}

int NewEvent() {
    return ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
}

void CloseEvent(int& fd) {
    if (fd >= 0) ::close(fd);
    fd = -1;
}

// The tty went away: a USB adapter was pulled, or a pty lost its master.
bool IsGoneError(int error) {
    return error == EIO || error == ENXIO || error == ENODEV || error == EBADF;
}

// The tty has no modem lines at all (pty, some USB ACM devices).
bool IsNoLinesError(int error) {
    return error == ENOTTY || error == EINVAL || error == ENOSYS;
}

bool StartsWithNoCase(const std::string& text, size_t at, const char* prefix) {
    for (size_t i = 0; prefix[i]; ++i) {
        if (at + i >= text.size()) return false;
        if (std::tolower(static_cast<unsigned char>(text[at + i])) !=
            std::tolower(static_cast<unsigned char>(prefix[i])))
            return false;
    }
    return true;
}

} // namespace

CComPort::NameInfo CComPort::ClassifyName(const std::string& name) {
    NameInfo info;
    size_t at = 0;
    if (name.compare(0, 4, "\\\\.\\") == 0) at = 4;
    if (StartsWithNoCase(name, at, "com") && at + 3 < name.size() && name[at + 3] >= '1' &&
        name[at + 3] <= '9') {
        size_t end = at + 3;
        int number = 0;
        while (end < name.size() && std::isdigit(static_cast<unsigned char>(name[end])) &&
               number < 100000000) {
            number = number * 10 + (name[end] - '0');
            ++end;
        }
        info.kind = NameInfo::Com;
        info.portNumber = number;
        info.openName = "/dev/ttyS" + std::to_string(number - 1);
        return info;
    }
    if (at < name.size() && name[at] == '/') {
        info.kind = NameInfo::DevicePath;
        info.openName = name.substr(at, name.find(' ', at) == std::string::npos ? std::string::npos
                                                                                : name.find(' ', at) - at);
        // A colon at the end is an empty bus address (COM3: opens COM3 too).
        if (info.openName.size() > 1 && info.openName.back() == ':') info.openName.pop_back();
        info.portNumber = 0;
        return info;
    }
    info.kind = NameInfo::Bridge;
    info.openName = name;
    int number = 0;
    for (size_t i = at;
         i < name.size() && std::isdigit(static_cast<unsigned char>(name[i])) && number < 100000000; ++i)
        number = number * 10 + (name[i] - '0');
    info.portNumber = number;
    return info;
}

void CComPort::FrameSetting(int format, char& parity, int& stopBits) {
    switch (format) {
    case 1:
        parity = 'E', stopBits = 1;
        break;
    case 2:
        parity = 'O', stopBits = 1;
        break;
    case 3:
        parity = 'N', stopBits = 2;
        break;
    default:
        parity = 'N', stopBits = 1;
        break;
    }
}

CComPort::CComPort() : m_io(CSerialIo::System()), m_ftdi(std::make_unique<CFtdiLibrary>()) {}

CComPort::~CComPort() {
    Close();
    m_ftdi->Unload();
}

void CComPort::Notify(unsigned message, uintptr_t wParam) {
    if (m_owner) m_owner->OnPortMessage(message, wParam, m_portNumber);
}

void CComPort::OnReceiveByte(uint8_t byte) {
    Notify(ComPortMessage::ReceiveByte, byte);
}
void CComPort::OnCtsChange(bool on) {
    Notify(ComPortMessage::CtsChange, on);
}
void CComPort::OnSpare() {
    Notify(ComPortMessage::Spare, 0);
}
void CComPort::OnBreak() {
    Notify(ComPortMessage::Break, 0);
}
void CComPort::OnLineError(uint32_t mask) {
    Notify(ComPortMessage::LineError, mask);
}
void CComPort::OnRingChange(bool on) {
    Notify(ComPortMessage::RingChange, on);
}
void CComPort::OnRlsdChange(bool on) {
    Notify(ComPortMessage::RlsdChange, on);
}
void CComPort::OnDsrChange(bool on) {
    Notify(ComPortMessage::DsrChange, on);
}
void CComPort::OnBytesWritten(int count) {
    Notify(ComPortMessage::BytesWritten, static_cast<uintptr_t>(count));
}
void CComPort::OnTxEmpty() {
    Notify(ComPortMessage::TxEmpty, 0);
}

void CComPort::OnBytesWaiting(int count) {
    if (m_owner) {
        Notify(ComPortMessage::BytesWaiting, static_cast<uintptr_t>(count));
        return;
    }
    ReceiveWaiting(count);
}

void CComPort::ReceiveWaiting(int count) {
    while (count-- > 0 && !m_inQueue.empty()) {
        const uint8_t byte = m_inQueue.front();
        m_inQueue.pop_front();
        OnReceiveByte(byte);
    }
    m_readyToRead = true;
}

void CComPort::SignalReceiveCheck() {
    SignalEvent(m_receiveCheckEvent);
}

int CComPort::OpenBridgeDevice(const std::string& serialNumber) {
    const Ftdi::Handle handle = m_ftdi->FT_W32_CreateFile(
        serialNumber.c_str(), Ftdi::GenericRead | Ftdi::GenericWrite, 0, nullptr, Ftdi::OpenExisting,
        Ftdi::FlagOverlapped | Ftdi::OpenBySerialNumber, nullptr);
    return handle == Ftdi::InvalidHandle ? -1 : int(handle);
}

bool CComPort::Open(const ComOpenParams& params) {
    m_portName = params.portName;
    const NameInfo info = ClassifyName(params.portName);
    m_bridge = info.kind == NameInfo::Bridge;
    m_portNumber = info.portNumber;

    StopThread();

    CloseEvents();
    m_shutdownEvent = NewEvent();
    m_receiveCheckEvent = NewEvent();
    m_writeRequestEvent = NewEvent();

    m_owner = params.owner;
    {
        std::lock_guard<std::mutex> lock(m_writeMutex);
        m_writeCapacity = params.writeBufferCapacity > 0 ? size_t(params.writeBufferCapacity) : 0;
        m_writeBuffer.assign(m_writeCapacity, 0);
        m_frameLength = 0;
    }
    m_eventMask = params.eventMask;
    m_writePending = false;
    m_readyToRead = true;
    m_outgoing.clear();
    m_outgoingDone = 0;
    m_inQueue.clear();
    m_pendingErrors = 0;
    m_markState = 0;
    m_marking = false;
    m_vanished = false;
    m_modemLinesKnown = true;
    m_dsr = m_cts = m_rlsd = m_ring = 0;

    std::unique_lock<std::mutex> lock(m_portLock);
    if (m_fd >= 0) {
        m_io->Close(m_fd);
        m_fd = -1;
    }

    DebugLog::Printf("Open %s: baud=%d parity=%c data=%d stop=%d", params.portName.c_str(), params.baudRate,
                     params.parity, params.dataBits, params.stopBits);

    // Without its events the port thread could never be told to stop.
    const bool eventsMade = m_shutdownEvent >= 0 && m_receiveCheckEvent >= 0 && m_writeRequestEvent >= 0;
    const int fd = !eventsMade ? -1 : m_bridge ? OpenBridgeDevice(info.openName) : m_io->Open(info.openName);
    if (fd < 0) {
        const int error = errno;
        DebugLog::Failure("CreateFile()", error, m_portName);
        lock.unlock();
        Close();
        errno = error;
        return false;
    }
    // Only a terminal device is a serial port (a pty is one). Anything else
    // (a regular file, /dev/zero) is left alone: nothing is configured or
    // written, so a mistyped name cannot overwrite a file. Not every driver
    // answers a terminal request with ENOTTY (/dev/urandom says EINVAL), so
    // any refusal counts; a terminal that cannot even report its settings
    // could not be configured either.
    termios probe{};
    if (!m_bridge && m_io->GetAttributes(fd, &probe) != 0) {
        const int error = errno == EINVAL || errno == ENOTTY ? ENOTTY : errno;
        DebugLog::Failure("GetCommState()", errno, m_portName);
        m_io->Close(fd);
        lock.unlock();
        Close();
        errno = error;
        return false;
    }
    m_fd = fd;
    if (m_bridge) m_ftdi->FT_SetLatencyTimer(fd, 2);

    m_line.baud = params.baudRate;
    m_line.parity = params.parity;
    m_line.dataBits = params.dataBits;
    m_line.stopBitsCode = params.stopBits == 2 ? 2 : 0;
    m_line.flowControl = params.flowControl;
    // A failing configuration step ends the configuration, not the open.
    if (ApplyLineSettings()) ApplyModemControl();
    m_haveCounts = m_io->ErrorCounts(m_fd, &m_counts) == 0;
    m_io->Purge(m_fd);
    lock.unlock();

    int lines = 0;
    if (m_io->GetModemLines(m_fd, &lines) == 0) {
        if (lines & ModemRlsd) m_rlsd = 1, OnRlsdChange(true);
        if (lines & ModemDsr) m_dsr = 1, OnDsrChange(true);
        if (lines & ModemCts) m_cts = 1, OnCtsChange(true);
        if (lines & ModemRing) m_ring = 1, OnRingChange(true);
    } else if (IsNoLinesError(errno)) {
        m_modemLinesKnown = false;
    }
    return true;
}

bool CComPort::ApplyLineSettings() {
    termios settings{};
    if (m_io->GetAttributes(m_fd, &settings) != 0) {
        DebugLog::Failure("GetCommState()", errno, m_portName);
        return false;
    }
    // Raw bytes both ways; reads return at once with what has arrived.
    settings.c_iflag = 0;
    settings.c_oflag = 0;
    settings.c_lflag = 0;
    settings.c_cflag &= ~(CSIZE | PARENB | PARODD | CSTOPB | CRTSCTS);
    settings.c_cflag |= CLOCAL | CREAD;
    switch (m_line.dataBits) {
    case 5:
        settings.c_cflag |= CS5;
        break;
    case 6:
        settings.c_cflag |= CS6;
        break;
    case 7:
        settings.c_cflag |= CS7;
        break;
    default:
        settings.c_cflag |= CS8;
        break;
    }
    if (m_line.parity == 'E') settings.c_cflag |= PARENB;
    if (m_line.parity == 'O') settings.c_cflag |= PARENB | PARODD;
    if (m_line.stopBitsCode == 2) settings.c_cflag |= CSTOPB;
    // Line errors and breaks come marked in the byte stream: FF 00 x for a
    // byte with a parity or framing error, FF 00 00 for a break, FF FF for a
    // data byte FF.
    settings.c_iflag |= INPCK | PARMRK;
    switch (m_line.flowControl) {
    case 1:
    case 3:
        settings.c_cflag |= CRTSCTS;
        break;
    case 2:
        settings.c_iflag |= IXON | IXOFF;
        settings.c_cc[VSTART] = 0x11;
        settings.c_cc[VSTOP] = 0x13;
        break;
    default:
        break;
    }
    settings.c_cc[VMIN] = 0;
    settings.c_cc[VTIME] = 0;
    const speed_t speed = SpeedConstant(m_line.baud);
    cfsetispeed(&settings, speed == B0 ? B38400 : speed);
    cfsetospeed(&settings, speed == B0 ? B38400 : speed);

    bool complete = true;
    if (m_io->SetAttributes(m_fd, &settings) != 0) {
        // A pseudo-terminal refuses a change that only adds PARENB. Apply the
        // rest anyway so the line is raw; the parity is then not in effect.
        if (errno == EINVAL && (settings.c_cflag & PARENB)) {
            settings.c_cflag &= ~(PARENB | PARODD);
            if (m_line.parity == 'O') settings.c_cflag |= PARODD;
            complete = false;
        }
        if (complete || m_io->SetAttributes(m_fd, &settings) != 0) {
            DebugLog::Failure("SetCommState()", errno, m_portName);
            return false;
        }
    }
    if (speed == B0 && m_io->SetCustomBaudRate(m_fd, m_line.baud) != 0) {
        DebugLog::Failure("SetCommState()", errno, m_portName);
        return false;
    }
    termios applied{};
    m_marking = m_io->GetAttributes(m_fd, &applied) == 0 && (applied.c_iflag & PARMRK);
    m_inputParity = m_line.parity;
    return complete;
}

void CComPort::ApplyModemControl() {
    // Flow-control modes 0 and 2 hold DTR and RTS inactive; 1 and 3 raise DTR
    // (RTS then follows the hardware handshake).
    if (m_line.flowControl == 1 || m_line.flowControl == 3) {
        m_io->SetModemLines(m_fd, TIOCM_DTR);
    } else {
        m_io->ClearModemLines(m_fd, TIOCM_DTR | TIOCM_RTS);
    }
}

bool CComPort::SetBaudRate(int baud) {
    if (m_fd < 0) return false;
    const int old = m_line.baud;
    m_line.baud = baud;
    if (ApplyLineSettings()) return true;
    termios check{};
    // Report failure only when the rate itself did not take.
    if (m_io->GetAttributes(m_fd, &check) == 0 && SpeedConstant(baud) != B0 &&
        cfgetospeed(&check) == SpeedConstant(baud))
        return true;
    m_line.baud = old;
    return false;
}

bool CComPort::SetParityEven() {
    if (m_fd < 0) return false;
    m_line.parity = 'E';
    return ApplyLineSettings();
}

bool CComPort::SetParityOdd() {
    if (m_fd < 0) return false;
    m_line.parity = 'O';
    return ApplyLineSettings();
}

bool CComPort::SetParityNone() {
    if (m_fd < 0) return false;
    m_line.parity = 'N';
    return ApplyLineSettings();
}

bool CComPort::SetStopBits(int code) {
    if (m_fd < 0) return false;
    m_line.stopBitsCode = code == 2 ? 2 : 0;
    return ApplyLineSettings();
}

bool CComPort::StartMonitoring() {
    if (m_thread.joinable()) return false;
    {
        std::lock_guard<std::mutex> lock(m_threadStartMutex);
        m_threadHasStarted = false;
    }
    try {
        m_thread = std::thread(&CComPort::ThreadMain, this);
    } catch (...) {
        return false;
    }
    std::unique_lock<std::mutex> lock(m_threadStartMutex);
    m_threadStarted.wait(lock, [this] { return m_threadHasStarted; });
    return true;
}

void CComPort::QueueWrite(const uint8_t* data, int length) {
    size_t count =
        length < 0 ? (data ? std::strlen(reinterpret_cast<const char*>(data)) : 0) : size_t(length);
    {
        std::lock_guard<std::mutex> lock(m_writeMutex);
        // A frame queued before the port thread took the last one follows it
        // instead of replacing it (raw sends of the function test come quickly).
        if (m_frameLength + count > m_writeCapacity) {
            DebugLog::Printf("QueueWrite: %zu bytes exceed the write buffer of %zu, frame dropped", count,
                             m_writeCapacity);
            return;
        }
        if (count) std::memcpy(m_writeBuffer.data() + m_frameLength, data, count);
        m_frameLength += count;
    }
    SignalEvent(m_writeRequestEvent);
}

bool CComPort::OpenLink(const std::string& name, const LinkLine& line) {
    ComOpenParams params;
    params.portName = name;
    params.baudRate = line.baud;
    FrameSetting(line.format, params.parity, params.stopBits);
    if (!Open(params)) return false;
    StartMonitoring();
    return true;
}

bool CComPort::Send(const uint8_t* data, size_t count) {
    if (!IsOpen()) return false;
    QueueWrite(data, int(count));
    return true;
}

ITransport::LineChange CComPort::LineChangeKind() const {
    // A USB bridge runs at the rate it was opened with.
    return IsOpen() && !IsBridge() ? LineChange::WithReader : LineChange::Refused;
}

bool CComPort::SetLine(const LinkLine& line) {
    switch (line.format) {
    case 0:
        SetStopBits(0);
        SetParityNone();
        break;
    case 1:
        SetStopBits(0);
        SetParityEven();
        break;
    case 2:
        SetStopBits(0);
        SetParityOdd();
        break;
    case 3:
        SetStopBits(2);
        SetParityNone();
        break;
    default:
        break;
    }
    return SetBaudRate(line.baud);
}

void CComPort::StopThread() {
    if (!m_thread.joinable()) return;
    SignalEvent(m_shutdownEvent);
    m_thread.join();
}

void CComPort::CloseEvents() {
    CloseEvent(m_receiveCheckEvent);
    CloseEvent(m_writeRequestEvent);
    CloseEvent(m_shutdownEvent);
}

void CComPort::Close() {
    StopThread();
    CloseEvents();
    std::lock_guard<std::mutex> lock(m_portLock);
    if (m_fd >= 0) {
        const int fd = m_fd;
        m_fd = -1;
        if (m_bridge ? !m_ftdi->FT_W32_CloseHandle(fd) : m_io->Close(fd) != 0)
            DebugLog::Failure("CloseHandle()", errno, m_portName);
    }
    std::lock_guard<std::mutex> writeLock(m_writeMutex);
    m_writeBuffer.clear();
    m_writeBuffer.shrink_to_fit();
    m_writeCapacity = 0;
    m_frameLength = 0;
}

void CComPort::ThreadMain() {
    m_threadRunning = true;
    {
        std::lock_guard<std::mutex> lock(m_threadStartMutex);
        m_threadHasStarted = true;
    }
    m_threadStarted.notify_all();

    while (m_fd >= 0) {
        pollfd fds[4];
        nfds_t count = 0;
        fds[count++] = {m_shutdownEvent, POLLIN, 0};
        fds[count++] = {m_receiveCheckEvent, POLLIN, 0};
        fds[count++] = {m_writeRequestEvent, POLLIN, 0};
        const bool watchTty = !m_vanished;
        if (watchTty) {
            short events = POLLIN;
            if (m_writePending) events |= POLLOUT;
            fds[count++] = {m_fd, events, 0};
        }
        // Wake every 10 ms to look at the modem lines, where the tty has them.
        const int ready = ::poll(fds, count, m_modemLinesKnown && watchTty ? 10 : -1);
        if (ready < 0) continue;
        if (ready == 0) {
            CheckModemLines(false);
            continue;
        }
        if (fds[0].revents) break;
        if (fds[1].revents) {
            ResetEvent(m_receiveCheckEvent);
            m_readyToRead = true;
            LineEventProcessing();
        }
        if (fds[2].revents) {
            ResetEvent(m_writeRequestEvent);
            Writing();
        }
        if (watchTty && fds[3].revents) {
            if (fds[3].revents & POLLOUT) ContinueWrite();
            if (fds[3].revents & POLLIN) LineEventProcessing(true);
            // Hang-up: the adapter was pulled, or a pty lost its master.
            if (fds[3].revents & (POLLHUP | POLLERR | POLLNVAL)) {
                LineEventProcessing();
                DeviceVanished();
            }
        }
    }
    m_threadRunning = false;
}

void CComPort::DeviceVanished() {
    if (m_vanished) return;
    m_vanished = true;
    m_outgoing.clear();
    m_writePending = false;
    DebugLog::Printf("Port %s: the device is gone", m_portName.c_str());
    OnLineError(DeviceGone);
}

// Reads everything the tty holds into the input queue, decoding the line
// error marks. False when the device is gone. readable: poll said there is
// input.
bool CComPort::FetchInput(bool readable) {
    if (m_vanished) return false;
    uint8_t buffer[512];
    // A device that never stops sending must not keep the thread here: after
    // a few full buffers the thread goes back to its wait, which sees the
    // shutdown event first and the rest of the input next.
    int rounds = 0;
    for (bool first = true;; first = false) {
        const ssize_t n = m_io->Read(m_fd, buffer, sizeof buffer);
        if (n > 0) {
            Decode(buffer, size_t(n));
            if (size_t(n) < sizeof buffer || ++rounds >= MaxReadRounds) break;
            continue;
        }
        // A raw tty with VMIN 0 answers 0 when nothing is there; but input
        // announced by poll that reads as nothing is an end of file (not a
        // tty at all, e.g. /dev/null): watching it further would spin.
        if (n == 0 && readable && first) {
            DeviceVanished();
            return false;
        }
        if (n == 0) break;
        if (errno == EINTR) continue;
        if (errno == EAGAIN || errno == EWOULDBLOCK) break;
        if (IsGoneError(errno)) {
            DeviceVanished();
            return false;
        }
        DebugLog::Failure("ReadFile()", errno, m_portName);
        OnLineError(0);
        break;
    }
    if (m_haveCounts) {
        SerialErrorCounts now;
        if (m_io->ErrorCounts(m_fd, &now) == 0) {
            if (now.overrun != m_counts.overrun) m_pendingErrors |= ErrOverrun;
            if (now.bufferOverrun != m_counts.bufferOverrun) m_pendingErrors |= ErrRxOver;
            m_counts = now;
        }
    }
    return true;
}

void CComPort::Decode(const uint8_t* data, size_t count) {
    // Bytes an owner has not taken yet are bounded too: past the cap the
    // oldest go.
    if (m_inQueue.size() + count > InputQueueCap) {
        const size_t drop = std::min(m_inQueue.size(), m_inQueue.size() + count - InputQueueCap);
        m_inQueue.erase(m_inQueue.begin(), m_inQueue.begin() + long(drop));
        DebugLog::Printf("Port %s: input not taken, %zu old bytes dropped", m_portName.c_str(), drop);
    }
    for (size_t i = 0; i < count; ++i) {
        const uint8_t b = data[i];
        if (!m_marking) {
            m_inQueue.push_back(b);
            continue;
        }
        switch (m_markState) {
        case 0:
            if (b == 0xFF)
                m_markState = 1;
            else
                m_inQueue.push_back(b);
            break;
        case 1:
            if (b == 0xFF) {
                m_inQueue.push_back(0xFF);
                m_markState = 0;
            } else if (b == 0x00) {
                m_markState = 2;
            } else { // not a mark after all
                m_inQueue.push_back(0xFF);
                m_inQueue.push_back(b);
                m_markState = 0;
            }
            break;
        default:
            if (b == 0x00) {
                m_pendingErrors |= ErrBreak | ErrFrame;
            } else {
                m_pendingErrors |= m_inputParity == 'N' ? ErrFrame : ErrRxParity;
                m_inQueue.push_back(b);
            }
            m_markState = 0;
            break;
        }
    }
}

void CComPort::LineEventProcessing(bool readable) {
    const bool present = FetchInput(readable);
    if (!present) return;
    int outQueued = 0;
    if (m_io->OutputQueued(m_fd, &outQueued) != 0) outQueued = 0;
    outQueued += int(m_outgoing.size() - m_outgoingDone);
    uint32_t errors = m_pendingErrors;
    m_pendingErrors = 0;

    if (outQueued == 0) OnTxEmpty();
    if (errors & ErrBreak) {
        OnBreak();
        errors &= ~ErrFrame;
    }
    if (errors & ErrorsReported) OnLineError(errors);
    CheckModemLines(true);
    if (!m_inQueue.empty() && m_readyToRead) StartReading();
}

void CComPort::CheckModemLines(bool force) {
    if (m_fd < 0 || m_vanished || !m_modemLinesKnown) return;
    int lines = 0;
    if (m_io->GetModemLines(m_fd, &lines) != 0) {
        if (IsNoLinesError(errno))
            m_modemLinesKnown = false;
        else if (IsGoneError(errno))
            DeviceVanished();
        return;
    }
    const uint8_t cts = (lines & ModemCts) != 0, dsr = (lines & ModemDsr) != 0;
    const uint8_t rlsd = (lines & ModemRlsd) != 0, ring = (lines & ModemRing) != 0;
    const bool changed = cts != m_cts || dsr != m_dsr || rlsd != m_rlsd || ring != m_ring;
    // A changed line is a line event: the full processing runs, which
    // raises the hooks below through its own call.
    if (changed && !force) {
        LineEventProcessing();
        return;
    }
    if (cts != m_cts) m_cts = cts, OnCtsChange(cts);
    if (dsr != m_dsr) m_dsr = dsr, OnDsrChange(dsr);
    if (rlsd != m_rlsd) m_rlsd = rlsd, OnRlsdChange(rlsd);
    if (ring != m_ring) m_ring = ring, OnRingChange(ring);
}

void CComPort::StartReading() {
    const int count = int(m_inQueue.size());
    if (count == 0) return;
    m_readyToRead = false;
    OnBytesWaiting(count);
}

void CComPort::Writing() {
    size_t length;
    std::vector<uint8_t> frame;
    {
        std::lock_guard<std::mutex> lock(m_writeMutex);
        length = m_frameLength;
        frame.assign(m_writeBuffer.begin(), m_writeBuffer.begin() + length);
        m_frameLength = 0;
    }
    if (length == 0) {
        OnTxEmpty();
        return;
    }
    if (m_vanished) {
        DebugLog::Failure("WriteFile()", EIO, m_portName);
        return;
    }
    // A frame queued while the last one is still going out follows it.
    if (m_outgoingDone == m_outgoing.size()) {
        m_outgoing.clear();
        m_outgoingDone = 0;
    }
    m_outgoing.insert(m_outgoing.end(), frame.begin(), frame.end());
    m_writePending = false;
    ContinueWrite();
}

void CComPort::ContinueWrite() {
    while (m_outgoingDone < m_outgoing.size()) {
        const ssize_t n =
            m_io->Write(m_fd, m_outgoing.data() + m_outgoingDone, m_outgoing.size() - m_outgoingDone);
        if (n > 0) {
            m_outgoingDone += size_t(n);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            m_writePending = true; // the rest goes when the tty can take it
            return;
        }
        DebugLog::Failure("WriteFile()", errno, m_portName);
        if (n < 0 && IsGoneError(errno)) DeviceVanished();
        m_outgoing.clear();
        m_outgoingDone = 0;
        m_writePending = false;
        return;
    }
    const int written = int(m_outgoing.size());
    m_outgoing.clear();
    m_outgoingDone = 0;
    m_writePending = false;
    OnBytesWritten(written);
}
