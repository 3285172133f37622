// CHidDevice: readers attached as USB HID devices. Frames travel in fixed-size
// reports; input is polled from the session's wait loop. Until the HID
// transport is built no device is listed and nothing opens.
#pragma once

#include "Transport.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

class CHidDevice : public ITransport {
public:
    CHidDevice() = default;
    ~CHidDevice() override { Close(); }
    CHidDevice(const CHidDevice&) = delete;
    CHidDevice& operator=(const CHidDevice&) = delete;

    static void BindHidLibraries();
    static void UnbindHidLibraries();

    void ListDevices(std::vector<std::string>& list);
    bool OpenByName(const std::string& name);
    // The device handle, 0 when closed.
    int IsOpen() const { return 0; }
    void Close() {}
    bool Send(const uint8_t* data, size_t count) override;
    int Poll(uint8_t* buffer, int maximum) override;
    bool SetLinkState(int value);
    bool SendInterfaceCommand(const uint8_t* data, size_t count);
    int TransactInterfaceCommand(const uint8_t* data, size_t count, uint8_t* reply, int replyMax);

    // The session's HID transport: opened by list name, the interface told
    // that the link takes the device (link state 0) and, on closing, that it
    // releases it (1). Input is polled, at most 10 bytes a step.
    bool OpenLink(const std::string& name, const LinkLine& line) override;
    int LinkId() const override { return IsOpen(); }
    int PollLimit() const override { return 10; }
    void CloseLink() override;
    bool IsUsb() const override { return IsOpen() != 0; }
};
