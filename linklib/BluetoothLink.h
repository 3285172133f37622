// CBluetoothLink: readers behind a Bluetooth adapter module. Until the
// Bluetooth transport is built nothing opens.
#pragma once

#include "Transport.h"

#include <cstddef>
#include <cstdint>
#include <string>

class CBluetoothLink : public ITransport {
public:
    CBluetoothLink() = default;
    ~CBluetoothLink() override { Close(); }
    CBluetoothLink(const CBluetoothLink&) = delete;
    CBluetoothLink& operator=(const CBluetoothLink&) = delete;

    bool Open(const std::string& portName);
    void Close() {}
    // The handle, 0 when closed.
    int IsOpen() const { return 0; }
    bool Send(const uint8_t* data, size_t count) override;
    int Receive(uint8_t* buffer, int maximum);
    bool SetBaudRate(int baud);

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
};
