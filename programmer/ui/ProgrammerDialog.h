// ProgrammerDialog: the programmer's main dialog (102).
//
// The controls carry their ids as object names ("combo1095", "edit1041",
// "button1070", "label1041", "group1102"); every text is the programmer's
// "102.<id>" text. The dialog only moves values between the controls and
// TransponderOperations (take over before an operation, show after it) and
// runs the connect procedure and the menu commands; the work is the core's.
//
// On the first show it connects with the stored settings and, while that
// fails, offers the interface dialog (through the chooser) until a connect
// succeeds or the user cancels; then it emits opened().
//
// When the device goes away (unplugged, hung up) the cyclic inventory stops,
// the status says the connection is lost, the session is closed and the
// title names no device; the next operation connects again with the stored
// settings.
//
// The entries of the "system menu" (choose interface, network settings,
// German/English, About) are in a menu behind the button with the program
// icon in the top left corner, in the dialog's context menu and on
// Alt+Space.
#pragma once

#include "DialogHost.h"
#include "TransponderOperations.h"

#include <QDialog>
#include <QMap>
#include <functional>

class QAction;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QMenu;
class QPushButton;
class QTimer;
class QToolButton;

namespace frontend {
class DeviceLists;
}

namespace Programmer {

class ProgrammerDialog : public QDialog {
    Q_OBJECT
public:
    // The dialog ends with this code when the language was switched; the
    // shell then creates it anew.
    static constexpr int LanguageChanged = 10;

    // Command ids of the menu entries.
    enum Command : int {
        ChooseInterfaceCommand = 1000,
        NetworkSettingsCommand = 0x276B0, // 0x276B0..0x276BF
        GermanCommand = 171,
        EnglishCommand = 172,
        AboutCommand = 0x10, // any id whose value without its low four bits is 0x10
        InventoryListCommand = 9100,
        EncodeBatchCommand = 9200,
    };

    // Shows the interface dialog; true after OK.
    using Chooser = std::function<bool()>;
    // Shows the LAN settings dialog of a network reader.
    using LanSettings = std::function<void(QWidget* parent)>;

    explicit ProgrammerDialog(QWidget* parent = nullptr);
    ~ProgrammerDialog() override;

    TransponderOperations& Operations() { return m_ops; }
    int Session() const { return m_session; }
    // Whether the last connect was made to a network ("LAN: ") port.
    bool NetworkConnect() const { return m_network; }
    bool Opened() const { return m_opened; }
    bool CyclicInventoryRunning() const { return m_ops.CyclicInventoryRunning(); }

    // The menu with the entries; each action's data() is its command id.
    QMenu* SystemMenu() const { return m_menu; }
    // Runs a menu command as the menu does.
    void RunCommand(int command);

    // The interface dialog (default: dialog 109 over this dialog) and the
    // device lists the settings are checked against (default: the system's).
    void SetChooser(Chooser chooser) { m_chooser = std::move(chooser); }
    void SetDeviceLists(frontend::DeviceLists* lists) { m_lists = lists; }
    // The LAN settings dialog of the network settings command (default:
    // dialog 159 over this dialog). Without one, that command closes the
    // session and connects again.
    void SetLanSettings(LanSettings lanSettings) { m_lanSettings = std::move(lanSettings); }

    // Controls -> values; false (with the message shown and the field
    // focused) when a number field holds no integer.
    bool TakeOver();
    // Values -> controls.
    void ShowValues();

    void accept() override; // Enter never closes the dialog
    void reject() override; // Escape and the close box, except during the cyclic inventory
    void done(int result) override;

signals:
    // The connect at opening is over (connected or cancelled).
    void opened();
    void cyclicInventoryStarted();
    // After each round, with the number of rounds so far.
    void cyclicInventoryRound(int rounds);
    void cyclicInventoryEnded();

protected:
    void showEvent(QShowEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void BuildControls();
    void BuildMenu();
    QLabel* Label(int id, QWidget* parent);
    QLineEdit* Edit(int id, QWidget* parent, int characters = 0);
    QPushButton* Button(int id, QWidget* parent);

    // Take over, run, show.
    void Operation(const std::function<void()>& work);
    void OnCyclicToggled(bool down);
    void CyclicInventoryStep();
    void EndCyclicInventory();
    void SetControlsEnabled(bool enabled);
    void OnEpcChanged();
    void OnPayloadLengthChanged();

    void ConnectAtOpening();
    bool Connect();
    void WatchConnection();
    void DropLostConnection();
    void ReconnectAfterLoss();
    void CloseSession(bool quiet);
    void UpdateNetworkEntry();
    void ChooseInterface();
    void NetworkSettings();
    void ShowEncodeBatch();
    void SwitchLanguage(int sprache);
    void ShowAbout();
    void OpenInventoryList();
    void ShowMenuAt(const QPoint& globalPos);

    DialogHost m_host;
    TransponderOperations m_ops;
    int m_session = 0;
    bool m_network = false;
    bool m_opened = false;
    bool m_connectQueued = false;
    bool m_showing = false;
    bool m_busy = false;      // an operation or a cyclic round is running
    bool m_reconnect = false; // the device went away: the next operation connects again
    int m_cyclicRounds = 0;
    QTimer* m_cyclicTimer = nullptr;     // starts the next round once the waiting events are done
    QTimer* m_connectionWatch = nullptr; // asks whether the device is still there while connected
    Chooser m_chooser;
    LanSettings m_lanSettings;
    frontend::DeviceLists* m_lists = nullptr;

    QMap<int, QWidget*> m_controls; // by id, every control the cyclic inventory disables
    QComboBox* m_selection = nullptr;
    QLineEdit *m_count = nullptr, *m_crc = nullptr, *m_pc = nullptr, *m_epc = nullptr;
    QLineEdit *m_epcLength = nullptr, *m_payloadLength = nullptr, *m_tid = nullptr, *m_tidLength = nullptr;
    QLineEdit *m_userStart = nullptr, *m_userLength = nullptr, *m_userData = nullptr;
    QLineEdit *m_killPassword = nullptr, *m_accessPassword = nullptr, *m_status = nullptr;
    QPushButton* m_cyclic = nullptr;
    QToolButton* m_menuButton = nullptr;
    QMenu* m_menu = nullptr;
    QAction* m_networkEntry = nullptr;
};

} // namespace Programmer
