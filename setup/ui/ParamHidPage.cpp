#include "ParamHidPage.h"

#include "BusyGuard.h"
#include "KeyButton.h"
#include "PageWidgets.h"
#include "WaitCursor.h"

#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

using namespace PageWidgets;

namespace {

constexpr int kDialog = 160;
// Labels and the frame, without ids of their own.
constexpr int kTimeoutLabel = 1201, kTimeoutUnit = 1202, kKeyboardFrame = 1203;

// The keys of a keyboard's main block: each row starts where it does on a
// keyboard (in key widths: the digits row at 0, the Q row after the Tab key,
// the A row after Caps Lock, the row of "<" after the left Shift key).
constexpr double kRowStart[4] = {0.0, 1.5, 1.75, 1.25};
constexpr double kKeyboardWidth = 14.5; // the Q row's end, in key widths
constexpr int kRows = 4;

// Places the key buttons of the rows on a grid of square keys as large as
// the frame allows, centred.
class CKeyboardBlock : public QWidget {
public:
    explicit CKeyboardBlock(QWidget* parent) : QWidget(parent) {}

    void Add(CKeyButton* key, int row, int column) { m_keys.push_back({key, row, column}); }

    QSize sizeHint() const override {
        const int key = KeySide();
        return QSize(int(kKeyboardWidth * key) + 1, kRows * key + 1);
    }
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void resizeEvent(QResizeEvent*) override {
        const int key = qMax(KeySide(), qMin(int(width() / kKeyboardWidth), height() / kRows));
        const int left = qMax(0, (width() - int(kKeyboardWidth * key)) / 2);
        const int top = qMax(0, (height() - kRows * key) / 2);
        for (const Placed& placed : m_keys) {
            const int x = left + int((kRowStart[placed.row] + placed.column) * key);
            placed.key->setGeometry(x, top + placed.row * key, key - 2, key - 2);
        }
    }

private:
    struct Placed {
        CKeyButton* key;
        int row, column;
    };
    int KeySide() const {
        int side = 0;
        for (const Placed& placed : m_keys)
            side = qMax(side, qMax(placed.key->sizeHint().width(), placed.key->sizeHint().height()));
        return side + 2;
    }
    std::vector<Placed> m_keys;
};

} // namespace

CParamHidPage::CParamHidPage(CParamRegisterkarteHID& model, ISetupHost& host, QWidget* parent)
    : QWidget(parent), m_model(model), m_host(host) {
    using Page = CParamRegisterkarteHID;

    m_timeout = Edit(this, Page::IdTimeout, true);
    m_timeout->setMaximumWidth(80);
    auto* timeoutRow = new QHBoxLayout;
    timeoutRow->addWidget(new QLabel(Text(kDialog, kTimeoutLabel), this));
    timeoutRow->addWidget(m_timeout);
    timeoutRow->addWidget(new QLabel(Text(kDialog, kTimeoutUnit), this));
    timeoutRow->addStretch();

    auto* frame = new QGroupBox(Text(kDialog, kKeyboardFrame), this);
    auto* block = new CKeyboardBlock(frame);
    const auto& buttons = CHidKeyTable::Buttons();
    int column = 0, lastRow = -1;
    for (int i = 0; i < CHidKeyTable::ButtonCount; ++i) {
        const HidKeyButton& button = buttons[size_t(i)];
        column = button.row == lastRow ? column + 1 : 0;
        lastRow = button.row;
        auto* key = new CKeyButton(block);
        key->setObjectName(QStringLiteral("key") + QString::asprintf("%02X", button.scanCode));
        m_keys[size_t(i)] = key;
        block->Add(key, button.row, column);
    }
    auto* load = Button(frame, kDialog, Page::IdLoadFromDevice);
    auto* computer = Button(frame, kDialog, Page::IdComputer);
    auto* frameButtons = new QHBoxLayout;
    frameButtons->addStretch();
    frameButtons->addWidget(load);
    frameButtons->addWidget(computer);
    auto* frameLayout = new QVBoxLayout(frame);
    frameLayout->addWidget(block, 1);
    frameLayout->addLayout(frameButtons);

    auto* functionTest = Button(this, kDialog, Page::IdFunctionTest);
    auto* readBack = Button(this, kDialog, Page::IdReadBack);
    for (QPushButton* button : {load, computer, functionTest, readBack})
        button->setAutoDefault(false);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(timeoutRow);
    layout->addSpacing(6);
    layout->addWidget(frame, 1);
    layout->addLayout(RightAlignedRow(functionTest, readBack));

    connect(load, &QPushButton::clicked, this, &CParamHidPage::OnLoadFromDevice);
    connect(computer, &QPushButton::clicked, this, &CParamHidPage::OnComputer);
    connect(functionTest, &QPushButton::clicked, this, &CParamHidPage::functionTestRequested);
    connect(readBack, &QPushButton::clicked, this, &CParamHidPage::readBackRequested);

    ShowControls();
}

void CParamHidPage::ShowControls() {
    SetText(m_timeout, m_model.GetControls().timeout);
    for (int i = 0; i < CHidKeyTable::ButtonCount; ++i) {
        const QString text = QString::fromStdString(m_model.ButtonText(i));
        if (m_keys[size_t(i)]->text() != text) m_keys[size_t(i)]->setText(text);
    }
}

void CParamHidPage::ReadControls() {
    m_model.GetControls().timeout = m_timeout->text().toStdString();
}

void CParamHidPage::OnLoadFromDevice() {
    ReadControls();
    {
        CBusyGuard busy(window());
        appkit::WaitCursor wait;
        m_model.LoadFromDevice(m_host);
    }
    ShowControls();
}

void CParamHidPage::OnComputer() {
    ReadControls();
    std::optional<SetupMessage> message;
    {
        CBusyGuard busy(window());
        appkit::WaitCursor wait;
        message = m_model.TakeFromComputer();
    }
    ShowControls();
    if (message) m_host.ShowMessage(*message);
}
