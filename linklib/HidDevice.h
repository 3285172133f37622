// CHidDevice: readers attached as USB HID devices. Frames travel in fixed-size
// reports; input is polled from the session's wait loop. Until the HID
// transport is built no device is listed and nothing opens.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

class CHidDevice {
public:
    CHidDevice() = default;
    ~CHidDevice() { Close(); }
    CHidDevice(const CHidDevice&) = delete;
    CHidDevice& operator=(const CHidDevice&) = delete;

    static void BindHidLibraries();
    static void UnbindHidLibraries();

    void ListDevices(std::vector<std::string>& list);
    bool OpenByName(const std::string& name);
    // The device handle, 0 when closed.
    int IsOpen() const { return 0; }
    void Close() {}
    bool Send(const uint8_t* data, size_t count);
    int Poll(uint8_t* buffer, int maximum);
    bool SetLinkState(int value);
    bool SendInterfaceCommand(const uint8_t* data, size_t count);
    int TransactInterfaceCommand(const uint8_t* data, size_t count, uint8_t* reply, int replyMax);
};
