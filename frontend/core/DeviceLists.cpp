#include "DeviceLists.h"

#include "LinkApi.h"

#include <vector>

namespace frontend {

namespace {

// Large enough that no real list is cut short.
constexpr int ListBufferSize = 64 * 1024;

template <class F> QStringList Fetch(F list, int size) {
    std::vector<char> buffer(size_t(size), '\0');
    const int used = list(buffer.data(), size);
    return DeviceLists::Parse(buffer.data(), used);
}

} // namespace

QStringList DeviceLists::Parse(const char* buffer, int used) {
    QStringList entries;
    int at = 0;
    while (at < used && buffer[at] != '\0') {
        const int start = at;
        while (at < used && buffer[at] != '\0')
            ++at;
        entries.append(QString::fromUtf8(buffer + start, at - start));
        ++at;
    }
    return entries;
}

QStringList DeviceLists::Serial() {
    return Fetch(&LinkListComPorts, ListBufferSize);
}

QStringList DeviceLists::Usb() {
    return Fetch(&LinkListHidPorts, ListBufferSize);
}

QStringList DeviceLists::Lan() {
    return Fetch(&LinkListLanDevices, ListBufferSize);
}

QStringList DeviceLists::LanAll() {
    return Fetch(&LinkListLanDevicesAll, 2000);
}

bool DeviceLists::VirtualComDriverInstalled() {
    return LinkIsVirtualComDriverInstalled() == 1;
}

DeviceLists& DeviceLists::System() {
    static DeviceLists lists;
    return lists;
}

} // namespace frontend
