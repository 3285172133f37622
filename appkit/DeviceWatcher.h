// DeviceWatcher: tells when devices come and go (ttys, hidraw nodes, USB
// devices), from a udev monitor watched in the event loop.
//
// Each event becomes a code: 0x8000 a device arrived, 0x8004 a device was
// removed, 7 the device tree changed (a removal brings 0x8004 and then 7;
// other changes 7). Events arriving together (one plug-in brings several)
// are gathered for a moment and each code is reported once.
//
// With udevd running the monitor reads udev's events; without it (containers,
// these build machines) it reads the kernel's, and where neither can be had
// the watcher simply reports nothing.
#pragma once

#include <QList>
#include <QObject>
#include <QTimer>

struct udev;
struct udev_monitor;
class QSocketNotifier;

namespace appkit {

class DeviceWatcher : public QObject {
    Q_OBJECT
public:
    static constexpr int DeviceArrival = 0x8000;
    static constexpr int DeviceRemoveComplete = 0x8004;
    static constexpr int DevNodesChanged = 7;

    explicit DeviceWatcher(QObject* parent = nullptr);
    ~DeviceWatcher() override;

    bool IsWatching() const { return m_monitor != nullptr; }

    // Handles one event as if the monitor had delivered it ("add",
    // "remove", "change", "bind", ...).
    void HandleAction(const QString& action);

signals:
    void deviceChange(int eventCode);

private:
    void OnReadable();
    void Flush();

    udev* m_udev = nullptr;
    udev_monitor* m_monitor = nullptr;
    QSocketNotifier* m_notifier = nullptr;
    QTimer m_gather;
    QList<int> m_pending;
};

} // namespace appkit
