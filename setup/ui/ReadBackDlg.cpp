#include "ReadBackDlg.h"

#include "BusyGuard.h"
#include "FixedFont.h"
#include "PageWidgets.h"
#include "WaitCursor.h"
#include "WidgetSetupHost.h"

#include <QHBoxLayout>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QVBoxLayout>

using PageWidgets::Text;

namespace {
constexpr int kDialog = 102;
}

CReadBackDlg::CReadBackDlg(QWidget* parent, CWidgetSetupHost& host, int session, int baud, int flags)
    : QDialog(parent), m_host(host), m_readBack(session, baud, flags) {
    setObjectName(QStringLiteral("dialog102"));
    setWindowTitle(Text(kDialog, 0));
    m_report = new QPlainTextEdit(this);
    m_report->setObjectName(QStringLiteral("edit1013"));
    m_report->setReadOnly(true);
    m_report->setLineWrapMode(QPlainTextEdit::NoWrap);
    const QFont fixed = FixedFont::Get();
    m_report->setFont(fixed);
    const QFontMetrics metrics(fixed);
    m_report->setMinimumSize(metrics.horizontalAdvance(QLatin1Char('M')) * 78, metrics.lineSpacing() * 20);

    auto* read = PageWidgets::Button(this, kDialog, 4);
    auto* clear = PageWidgets::Button(this, kDialog, 3);
    auto* close = PageWidgets::Button(this, kDialog, 2);
    for (QPushButton* button : {read, clear, close})
        button->setAutoDefault(false);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(read);
    buttons->addWidget(clear);
    buttons->addStretch();
    buttons->addWidget(close);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_report, 1);
    layout->addLayout(buttons);

    connect(read, &QPushButton::clicked, this, &CReadBackDlg::OnRead);
    connect(clear, &QPushButton::clicked, this, &CReadBackDlg::OnClear);
    connect(close, &QPushButton::clicked, this, &QDialog::reject);

    m_previousHook = m_host.onReportUpdated;
    m_host.onReportUpdated = [this](const std::string& report) { ShowReport(report); };
}

CReadBackDlg::~CReadBackDlg() {
    m_host.onReportUpdated = m_previousHook;
}

QString CReadBackDlg::DisplayText(const std::string& report) {
    QString text = QString::fromStdString(report);
    text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return text;
}

QString CReadBackDlg::ReportText() const {
    return m_report->toPlainText();
}

void CReadBackDlg::ShowReport(const std::string& report) {
    m_report->setPlainText(DisplayText(report));
    // A report read again is appended: its new part comes into view.
    m_report->verticalScrollBar()->setValue(m_report->verticalScrollBar()->maximum());
    // Between the reads the report is repainted.
    if (m_report->isVisible()) m_report->repaint();
}

bool CReadBackDlg::Start() {
    m_readBack.Clear();
    ShowReport(m_readBack.Report());
    CBusyGuard busy(this);
    appkit::WaitCursor wait;
    const bool found = m_readBack.Run(m_host);
    ShowReport(m_readBack.Report());
    return found;
}

int CReadBackDlg::exec() {
    if (!Start()) return QDialog::Rejected;
    return QDialog::exec();
}

void CReadBackDlg::OnRead() {
    CBusyGuard busy(this);
    appkit::WaitCursor wait;
    m_readBack.Run(m_host);
    ShowReport(m_readBack.Report());
}

void CReadBackDlg::OnClear() {
    m_readBack.Clear();
    ShowReport(m_readBack.Report());
}
