#include "ParamPage.h"

#include "PageWidgets.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

using namespace PageWidgets;

namespace {

constexpr int kDialog = 112;
// Frames and labels without ids of their own.
constexpr int kModeFrame = 1201, kBaudFrame = 1202, kCurrentLabel = 1203, kSetLabel = 1204;
constexpr int kCycleLabel = 1205, kCycleUnit = 1206, kTimeoutLabel = 1207, kTimeoutUnit = 1208,
              kRequestLabel = 1209;

QLabel* Label(QWidget* parent, int control) {
    return new QLabel(Text(kDialog, control), parent);
}

} // namespace

CParamPage::CParamPage(CParamRegisterkarte& model, QWidget* parent) : QWidget(parent), m_model(model) {
    using Page = CParamRegisterkarte;

    auto* modes = new QGroupBox(Text(kDialog, kModeFrame), this);
    m_modes = new QButtonGroup(this);
    auto* modeLayout = new QVBoxLayout(modes);
    const int modeIds[4] = {Page::IdMode0, Page::IdMode1, Page::IdModeEmpty, Page::IdMode3};
    for (int mode = 0; mode < 4; ++mode) {
        QRadioButton* radio = Radio(modes, kDialog, modeIds[mode]);
        m_modes->addButton(radio, mode);
        modeLayout->addWidget(radio);
        // "Leer" only gives the button of mode 3 its index.
        if (mode == 2) radio->hide();
    }
    m_sensor = Check(modes, kDialog, Page::IdSensor);
    modeLayout->addSpacing(6);
    modeLayout->addWidget(m_sensor);

    m_cycleTime = Edit(this, Page::IdCycleTime);
    m_timeout = Edit(this, Page::IdTimeout, true);
    m_request = Edit(this, Page::IdRequest, false, 1);
    for (QLineEdit* edit : {m_cycleTime, m_timeout})
        edit->setMaximumWidth(80);
    m_request->setMaximumWidth(36);
    auto* values = new QGridLayout;
    values->addWidget(Label(this, kCycleLabel), 0, 0);
    values->addWidget(m_cycleTime, 0, 1);
    values->addWidget(Label(this, kCycleUnit), 0, 2);
    values->addWidget(Label(this, kTimeoutLabel), 1, 0);
    values->addWidget(m_timeout, 1, 1);
    values->addWidget(Label(this, kTimeoutUnit), 1, 2);
    values->addWidget(Label(this, kRequestLabel), 2, 0);
    values->addWidget(m_request, 2, 1);
    values->setColumnStretch(3, 1);
    values->setRowStretch(3, 1);

    auto* baud = new QGroupBox(Text(kDialog, kBaudFrame), this);
    m_currentBaud = Edit(baud, Page::IdCurrentBaud);
    m_currentBaud->setReadOnly(true);
    m_currentBaud->setMaximumWidth(90);
    m_setBaud = new QComboBox(baud);
    m_setBaud->setObjectName(QStringLiteral("combo%1").arg(Page::IdSetBaud));
    for (int rate : Page::SetBaudRates())
        m_setBaud->addItem(QString::number(rate));
    m_setBaud->setCurrentIndex(-1);
    auto* baudLayout = new QGridLayout(baud);
    baudLayout->addWidget(Label(baud, kCurrentLabel), 0, 0);
    baudLayout->addWidget(m_currentBaud, 0, 1);
    baudLayout->addWidget(Label(baud, kSetLabel), 1, 0);
    baudLayout->addWidget(m_setBaud, 1, 1);

    auto* middle = new QHBoxLayout;
    middle->addLayout(values, 1);
    middle->addWidget(baud, 0, Qt::AlignTop);

    auto* functionTest = Button(this, kDialog, Page::IdFunctionTest);
    auto* readBack = Button(this, kDialog, Page::IdReadBack);
    auto* bottom = RightAlignedRow(functionTest, readBack);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(modes);
    layout->addSpacing(6);
    layout->addLayout(middle, 1);
    layout->addLayout(bottom);

    connect(m_modes, &QButtonGroup::idClicked, this, &CParamPage::OnModeClicked);
    connect(functionTest, &QPushButton::clicked, this, &CParamPage::functionTestRequested);
    connect(readBack, &QPushButton::clicked, this, &CParamPage::readBackRequested);

    ShowControls();
}

void CParamPage::ShowControls() {
    const CParamRegisterkarte::Controls& c = m_model.GetControls();
    const CParamRegisterkarte::State& s = m_model.GetState();
    CheckButton(m_modes, c.mode);
    m_sensor->setChecked(c.sensor);
    m_sensor->setVisible(s.sensorVisible);
    SetText(m_currentBaud, c.currentBaud);
    SetCurrentIndex(m_setBaud, c.setBaud);
    m_setBaud->setEnabled(s.setBaudEnabled);
    SetText(m_cycleTime, c.cycleTime);
    SetText(m_timeout, c.timeout);
    SetText(m_request, c.request);
    m_timeout->setEnabled(s.timeoutEnabled);
    m_cycleTime->setEnabled(s.cycleTimeEnabled);
    m_request->setEnabled(s.requestEnabled);
}

void CParamPage::ReadControls() {
    CParamRegisterkarte::Controls& c = m_model.GetControls();
    c.mode = m_modes->checkedId();
    c.sensor = m_sensor->isChecked();
    c.setBaud = m_setBaud->currentIndex();
    c.cycleTime = m_cycleTime->text().toStdString();
    c.timeout = m_timeout->text().toStdString();
    c.request = m_request->text().toStdString();
    // The current baud rate is read-only: the model's value stands.
}

void CParamPage::OnModeClicked(int mode) {
    ReadControls();
    m_model.ClickMode(mode);
    ShowControls();
}
