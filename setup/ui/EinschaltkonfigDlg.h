// CEinschaltkonfigDlg: the power-on configuration (dialog 162,
// "Einschaltkonfiguration"): whether the reader starts in programming mode
// or in reader mode. Opening reads the stored mode (519 when it cannot be
// read); "OK" stores the choice (510 on failure or without a choice, the
// dialog stays).
#pragma once

#include <QDialog>

class CWidgetSetupHost;
class QButtonGroup;

class CEinschaltkonfigDlg : public QDialog {
    Q_OBJECT
public:
    // session: open, owned by the caller.
    CEinschaltkonfigDlg(QWidget* parent, CWidgetSetupHost& host, int session);

    // Opening: reads the power-on mode into the buttons.
    void Start();
    int exec() override;
    void accept() override;

    // The checked mode: 0 programming, 1 reader, -1 none.
    int Choice() const;

private:
    CWidgetSetupHost& m_host;
    int m_session;
    QButtonGroup* m_modes = nullptr;
};
