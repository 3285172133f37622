#include "FunktionstestDlg.h"

#include "BusyGuard.h"
#include "FixedFont.h"
#include "PageWidgets.h"
#include "WaitCursor.h"
#include "WidgetSetupHost.h"
#include "WinLatin1.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalBlocker>
#include <QTimer>
#include <QVBoxLayout>

using PageWidgets::Text;

namespace {

constexpr int kDialog = 110;
constexpr int kAsciiLabel = 1201, kHexLabel = 1202, kRequestLabel = 1203, kRequestHex = 1204,
              kModeLabel = 1205, kLostLabel = 1206;

QLabel* Label(QWidget* parent, int control) {
    auto* label = new QLabel(Text(kDialog, control), parent);
    label->setObjectName(QStringLiteral("label%1").arg(control));
    return label;
}

QPlainTextEdit* View(QWidget* parent, int control, const QFont& font) {
    auto* view = new QPlainTextEdit(parent);
    view->setObjectName(QStringLiteral("edit%1").arg(control));
    view->setReadOnly(true);
    view->setLineWrapMode(QPlainTextEdit::NoWrap);
    view->setFont(font);
    const QFontMetrics metrics(font);
    const int frame = 2 * view->frameWidth() + 2 * int(view->document()->documentMargin()) + 4;
    view->setMinimumWidth(metrics.horizontalAdvance(QLatin1Char('0')) * 3 * CFunktionstestDlg::BytesPerLine +
                          frame);
    // A telegram takes a few lines; the views grow when the dialog is made taller.
    view->setMinimumHeight(metrics.lineSpacing() * 6 + frame);
    view->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Ignored);
    return view;
}

QLineEdit* ReadOnlyEdit(QWidget* parent, int control, int width) {
    QLineEdit* edit = PageWidgets::Edit(parent, control);
    edit->setReadOnly(true);
    edit->setMaximumWidth(width);
    return edit;
}

} // namespace

QString CFunktionstestDlg::AsciiDisplay(const std::string& asciiView) {
    QString text;
    int column = 0;
    for (size_t i = 0; i < asciiView.size(); i += 4) {
        const uint8_t byte = static_cast<uint8_t>(asciiView[i]);
        if (column == BytesPerLine) {
            text += QLatin1Char('\n');
            column = 0;
        }
        const bool control = byte < 0x20 || byte == 0x7F;
        text += control ? QChar(0x00B7) : QChar(char32_t(WinLatin1::CodePoint(byte)));
        text += QLatin1String("  ");
        ++column;
    }
    return text;
}

QString CFunktionstestDlg::HexDisplay(const std::string& hexView) {
    QString text;
    int column = 0;
    for (size_t i = 0; i + 2 <= hexView.size(); i += 3) {
        if (column == BytesPerLine) {
            text += QLatin1Char('\n');
            column = 0;
        }
        text += QString::fromLatin1(hexView.data() + i, 2) + QLatin1Char(' ');
        ++column;
    }
    return text;
}

CFunktionstestDlg::CFunktionstestDlg(QWidget* parent, CWidgetSetupHost& host, int connectionFlags,
                                     CFunktionstest::Now now)
    : QDialog(parent), m_host(host), m_flags(connectionFlags), m_test(std::move(now)) {
    setObjectName(QStringLiteral("dialog110"));
    setWindowTitle(Text(kDialog, 0));
    const QFont fixed = FixedFont::Get();
    m_ascii = View(this, CFunktionstest::IdAscii, fixed);
    m_hex = View(this, CFunktionstest::IdHex, fixed);

    m_mode = ReadOnlyEdit(this, CFunktionstest::IdMode, 40);
    m_request = ReadOnlyEdit(this, CFunktionstest::IdRequest, 60);
    m_request->setFont(fixed);
    m_send = PageWidgets::Button(this, kDialog, CFunktionstest::IdSend);
    m_relay = new QPushButton(Text(kDialog, CFunktionstest::IdRelay), this);
    m_relay->setObjectName(QStringLiteral("check%1").arg(CFunktionstest::IdRelay));
    m_relay->setCheckable(true);
    m_buzzer = PageWidgets::Button(this, kDialog, CFunktionstest::IdBuzzer);
    m_counter = ReadOnlyEdit(this, CFunktionstest::IdCounter, 70);
    m_counterLabel = Label(this, CFunktionstest::IdCounterLabel);
    // Hidden until the reader's device goes away.
    m_lost = new QLabel(this);
    m_lost->setObjectName(QStringLiteral("label%1").arg(kLostLabel));
    QFont bold = m_lost->font();
    bold.setBold(true);
    m_lost->setFont(bold);
    m_lost->hide();
    auto* close = PageWidgets::Button(this, kDialog, 1);
    for (QPushButton* button : {m_send, m_relay, m_buzzer, close})
        button->setAutoDefault(false);

    auto* requestRow = new QHBoxLayout;
    requestRow->addWidget(Label(this, kModeLabel));
    requestRow->addWidget(m_mode);
    requestRow->addSpacing(16);
    requestRow->addWidget(Label(this, kRequestLabel));
    requestRow->addWidget(m_request);
    requestRow->addWidget(Label(this, kRequestHex));
    requestRow->addWidget(m_send);
    requestRow->addStretch();
    requestRow->addWidget(m_counterLabel);
    requestRow->addWidget(m_counter);

    auto* buttonRow = new QHBoxLayout;
    buttonRow->addWidget(m_relay);
    buttonRow->addWidget(m_buzzer);
    buttonRow->addStretch();
    buttonRow->addWidget(close);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(Label(this, kAsciiLabel));
    layout->addWidget(m_ascii, 1);
    layout->addWidget(Label(this, kHexLabel));
    layout->addWidget(m_hex, 1);
    layout->addSpacing(4);
    layout->addWidget(m_lost);
    layout->addLayout(requestRow);
    layout->addLayout(buttonRow);

    m_timer = new QTimer(this);
    m_timer->setInterval(int(CFunktionstest::TimerInterval.count()));
    connect(m_timer, &QTimer::timeout, this, &CFunktionstestDlg::OnTimer);
    connect(m_send, &QPushButton::clicked, this, [this] {
        if (m_test.Send() || !m_test.Lost()) ShowViews();
        SayIfLost();
    });
    connect(m_relay, &QPushButton::toggled, this, [this](bool pressed) {
        if (m_test.Relay(pressed) || !m_test.Lost()) return;
        // The relay did not switch: the button shows it as it was.
        const QSignalBlocker blocker(m_relay);
        m_relay->setChecked(!pressed);
        SayIfLost();
    });
    connect(m_buzzer, &QPushButton::clicked, this, [this] {
        m_test.Buzzer();
        SayIfLost();
    });
    connect(close, &QPushButton::clicked, this, &QDialog::accept);
    ShowState();
}

CFunktionstestDlg::~CFunktionstestDlg() {
    m_timer->stop();
    m_test.Close();
}

bool CFunktionstestDlg::Start() {
    CBusyGuard busy(this);
    appkit::WaitCursor wait;
    if (!m_test.Open(m_host, m_flags)) return false;
    ShowState();
    ShowViews();
    m_timer->start();
    return true;
}

int CFunktionstestDlg::exec() {
    if (!Start()) return QDialog::Rejected;
    return QDialog::exec();
}

void CFunktionstestDlg::done(int result) {
    m_timer->stop();
    m_test.Close();
    QDialog::done(result);
}

void CFunktionstestDlg::OnTimer() {
    if (m_test.OnTimer(CFunktionstest::TimerId)) ShowViews();
    if (m_test.Lost()) ShowLost();
}

void CFunktionstestDlg::ShowLost() {
    m_timer->stop();
    m_lost->setText(QString::fromStdString(CFunktionstest::LostText()));
    m_lost->show();
}

void CFunktionstestDlg::SayIfLost() {
    if (!m_test.Lost()) return;
    ShowLost();
    m_host.ShowMessage(CFunktionstest::LostMessage());
}

void CFunktionstestDlg::ShowState() {
    m_mode->setText(QString::fromStdString(m_test.ModeText()));
    m_request->setText(QString::fromStdString(m_test.RequestText()));
    m_send->setEnabled(m_test.SendEnabled());
    m_counter->setVisible(m_test.CounterVisible());
    m_counterLabel->setVisible(m_test.CounterVisible());
    m_relay->setVisible(m_test.RelayVisible());
}

void CFunktionstestDlg::ShowViews() {
    m_ascii->setPlainText(AsciiDisplay(m_test.AsciiView()));
    m_hex->setPlainText(HexDisplay(m_test.HexView()));
    m_counter->setText(QString::fromStdString(m_test.CounterText()));
}
