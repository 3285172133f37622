// Shared pieces of the Morvane widget tests and the picture program: a
// simulated reader on a pseudo-terminal that Morvane's stored settings name,
// a clean settings store, widgets by object name, and a way to drive the
// modal dialogs a command opens.
#pragma once

#include "PtySimulator.h"
#include "SettingsStore.h"
#include "SimOutputReader.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QSettings>
#include <QTimer>
#include <QWidget>
#include <functional>
#include <memory>
#include <string>

namespace MorvaneUi {

// The EPC of the transponder the tests place on the reader.
inline const CSimReader::Bytes& TestEpc() {
    static const CSimReader::Bytes epc{0x30, 0x00, 0x11, 0x22, 0x33, 0x44,
                                       0x55, 0x66, 0x77, 0x88, 0x99, 0xAA};
    return epc;
}

inline void ClearSettings() {
    QSettings settings(appkit::ProgramInfo::CompanyKey(),
                       appkit::ProgramInfo::ProgramKey(appkit::Program::Morvane));
    settings.clear();
    settings.sync();
}

// Morvane's stored connection: the simulated reader's port.
inline void StorePort(const QString& name, int baudrate = 19200) {
    appkit::SettingsStore store(appkit::Program::Morvane);
    store.WriteString(QStringLiteral("Port"), QStringLiteral("Name"), name);
    store.WriteInt(QStringLiteral("Port"), QStringLiteral("Baudrate"), baudrate);
    store.WriteInt(QStringLiteral("Port"), QStringLiteral("Timeout"), 300);
    store.Sync();
}

// A simulated reader with its reader-mode output, on a pty, without line
// time (the tests wait on events, not on the line).
class SimulatedReader {
public:
    // announce: listed as a simulated reader in the port list (its folder
    // is $KVPLM_SIM_DIR).
    explicit SimulatedReader(bool lineTime = false, bool announce = false) {
        reader = std::make_unique<CSimOutputReader>();
        CPtySimulator::Options options;
        options.lineTime = lineTime;
        options.announce = announce;
        sim = std::make_unique<CPtySimulator>(*reader, options);
        std::string message;
        started = sim->Start(&message);
        error = message;
    }
    ~SimulatedReader() {
        if (sim) sim->Stop();
    }
    QString Port() const { return QString::fromStdString(sim->DevicePath()); }

    std::unique_ptr<CSimOutputReader> reader;
    std::unique_ptr<CPtySimulator> sim;
    bool started = false;
    std::string error;
};

template <class W> W* Find(const QObject* parent, const QString& name) {
    return parent ? parent->findChild<W*>(name) : nullptr;
}

// Runs action on the next modal dialog of type T, once it is open; gives up
// after timeoutMs. The action closes the dialog (which ends its exec()).
// With an owner the watch ends with it at the latest: an action that refers
// to the caller's locals must not outlive them when no dialog opened.
template <class T>
void OnModal(std::function<void(T*)> action, int timeoutMs = 15000, QObject* owner = nullptr) {
    auto* timer = new QTimer(owner);
    auto deadline = std::make_shared<QDeadlineTimer>(timeoutMs);
    timer->setInterval(5);
    QObject::connect(timer, &QTimer::timeout, [timer, deadline, action] {
        if (auto* dialog = qobject_cast<T*>(QApplication::activeModalWidget())) {
            if (!dialog->isVisible()) return;
            timer->stop();
            timer->deleteLater();
            action(dialog);
        } else if (deadline->hasExpired()) {
            timer->stop();
            timer->deleteLater();
        }
    });
    timer->start();
}

} // namespace MorvaneUi
