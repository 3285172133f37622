// ITransport: what a reader session needs of the transport it talks through.
//
// CComPort (serial lines and USB bridges), CTcpSocket (LAN), CHidDevice (USB
// HID) and CBluetoothLink (Bluetooth adapter modules) implement it. A
// session picks one when it opens (by the port name's LinkPort::Kind,
// CReaderSession::TransportFor) and from then on sends, polls, changes the
// line and closes only through this interface.
//
// Received bytes reach the session's OnReceiveByte either from the
// transport itself (the serial port thread, the LAN sockets read by the
// library dispatcher during every wait) or through Poll, which the session's
// wait calls on every step for a transport with a PollLimit.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// The line a transport opens with: LinkOpen's baud rate and format (0 8N1,
// 1 8E1, 2 8O1, 3 8N2). Transports without a line of their own ignore it.
struct LinkLine {
    int baud = 19200;
    int format = 0;
};

class ITransport {
public:
    // How LinkSetBaudRate changes the line on this transport.
    enum class LineChange {
        Refused,    // status 14, nothing sent
        HostOnly,   // no reader command; only the host side changes
        WithReader, // command 0xF2 to the reader first, then the host side
    };

    virtual ~ITransport() = default;

    // Opens the device a port name names (without its bus address); false
    // when it does not open.
    virtual bool OpenLink(const std::string& name, const LinkLine& line) = 0;
    // The session id the open transport gives (its device handle or LAN
    // id); 0 when it is closed.
    virtual int LinkId() const = 0;
    // Hands bytes to the device and returns without waiting for the reader.
    virtual bool Send(const uint8_t* data, size_t count) = 0;
    // A transport without a thread or socket of its own is polled: the most
    // bytes one poll step reads (0: it delivers by itself), and the read,
    // which never blocks and returns the bytes read.
    virtual int PollLimit() const { return 0; }
    virtual int Poll(uint8_t* /*buffer*/, int /*maximum*/) { return 0; }
    // Input that arrives through the library dispatcher (LAN sockets): a raw
    // receive dispatches once before it looks at the queue.
    virtual bool DispatchedInput() const { return false; }
    // Closes what OpenLink opened (and tells the device where it wants to
    // know); harmless when closed.
    virtual void CloseLink() = 0;

    virtual LineChange LineChangeKind() const { return LineChange::Refused; }
    // The host side of a line change; true when the rate took.
    virtual bool SetLine(const LinkLine& /*line*/) { return false; }
    // The device went away while the transport was open (unplugged, hung
    // up); what was sent since is lost and nothing more arrives.
    virtual bool IsLost() const { return false; }
    // LinkIsUsb: a USB HID device, or a serial line on a USB bridge.
    virtual bool IsUsb() const { return false; }
    // Whether LinkOpen identifies the reader before handing out the session
    // (every transport but Bluetooth, whose link is made on the first
    // exchange).
    virtual bool ProbesOnOpen() const { return true; }
};
