// CHidDevice: readers attached as USB HID devices.
//
// The reader's byte stream travels in fixed-size reports of the device's
// report length L (its input report length with the report id byte, 9 when
// the descriptor cannot be read):
//   output, data channel       00 n payload... zeros up to L   (n 1..L-2)
//   output, interface channel  00 80+n payload... zeros up to L
//   input                      report id, count byte, payload from byte 2
// The interface channel carries commands for the USB interface itself (link
// state 0x10, the keyboard table). Input is polled from the session's wait
// loop, one report per poll. Output goes through a writer thread of the open
// device so that a write the system does not finish within 50 ms fails the
// report instead of stalling the caller.
#pragma once

#include "HidBackend.h"
#include "Transport.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <thread>
#include <vector>

class CHidDevice : public ITransport {
public:
    // Output reports are at most this long; devices outside 4..36 are refused.
    static constexpr int MaxReportLength = 36;
    static constexpr int MinReportLength = 4;
    static constexpr int WriteTimeoutMs = 50;
    static constexpr int TransactTimeoutMs = 100;
    static constexpr int HandleBase = 0x20000;

    CHidDevice() = default;
    ~CHidDevice() override { Close(); }
    CHidDevice(const CHidDevice&) = delete;
    CHidDevice& operator=(const CHidDevice&) = delete;

    static void BindHidLibraries();
    static void UnbindHidLibraries();

    // Whether a HID interface belongs to the reader family.
    static bool IsFamilyDevice(uint16_t vendorId, uint16_t productId);
    // "<serial> HID"; "2286-???? HID" without a serial number.
    static std::string ListName(const std::string& serial);

    // Appends the list name of every present family device not yet listed.
    void ListDevices(std::vector<std::string>& list);
    // Closes what is open, then opens the family device whose list name is
    // exactly name.
    bool OpenByName(const std::string& name);
    // The device handle, 0 when closed: HandleBase + an eventfd the open
    // device holds, so it never equals a serial session's handle (0x10000 +
    // its fd) nor a small network id. A device lost to a
    // read error keeps its handle until Close, so its session stays
    // reachable: its exchanges time out and it can be closed.
    int IsOpen() const { return m_handle >= 0 ? m_handle : 0; }
    void Close();
    // The open device's report length (0 when closed).
    int ReportLength() const { return m_reportLength; }
    const std::string& Name() const { return m_name; }

    // Data channel: the bytes in chunks of L-2, one report each.
    bool Send(const uint8_t* data, size_t count) override;
    // The payload of one input report if one has arrived, at most maximum
    // bytes (the rest of that report is dropped); never blocks.
    int Poll(uint8_t* buffer, int maximum) override;
    // Interface command 0x10 with one argument byte.
    bool SetLinkState(int value);
    // One interface-channel report; at most L-2 payload bytes.
    bool SendInterfaceCommand(const uint8_t* data, size_t count);
    // One interface-channel report and its answer (within 100 ms, more than
    // 2 bytes, first byte as the request's): bytes copied, -1 otherwise.
    int TransactInterfaceCommand(const uint8_t* data, size_t count, uint8_t* reply, int replyMax);

    // The session's HID transport: opened by list name, the interface told
    // that the link takes the device (link state 0) and, on closing, that it
    // releases it (1). Input is polled, at most 10 bytes a step.
    bool OpenLink(const std::string& name, const LinkLine& line) override;
    int LinkId() const override { return IsOpen(); }
    int PollLimit() const override { return 10; }
    void CloseLink() override;
    bool IsLost() const override { return m_handle >= 0 && !m_connection; }
    bool IsUsb() const override { return IsOpen() != 0; }

private:
    struct Writer;
    bool WriteReport(uint8_t channelBits, const uint8_t* data, size_t count);
    int PollFor(uint8_t* buffer, int maximum, int timeoutMs);
    void ReleaseConnection();
    static int TakeHandle();
    static void WriterLoop(std::shared_ptr<Writer> writer);

    std::string m_name;
    int m_handle = -1;
    int m_reportLength = 0;
    std::shared_ptr<HidBackend::IConnection> m_connection;
    std::shared_ptr<Writer> m_writer;
    std::thread m_writerThread;
    std::vector<uint8_t> m_input;
};
