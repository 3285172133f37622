#include "InterfaceDialog.h"

#include "DeviceLists.h"
#include "DeviceWatcher.h"
#include "Messages.h"
#include "Texts.h"
#include "WaitCursor.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QVBoxLayout>

namespace frontend {

InterfaceDialog::InterfaceDialog(QWidget* parent, appkit::Program program, DeviceLists* lists)
    : QDialog(parent), m_program(program), m_model(program, lists ? *lists : DeviceLists::System()) {
    BuildWidgets();
    m_watcher = new appkit::DeviceWatcher(this);
    connect(m_watcher, &appkit::DeviceWatcher::deviceChange, this, &InterfaceDialog::OnDeviceChange);
}

InterfaceDialog::~InterfaceDialog() = default;

std::function<bool()> InterfaceDialog::Chooser(QWidget* parent, appkit::Program program) {
    return [parent, program] {
        InterfaceDialog dialog(parent, program);
        return dialog.exec() == QDialog::Accepted;
    };
}

void InterfaceDialog::BuildWidgets() {
    auto text = [this](int control) { return appkit::Texts::Dialog(m_program, 109, control); };
    setWindowTitle(text(0));
    setObjectName(QStringLiteral("dialog109"));

    auto* frame = new QGroupBox(text(1012), this);
    m_list = new QListWidget(frame);
    m_list->setObjectName(QStringLiteral("list1012"));
    m_list->setMinimumWidth(340);
    m_ethernet = new QCheckBox(text(1250), frame);
    m_ethernet->setObjectName(QStringLiteral("check1250"));
    m_ipButton = new QPushButton(text(1256), frame);
    m_ipButton->setObjectName(QStringLiteral("button1256"));
    auto* ethernetRow = new QHBoxLayout;
    ethernetRow->addWidget(m_ethernet);
    ethernetRow->addStretch();
    ethernetRow->addWidget(m_ipButton);
    m_hidMode = new QRadioButton(text(1035), frame);
    m_hidMode->setObjectName(QStringLiteral("radio1035"));
    m_hidMode->setAutoExclusive(false);
    m_virtualCom = new QRadioButton(text(1036), frame);
    m_virtualCom->setObjectName(QStringLiteral("radio1036"));
    m_virtualCom->setAutoExclusive(false);
    auto* modeRow = new QHBoxLayout;
    modeRow->addWidget(m_hidMode);
    modeRow->addWidget(m_virtualCom);
    modeRow->addStretch();
    auto* frameLayout = new QVBoxLayout(frame);
    frameLayout->addWidget(m_list);
    frameLayout->addLayout(ethernetRow);
    frameLayout->addLayout(modeRow);

    m_baud = new QComboBox(this);
    m_baud->setObjectName(QStringLiteral("combo1011"));
    m_baud->addItems(InterfaceSelection::BaudRates);
    m_parity = new QComboBox(this);
    m_parity->setObjectName(QStringLiteral("combo1013"));
    for (int i = 0; i < 3; ++i)
        m_parity->addItem(appkit::Texts::Key(m_program, QStringLiteral("109.1013.%1").arg(i)));
    m_stopBits = new QComboBox(this);
    m_stopBits->setObjectName(QStringLiteral("combo1014"));
    m_stopBits->addItems({QStringLiteral("1"), QStringLiteral("2")});
    m_timeout = new QLineEdit(this);
    m_timeout->setObjectName(QStringLiteral("edit1002"));
    m_address = new QLineEdit(this);
    m_address->setObjectName(QStringLiteral("edit1003"));
    auto* form = new QFormLayout;
    form->addRow(text(1011), m_baud);
    form->addRow(text(1013), m_parity);
    form->addRow(text(1014), m_stopBits);
    form->addRow(text(1002), m_timeout);
    form->addRow(text(1003), m_address);

    m_ok = new QPushButton(text(1), this);
    m_ok->setObjectName(QStringLiteral("buttonOk"));
    m_ok->setDefault(true);
    m_cancel = new QPushButton(text(2), this);
    m_cancel->setObjectName(QStringLiteral("buttonCancel"));
    auto* buttons = new QVBoxLayout;
    buttons->addWidget(m_ok);
    buttons->addWidget(m_cancel);
    buttons->addStretch();

    auto* right = new QVBoxLayout;
    right->addLayout(form);
    right->addStretch();
    auto* top = new QHBoxLayout(this);
    top->addWidget(frame, 1);
    top->addLayout(right);
    top->addLayout(buttons);

    connect(m_list, &QListWidget::currentRowChanged, this, &InterfaceDialog::OnSelectionChanged);
    connect(m_ethernet, &QCheckBox::clicked, this, &InterfaceDialog::OnEthernetToggled);
    connect(m_ipButton, &QPushButton::clicked, this, &InterfaceDialog::OnIpQuery);
    connect(m_hidMode, &QRadioButton::clicked, this, &InterfaceDialog::OnHidMode);
    connect(m_virtualCom, &QRadioButton::clicked, this, &InterfaceDialog::OnVirtualCom);
    connect(m_ok, &QPushButton::clicked, this, &InterfaceDialog::accept);
    connect(m_cancel, &QPushButton::clicked, this, &InterfaceDialog::reject);
}

void InterfaceDialog::showEvent(QShowEvent* event) {
    if (!m_opened) {
        m_opened = true;
        m_model.Open();
        ShowControls();
    }
    QDialog::showEvent(event);
}

void InterfaceDialog::ReadControls() {
    InterfaceSelection::Controls& c = m_model.controls();
    c.selected = m_list->currentRow();
    c.baudIndex = m_baud->currentIndex();
    c.parityIndex = m_parity->currentIndex();
    c.stopBitsIndex = m_stopBits->currentIndex();
    c.timeoutText = m_timeout->text();
    c.addressText = m_address->text();
    c.ethernet = m_ethernet->isChecked();
}

void InterfaceDialog::ShowControls() {
    const InterfaceSelection::Controls& c = m_model.controls();
    m_showing = true;
    {
        const QSignalBlocker block(m_list);
        QStringList current;
        for (int i = 0; i < m_list->count(); ++i)
            current.append(m_list->item(i)->text());
        if (current != c.entries) {
            m_list->clear();
            m_list->addItems(c.entries);
        }
        m_list->setCurrentRow(c.selected);
        if (c.selected < 0) m_list->clearSelection();
    }
    m_baud->setCurrentIndex(c.baudIndex);
    m_parity->setCurrentIndex(c.parityIndex);
    m_stopBits->setCurrentIndex(c.stopBitsIndex);
    m_timeout->setText(c.timeoutText);
    m_address->setText(c.addressText);
    m_ethernet->setChecked(c.ethernet);
    m_ipButton->setVisible(c.ipVisible);
    m_baud->setEnabled(c.serialControlsEnabled);
    m_parity->setEnabled(c.serialControlsEnabled);
    m_stopBits->setEnabled(c.serialControlsEnabled);
    m_hidMode->setEnabled(c.modeButtonsEnabled);
    m_virtualCom->setEnabled(c.modeButtonsEnabled);
    m_hidMode->setChecked(c.hidModeChecked);
    m_virtualCom->setChecked(c.virtualComChecked);
    m_showing = false;
}

void InterfaceDialog::OnSelectionChanged() {
    if (m_showing) return;
    ReadControls();
    m_model.SelectionChanged();
    ShowControls();
}

void InterfaceDialog::OnEthernetToggled() {
    ReadControls();
    m_model.EthernetToggled();
    ShowControls();
}

void InterfaceDialog::OnIpQuery() {
    const InterfaceSelection::Message message = m_model.IpQuery();
    appkit::Messages::Show(message.text, QMessageBox::Ok, appkit::Messages::Icon::Automatic, message.caption);
}

void InterfaceDialog::OnHidMode() {
    ReadControls();
    const appkit::WaitCursor wait;
    m_model.ChooseHidMode();
    ShowControls();
}

void InterfaceDialog::OnVirtualCom() {
    ReadControls();
    const appkit::WaitCursor wait;
    m_model.ChooseVirtualCom();
    ShowControls();
}

void InterfaceDialog::OnDeviceChange(int eventCode) {
    if (!m_opened) return;
    ReadControls();
    m_model.DeviceChange(eventCode);
    ShowControls();
}

void InterfaceDialog::accept() {
    ReadControls();
    InterfaceSelection::Message message;
    InterfaceSelection::Field field = InterfaceSelection::Field::None;
    if (!m_model.Accept(message, field)) {
        appkit::Messages::Show(message.text, QMessageBox::Ok, appkit::Messages::Icon::Automatic,
                               message.caption);
        QLineEdit* edit = field == InterfaceSelection::Field::Timeout ? m_timeout : m_address;
        edit->setFocus();
        edit->selectAll();
        return;
    }
    QDialog::accept();
}

} // namespace frontend
