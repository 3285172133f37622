// CFunktionstestDlg: the function test (dialog 110, "Funktionstest"). It
// holds a session with the reader running while it is open; a 50 ms timer
// takes what the reader sent. The ASCII and hex views show each byte in a
// cell of the same width (16 per line) in a fixed-width font, so that the
// two views stay column-aligned. "Sende" sends the request byte, "Relais"
// (shown only with the relay flag) switches the relay, "Summer" sounds the
// buzzer; the counter counts telegrams in the modes that send on their own.
// When the reader's device goes away the timer stops and the dialog says
// that the connection is lost; the buttons then send nothing and say so.
#pragma once

#include "Funktionstest.h"

#include <QDialog>

class CWidgetSetupHost;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QTimer;

class CFunktionstestDlg : public QDialog {
    Q_OBJECT
public:
    CFunktionstestDlg(QWidget* parent, CWidgetSetupHost& host, int connectionFlags,
                      CFunktionstest::Now now = CFunktionstest::Clock::now);
    ~CFunktionstestDlg() override;

    // Opening: connect, read the mode, start the reader and the timer.
    // False when the dialog has to close again.
    bool Start();
    int exec() override;
    void done(int result) override;

    CFunktionstest& Model() { return m_test; }

    // Bytes per line of the views.
    static constexpr int BytesPerLine = 16;
    // The views' texts: one 3-column cell per byte in each ("A  " / "41 "),
    // control characters shown as a middle dot.
    static QString AsciiDisplay(const std::string& asciiView);
    static QString HexDisplay(const std::string& hexView);

private:
    void OnTimer();
    // The lost connection: timer stopped, the text shown in the dialog.
    void ShowLost();
    // After a button: when the connection is lost, the text as a message too.
    void SayIfLost();
    void ShowState();
    void ShowViews();

    CWidgetSetupHost& m_host;
    int m_flags;
    CFunktionstest m_test;
    QTimer* m_timer = nullptr;
    QPlainTextEdit* m_ascii = nullptr;
    QPlainTextEdit* m_hex = nullptr;
    QLineEdit* m_mode = nullptr;
    QLineEdit* m_request = nullptr;
    QPushButton* m_send = nullptr;
    QPushButton* m_relay = nullptr;
    QPushButton* m_buzzer = nullptr;
    QLineEdit* m_counter = nullptr;
    QLabel* m_counterLabel = nullptr;
    QLabel* m_lost = nullptr;
};
