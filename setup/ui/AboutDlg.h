// CAboutDlg: the About box (dialog 100): the program and its version, the
// link library's version ("SDK Version 1.04"), and a web and a mail address
// that open with the desktop's default handler when clicked.
#pragma once

#include <QDialog>

class CAboutDlg : public QDialog {
    Q_OBJECT
public:
    explicit CAboutDlg(QWidget* parent = nullptr);

    // "SDK Version %.02f" filled with the link library's version x 0.01.
    static QString SdkVersionText(const QString& format, int linkVersion);
    // The URL a clicked address opens: a mail address as mailto:.
    static QUrl AddressUrl(const QString& address);
};
