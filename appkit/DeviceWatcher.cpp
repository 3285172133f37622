#include "DeviceWatcher.h"

#include <QFileInfo>
#include <QSocketNotifier>
#include <libudev.h>

namespace appkit {

DeviceWatcher::DeviceWatcher(QObject* parent) : QObject(parent) {
    m_gather.setSingleShot(true);
    m_gather.setInterval(100);
    connect(&m_gather, &QTimer::timeout, this, &DeviceWatcher::Flush);

    m_udev = udev_new();
    if (!m_udev) return;
    // udev's events come after the device nodes are ready; without udevd
    // only the kernel's exist.
    const bool udevd = QFileInfo::exists(QStringLiteral("/run/udev/control"));
    m_monitor = udev_monitor_new_from_netlink(m_udev, udevd ? "udev" : "kernel");
    if (m_monitor) {
        udev_monitor_filter_add_match_subsystem_devtype(m_monitor, "tty", nullptr);
        udev_monitor_filter_add_match_subsystem_devtype(m_monitor, "hidraw", nullptr);
        udev_monitor_filter_add_match_subsystem_devtype(m_monitor, "usb", nullptr);
        if (udev_monitor_enable_receiving(m_monitor) < 0) {
            udev_monitor_unref(m_monitor);
            m_monitor = nullptr;
        }
    }
    if (!m_monitor) return;
    m_notifier = new QSocketNotifier(udev_monitor_get_fd(m_monitor), QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &DeviceWatcher::OnReadable);
}

DeviceWatcher::~DeviceWatcher() {
    delete m_notifier;
    if (m_monitor) udev_monitor_unref(m_monitor);
    if (m_udev) udev_unref(m_udev);
}

void DeviceWatcher::OnReadable() {
    // Take everything that is queued; the socket is non-blocking.
    while (udev_device* device = udev_monitor_receive_device(m_monitor)) {
        const char* action = udev_device_get_action(device);
        HandleAction(QString::fromLatin1(action ? action : "change"));
        udev_device_unref(device);
    }
}

void DeviceWatcher::HandleAction(const QString& action) {
    QList<int> codes;
    if (action == QLatin1String("add"))
        codes = {DeviceArrival};
    else if (action == QLatin1String("remove"))
        codes = {DeviceRemoveComplete, DevNodesChanged};
    else
        codes = {DevNodesChanged};
    for (int code : codes)
        if (!m_pending.contains(code)) m_pending.append(code);
    if (!m_gather.isActive()) m_gather.start();
}

void DeviceWatcher::Flush() {
    const QList<int> codes = m_pending;
    m_pending.clear();
    // Arrivals and removals before the general change notice.
    for (int code : {DeviceArrival, DeviceRemoveComplete, DevNodesChanged})
        if (codes.contains(code)) emit deviceChange(code);
}

} // namespace appkit
