// CReadBackDlg: the read-back dialog (102, "Inhalt eines programmierten
// KV-PLM41 lesen"). Opening runs the read-back at once and does not show the
// dialog when no reader is found; "Inhalt lesen" reads again and appends,
// "Löschen" empties the report, "Schließen" closes. The report is shown in a
// fixed-width font.
#pragma once

#include "ReadBack.h"

#include <QDialog>
#include <functional>
#include <string>

class CWidgetSetupHost;
class QPlainTextEdit;

class CReadBackDlg : public QDialog {
    Q_OBJECT
public:
    // session 0: the dialog connects by itself (baud 19200). A session given
    // is closed by the read-back.
    CReadBackDlg(QWidget* parent, CWidgetSetupHost& host, int session = 0, int baud = 19200, int flags = 0);
    ~CReadBackDlg() override;

    // The opening read-back; false when no reader was found.
    bool Start();
    // Start, then modal unless no reader was found.
    int exec() override;

    const CReadBack& Model() const { return m_readBack; }
    // The report as shown (line ends as "\n").
    QString ReportText() const;

    // "\r\n" line ends as one "\n" each.
    static QString DisplayText(const std::string& report);

private:
    void OnRead();
    void OnClear();
    void ShowReport(const std::string& report);

    CWidgetSetupHost& m_host;
    CReadBack m_readBack;
    std::function<void(const std::string&)> m_previousHook;
    QPlainTextEdit* m_report = nullptr;
};
