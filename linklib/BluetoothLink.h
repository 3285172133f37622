// CBluetoothLink: readers behind a Bluetooth adapter module.
//
// The module is driven with packets of its own (02 type opcode lenLo lenHi
// sum payload 03). It sits either behind a serial line (a COMn name or a
// device path, 9600 8N1) or on a CP210x USB bridge found by its product
// string (CSiUsbLibrary). The link to a reader is made on demand: the first
// Send or Receive that finds no link runs an inquiry for readers (class of
// device 0x000500) and a link request; from then on the session's frames
// travel in data packets. There is no thread: every wait polls the module
// and runs the library dispatcher (the program's event pump) at least every
// few milliseconds.
#pragma once

#include "SerialIo.h"
#include "SiUsbLibrary.h"
#include "Transport.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class CBluetoothLink : public ITransport {
public:
    static constexpr int BufferSize = 1000;
    static constexpr int MaxDevices = 29;
    static constexpr int RecordSize = 38; // 6-byte address, 32-byte name
    static constexpr int MaxNameLength = 30;
    static constexpr int MaxDataPerPacket = 442;
    static constexpr uint32_t ReaderClass = 0x000500;

    // Packet codes: type in the low byte, opcode in the high byte.
    enum Code : uint16_t {
        InquiryConfirm = 0x0043,
        DeviceFound = 0x0169,
        NameConfirm = 0x0243,
        LinkConfirm = 0x0A43,
        LinkIndication = 0x0B69,
        LinkLost = 0x0E69,
        DataIndication = 0x1069,
        HandshakeIndication = 0x2569,
        ReleaseIndication = 0x5169,
    };
    enum Opcode : uint8_t {
        OpInquiry = 0x00,
        OpRemoteName = 0x02,
        OpLink = 0x0A,
        OpRelease = 0x0D,
        OpData = 0x0F,
        OpHandshake = 0x26,
    };

    // The waits, in milliseconds. Tests shorten them.
    struct Timing {
        int inquiry = 10000;    // inquiry and each remote name
        int link = 5000;        // link request until the link indication
        int backOff = 500;      // no new link attempt this soon after a failed one
        int afterInquiry = 500; // pause between the inquiry and the link request
        int handshake = 201;    // opcode 0x26 at open
        int release = 7001;     // link release on close
        // How long a packet start may wait for the rest of its packet (a
        // whole 1000-byte packet at 9600 baud takes about 1040 ms).
        int incomplete = 2000;
    };

    CBluetoothLink() = default;
    ~CBluetoothLink() override { Close(); }
    CBluetoothLink(const CBluetoothLink&) = delete;
    CBluetoothLink& operator=(const CBluetoothLink&) = delete;

    // Tests: the serial seam of the COM route (null: the system's) and the
    // waits.
    void SetSerialIo(std::shared_ptr<CSerialIo> io) { m_io = io ? std::move(io) : CSerialIo::System(); }
    void SetTiming(const Timing& timing) { m_timing = timing; }
    const Timing& GetTiming() const { return m_timing; }

    bool Open(const std::string& portName);
    void Close();
    // The handle, 0 when closed: HandleBase + the descriptor of the module's
    // tty (either route), as a serial session's, so the id a session takes
    // from it never equals a network session's small id, and two open
    // devices never share one.
    static constexpr int HandleBase = 0x10000;
    int IsOpen() const { return m_handle >= 0 ? HandleBase + int(m_handle) : 0; }
    bool IsComRoute() const { return m_com; }
    bool IsLinkUp() const { return m_linkUp; }
    const std::string& PortName() const { return m_portName; }
    // False (nothing sent) when the link attempt fails, or for more than 442
    // bytes. Within the back-off after a failed attempt the packet is written.
    bool Send(const uint8_t* data, size_t count) override;
    int Receive(uint8_t* buffer, int maximum);
    bool SetBaudRate(int baud);

    // Runs an inquiry: records of 38 bytes (address in module order, NUL-ended
    // name) for the devices of class filter (0: any), at most room bytes of
    // them; -1 when the module does not finish it in time.
    int Inquiry(int timeoutMs, uint32_t filter, uint8_t* records, int room);

    // One pass over what the module sent: assembles at most one packet and
    // applies it. False when no whole packet was there.
    bool ProcessPacket();
    // Builds a module request (type 0x52) of n + 7 bytes.
    static std::vector<uint8_t> BuildPacket(uint8_t opcode, const uint8_t* payload, size_t count);

    // The session's Bluetooth transport. The link to the reader is made on
    // the first exchange, so a session opens without a probe. Input is
    // polled, at most 100 bytes a step; a line change sets the module's rate
    // without a reader command.
    bool OpenLink(const std::string& name, const LinkLine&) override { return Open(name); }
    int LinkId() const override { return IsOpen(); }
    int PollLimit() const override { return 100; }
    int Poll(uint8_t* buffer, int maximum) override { return Receive(buffer, maximum); }
    void CloseLink() override { Close(); }
    LineChange LineChangeKind() const override { return LineChange::HostOnly; }
    bool SetLine(const LinkLine& line) override { return SetBaudRate(line.baud); }
    bool ProbesOnOpen() const override { return false; }

    // Fuzzing: feeds module bytes as if read (at most the free space) and
    // reports the buffer fills.
    int FeedForTest(const uint8_t* data, int count);
    void SetFilterForTest(uint32_t filter) { m_filter = filter; }
    // Moves up to maximum bytes of the reader data that arrived to buffer.
    int TakeData(uint8_t* buffer, int maximum);
    int AssemblyCount() const { return m_assemblyCount; }
    int DataCount() const { return m_dataCount; }
    int DeviceCount() const { return m_deviceCount; }

private:
    using Clock = std::chrono::steady_clock;

    bool OpenUsb(uint32_t index);
    bool OpenCom(const std::string& name);
    void CloseHandle();
    bool WritePacket(uint8_t opcode, const uint8_t* payload, size_t count);
    void ReadOnce();
    uint16_t Assemble(std::vector<uint8_t>& payload);
    void Apply(uint16_t code, const std::vector<uint8_t>& payload);
    // Processes packets until the reply flag is set or milliseconds pass,
    // running the dispatcher between polls; true when the reply came.
    bool WaitReply(int milliseconds);
    void PauseFor(int milliseconds);
    void WaitForInput(int milliseconds);
    int LinkRequest(const uint8_t* address, uint8_t port, int timeoutMs);
    bool EnsureLink();
    void ReleaseLink();
    void ResetState();

    std::shared_ptr<CSerialIo> m_io = CSerialIo::System();
    CSiUsbLibrary m_usb;
    Timing m_timing;

    std::string m_portName;
    intptr_t m_handle = -1;
    bool m_com = false;

    uint16_t m_expected = 0;
    uint8_t m_assembly[BufferSize] = {};
    int m_assemblyCount = 0;
    std::optional<Clock::time_point> m_incompleteSince;
    uint8_t m_data[BufferSize] = {};
    int m_dataCount = 0;
    uint8_t m_devices[MaxDevices][6] = {};
    int m_deviceCount = 0;
    uint32_t m_filter = 0;
    char m_name[32] = {};
    bool m_replied = false;
    int m_linkStatus = 0;
    bool m_linkUp = false;

    uint8_t m_remote[6] = {};
    bool m_remoteKnown = false;
    uint8_t m_remotePort = 2;
    int m_linkTimeoutMs = 0;
    bool m_failed = false;
    Clock::time_point m_failedAt{};
};
