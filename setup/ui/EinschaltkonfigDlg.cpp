#include "EinschaltkonfigDlg.h"

#include "BusyGuard.h"
#include "PageWidgets.h"
#include "PowerOnConfig.h"
#include "WaitCursor.h"
#include "WidgetSetupHost.h"

#include <QButtonGroup>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

using PageWidgets::Text;

namespace {
constexpr int kDialog = 162;
constexpr int kFrame = 1201;
} // namespace

CEinschaltkonfigDlg::CEinschaltkonfigDlg(QWidget* parent, CWidgetSetupHost& host, int session)
    : QDialog(parent), m_host(host), m_session(session) {
    setObjectName(QStringLiteral("dialog162"));
    setWindowTitle(Text(kDialog, 0));
    auto* frame = new QGroupBox(Text(kDialog, kFrame), this);
    m_modes = new QButtonGroup(this);
    auto* frameLayout = new QVBoxLayout(frame);
    QRadioButton* programming = PageWidgets::Radio(frame, kDialog, 1039);
    QRadioButton* reader = PageWidgets::Radio(frame, kDialog, 1040);
    m_modes->addButton(programming, PowerOnConfig::ProgrammingMode);
    m_modes->addButton(reader, PowerOnConfig::ReaderMode);
    frameLayout->addWidget(programming);
    frameLayout->addWidget(reader);

    auto* ok = PageWidgets::Button(this, kDialog, 1);
    auto* cancel = PageWidgets::Button(this, kDialog, 2);
    ok->setDefault(true);
    auto* buttons = new QVBoxLayout;
    buttons->addWidget(ok);
    buttons->addWidget(cancel);
    buttons->addStretch();
    auto* layout = new QHBoxLayout(this);
    layout->addWidget(frame, 1);
    layout->addLayout(buttons);
    setMinimumWidth(360);

    connect(ok, &QPushButton::clicked, this, &CEinschaltkonfigDlg::accept);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
}

void CEinschaltkonfigDlg::Start() {
    CBusyGuard busy(this);
    appkit::WaitCursor wait;
    if (const std::optional<int> mode = PowerOnConfig::Read(m_session, m_host))
        PageWidgets::CheckButton(m_modes, *mode);
}

int CEinschaltkonfigDlg::exec() {
    Start();
    return QDialog::exec();
}

int CEinschaltkonfigDlg::Choice() const {
    return m_modes->checkedId();
}

void CEinschaltkonfigDlg::accept() {
    const int choice = Choice();
    if (choice < 0) {
        // Nothing chosen (the mode could not be read): no state to store, so
        // storing fails as the reader would refuse it; the dialog stays.
        m_host.ShowMessage(SetupMessage::FromId(510, MessageIcon::Error));
        return;
    }
    {
        CBusyGuard busy(this);
        appkit::WaitCursor wait;
        if (!PowerOnConfig::Write(m_session, choice, m_host)) return;
    }
    QDialog::accept();
}
