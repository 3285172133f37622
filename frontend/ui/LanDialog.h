// LanDialog: the LAN settings dialog (159, "LAN Einstellung").
//
// A thin view over LanSettings. Showing it reads the reader's network
// settings; the radio buttons choose between DHCP (name, at most 8
// characters) and a fixed address (IP address, port, subnet mask). OK
// sends the new settings, stores the new port and then looks for the reader
// under its new address for up to 25 s: meanwhile the values and buttons
// are out of reach, the progress bar shows the time passed and the window
// keeps painting (the searches run from a timer, and the link library's
// waits keep the events going). Then the dialog closes with OK, found or
// not.
//
// Object names for tests: radio1251, radio1252, edit1247, ip1243 (fields
// ip1243.0 .. ip1243.3), edit1246, ip1244, progress1253, buttonOk,
// buttonCancel. Every text is the program's "159.<control>".
#pragma once

#include "LanSettings.h"

#include <QDialog>
#include <functional>
#include <memory>

class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QRadioButton;

namespace appkit {
class WaitCursor;
}

namespace frontend {

class DeviceLists;
class IpAddressEdit;

class LanDialog : public QDialog {
    Q_OBJECT
public:
    // link, lists, timer null: the link library, the system's device lists,
    // the real clock.
    explicit LanDialog(QWidget* parent = nullptr, appkit::Program program = appkit::ProgramInfo::Current(),
                       LanLink* link = nullptr, DeviceLists* lists = nullptr, RefindTimer* timer = nullptr);
    ~LanDialog() override;

    LanSettings& Model() { return m_model; }
    // The re-find after OK is running.
    bool Busy() const { return m_busy; }

    // Shows the dialog over parent; true after OK. What the programs'
    // commands run.
    static std::function<bool(QWidget* parent)>
    Runner(appkit::Program program = appkit::ProgramInfo::Current());

    void accept() override; // OK: validate, send, look for the reader again
    void reject() override; // not while the reader is looked for

signals:
    // The re-find has shown a new progress value.
    void progressShown(int value);

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void BuildWidgets();
    void ReadControls();
    void ShowControls();
    void OnModeClicked();
    void SetBusy(bool busy);
    void RefindStep();

    appkit::Program m_program;
    LanSettings m_model;
    std::unique_ptr<RefindTimer> m_ownTimer;
    RefindTimer* m_timer = nullptr;
    std::unique_ptr<appkit::WaitCursor> m_waitCursor;
    bool m_opened = false;
    bool m_busy = false;

    QWidget* m_values = nullptr;
    QRadioButton* m_dhcp = nullptr;
    QRadioButton* m_fixed = nullptr;
    QLabel* m_nameLabel = nullptr;
    QLineEdit* m_name = nullptr;
    QLabel* m_addressLabel = nullptr;
    IpAddressEdit* m_address = nullptr;
    QLabel* m_portLabel = nullptr;
    QLineEdit* m_port = nullptr;
    QLabel* m_maskLabel = nullptr;
    IpAddressEdit* m_mask = nullptr;
    QProgressBar* m_progress = nullptr;
    QPushButton* m_ok = nullptr;
    QPushButton* m_cancel = nullptr;
};

} // namespace frontend
