// InterfaceDialog: the interface selection dialog (109, "Schnittstelle").
//
// A thin view over InterfaceSelection: constructing it loads the connection
// settings (the programs use that to learn the stored port); exec() shows
// it; OK stores the settings. Device changes refresh the lists while it is
// open. Every text comes from the program's texts ("109.<control>").
#pragma once

#include "InterfaceSelection.h"

#include <QDialog>
#include <functional>

class QCheckBox;
class QComboBox;
class QLineEdit;
class QListWidget;
class QPushButton;
class QRadioButton;

namespace appkit {
class DeviceWatcher;
}

namespace frontend {

class InterfaceDialog : public QDialog {
    Q_OBJECT
public:
    explicit InterfaceDialog(QWidget* parent = nullptr,
                             appkit::Program program = appkit::ProgramInfo::Current(),
                             DeviceLists* lists = nullptr);
    ~InterfaceDialog() override;

    InterfaceSelection& Model() { return m_model; }
    // The link port name of the loaded settings.
    QString LinkPortName() const { return m_model.Settings().LinkPortName(); }

    // A chooser for the connect procedures: shows the dialog over parent.
    static std::function<bool()> Chooser(QWidget* parent,
                                         appkit::Program program = appkit::ProgramInfo::Current());

    void accept() override;

    // Handles a device change notice as the watcher delivers it.
    void OnDeviceChange(int eventCode);

protected:
    void showEvent(QShowEvent* event) override;

private:
    void BuildWidgets();
    void ReadControls();
    void ShowControls();
    void OnSelectionChanged();
    void OnEthernetToggled();
    void OnIpQuery();
    void OnHidMode();
    void OnVirtualCom();

    appkit::Program m_program;
    InterfaceSelection m_model;
    bool m_opened = false;
    bool m_showing = false;
    appkit::DeviceWatcher* m_watcher = nullptr;

    QListWidget* m_list = nullptr;
    QCheckBox* m_ethernet = nullptr;
    QPushButton* m_ipButton = nullptr;
    QRadioButton* m_hidMode = nullptr;
    QRadioButton* m_virtualCom = nullptr;
    QComboBox* m_baud = nullptr;
    QComboBox* m_parity = nullptr;
    QComboBox* m_stopBits = nullptr;
    QLineEdit* m_timeout = nullptr;
    QLineEdit* m_address = nullptr;
    QPushButton* m_ok = nullptr;
    QPushButton* m_cancel = nullptr;
};

} // namespace frontend
