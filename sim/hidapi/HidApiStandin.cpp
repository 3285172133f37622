// The stand-in hidapi library: hidapi 0.13's functions over the sockets of
// simulated HID readers (HidSimSocket.h), so that a host that loads
// libhidapi-hidraw.so.0 finds and drives kvplm-readersim --hid without any
// USB device. Nothing here throws; every failure is a return value.
#include "HidApi.h"
#include "HidSimSocket.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <new>
#include <poll.h>
#include <string>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

// A host may write from one thread while it reads from another (hidapi
// allows that), so the device's error text has a lock of its own.
struct hid_device_ {
    int fd = -1;
    std::mutex lock;
    std::wstring error;
};

namespace {

using Clock = std::chrono::steady_clock;

// How long a simulator may take to answer INFO or OPEN. A stopped
// simulator (SIGSTOP) costs an enumeration at most this.
constexpr int HandshakeMs = 500;
// hid_write blocks until the device takes the report; a device that never
// does fails the write after this long, as a USB transfer times out.
constexpr int WriteLimitMs = 5000;

thread_local std::wstring g_error;

std::wstring Widen(const std::string& utf8) {
    std::wstring out;
    for (size_t i = 0; i < utf8.size();) {
        const auto c = static_cast<unsigned char>(utf8[i]);
        unsigned cp = 0xFFFD;
        size_t len = 1;
        if (c < 0x80) {
            cp = c;
        } else if ((c & 0xE0) == 0xC0) {
            len = 2;
        } else if ((c & 0xF0) == 0xE0) {
            len = 3;
        } else if ((c & 0xF8) == 0xF0) {
            len = 4;
        }
        if (len > 1) {
            if (i + len > utf8.size()) {
                len = utf8.size() - i;
            } else {
                cp = c & (0x7F >> len);
                bool ok = true;
                for (size_t k = 1; k < len; ++k) {
                    const auto d = static_cast<unsigned char>(utf8[i + k]);
                    if ((d & 0xC0) != 0x80) ok = false;
                    cp = (cp << 6) | (d & 0x3F);
                }
                if (!ok || cp > 0x10FFFF) cp = 0xFFFD;
            }
        }
        out.push_back(static_cast<wchar_t>(cp));
        i += len;
    }
    return out;
}

wchar_t* DupWide(const std::string& utf8) {
    const std::wstring w = Widen(utf8);
    auto* out = static_cast<wchar_t*>(std::calloc(w.size() + 1, sizeof(wchar_t)));
    if (out) std::wmemcpy(out, w.c_str(), w.size());
    return out;
}

// Never throws: without memory the text stays as it was.
void SetError(hid_device* dev, const std::string& text) noexcept {
    try {
        std::wstring wide = Widen(text);
        if (!dev) {
            g_error.swap(wide);
            return;
        }
        std::lock_guard<std::mutex> lock(dev->lock);
        dev->error.swap(wide);
    } catch (...) {
    }
}

void ClearError(hid_device* dev) noexcept {
    std::lock_guard<std::mutex> lock(dev->lock);
    dev->error.clear();
}

std::string Errno(const char* what) {
    return std::string(what) + ": " + std::strerror(errno);
}

// Waits for the events on fd until the deadline (none: no limit). 1 ready,
// 0 time-out, -1 error.
int WaitFor(int fd, short events, int milliseconds) {
    const auto end = Clock::now() + std::chrono::milliseconds(milliseconds);
    for (;;) {
        int wait = -1;
        if (milliseconds >= 0) {
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now()).count();
            wait = left > 0 ? static_cast<int>(left) : 0;
        }
        pollfd p{fd, events, 0};
        const int n = poll(&p, 1, wait);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return -1;
        if (n == 0) return 0;
        if (p.revents & events) return 1;
        return -1; // POLLHUP, POLLERR or POLLNVAL without data
    }
}

// A connection to a simulator's socket with the first packet sent and its
// answer read; -1 on any failure.
int Handshake(const char* path, const char* request, std::string& answer, std::string& error) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (std::strlen(path) >= sizeof address.sun_path) {
        error = "path too long for a socket";
        return -1;
    }
    std::strcpy(address.sun_path, path);
    const int fd = socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0) {
        error = Errno("socket");
        return -1;
    }
    if (connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        error = Errno("connect");
        close(fd);
        return -1;
    }
    if (send(fd, request, std::strlen(request), MSG_NOSIGNAL) < 0) {
        error = Errno("send");
        close(fd);
        return -1;
    }
    if (WaitFor(fd, POLLIN, HandshakeMs) != 1) {
        error = "no answer from the device";
        close(fd);
        return -1;
    }
    char buffer[HidSimSocket::MaxPacket];
    const ssize_t n = recv(fd, buffer, sizeof buffer, 0);
    if (n <= 0) {
        error = n == 0 ? "the device closed the connection" : Errno("recv");
        close(fd);
        return -1;
    }
    answer.assign(buffer, static_cast<size_t>(n));
    return fd;
}

hid_device_info* MakeInfo(const std::string& path, const HidSimSocket::DeviceInfo& d) {
    auto* info = static_cast<hid_device_info*>(std::calloc(1, sizeof(hid_device_info)));
    if (!info) return nullptr;
    info->path = strdup(path.c_str());
    info->vendor_id = d.vendor;
    info->product_id = d.product;
    info->serial_number = d.serial ? DupWide(*d.serial) : nullptr;
    info->release_number = d.release;
    info->manufacturer_string = DupWide(d.manufacturer);
    info->product_string = DupWide(d.productName);
    info->usage_page = d.usagePage;
    info->usage = d.usage;
    info->interface_number = 0;
    info->next = nullptr;
    info->bus_type = HID_API_BUS_USB;
    return info;
}

} // namespace

extern "C" {

int hid_init(void) {
    return 0;
}

int hid_exit(void) {
    return 0;
}

struct hid_device_info* hid_enumerate(unsigned short vendor_id, unsigned short product_id) {
    hid_device_info* first = nullptr;
    hid_device_info** tail = &first;
    try {
        for (const std::string& path : HidSimSocket::LiveSockets(HidSimSocket::Directory())) {
            std::string answer, error;
            const int fd = Handshake(path.c_str(), HidSimSocket::InfoRequest, answer, error);
            if (fd < 0) continue; // a simulator that is going away, or a stale socket
            close(fd);
            const auto device = HidSimSocket::ParseInfo(answer);
            if (!device) continue;
            if ((vendor_id && device->vendor != vendor_id) || (product_id && device->product != product_id))
                continue;
            if (hid_device_info* info = MakeInfo(path, *device)) {
                *tail = info;
                tail = &info->next;
            }
        }
        g_error.clear();
    } catch (...) {
        SetError(nullptr, "out of memory");
    }
    return first;
}

void hid_free_enumeration(struct hid_device_info* devs) {
    while (devs) {
        hid_device_info* next = devs->next;
        std::free(devs->path);
        std::free(devs->serial_number);
        std::free(devs->manufacturer_string);
        std::free(devs->product_string);
        std::free(devs);
        devs = next;
    }
}

hid_device* hid_open_path(const char* path) {
    if (!path) {
        SetError(nullptr, "no path");
        return nullptr;
    }
    try {
        std::string answer, error;
        const int fd = Handshake(path, HidSimSocket::OpenRequest, answer, error);
        if (fd < 0) {
            SetError(nullptr, std::string(path) + ": " + error);
            return nullptr;
        }
        if (answer != HidSimSocket::OpenAccepted) {
            close(fd);
            SetError(nullptr,
                     std::string(path) + (answer == HidSimSocket::Busy ? ": device busy" : ": refused"));
            return nullptr;
        }
        auto* dev = new (std::nothrow) hid_device;
        if (!dev) {
            close(fd);
            SetError(nullptr, "out of memory");
            return nullptr;
        }
        dev->fd = fd;
        g_error.clear();
        return dev;
    } catch (...) {
        SetError(nullptr, "out of memory");
        return nullptr;
    }
}

static int Write(hid_device* dev, const unsigned char* data, size_t length) {
    if (!dev || dev->fd < 0 || (!data && length)) return -1;
    if (length == 0) {
        SetError(dev, "empty report");
        return -1;
    }
    for (;;) {
        const ssize_t n = send(dev->fd, data, length, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n >= 0) {
            ClearError(dev);
            return static_cast<int>(n);
        }
        if (errno == EINTR) continue;
        if (errno != EAGAIN && errno != EWOULDBLOCK) {
            SetError(dev, Errno("write"));
            return -1;
        }
        const int ready = WaitFor(dev->fd, POLLOUT, WriteLimitMs);
        if (ready != 1) {
            SetError(dev, ready == 0 ? "write timed out" : "device gone");
            return -1;
        }
    }
}

static int Read(hid_device* dev, unsigned char* data, size_t length, int milliseconds) {
    if (!dev || dev->fd < 0 || (!data && length)) return -1;
    const int ready = WaitFor(dev->fd, POLLIN, milliseconds < 0 ? -1 : milliseconds);
    if (ready == 0) return 0;
    if (ready < 0) {
        SetError(dev, "device gone");
        return -1;
    }
    for (;;) {
        unsigned char buffer[HidSimSocket::MaxPacket];
        const ssize_t n = recv(dev->fd, buffer, sizeof buffer, MSG_DONTWAIT);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return 0;
        if (n <= 0) {
            // A zero-length packet is never sent: 0 is the end of the connection.
            SetError(dev, n == 0 ? "device gone" : Errno("read"));
            return -1;
        }
        const size_t copied = std::min(static_cast<size_t>(n), length);
        if (copied) std::memcpy(data, buffer, copied);
        ClearError(dev);
        return static_cast<int>(copied);
    }
}

int hid_write(hid_device* dev, const unsigned char* data, size_t length) {
    try {
        return Write(dev, data, length);
    } catch (...) {
        return -1;
    }
}

int hid_read_timeout(hid_device* dev, unsigned char* data, size_t length, int milliseconds) {
    try {
        return Read(dev, data, length, milliseconds);
    } catch (...) {
        return -1;
    }
}

void hid_close(hid_device* dev) {
    if (!dev) return;
    if (dev->fd >= 0) close(dev->fd);
    delete dev;
}

const wchar_t* hid_error(hid_device* dev) {
    // A copy per thread: valid until this thread asks again.
    thread_local std::wstring copy;
    try {
        if (dev) {
            std::lock_guard<std::mutex> lock(dev->lock);
            copy = dev->error;
        } else {
            copy = g_error;
        }
    } catch (...) {
        return L"out of memory";
    }
    return copy.empty() ? L"Success" : copy.c_str();
}

} // extern "C"
