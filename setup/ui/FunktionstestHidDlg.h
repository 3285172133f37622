// CFunktionstestHidDlg: the function test of an HID reader (dialog 161,
// "Funktionstest HID"). No session is opened: the reader types into the
// edit like a keyboard. "Löschen" empties it and puts the focus back.
#pragma once

#include <QDialog>

class QPlainTextEdit;

class CFunktionstestHidDlg : public QDialog {
    Q_OBJECT
public:
    explicit CFunktionstestHidDlg(QWidget* parent = nullptr);

private:
    QPlainTextEdit* m_keyboard = nullptr;
};
