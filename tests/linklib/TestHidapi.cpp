// A small library with the hidapi 0.13 C API, for the tests of the link's
// binding: devices are made by the test through the test_hidapi_* entries;
// reads behave as the hidraw backend does (no report id byte for a device
// without report ids). Built twice: whole, and (TEST_HIDAPI_INCOMPLETE)
// without hid_read_timeout, as a library the link must not use.
#include "HidApi.h"

#include <algorithm>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <deque>
#include <mutex>
#include <string>
#include <vector>

namespace {

struct Device {
    std::string path;
    unsigned short vendor, product;
    std::wstring serial;
    bool hasSerial;
    std::deque<std::vector<unsigned char>> input; // as hid_read hands them up
    std::vector<std::vector<unsigned char>> written;
    bool open = false;
};

std::mutex mutex;
std::vector<Device> devices;
int initCalls = 0, exitCalls = 0;

Device* Find(const std::string& path) {
    for (Device& device : devices)
        if (device.path == path) return &device;
    return nullptr;
}

} // namespace

struct hid_device_ {
    std::string path;
};

extern "C" {

__attribute__((visibility("default"))) int hid_init(void) {
    std::lock_guard<std::mutex> lock(mutex);
    ++initCalls;
    return 0;
}

__attribute__((visibility("default"))) int hid_exit(void) {
    std::lock_guard<std::mutex> lock(mutex);
    ++exitCalls;
    return 0;
}

__attribute__((visibility("default"))) hid_device_info* hid_enumerate(unsigned short vendor,
                                                                      unsigned short product) {
    std::lock_guard<std::mutex> lock(mutex);
    hid_device_info* first = nullptr;
    hid_device_info** tail = &first;
    for (const Device& device : devices) {
        if ((vendor && device.vendor != vendor) || (product && device.product != product)) continue;
        auto* info = static_cast<hid_device_info*>(std::calloc(1, sizeof(hid_device_info)));
        info->path = strdup(device.path.c_str());
        info->vendor_id = device.vendor;
        info->product_id = device.product;
        if (device.hasSerial) info->serial_number = wcsdup(device.serial.c_str());
        info->bus_type = HID_API_BUS_USB;
        *tail = info;
        tail = &info->next;
    }
    return first;
}

__attribute__((visibility("default"))) void hid_free_enumeration(hid_device_info* info) {
    while (info) {
        hid_device_info* next = info->next;
        std::free(info->path);
        std::free(info->serial_number);
        std::free(info);
        info = next;
    }
}

__attribute__((visibility("default"))) hid_device* hid_open_path(const char* path) {
    std::lock_guard<std::mutex> lock(mutex);
    Device* device = Find(path);
    if (!device) return nullptr;
    device->open = true;
    return new hid_device_{path};
}

__attribute__((visibility("default"))) int hid_write(hid_device* handle, const unsigned char* data,
                                                     size_t length) {
    std::lock_guard<std::mutex> lock(mutex);
    Device* device = Find(handle->path);
    if (!device) return -1;
    device->written.emplace_back(data, data + length);
    return int(length);
}

#ifndef TEST_HIDAPI_INCOMPLETE
__attribute__((visibility("default"))) int hid_read_timeout(hid_device* handle, unsigned char* data,
                                                            size_t length, int) {
    std::lock_guard<std::mutex> lock(mutex);
    Device* device = Find(handle->path);
    if (!device) return -1;
    if (device->input.empty()) return 0;
    std::vector<unsigned char> next = device->input.front();
    device->input.pop_front();
    const size_t n = std::min(length, next.size());
    std::memcpy(data, next.data(), n);
    return int(n);
}
#endif

__attribute__((visibility("default"))) void hid_close(hid_device* handle) {
    std::lock_guard<std::mutex> lock(mutex);
    if (Device* device = Find(handle->path)) device->open = false;
    delete handle;
}

// The test's controls.
__attribute__((visibility("default"))) void test_hidapi_reset(void) {
    std::lock_guard<std::mutex> lock(mutex);
    devices.clear();
    initCalls = exitCalls = 0;
}

__attribute__((visibility("default"))) void test_hidapi_add(const char* path, unsigned short vendor,
                                                            unsigned short product, const wchar_t* serial) {
    std::lock_guard<std::mutex> lock(mutex);
    devices.push_back(Device{path, vendor, product, serial ? serial : L"", serial != nullptr, {}, {}, false});
}

__attribute__((visibility("default"))) void test_hidapi_queue(const char* path, const unsigned char* data,
                                                              size_t length) {
    std::lock_guard<std::mutex> lock(mutex);
    if (Device* device = Find(path)) device->input.emplace_back(data, data + length);
}

// Copies the index-th written report into data; its length, -1 if none.
__attribute__((visibility("default"))) int test_hidapi_written(const char* path, size_t index,
                                                               unsigned char* data, size_t size) {
    std::lock_guard<std::mutex> lock(mutex);
    Device* device = Find(path);
    if (!device || index >= device->written.size()) return -1;
    const std::vector<unsigned char>& report = device->written[index];
    std::memcpy(data, report.data(), std::min(size, report.size()));
    return int(report.size());
}

__attribute__((visibility("default"))) int test_hidapi_is_open(const char* path) {
    std::lock_guard<std::mutex> lock(mutex);
    Device* device = Find(path);
    return device && device->open ? 1 : 0;
}

__attribute__((visibility("default"))) int test_hidapi_calls(int exits) {
    std::lock_guard<std::mutex> lock(mutex);
    return exits ? exitCalls : initCalls;
}

} // extern "C"
