#include "LanDialog.h"

#include "IpAddressEdit.h"
#include "Messages.h"
#include "Texts.h"
#include "WaitCursor.h"

#include <QCloseEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QIntValidator>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

namespace frontend {

namespace {

constexpr int kDialog = 159;
constexpr int kDhcpRadio = 1251, kFixedRadio = 1252, kName = 1247, kAddress = 1243, kPort = 1246,
              kMask = 1244, kProgress = 1253;

// Keeps its place in the layout while hidden, so that the dialog does not
// change its size when the progress bar takes the buttons' turn.
void KeepPlace(QWidget* widget) {
    QSizePolicy policy = widget->sizePolicy();
    policy.setRetainSizeWhenHidden(true);
    widget->setSizePolicy(policy);
}

} // namespace

LanDialog::LanDialog(QWidget* parent, appkit::Program program, LanLink* link, DeviceLists* lists,
                     RefindTimer* timer)
    : QDialog(parent), m_program(program), m_model(program, link, lists) {
    if (!timer) {
        m_ownTimer = std::make_unique<RefindTimer>();
        timer = m_ownTimer.get();
    }
    m_timer = timer;
    BuildWidgets();
    ShowControls();
}

LanDialog::~LanDialog() = default;

std::function<bool(QWidget*)> LanDialog::Runner(appkit::Program program) {
    return [program](QWidget* parent) {
        LanDialog dialog(parent, program);
        return dialog.exec() == QDialog::Accepted;
    };
}

void LanDialog::BuildWidgets() {
    auto text = [this](int control) { return appkit::Texts::Dialog(m_program, kDialog, control); };
    setWindowTitle(text(0));
    setObjectName(QStringLiteral("dialog159"));

    m_values = new QWidget(this);
    m_dhcp = new QRadioButton(text(kDhcpRadio), m_values);
    m_dhcp->setObjectName(QStringLiteral("radio1251"));
    m_fixed = new QRadioButton(text(kFixedRadio), m_values);
    m_fixed->setObjectName(QStringLiteral("radio1252"));
    // Both unchecked is a state of its own (a block that could not be read).
    m_dhcp->setAutoExclusive(false);
    m_fixed->setAutoExclusive(false);

    m_nameLabel = new QLabel(text(kName), m_values);
    m_name = new QLineEdit(m_values);
    m_name->setObjectName(QStringLiteral("edit1247"));
    m_name->setMaxLength(LanSettings::MaxNameLength);
    m_name->setFixedWidth(m_name->fontMetrics().horizontalAdvance(QStringLiteral("WWWWWWWW")) + 16);
    m_nameLabel->setBuddy(m_name);

    m_addressLabel = new QLabel(text(kAddress), m_values);
    m_address = new IpAddressEdit(QStringLiteral("ip1243"), m_values);
    m_addressLabel->setBuddy(m_address);
    m_portLabel = new QLabel(text(kPort), m_values);
    m_port = new QLineEdit(m_values);
    m_port->setObjectName(QStringLiteral("edit1246"));
    m_port->setMaxLength(5);
    m_port->setValidator(new QIntValidator(0, 99999, m_port));
    m_port->setFixedWidth(m_port->fontMetrics().horizontalAdvance(QStringLiteral("000000")) + 12);
    m_maskLabel = new QLabel(text(kMask), m_values);
    m_mask = new IpAddressEdit(QStringLiteral("ip1244"), m_values);
    m_maskLabel->setBuddy(m_mask);

    auto* grid = new QGridLayout(m_values);
    grid->setContentsMargins(0, 0, 0, 0);
    grid->setColumnMinimumWidth(0, 20);
    grid->addWidget(m_dhcp, 0, 0, 1, 5);
    grid->addWidget(m_nameLabel, 1, 1);
    grid->addWidget(m_name, 1, 2, Qt::AlignLeft);
    grid->addWidget(m_fixed, 2, 0, 1, 5);
    grid->addWidget(m_addressLabel, 3, 1);
    grid->addWidget(m_address, 3, 2);
    grid->addWidget(m_portLabel, 3, 3);
    grid->addWidget(m_port, 3, 4);
    grid->addWidget(m_maskLabel, 4, 1);
    grid->addWidget(m_mask, 4, 2);
    grid->setColumnStretch(5, 1);

    m_progress = new QProgressBar(this);
    m_progress->setObjectName(QStringLiteral("progress1253"));
    m_progress->setRange(0, LanSettings::RefindMs);
    m_progress->setValue(0);
    m_progress->setTextVisible(false);
    KeepPlace(m_progress);
    m_progress->hide();

    m_ok = new QPushButton(text(1), this);
    m_ok->setObjectName(QStringLiteral("buttonOk"));
    m_ok->setDefault(true);
    m_cancel = new QPushButton(text(2), this);
    m_cancel->setObjectName(QStringLiteral("buttonCancel"));
    KeepPlace(m_ok);
    KeepPlace(m_cancel);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(m_ok);
    buttons->addWidget(m_cancel);

    auto* top = new QVBoxLayout(this);
    top->addWidget(m_values);
    top->addSpacing(8);
    top->addWidget(m_progress);
    top->addLayout(buttons);
    top->setSizeConstraint(QLayout::SetFixedSize);

    connect(m_dhcp, &QRadioButton::clicked, this, [this] {
        m_fixed->setChecked(false);
        m_dhcp->setChecked(true);
        OnModeClicked();
    });
    connect(m_fixed, &QRadioButton::clicked, this, [this] {
        m_dhcp->setChecked(false);
        m_fixed->setChecked(true);
        OnModeClicked();
    });
    connect(m_ok, &QPushButton::clicked, this, &LanDialog::accept);
    connect(m_cancel, &QPushButton::clicked, this, &LanDialog::reject);
}

void LanDialog::showEvent(QShowEvent* event) {
    if (!m_opened) {
        m_opened = true;
        m_model.Open();
        ShowControls();
    }
    QDialog::showEvent(event);
}

void LanDialog::ReadControls() {
    LanSettings::Controls& c = m_model.controls();
    c.mode = m_dhcp->isChecked()    ? LanSettings::Dhcp
             : m_fixed->isChecked() ? LanSettings::Fixed
                                    : LanSettings::NoMode;
    c.name = m_name->text();
    c.address = m_address->Octets();
    c.portText = m_port->text();
    c.mask = m_mask->Octets();
}

void LanDialog::ShowControls() {
    const LanSettings::Controls& c = m_model.controls();
    m_dhcp->setChecked(c.mode == LanSettings::Dhcp);
    m_fixed->setChecked(c.mode == LanSettings::Fixed);
    m_name->setText(c.name);
    m_address->SetOctets(c.address);
    m_port->setText(c.portText);
    m_mask->SetOctets(c.mask);
    for (QWidget* widget : {static_cast<QWidget*>(m_nameLabel), static_cast<QWidget*>(m_name)})
        widget->setEnabled(c.nameEnabled);
    for (QWidget* widget : {static_cast<QWidget*>(m_addressLabel), static_cast<QWidget*>(m_address),
                            static_cast<QWidget*>(m_portLabel), static_cast<QWidget*>(m_port),
                            static_cast<QWidget*>(m_maskLabel), static_cast<QWidget*>(m_mask)})
        widget->setEnabled(c.fixedEnabled);
}

void LanDialog::OnModeClicked() {
    ReadControls();
    m_model.ModeChanged();
    ShowControls();
}

void LanDialog::SetBusy(bool busy) {
    m_busy = busy;
    m_values->setEnabled(!busy);
    m_ok->setVisible(!busy);
    m_cancel->setVisible(!busy);
    m_progress->setValue(0);
    m_progress->setVisible(busy);
    if (busy)
        m_waitCursor =
            std::make_unique<appkit::WaitCursor>(appkit::WaitCursor::WithoutIndicator); // its own bar
    else
        m_waitCursor.reset();
}

void LanDialog::accept() {
    if (m_busy) return;
    ReadControls();
    LanSettings::Message message;
    LanSettings::Field field = LanSettings::Field::None;
    if (!m_model.Validate(message, field)) {
        appkit::Messages::Show(message.text, QMessageBox::Ok, appkit::Messages::Icon::Automatic,
                               message.caption);
        switch (field) {
        case LanSettings::Field::Name:
            m_name->setFocus();
            m_name->selectAll();
            break;
        case LanSettings::Field::Address:
            m_address->FocusFirst();
            break;
        case LanSettings::Field::Port:
            m_port->setFocus();
            m_port->selectAll();
            break;
        case LanSettings::Field::Mask:
            m_mask->FocusFirst();
            break;
        default:
            m_dhcp->setFocus();
            break;
        }
        return;
    }
    SetBusy(true);
    if (!m_model.Send(message)) {
        SetBusy(false);
        appkit::Messages::Show(message.text, QMessageBox::Ok, appkit::Messages::Icon::Automatic,
                               message.caption);
        return;
    }
    m_timer->Start();
    RefindStep();
}

void LanDialog::RefindStep() {
    const bool over = m_model.RefindStep(m_timer->Elapsed(), [this](int progress) {
        m_progress->setValue(progress);
        emit progressShown(progress);
    });
    if (!over) {
        m_timer->After(LanSettings::RefindStepMs, this, [this] { RefindStep(); });
        return;
    }
    SetBusy(false);
    QDialog::accept();
}

void LanDialog::reject() {
    if (m_busy) return;
    QDialog::reject();
}

void LanDialog::closeEvent(QCloseEvent* event) {
    if (m_busy) {
        event->ignore();
        return;
    }
    QDialog::closeEvent(event);
}

} // namespace frontend
