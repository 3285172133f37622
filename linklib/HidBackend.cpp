#include "HidBackend.h"

#include "DebugLog.h"
#include "HidApi.h"
#include "Sysfs.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cwchar>
#include <dlfcn.h>
#include <fcntl.h>
#include <fstream>
#include <iterator>
#include <linux/hidraw.h>
#include <map>
#include <mutex>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace HidBackend {

// ---------------------------------------------------------------------------
// Report descriptors

ReportLayout ParseReportDescriptor(const uint8_t* descriptor, size_t length) {
    struct Globals {
        uint64_t reportSize = 0;
        uint64_t reportCount = 0;
        unsigned reportId = 0;
    };
    ReportLayout layout;
    if (!descriptor && length) return layout;
    Globals globals;
    std::vector<Globals> stack;
    std::map<unsigned, uint64_t> inputBits; // per report id
    constexpr uint64_t BitsCap = uint64_t(1) << 40;

    size_t i = 0;
    while (i < length) {
        const uint8_t prefix = descriptor[i];
        if (prefix == 0xFE) { // long item: size byte, tag byte, data
            if (i + 2 >= length) return layout;
            const size_t size = descriptor[i + 1];
            if (i + 3 + size > length) return layout;
            i += 3 + size;
            continue;
        }
        static const size_t sizes[4] = {0, 1, 2, 4};
        const size_t size = sizes[prefix & 3];
        if (i + 1 + size > length) return layout;
        uint64_t value = 0;
        for (size_t b = 0; b < size; ++b)
            value |= uint64_t(descriptor[i + 1 + b]) << (8 * b);
        const int type = (prefix >> 2) & 3;
        const int tag = prefix >> 4;
        if (type == 1) { // global
            switch (tag) {
            case 7:
                globals.reportSize = value;
                break;
            case 8:
                globals.reportId = unsigned(value);
                layout.usesReportIds = true;
                break;
            case 9:
                globals.reportCount = value;
                break;
            case 10:
                if (stack.size() < 64) stack.push_back(globals);
                break;
            case 11:
                if (!stack.empty()) {
                    globals = stack.back();
                    stack.pop_back();
                }
                break;
            default:
                break;
            }
        } else if (type == 0 && tag == 8) { // main: Input
            uint64_t& bits = inputBits[globals.reportId];
            bits = std::min(BitsCap, bits + std::min(BitsCap, globals.reportSize * globals.reportCount));
        }
        i += 1 + size;
    }

    uint64_t longest = 0;
    for (const auto& entry : inputBits)
        longest = std::max(longest, entry.second);
    const uint64_t bytes = (longest + 7) / 8 + 1;
    layout.inputLength = int(std::min<uint64_t>(bytes, INT_MAX));
    layout.valid = true;
    return layout;
}

namespace {

bool ReadDescriptorIoctl(const std::string& path, std::vector<uint8_t>& descriptor) {
    // Only a character device can be a hidraw node; a stand-in library's
    // path may name anything (a socket, a FIFO) that must not be opened.
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0 || !S_ISCHR(info.st_mode)) return false;
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) return false;
    if (::fstat(fd, &info) != 0 || !S_ISCHR(info.st_mode)) {
        ::close(fd);
        return false;
    }
    int size = 0;
    bool ok = false;
    hidraw_report_descriptor raw{};
    if (::ioctl(fd, HIDIOCGRDESCSIZE, &size) == 0 && size >= 0 && size <= HID_MAX_DESCRIPTOR_SIZE) {
        raw.size = uint32_t(size);
        if (::ioctl(fd, HIDIOCGRDESC, &raw) == 0) {
            descriptor.assign(raw.value, raw.value + raw.size);
            ok = true;
        }
    }
    ::close(fd);
    return ok;
}

bool ReadDescriptorSysfs(const std::string& path, std::vector<uint8_t>& descriptor) {
    const size_t slash = path.find_last_of('/');
    const std::string node = slash == std::string::npos ? path : path.substr(slash + 1);
    if (node.compare(0, 6, "hidraw") != 0 || node.find("..") != std::string::npos) return false;
    std::ifstream in(Sysfs::Root() + "/class/hidraw/" + node + "/device/report_descriptor", std::ios::binary);
    if (!in) return false;
    descriptor.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return !in.bad() && descriptor.size() <= HID_MAX_DESCRIPTOR_SIZE;
}

} // namespace

ReportLayout ReportLayoutOfPath(const std::string& path) {
    std::vector<uint8_t> descriptor;
    if (!ReadDescriptorIoctl(path, descriptor) && !ReadDescriptorSysfs(path, descriptor)) return {};
    return ParseReportDescriptor(descriptor.data(), descriptor.size());
}

// ---------------------------------------------------------------------------
// The hidapi 0.13 binding

namespace {

// One entry per function, resolved by name in this order.
struct Hidapi {
    int (*hid_init)(void) = nullptr;
    int (*hid_exit)(void) = nullptr;
    hid_device_info* (*hid_enumerate)(unsigned short, unsigned short) = nullptr;
    void (*hid_free_enumeration)(hid_device_info*) = nullptr;
    hid_device* (*hid_open_path)(const char*) = nullptr;
    int (*hid_write)(hid_device*, const unsigned char*, size_t) = nullptr;
    int (*hid_read_timeout)(hid_device*, unsigned char*, size_t, int) = nullptr;
    void (*hid_close)(hid_device*) = nullptr;
    const wchar_t* (*hid_error)(hid_device*) = nullptr; // optional
};

std::mutex bindingMutex;
void* libraryHandle = nullptr;
Hidapi api;
std::atomic<bool> bound{false};
std::atomic<int> writersAlive{0};

template <class F> bool Resolve(void* handle, const char* name, F& entry) {
    entry = reinterpret_cast<F>(::dlsym(handle, name));
    if (!entry) DebugLog::Printf("HID: %s not found in the hidapi library", name);
    return entry != nullptr;
}

// A wide string (UTF-32 on Linux) as UTF-8, at most maxChars characters;
// what is no character becomes '?'.
std::string Utf8(const wchar_t* text, size_t maxChars) {
    std::string out;
    if (!text) return out;
    for (size_t n = 0; text[n] != L'\0' && n < maxChars; ++n) {
        uint32_t c = uint32_t(text[n]);
        if (c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) c = '?';
        if (c < 0x80) {
            out += char(c);
        } else if (c < 0x800) {
            out += char(0xC0 | (c >> 6));
            out += char(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += char(0xE0 | (c >> 12));
            out += char(0x80 | ((c >> 6) & 0x3F));
            out += char(0x80 | (c & 0x3F));
        } else {
            out += char(0xF0 | (c >> 18));
            out += char(0x80 | ((c >> 12) & 0x3F));
            out += char(0x80 | ((c >> 6) & 0x3F));
            out += char(0x80 | (c & 0x3F));
        }
    }
    return out;
}

// An open hidapi device. It keeps the entries it uses, so a write that
// returns after the binding was dropped still closes its device.
//
// hidapi's calls on one device are not safe from two threads at once (they
// share the device's error text), so they take turns: a write waits for a
// read in progress (which lasts at most its time-out), while a read that
// finds a write in progress returns at once with nothing, as a poll must
// never block.
class HidapiConnection : public IConnection {
public:
    HidapiConnection(hid_device* device, const Hidapi& entries, ReportLayout layout)
        : m_device(device), m_write(entries.hid_write), m_read(entries.hid_read_timeout),
          m_close(entries.hid_close), m_layout(layout) {}
    ~HidapiConnection() override { m_close(m_device); }

    int Write(const uint8_t* report, size_t length) override {
        std::lock_guard<std::mutex> lock(m_turn);
        return m_write(m_device, report, length);
    }

    int Read(uint8_t* report, size_t length, int timeoutMs) override {
        if (length == 0) return 0;
        std::unique_lock<std::mutex> lock(m_turn, std::try_to_lock);
        if (!lock.owns_lock()) return 0;
        if (m_layout.usesReportIds) return m_read(m_device, report, length, timeoutMs);
        // hidraw hands up the report without a report id byte here.
        const int n = m_read(m_device, report + 1, length - 1, timeoutMs);
        if (n <= 0) return n;
        report[0] = 0;
        return std::min(n, int(length - 1)) + 1;
    }

    int ReportLength() const override { return m_layout.inputLength; }

private:
    hid_device* m_device;
    int (*m_write)(hid_device*, const unsigned char*, size_t);
    int (*m_read)(hid_device*, unsigned char*, size_t, int);
    void (*m_close)(hid_device*);
    ReportLayout m_layout;
    std::mutex m_turn;
};

class HidapiBackend : public IBackend {
public:
    bool Available() const override { return bound; }

    std::vector<DeviceInfo> Enumerate() override {
        std::vector<DeviceInfo> devices;
        std::lock_guard<std::mutex> lock(bindingMutex);
        if (!bound) return devices;
        hid_device_info* first = api.hid_enumerate(0, 0);
        for (const hid_device_info* info = first; info; info = info->next) {
            DeviceInfo device;
            device.path = info->path ? info->path : "";
            device.vendorId = info->vendor_id;
            device.productId = info->product_id;
            device.serial = Utf8(info->serial_number, 50);
            device.usagePage = info->usage_page;
            device.usage = info->usage;
            if (!device.path.empty()) devices.push_back(std::move(device));
        }
        if (first) api.hid_free_enumeration(first);
        return devices;
    }

    std::shared_ptr<IConnection> Open(const std::string& path) override {
        std::lock_guard<std::mutex> lock(bindingMutex);
        if (!bound) return nullptr;
        hid_device* device = api.hid_open_path(path.c_str());
        if (!device) {
            DebugLog::Printf("HID: %s does not open", path.c_str());
            return nullptr;
        }
        ReportLayout layout = ReportLayoutOfPath(path);
        if (!layout.valid) {
            layout.usesReportIds = false;
            layout.inputLength = DefaultReportLength;
        }
        return std::make_shared<HidapiConnection>(device, api, layout);
    }
};

std::mutex activeMutex;
std::shared_ptr<IBackend> testBackend;

} // namespace

bool BindHidapi(const char* library) {
    std::lock_guard<std::mutex> lock(bindingMutex);
    if (bound) return true;
    void* handle = ::dlopen(library, RTLD_NOW | RTLD_LOCAL);
    if (!handle) {
        DebugLog::Printf("HID: %s not loaded, no HID transport", library);
        return false;
    }
    Hidapi entries;
    bool complete = Resolve(handle, "hid_init", entries.hid_init);
    complete = Resolve(handle, "hid_exit", entries.hid_exit) && complete;
    complete = Resolve(handle, "hid_enumerate", entries.hid_enumerate) && complete;
    complete = Resolve(handle, "hid_free_enumeration", entries.hid_free_enumeration) && complete;
    complete = Resolve(handle, "hid_open_path", entries.hid_open_path) && complete;
    complete = Resolve(handle, "hid_write", entries.hid_write) && complete;
    complete = Resolve(handle, "hid_read_timeout", entries.hid_read_timeout) && complete;
    complete = Resolve(handle, "hid_close", entries.hid_close) && complete;
    entries.hid_error = reinterpret_cast<decltype(entries.hid_error)>(::dlsym(handle, "hid_error"));
    if (!complete || entries.hid_init() < 0) {
        if (complete) DebugLog::Printf("HID: hid_init failed, no HID transport");
        ::dlclose(handle);
        return false;
    }
    libraryHandle = handle;
    api = entries;
    bound = true;
    return true;
}

void UnbindHidapi() {
    std::lock_guard<std::mutex> lock(bindingMutex);
    if (!bound) return;
    bound = false;
    if (writersAlive.load() > 0) {
        // A write is still inside the library; its thread closes the device
        // when it returns, so the library stays loaded.
        DebugLog::Printf("HID: a write is still outstanding, the hidapi library stays loaded");
    } else {
        api.hid_exit();
        ::dlclose(libraryHandle);
    }
    libraryHandle = nullptr;
    api = Hidapi{};
}

bool HidapiBound() {
    return bound;
}

void NoteWriterStarted() {
    ++writersAlive;
}
void NoteWriterEnded() {
    --writersAlive;
}
int WritersAlive() {
    return writersAlive.load();
}

std::shared_ptr<IBackend> Active() {
    static const std::shared_ptr<IBackend> hidapi = std::make_shared<HidapiBackend>();
    std::lock_guard<std::mutex> lock(activeMutex);
    return testBackend ? testBackend : hidapi;
}

void SetHidBackendForTesting(std::shared_ptr<IBackend> backend) {
    std::lock_guard<std::mutex> lock(activeMutex);
    testBackend = std::move(backend);
}

} // namespace HidBackend
