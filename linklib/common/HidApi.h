// The hidapi 0.13 C API: the functions a host of the hidraw backend uses,
// with the contract each one keeps. The link library's run-time binding
// takes its types from here, and the stand-in libraries (the simulated HID
// readers', the binding tests') export these functions. No hidapi header is
// installed on these machines; the declarations follow hidapi 0.13's
// hidapi.h, including the order of struct hid_device_info, whose layout the
// asserts at the end pin for 64-bit Linux.
#pragma once

#include <stddef.h>
#include <wchar.h>

#ifdef __cplusplus
extern "C" {
#endif

#define HID_API_EXPORT __attribute__((visibility("default")))

typedef enum {
    HID_API_BUS_UNKNOWN = 0x00,
    HID_API_BUS_USB = 0x01,
    HID_API_BUS_BLUETOOTH = 0x02,
    HID_API_BUS_I2C = 0x03,
    HID_API_BUS_SPI = 0x04,
} hid_bus_type;

struct hid_device_info {
    char* path; // what hid_open_path takes
    unsigned short vendor_id;
    unsigned short product_id;
    wchar_t* serial_number; // NULL when the device has no serial number string
    unsigned short release_number;
    wchar_t* manufacturer_string;
    wchar_t* product_string;
    unsigned short usage_page;
    unsigned short usage;
    int interface_number;
    struct hid_device_info* next;
    hid_bus_type bus_type;
};

typedef struct hid_device_ hid_device;

// 0 on success (always here); -1 on error.
int HID_API_EXPORT hid_init(void);
// 0 on success; -1 on error. Open devices stay usable until hid_close.
int HID_API_EXPORT hid_exit(void);
// A linked list of the devices with this vendor and product id (0 matches
// any), to be freed with hid_free_enumeration; NULL when there is none.
struct hid_device_info HID_API_EXPORT* hid_enumerate(unsigned short vendor_id, unsigned short product_id);
void HID_API_EXPORT hid_free_enumeration(struct hid_device_info* devs);
// The device, or NULL when it cannot be opened.
hid_device HID_API_EXPORT* hid_open_path(const char* path);
// Writes one output report: data[0] is the report id (0 for a device
// without report ids), then the report's bytes. Blocks until the device has
// taken it. Returns the bytes written (length) or -1 on error.
int HID_API_EXPORT hid_write(hid_device* dev, const unsigned char* data, size_t length);
// Reads one input report, waiting at most milliseconds (-1: without limit).
// A device without report ids gives its report without a report-id byte.
// Returns the bytes read (at most length), 0 when none came in time, -1 on
// error (the device is gone).
int HID_API_EXPORT hid_read_timeout(hid_device* dev, unsigned char* data, size_t length, int milliseconds);
void HID_API_EXPORT hid_close(hid_device* dev);
// The last error of dev (NULL: of the last enumerate or open), "Success"
// when there was none. Valid until the next call on dev.
const wchar_t HID_API_EXPORT* hid_error(hid_device* dev);

#ifdef __cplusplus
}
#endif

#if defined(__cplusplus) && defined(__LP64__)
static_assert(offsetof(hid_device_info, serial_number) == 16 && offsetof(hid_device_info, usage_page) == 48 &&
                  offsetof(hid_device_info, next) == 56 && offsetof(hid_device_info, bus_type) == 64 &&
                  sizeof(hid_device_info) == 72,
              "struct hid_device_info as hidapi 0.13 lays it out");
#endif
