// CParamHidPage: the widgets of the parameter page of an HID reader (dialog
// 160, "Parameter") over its model CParamRegisterkarteHID: the timeout, the
// frame "Tastatur Layout" with the 48 key buttons laid out like the main
// block of a keyboard, "Aus Gerät laden", "Computer Einstellung",
// "Funktionstest" (the HID function test) and "Inhalt lesen".
//
// The key buttons are named "key" and their scan code in two upper-case
// hexadecimal digits ("key1E" is the A key); the other controls by their ids
// ("edit1002", "button1011").
#pragma once

#include "ParamRegisterkarteHID.h"

#include <QWidget>
#include <array>

class CKeyButton;
class ISetupHost;
class QLineEdit;

class CParamHidPage : public QWidget {
    Q_OBJECT
public:
    CParamHidPage(CParamRegisterkarteHID& model, ISetupHost& host, QWidget* parent = nullptr);

    CParamRegisterkarteHID& Model() { return m_model; }
    // The timeout and the keyboard table on the key buttons.
    void ShowControls();
    void ReadControls();

    // Key button 0..47 (in the order of CHidKeyTable::Buttons()).
    CKeyButton* KeyButton(int button) const { return m_keys[size_t(button)]; }

    // "Aus Gerät laden" and "Computer Einstellung", with the wait cursor and
    // the dialog and main window taking no input meanwhile.
    void OnLoadFromDevice();
    void OnComputer();

signals:
    void functionTestRequested();
    void readBackRequested();

private:
    CParamRegisterkarteHID& m_model;
    ISetupHost& m_host;
    QLineEdit* m_timeout = nullptr;
    std::array<CKeyButton*, CHidKeyTable::ButtonCount> m_keys{};
};
