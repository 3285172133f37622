#include "DataPage.h"

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
#include <QSignalBlocker>
#include <QVBoxLayout>

using namespace PageWidgets;

namespace {

constexpr int kDialog = 103;
// Frames and column heads without ids of their own.
constexpr int kRepresentationFrame = 1201, kFormatFrame = 1202, kCountLabel = 1203;
constexpr int kTypeHead = 1204, kStartHead = 1205, kLengthHead = 1206;

QLabel* Label(QWidget* parent, int control) {
    auto* label = new QLabel(Text(kDialog, control), parent);
    label->setObjectName(QStringLiteral("label%1").arg(control));
    return label;
}

} // namespace

CDataPage::CDataPage(CDatenRegisterkarte& model, QWidget* parent) : QWidget(parent), m_model(model) {
    using Page = CDatenRegisterkarte;

    // Representation, character count, used bytes, rotations, identifiers.
    auto* representation = new QGroupBox(Text(kDialog, kRepresentationFrame), this);
    m_representation = new QButtonGroup(this);
    auto* representationLayout = new QVBoxLayout(representation);
    for (int i = 0; i < 5; ++i) {
        QRadioButton* radio = Radio(representation, kDialog, Page::RepresentationIds[size_t(i)]);
        m_representation->addButton(radio, i);
        representationLayout->addWidget(radio);
    }
    representationLayout->addSpacing(8);
    m_count = Edit(representation, Page::IdCharacterCount, true);
    m_first = Edit(representation, Page::IdFirstUsedByte, true);
    m_last = Edit(representation, Page::IdLastUsedByte, true);
    for (QLineEdit* edit : {m_count, m_first, m_last})
        edit->setMaximumWidth(48);
    auto* numbers = new QGridLayout;
    numbers->addWidget(Label(representation, kCountLabel), 0, 0);
    numbers->addWidget(m_count, 0, 1);
    numbers->addWidget(Label(representation, Page::IdUsedBytesLabel), 1, 0);
    auto* usedBytes = new QHBoxLayout;
    usedBytes->addWidget(m_first);
    usedBytes->addWidget(Label(representation, Page::IdDash));
    usedBytes->addWidget(m_last);
    usedBytes->addStretch();
    numbers->addLayout(usedBytes, 1, 1);
    numbers->setColumnStretch(2, 1);
    representationLayout->addLayout(numbers);
    m_byteRotation = Check(representation, kDialog, Page::IdByteRotation);
    m_bitRotation = Check(representation, kDialog, Page::IdBitRotation);
    representationLayout->addWidget(m_byteRotation);
    representationLayout->addWidget(m_bitRotation);
    m_before = Edit(representation, Page::IdIdentifierBefore, false, 1);
    m_after = Edit(representation, Page::IdIdentifierAfter, false, 1);
    for (QLineEdit* edit : {m_before, m_after})
        edit->setMaximumWidth(36);
    auto* identifiers = new QGridLayout;
    identifiers->addWidget(Label(representation, Page::IdIdentifierBeforeLabel), 0, 0);
    identifiers->addWidget(m_before, 0, 1);
    identifiers->addWidget(Label(representation, Page::IdIdentifierAfterLabel), 1, 0);
    identifiers->addWidget(m_after, 1, 1);
    identifiers->setColumnStretch(2, 1);
    representationLayout->addLayout(identifiers);
    representationLayout->addStretch();

    // Data format with the four registers.
    auto* format = new QGroupBox(Text(kDialog, kFormatFrame), this);
    m_dataFormat = new QButtonGroup(this);
    auto* formatButtons = new QHBoxLayout;
    for (int i = 0; i < 2; ++i) {
        QRadioButton* radio = Radio(format, kDialog, i == 0 ? Page::IdEpc : Page::IdBlocks);
        m_dataFormat->addButton(radio, i);
        formatButtons->addWidget(radio);
    }
    formatButtons->addStretch();
    auto* registers = new QGridLayout;
    registers->addWidget(Label(format, kTypeHead), 0, 0);
    registers->addWidget(Label(format, kStartHead), 0, 1);
    registers->addWidget(Label(format, kLengthHead), 0, 2);
    for (size_t i = 0; i < 4; ++i) {
        m_types[i] = new QComboBox(format);
        m_types[i]->setObjectName(QStringLiteral("combo%1").arg(Page::TypeIds[i]));
        for (const char* name : Page::TypeNames())
            m_types[i]->addItem(QString::fromUtf8(name));
        m_starts[i] = Edit(format, Page::StartIds[i], true);
        m_lengths[i] = Edit(format, Page::LengthIds[i], true);
        m_starts[i]->setMaximumWidth(70);
        m_lengths[i]->setMaximumWidth(56);
        registers->addWidget(m_types[i], int(i) + 1, 0);
        registers->addWidget(m_starts[i], int(i) + 1, 1);
        registers->addWidget(m_lengths[i], int(i) + 1, 2);
    }
    registers->setColumnStretch(3, 1);
    auto* formatLayout = new QVBoxLayout(format);
    formatLayout->addLayout(formatButtons);
    formatLayout->addLayout(registers);

    // The information frame.
    m_info = new QGroupBox(this);
    m_info->setObjectName(QStringLiteral("frame%1").arg(Page::IdInfoFrame));
    auto* infoLayout = new QVBoxLayout(m_info);
    for (size_t i = 0; i < 5; ++i) {
        m_lines[i] = new QLabel(m_info);
        m_lines[i]->setObjectName(QStringLiteral("label%1").arg(Page::InfoLineIds[i]));
        infoLayout->addWidget(m_lines[i]);
    }
    infoLayout->addStretch();

    auto* right = new QVBoxLayout;
    right->addWidget(format);
    right->addWidget(m_info, 1);

    auto* top = new QHBoxLayout;
    top->addWidget(representation, 1);
    top->addLayout(right, 1);

    auto* functionTest = Button(this, kDialog, Page::IdFunctionTest);
    auto* readBack = Button(this, kDialog, Page::IdReadBack);
    auto* bottom = RightAlignedRow(functionTest, readBack);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top, 1);
    layout->addLayout(bottom);

    connect(m_dataFormat, &QButtonGroup::idClicked, this, &CDataPage::OnDataFormatClicked);
    connect(functionTest, &QPushButton::clicked, this, &CDataPage::functionTestRequested);
    connect(readBack, &QPushButton::clicked, this, &CDataPage::readBackRequested);

    ShowControls();
}

void CDataPage::ShowControls() {
    using Page = CDatenRegisterkarte;
    const Page::Controls& c = m_model.GetControls();
    CheckButton(m_representation, c.representation);
    CheckButton(m_dataFormat, c.dataFormat);
    SetText(m_count, c.characterCount);
    SetText(m_first, c.firstUsedByte);
    SetText(m_last, c.lastUsedByte);
    m_byteRotation->setChecked(c.byteRotation);
    m_bitRotation->setChecked(c.bitRotation);
    SetText(m_before, c.identifierBefore);
    SetText(m_after, c.identifierAfter);
    const Page::FormatState& state = m_model.GetFormatState();
    for (size_t i = 0; i < 4; ++i) {
        SetCurrentIndex(m_types[i], c.registers[i].type);
        SetText(m_starts[i], c.registers[i].start);
        SetText(m_lengths[i], c.registers[i].length);
        m_types[i]->setEnabled(state.registersEnabled);
        m_starts[i]->setEnabled(state.registersEnabled);
        m_lengths[i]->setEnabled(state.registersEnabled);
    }
    m_info->setTitle(QString::fromStdString(state.frameCaption));
    for (size_t i = 0; i < 5; ++i)
        m_lines[i]->setText(QString::fromStdString(state.lines[i]));

    // Feature flags: what this reader offers.
    for (int id :
         {int(Page::IdFirstUsedByte), int(Page::IdDash), int(Page::IdByteRotation), int(Page::IdBitRotation),
          int(Page::IdDecimalNoZeros), int(Page::IdIdentifierBeforeLabel), int(Page::IdIdentifierAfterLabel),
          int(Page::IdIdentifierBefore), int(Page::IdIdentifierAfter)}) {
        for (QWidget* widget : Widgets(this, id))
            widget->setVisible(m_model.IsVisible(id));
    }
}

void CDataPage::ReadControls() {
    CDatenRegisterkarte::Controls& c = m_model.GetControls();
    c.representation = m_representation->checkedId();
    c.dataFormat = m_dataFormat->checkedId();
    c.characterCount = m_count->text().toStdString();
    c.firstUsedByte = m_first->text().toStdString();
    c.lastUsedByte = m_last->text().toStdString();
    c.byteRotation = m_byteRotation->isChecked();
    c.bitRotation = m_bitRotation->isChecked();
    c.identifierBefore = m_before->text().toStdString();
    c.identifierAfter = m_after->text().toStdString();
    for (size_t i = 0; i < 4; ++i) {
        c.registers[i].type = m_types[i]->currentIndex();
        c.registers[i].start = m_starts[i]->text().toStdString();
        c.registers[i].length = m_lengths[i]->text().toStdString();
    }
}

void CDataPage::OnDataFormatClicked(int format) {
    ReadControls();
    m_model.ClickDataFormat(format);
    ShowControls();
}
