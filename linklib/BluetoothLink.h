// CBluetoothLink: readers behind a Bluetooth adapter module. Until the
// Bluetooth transport is built nothing opens.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

class CBluetoothLink {
public:
    CBluetoothLink() = default;
    ~CBluetoothLink() { Close(); }
    CBluetoothLink(const CBluetoothLink&) = delete;
    CBluetoothLink& operator=(const CBluetoothLink&) = delete;

    bool Open(const std::string& portName);
    void Close() {}
    // The handle, 0 when closed.
    int IsOpen() const { return 0; }
    bool Send(const uint8_t* data, size_t count);
    int Receive(uint8_t* buffer, int maximum);
    bool SetBaudRate(int baud);
};
