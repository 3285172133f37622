// InterfaceSelection: the interface selection dialog (109) without widgets.
//
// It holds the dialog's state: the loaded connection settings, the three
// device lists (filled on demand and kept while the object lives) and the
// state of every control. The dialog copies the controls in before an event
// that reads them and shows them again after every event.
#pragma once

#include "ConnectionSettings.h"

#include <QString>
#include <QStringList>
#include <functional>
#include <memory>

namespace frontend {

class DeviceLists;

class InterfaceSelection {
public:
    static const QStringList BaudRates; // "2400", "4800", "9600", "19200"

    // What the dialog shows.
    struct Controls {
        QStringList entries; // list box 1012
        int selected = -1;
        int baudIndex = -1;                // combo 1011; -1 no rate chosen
        int parityIndex = 0;               // combo 1013: keine, gerade, ungerade
        int stopBitsIndex = 0;             // combo 1014: "1", "2"
        QString timeoutText;               // edit 1002
        QString addressText;               // edit 1003
        bool ethernet = false;             // check box 1250
        bool ipVisible = false;            // button 1256
        bool serialControlsEnabled = true; // 1011, 1013, 1014
        bool modeButtonsEnabled = false;   // 1035, 1036
        bool hidModeChecked = false;       // 1035
        bool virtualComChecked = false;    // 1036
    };

    // A message the dialog shows (caption "" = the program title).
    struct Message {
        QString caption;
        QString text;
    };

    enum class Field { None, Timeout, Address };

    // Loads the settings (and checks the stored name), shows nothing.
    InterfaceSelection(appkit::Program program, DeviceLists& lists);
    ~InterfaceSelection();

    const ConnectionSettings& Settings() const { return m_settings; }
    Controls& controls() { return m_controls; }
    const Controls& controls() const { return m_controls; }

    // Opening the dialog: line settings, lists, selection, enabling.
    void Open();
    // List box selection changed (the row is in controls().selected).
    void SelectionChanged();
    // The mode radio buttons were clicked; true when the reader was
    // switched (nothing changes when it cannot be reached).
    bool ChooseHidMode();
    bool ChooseVirtualCom();
    // A device change notice (0x8000 arrival, 7 tree changed, ...).
    void DeviceChange(int eventCode);
    // The "Ethernet aktivieren" check box (its state is in controls()).
    void EthernetToggled();
    // "IP ?": every network device that answered, or the notice that none did.
    Message IpQuery();
    // OK: validates and stores. False with the message and the field to
    // correct when a value is out of range; the dialog stays open then.
    bool Accept(Message& message, Field& field);

    // How the mode switch waits for the reader to come back (tests: no wait).
    void SetWait(std::function<void(int milliseconds)> wait) { m_wait = std::move(wait); }
    // The three lists as last fetched.
    const QStringList& SerialList() const { return m_serial; }
    const QStringList& UsbList() const { return m_usb; }
    const QStringList& LanList() const { return m_lan; }

    // Whether a list entry is the maker's virtual COM port, or a USB reader
    // that can switch between HID and virtual COM operation.
    static bool IsVirtualComEntry(const QString& entry);
    bool IsDualModeHidEntry(const QString& entry);

private:
    void FillEntries();
    void SelectStoredName();
    void ApplyKinds(const QString& name);
    void UpdateModeButtons(const QString& name);
    bool SwitchMode(const QString& portName, int commandByte);
    void Refresh();

    appkit::Program m_program;
    DeviceLists& m_lists;
    std::unique_ptr<appkit::SettingsStore> m_store;
    ConnectionSettings m_settings;
    Controls m_controls;
    QStringList m_serial, m_usb, m_lan;
    bool m_serialFilled = false, m_usbFilled = false, m_lanFilled = false;
    bool m_refreshing = false;
    std::function<void(int)> m_wait;
};

} // namespace frontend
