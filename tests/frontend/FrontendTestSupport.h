// Shared pieces of the front-end tests: device lists under the test's
// control, a clean "Port" section, and recorded connect output.
#pragma once

#include "ConnectUi.h"
#include "DeviceLists.h"
#include "SettingsStore.h"

#include <QSettings>
#include <QStringList>

struct FakeLists : frontend::DeviceLists {
    QStringList serial, lan, lanAll;
    // Successive USB lists; the last one stays.
    QList<QStringList> usbSequence{QStringList()};
    bool virtualCom = false;
    int serialCalls = 0, usbCalls = 0, lanCalls = 0, lanAllCalls = 0;

    void SetUsb(const QStringList& list) { usbSequence = {list}; }
    QStringList Serial() override { return ++serialCalls, serial; }
    QStringList Usb() override {
        ++usbCalls;
        return usbSequence.size() > 1 ? usbSequence.takeFirst() : usbSequence.first();
    }
    QStringList Lan() override { return ++lanCalls, lan; }
    QStringList LanAll() override { return ++lanAllCalls, lanAll; }
    bool VirtualComDriverInstalled() override { return virtualCom; }
};

struct RecordedUi : frontend::ConnectUi {
    QString title;
    QStringList messages;
    // The wait cursor: how deep it is nested, how often it changed, and how
    // deep it was when each message showed.
    int busyDepth = 0, busyChanges = 0;
    QList<int> busyAtMessage;
    void SetTitle(const QString& text) override { title = text; }
    void ShowMessage(const QString& text) override { messages.append(text), busyAtMessage.append(busyDepth); }
    void SetBusy(bool on) override { busyDepth += on ? 1 : -1, ++busyChanges; }
};

// Empties the program's settings file.
inline void ClearSettings(appkit::Program program = appkit::Program::Morvane) {
    QSettings settings(appkit::ProgramInfo::CompanyKey(), appkit::ProgramInfo::ProgramKey(program));
    settings.clear();
    settings.sync();
}

inline void StorePort(const QString& name, int baudrate = 19200, int timeout = 500, int address = 1,
                      int ethernet = 0, appkit::Program program = appkit::Program::Morvane) {
    ClearSettings(program);
    appkit::SettingsStore store(program);
    store.WriteString("Port", "Name", name);
    store.WriteInt("Port", "Baudrate", baudrate);
    store.WriteInt("Port", "Timeout", timeout);
    store.WriteInt("Port", "Adresse", address);
    store.WriteInt("Port", "EthernetAktiv", ethernet);
}

inline QString StoredName(appkit::Program program = appkit::Program::Morvane) {
    return appkit::SettingsStore(program).GetString("Port", "Name", "<none>");
}

inline int StoredInt(const QString& key, int fallback = -1,
                     appkit::Program program = appkit::Program::Morvane) {
    return appkit::SettingsStore(program).GetInt("Port", key, fallback);
}
