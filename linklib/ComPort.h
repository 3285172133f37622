// CComPort: the serial transport.
//
// One open tty, its line settings, and one port thread that watches the line
// and moves bytes both ways. Every received byte goes to the virtual hook
// OnReceiveByte on the port thread, in arrival order. The reader session
// derives from this class and overrides that hook only.
//
// Port names: "COMn" (n from 1, optionally behind "\\.\", anything after the
// digits ignored) opens /dev/ttyS<n-1>; a name beginning with "/" is a
// device path (up to its first blank, so a listed name with a label opens
// too, and without a colon at its end, an empty bus address); anything else
// is the serial number of a USB bridge device.
#pragma once

#include "SerialIo.h"
#include "Transport.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

class CFtdiLibrary;

// Receives the notification messages of a port that has an owner.
class CComPortOwner {
public:
    virtual ~CComPortOwner() = default;
    // Called on the port thread: message = ComPortMessage::App + n, lParam = port number.
    virtual void OnPortMessage(unsigned message, uintptr_t wParam, int lParam) = 0;
};

namespace ComPortMessage {
constexpr unsigned App = 0x8000;
constexpr unsigned Break = App + 1;
constexpr unsigned CtsChange = App + 2;
constexpr unsigned DsrChange = App + 3;
constexpr unsigned LineError = App + 4;
constexpr unsigned RingChange = App + 5;
constexpr unsigned RlsdChange = App + 6;
constexpr unsigned ReceiveByte = App + 7;
constexpr unsigned Spare = App + 8;
constexpr unsigned TxEmpty = App + 9;
constexpr unsigned BytesWaiting = App + 10;
constexpr unsigned BytesWritten = App + 11;
} // namespace ComPortMessage

// Event mask bits and the error word of the line event processing.
namespace ComPortBits {
constexpr uint32_t EvRxChar = 0x0001;
constexpr uint32_t EvTxEmpty = 0x0004;
constexpr uint32_t EvCts = 0x0008;

constexpr uint32_t ErrRxOver = 0x0001;
constexpr uint32_t ErrOverrun = 0x0002;
constexpr uint32_t ErrRxParity = 0x0004;
constexpr uint32_t ErrFrame = 0x0008;
constexpr uint32_t ErrBreak = 0x0010;
constexpr uint32_t ErrTxFull = 0x0100;
constexpr uint32_t ErrIo = 0x0400;
constexpr uint32_t ErrorsReported = 0x050F;
// The device went away (unplugged, pty master closed).
constexpr uint32_t DeviceGone = 0x0800;

constexpr int ModemCts = 0x10;
constexpr int ModemDsr = 0x20;
constexpr int ModemRing = 0x40;
constexpr int ModemRlsd = 0x80;
} // namespace ComPortBits

struct ComOpenParams {
    CComPortOwner* owner = nullptr;
    std::string portName;
    int baudRate = 19200;
    char parity = 'N'; // 'N', 'E' or 'O'
    int dataBits = 8;
    int stopBits = 1; // 1 or 2
    int flowControl = 0;
    uint32_t eventMask = ComPortBits::EvRxChar | ComPortBits::EvCts;
    int writeBufferCapacity = 512;
};

class CComPort : public ITransport {
public:
    // Serial handles start here, so that they never meet the small ids of
    // network sessions in the session list.
    static constexpr int HandleBase = 0x10000;

    struct NameInfo {
        enum Kind { Com, DevicePath, Bridge } kind = Bridge;
        std::string openName; // tty path, or the bridge serial number
        int portNumber = 0;
    };
    static NameInfo ClassifyName(const std::string& name);

    // Frame setting 0..3 -> parity letter and stop bits (8N1, 8E1, 8O1, 8N2; others 8N1).
    static void FrameSetting(int format, char& parity, int& stopBits);

    CComPort();
    ~CComPort() override;
    CComPort(const CComPort&) = delete;
    CComPort& operator=(const CComPort&) = delete;

    // True when the device was opened, even if a later configuration step failed.
    bool Open(const ComOpenParams& params);
    // Starts the port thread; false if one exists already or cannot be started.
    bool StartMonitoring();
    // Hands a frame to the port thread and returns at once. length -1: data is
    // a zero-terminated text. A frame longer than the write buffer is refused.
    void QueueWrite(const uint8_t* data, int length);
    // Stops the thread and closes everything; harmless on a closed port.
    void Close();

    // Line-setting changes on an open port; true when applied.
    bool SetBaudRate(int baud);
    bool SetParityEven();
    bool SetParityOdd();
    bool SetParityNone();
    bool SetStopBits(int code); // 0 one stop bit, 2 two stop bits

    // The port's handle: 0 when closed.
    int Handle() const { return m_fd >= 0 ? HandleBase + m_fd : 0; }
    bool IsOpen() const { return m_fd >= 0; }
    bool IsBridge() const { return m_bridge; }
    int PortNumber() const { return m_portNumber; }
    const std::string& PortName() const { return m_portName; }
    int BaudRate() const { return m_line.baud; }

    // The serial transport of a session: Open with the line's parity and
    // stop bits (FrameSetting), 8 data bits, no flow control, event mask 9,
    // a 512-byte write buffer and no owner; then the port thread. The line
    // changes with the reader (0xF2) unless the port is a USB bridge.
    bool OpenLink(const std::string& name, const LinkLine& line) override;
    int LinkId() const override { return Handle(); }
    bool Send(const uint8_t* data, size_t count) override;
    void CloseLink() override { Close(); }
    LineChange LineChangeKind() const override;
    // Parity and stop bits of the format (not fatal where the device cannot
    // carry them, as a pty cannot carry parity), then the rate, which decides.
    bool SetLine(const LinkLine& line) override;
    bool IsUsb() const override { return IsOpen() && IsBridge(); }
    // The device went away (hang-up, unplug, pty master closed) while open.
    bool IsLost() const override { return IsOpen() && m_vanished; }

    // The system call seam; set before Open (tests only).
    void SetSerialIo(std::shared_ptr<CSerialIo> io) { m_io = std::move(io); }

protected:
    // Hooks, raised on the port thread. The default bodies send the owner
    // its message, and do nothing without an owner.
    virtual void OnReceiveByte(uint8_t byte);
    virtual void OnCtsChange(bool on);
    virtual void OnSpare();
    virtual void OnBreak();
    virtual void OnLineError(uint32_t mask);
    virtual void OnRingChange(bool on);
    virtual void OnRlsdChange(bool on);
    virtual void OnDsrChange(bool on);
    // Without an owner the default reads the waiting bytes itself.
    virtual void OnBytesWaiting(int count);
    virtual void OnBytesWritten(int count);
    virtual void OnTxEmpty();

    // The most bytes the port thread reads in one go, and the most it keeps
    // for an owner that does not take them.
    static constexpr int MaxReadRounds = 8; // of 512 bytes
    static constexpr size_t InputQueueCap = 64 * 1024;

    // Delivers up to count waiting bytes to OnReceiveByte (port thread).
    void ReceiveWaiting(int count);
    // Makes the port thread look at the line at once.
    void SignalReceiveCheck();

private:
    struct LineSettings {
        int baud = 19200;
        char parity = 'N';
        int dataBits = 8;
        int stopBitsCode = 0; // 0 one, 2 two
        int flowControl = 0;
        uint32_t reserved = 0;
    };

    void Notify(unsigned message, uintptr_t wParam);
    bool ApplyLineSettings();
    void ApplyModemControl();
    void StopThread();
    void CloseEvents();
    void ThreadMain();
    void LineEventProcessing(bool readable = false);
    bool FetchInput(bool readable);
    void Decode(const uint8_t* data, size_t count);
    void StartReading();
    void Writing();
    void ContinueWrite();
    void CheckModemLines(bool force);
    void DeviceVanished();
    int OpenBridgeDevice(const std::string& serialNumber);

    std::shared_ptr<CSerialIo> m_io;
    std::unique_ptr<CFtdiLibrary> m_ftdi;

    uint8_t m_dsr = 0, m_cts = 0, m_rlsd = 0, m_ring = 0;
    std::atomic<bool> m_threadRunning{false};
    std::atomic<int> m_fd{-1};
    int m_shutdownEvent = -1;
    int m_receiveCheckEvent = -1;
    int m_writeRequestEvent = -1;
    uint32_t m_eventMask = 0;
    bool m_readyToRead = true;
    bool m_writePending = false;
    bool m_bridge = false;
    // What the port thread decodes input by; the caller's thread changes
    // the line settings while input arrives.
    std::atomic<bool> m_marking{false}; // PARMRK marking is active on the tty
    std::atomic<char> m_inputParity{'N'};
    bool m_modemLinesKnown = true;       // false once the tty has no modem lines (pty)
    std::atomic<bool> m_vanished{false}; // set by the port thread, read by the caller
    std::thread m_thread;
    std::mutex m_threadStartMutex;
    std::condition_variable m_threadStarted;
    bool m_threadHasStarted = false;
    std::mutex m_portLock;
    CComPortOwner* m_owner = nullptr;
    int m_portNumber = 0;
    std::string m_portName;
    LineSettings m_line;

    // Handed from the caller to the port thread under m_writeMutex.
    std::mutex m_writeMutex;
    std::vector<uint8_t> m_writeBuffer;
    size_t m_writeCapacity = 0;
    size_t m_frameLength = 0;

    // Port thread only.
    std::vector<uint8_t> m_outgoing;
    size_t m_outgoingDone = 0;
    std::deque<uint8_t> m_inQueue;
    uint32_t m_pendingErrors = 0;
    int m_markState = 0;
    SerialErrorCounts m_counts;
    bool m_haveCounts = false;
};
