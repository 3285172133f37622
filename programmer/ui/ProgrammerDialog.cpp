#include "ProgrammerDialog.h"

#include "AboutDialog.h"
#include "Connector.h"
#include "EncodeBatchDialog.h"
#include "HelpOpener.h"
#include "InterfaceDialog.h"
#include "InventoryListWindow.h"
#include "LanDialog.h"
#include "Messages.h"
#include "ProgramIcon.h"
#include "ProgrammerConnection.h"
#include "ProgrammerTexts.h"
#include "SettingsStore.h"
#include "Texts.h"

#include "LinkApi.h"

#include <QApplication>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QShortcut>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

namespace Programmer {

namespace {

constexpr appkit::Program kProgram = appkit::Program::Programmer;
constexpr int kIntegerExpected = 61696; // "Geben Sie eine ganze Zahl ein."
// How often an idle dialog asks whether its device is still there (the
// question sends nothing).
constexpr int kConnectionWatchMs = 500;

// Frames of the dialog and the menu button's tooltip.
constexpr int kInventoryFrame = 1101, kEpcFrame = 1102, kTidFrame = 1103, kUserFrame = 1104,
              kPasswordFrame = 1105, kStatusFrame = 1106, kMenuButton = 1100;

QString DialogText(int id) {
    return appkit::Texts::Dialog(kProgram, 102, id);
}

QString FromStd(const std::string& text) {
    return QString::fromStdString(text);
}

// Long hex texts are shown from their start.
void SetText(QLineEdit* edit, const QString& text) {
    if (edit->text() == text) return;
    edit->setText(text);
    if (!edit->hasFocus()) edit->setCursorPosition(0);
}

} // namespace

ProgrammerDialog::ProgrammerDialog(QWidget* parent) : QDialog(parent), m_host(this), m_ops(m_host) {
    setObjectName(QStringLiteral("dialog102"));
    setWindowTitle(appkit::ProgramInfo::Title(kProgram));
    setWindowIcon(ProgramIcon());
    // A dialog of its own on the task bar, with the window manager's close box.
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
    m_chooser = frontend::InterfaceDialog::Chooser(this, kProgram);
    m_lanSettings = [](QWidget* parent) { frontend::LanDialog::Runner(kProgram)(parent); };
    m_cyclicTimer = new QTimer(this);
    m_cyclicTimer->setSingleShot(true);
    m_cyclicTimer->setInterval(0);
    connect(m_cyclicTimer, &QTimer::timeout, this, &ProgrammerDialog::CyclicInventoryStep);
    m_connectionWatch = new QTimer(this);
    m_connectionWatch->setInterval(kConnectionWatchMs);
    connect(m_connectionWatch, &QTimer::timeout, this, &ProgrammerDialog::WatchConnection);
    BuildControls();
    BuildMenu();

    auto* help = new QShortcut(QKeySequence(Qt::Key_F1), this);
    connect(help, &QShortcut::activated, this, [] { appkit::HelpOpener::Open(); });
    auto* menuKey = new QShortcut(QKeySequence(Qt::ALT | Qt::Key_Space), this);
    connect(menuKey, &QShortcut::activated, this,
            [this] { ShowMenuAt(m_menuButton->mapToGlobal(QPoint(0, m_menuButton->height()))); });
    ShowValues();
}

ProgrammerDialog::~ProgrammerDialog() {
    if (m_ops.CyclicInventoryRunning()) m_ops.EndCyclicInventory();
    CloseSession(true);
}

// --- Controls ---------------------------------------------------------------

QLabel* ProgrammerDialog::Label(int id, QWidget* parent) {
    auto* label = new QLabel(DialogText(id), parent);
    label->setObjectName(QStringLiteral("label%1").arg(id));
    return label;
}

QLineEdit* ProgrammerDialog::Edit(int id, QWidget* parent, int characters) {
    auto* edit = new QLineEdit(parent);
    edit->setObjectName(QStringLiteral("edit%1").arg(id));
    if (characters > 0) {
        // Room for that many digits, plus the frame and the text margins.
        const int width = edit->fontMetrics().horizontalAdvance(QString(characters, QLatin1Char('0'))) + 16;
        edit->setFixedWidth(width);
        edit->setAlignment(Qt::AlignRight);
    }
    m_controls.insert(id, edit);
    return edit;
}

QPushButton* ProgrammerDialog::Button(int id, QWidget* parent) {
    auto* button = new QPushButton(DialogText(id), parent);
    button->setObjectName(QStringLiteral("button%1").arg(id));
    // Enter never clicks a button that has no focus.
    button->setAutoDefault(false);
    m_controls.insert(id, button);
    return button;
}

void ProgrammerDialog::BuildControls() {
    auto* root = new QVBoxLayout(this);

    // Inventory, with the menu button before it.
    auto* inventory = new QGroupBox(DialogText(kInventoryFrame), this);
    inventory->setObjectName(QStringLiteral("group%1").arg(kInventoryFrame));
    auto* inventoryGrid = new QGridLayout(inventory);
    m_selection = new QComboBox(inventory);
    m_selection->setObjectName(QStringLiteral("combo1095"));
    m_selection->setEditable(true);
    m_selection->setInsertPolicy(QComboBox::NoInsert);
    m_selection->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    m_selection->setMinimumContentsLength(50);
    m_controls.insert(1095, m_selection);
    m_count = Edit(1033, inventory, 4);
    inventoryGrid->addWidget(Label(1095, inventory), 0, 0);
    inventoryGrid->addWidget(m_selection, 0, 1);
    inventoryGrid->addWidget(Label(1033, inventory), 0, 2);
    inventoryGrid->addWidget(m_count, 0, 3);
    auto* inventoryButtons = new QHBoxLayout;
    QPushButton* once = Button(1012, inventory);
    m_cyclic = Button(1070, inventory);
    m_cyclic->setCheckable(true);
    QPushButton* readAll = Button(1032, inventory);
    inventoryButtons->addWidget(once);
    inventoryButtons->addWidget(m_cyclic);
    inventoryButtons->addWidget(readAll);
    inventoryButtons->addStretch();
    inventoryGrid->addLayout(inventoryButtons, 1, 1, 1, 3);
    inventoryGrid->setColumnStretch(1, 1);

    m_menuButton = new QToolButton(this);
    m_menuButton->setObjectName(QStringLiteral("menuButton"));
    m_menuButton->setIcon(ProgramIcon());
    m_menuButton->setIconSize(QSize(24, 24));
    m_menuButton->setPopupMode(QToolButton::InstantPopup);
    m_menuButton->setToolTip(DialogText(kMenuButton));
    m_menuButton->setAutoRaise(true);
    m_controls.insert(kMenuButton, m_menuButton);
    // Top left, where the window menu's icon sits in a title bar.
    auto* top = new QHBoxLayout;
    top->addWidget(m_menuButton, 0, Qt::AlignTop | Qt::AlignLeft);
    top->addWidget(inventory, 1);
    root->addLayout(top);

    // EPC memory: CRC, PC, lengths; the EPC with its buttons.
    auto* epcGroup = new QGroupBox(DialogText(kEpcFrame), this);
    epcGroup->setObjectName(QStringLiteral("group%1").arg(kEpcFrame));
    auto* epcGrid = new QGridLayout(epcGroup);
    m_crc = Edit(1039, epcGroup, 6);
    m_pc = Edit(1040, epcGroup, 6);
    m_crc->setAlignment(Qt::AlignLeft);
    m_pc->setAlignment(Qt::AlignLeft);
    m_epcLength = Edit(1076, epcGroup, 4);
    m_payloadLength = Edit(1078, epcGroup, 4);
    auto* epcNumbers = new QHBoxLayout;
    for (auto [id, edit] : {std::pair<int, QLineEdit*>{1039, m_crc},
                            {1040, m_pc},
                            {1076, m_epcLength},
                            {1078, m_payloadLength}}) {
        epcNumbers->addWidget(Label(id, epcGroup));
        epcNumbers->addWidget(edit);
        epcNumbers->addSpacing(12);
    }
    epcNumbers->addStretch();
    m_epc = Edit(1041, epcGroup);
    epcGrid->addLayout(epcNumbers, 0, 1, 1, 3);
    epcGrid->addWidget(Label(1041, epcGroup), 1, 0);
    epcGrid->addWidget(m_epc, 1, 1);
    epcGrid->addWidget(Button(1042, epcGroup), 1, 2);
    epcGrid->addWidget(Button(1043, epcGroup), 1, 3);
    epcGrid->setColumnStretch(1, 1);
    root->addWidget(epcGroup);

    // TID memory.
    auto* tidGroup = new QGroupBox(DialogText(kTidFrame), this);
    tidGroup->setObjectName(QStringLiteral("group%1").arg(kTidFrame));
    auto* tidGrid = new QGridLayout(tidGroup);
    m_tid = Edit(1044, tidGroup);
    m_tid->setReadOnly(true);
    m_tidLength = Edit(1077, tidGroup, 4);
    tidGrid->addWidget(Label(1044, tidGroup), 0, 0);
    tidGrid->addWidget(m_tid, 0, 1);
    tidGrid->addWidget(Label(1077, tidGroup), 0, 2);
    tidGrid->addWidget(m_tidLength, 0, 3);
    tidGrid->addWidget(Button(1045, tidGroup), 0, 4);
    tidGrid->setColumnStretch(1, 1);
    root->addWidget(tidGroup);

    // User memory.
    auto* userGroup = new QGroupBox(DialogText(kUserFrame), this);
    userGroup->setObjectName(QStringLiteral("group%1").arg(kUserFrame));
    auto* userGrid = new QGridLayout(userGroup);
    m_userStart = Edit(1028, userGroup, 4);
    m_userLength = Edit(1075, userGroup, 4);
    m_userData = Edit(1030, userGroup);
    auto* userNumbers = new QHBoxLayout;
    userNumbers->addWidget(Label(1028, userGroup));
    userNumbers->addWidget(m_userStart);
    userNumbers->addSpacing(12);
    userNumbers->addWidget(Label(1075, userGroup));
    userNumbers->addWidget(m_userLength);
    userNumbers->addStretch();
    userGrid->addLayout(userNumbers, 0, 1, 1, 3);
    userGrid->addWidget(Label(1030, userGroup), 1, 0);
    userGrid->addWidget(m_userData, 1, 1);
    userGrid->addWidget(Button(1046, userGroup), 1, 2);
    userGrid->addWidget(Button(1047, userGroup), 1, 3);
    userGrid->setColumnStretch(1, 1);
    root->addWidget(userGroup);

    // Passwords.
    auto* passwordGroup = new QGroupBox(DialogText(kPasswordFrame), this);
    passwordGroup->setObjectName(QStringLiteral("group%1").arg(kPasswordFrame));
    auto* passwordGrid = new QGridLayout(passwordGroup);
    m_killPassword = Edit(1034, passwordGroup, 14);
    m_accessPassword = Edit(1035, passwordGroup, 14);
    m_killPassword->setAlignment(Qt::AlignLeft);
    m_accessPassword->setAlignment(Qt::AlignLeft);
    passwordGrid->addWidget(Label(1034, passwordGroup), 0, 0);
    passwordGrid->addWidget(m_killPassword, 0, 1);
    passwordGrid->addWidget(Button(1029, passwordGroup), 0, 2);
    passwordGrid->addWidget(Button(1036, passwordGroup), 0, 3);
    passwordGrid->addWidget(Label(1035, passwordGroup), 1, 0);
    passwordGrid->addWidget(m_accessPassword, 1, 1);
    passwordGrid->addWidget(Button(1037, passwordGroup), 1, 2);
    passwordGrid->addWidget(Button(1038, passwordGroup), 1, 3);
    passwordGrid->setColumnStretch(4, 1);
    root->addWidget(passwordGroup);

    // Status.
    auto* statusGroup = new QGroupBox(DialogText(kStatusFrame), this);
    statusGroup->setObjectName(QStringLiteral("group%1").arg(kStatusFrame));
    auto* statusLayout = new QVBoxLayout(statusGroup);
    m_status = Edit(1068, statusGroup);
    m_status->setReadOnly(true);
    statusLayout->addWidget(m_status);
    root->addWidget(statusGroup);

    // The buttons of a group share one width, so the columns line up.
    int buttonWidth = 0;
    for (int id : {1042, 1043, 1045, 1046, 1047, 1029, 1036, 1037, 1038})
        buttonWidth = std::max(buttonWidth, m_controls[id]->sizeHint().width());
    for (int id : {1042, 1043, 1045, 1046, 1047, 1029, 1036, 1037, 1038})
        m_controls[id]->setMinimumWidth(buttonWidth);

    // Buttons.
    connect(once, &QPushButton::clicked, this, [this] { Operation([this] { m_ops.Inventory(); }); });
    connect(readAll, &QPushButton::clicked, this, [this] { Operation([this] { m_ops.ReadAll(); }); });
    connect(m_cyclic, &QPushButton::toggled, this, &ProgrammerDialog::OnCyclicToggled);
    const std::pair<int, std::function<void(TransponderOperations&)>> buttons[] = {
        {1042, [](TransponderOperations& ops) { ops.ReadEpc(); }},
        {1043, [](TransponderOperations& ops) { ops.WriteEpc(); }},
        {1045, [](TransponderOperations& ops) { ops.ReadTid(); }},
        {1046, [](TransponderOperations& ops) { ops.ReadUser(); }},
        {1047, [](TransponderOperations& ops) { ops.WriteUser(); }},
        {1029, [](TransponderOperations& ops) { ops.ReadPassword(Password::Kill); }},
        {1036, [](TransponderOperations& ops) { ops.WritePassword(Password::Kill); }},
        {1037, [](TransponderOperations& ops) { ops.ReadPassword(Password::Access); }},
        {1038, [](TransponderOperations& ops) { ops.WritePassword(Password::Access); }},
    };
    for (const auto& [id, work] : buttons) {
        auto* button = static_cast<QPushButton*>(m_controls[id]);
        connect(button, &QPushButton::clicked, this,
                [this, work = work] { Operation([&] { work(m_ops); }); });
    }

    // Field updates.
    connect(m_epc, &QLineEdit::textChanged, this, &ProgrammerDialog::OnEpcChanged);
    connect(m_payloadLength, &QLineEdit::textChanged, this, &ProgrammerDialog::OnPayloadLengthChanged);
    for (QLineEdit* edit : {m_userStart, m_userLength, m_payloadLength})
        edit->installEventFilter(this);
}

void ProgrammerDialog::BuildMenu() {
    m_menu = new QMenu(this);
    m_menu->setObjectName(QStringLiteral("systemMenu"));
    const QString about = appkit::Texts::String(kProgram, 101);
    if (about.isEmpty()) {
        m_menuButton->hide();
        return;
    }
    auto entry = [this](int command, int textId) {
        QAction* action = m_menu->addAction(appkit::Texts::String(kProgram, textId));
        action->setData(command);
        connect(action, &QAction::triggered, this, [this, command] { RunCommand(command); });
        return action;
    };
    const int sprache =
        appkit::SettingsStore(kProgram).GetInt(QStringLiteral("Settings"), QStringLiteral("Sprache"), 0);
    entry(ChooseInterfaceCommand, 1000);
    m_networkEntry = entry(NetworkSettingsCommand, 10091);
    m_menu->addSeparator();
    entry(InventoryListCommand, 9100);
    entry(EncodeBatchCommand, 9200);
    m_menu->addSeparator();
    if (sprache != 0) entry(GermanCommand, 171);
    if (sprache != 1) entry(EnglishCommand, 172);
    m_menu->addSeparator();
    entry(AboutCommand, 101);
    m_menuButton->setMenu(m_menu);
    UpdateNetworkEntry();
}

// --- Values -----------------------------------------------------------------

bool ProgrammerDialog::TakeOver() {
    TransponderValues& values = m_ops.Values();
    // The number fields first: nothing is taken over unless all are numbers.
    const std::pair<QLineEdit*, int*> numbers[] = {
        {m_count, &values.count},
        {m_epcLength, &values.epcLength},
        {m_payloadLength, &values.payloadLength},
        {m_tidLength, &values.tidLength},
        {m_userStart, &values.userStart},
        {m_userLength, &values.userLength},
    };
    int read[std::size(numbers)];
    for (size_t i = 0; i < std::size(numbers); ++i) {
        bool ok = false;
        read[i] = numbers[i].first->text().trimmed().toInt(&ok);
        if (!ok) {
            appkit::Messages::Show(appkit::Texts::String(kProgram, kIntegerExpected));
            numbers[i].first->setFocus();
            numbers[i].first->selectAll();
            return false;
        }
    }
    for (size_t i = 0; i < std::size(numbers); ++i)
        *numbers[i].second = read[i];
    values.selectedEpc = m_selection->currentText().toStdString();
    values.epcList.clear();
    for (int i = 0; i < m_selection->count(); ++i)
        values.epcList.push_back(m_selection->itemText(i).toStdString());
    values.crc = m_crc->text().toStdString();
    values.pc = m_pc->text().toStdString();
    values.epc = m_epc->text().toStdString();
    values.tid = m_tid->text().toStdString();
    values.userData = m_userData->text().toStdString();
    values.killPassword = m_killPassword->text().toStdString();
    values.accessPassword = m_accessPassword->text().toStdString();
    values.status = m_status->text().toStdString();
    return true;
}

void ProgrammerDialog::ShowValues() {
    const TransponderValues& values = m_ops.Values();
    m_showing = true;
    QStringList entries;
    for (const std::string& epc : values.epcList)
        entries.append(FromStd(epc));
    QStringList shown;
    for (int i = 0; i < m_selection->count(); ++i)
        shown.append(m_selection->itemText(i));
    if (shown != entries) {
        m_selection->clear();
        m_selection->addItems(entries);
    }
    if (m_selection->currentText() != FromStd(values.selectedEpc)) {
        m_selection->setEditText(FromStd(values.selectedEpc));
        if (!m_selection->hasFocus()) m_selection->lineEdit()->setCursorPosition(0);
    }
    SetText(m_count, QString::number(values.count));
    SetText(m_crc, FromStd(values.crc));
    SetText(m_pc, FromStd(values.pc));
    SetText(m_epc, FromStd(values.epc));
    SetText(m_epcLength, QString::number(values.epcLength));
    SetText(m_payloadLength, QString::number(values.payloadLength));
    SetText(m_tid, FromStd(values.tid));
    SetText(m_tidLength, QString::number(values.tidLength));
    SetText(m_userStart, QString::number(values.userStart));
    SetText(m_userLength, QString::number(values.userLength));
    SetText(m_userData, FromStd(values.userData));
    SetText(m_killPassword, FromStd(values.killPassword));
    SetText(m_accessPassword, FromStd(values.accessPassword));
    SetText(m_status, FromStd(values.status));
    m_showing = false;
}

void ProgrammerDialog::Operation(const std::function<void()>& work) {
    if (m_ops.CyclicInventoryRunning() || !TakeOver()) return;
    m_busy = true;
    ReconnectAfterLoss();
    work();
    m_busy = false;
    if (m_ops.ConnectionLost()) DropLostConnection();
    ShowValues();
    // A refused hex field gets the focus, as a number field that holds no number.
    if (QWidget* field = m_controls.value(m_ops.TakeInvalidField())) {
        field->setFocus();
        if (auto* edit = qobject_cast<QLineEdit*>(field))
            edit->selectAll();
        else if (auto* combo = qobject_cast<QComboBox*>(field))
            combo->lineEdit()->selectAll();
    }
}

// While the EPC field changes, its byte count is the EPC length.
void ProgrammerDialog::OnEpcChanged() {
    if (m_showing) return;
    m_ops.Values().epc = m_epc->text().toStdString();
    m_ops.EpcEdited();
    SetText(m_epcLength, QString::number(m_ops.Values().epcLength));
}

// While the payload length changes, the PC's length bits follow it.
void ProgrammerDialog::OnPayloadLengthChanged() {
    if (m_showing) return;
    bool ok = false;
    const int length = m_payloadLength->text().trimmed().toInt(&ok);
    if (!ok) return;
    m_ops.Values().payloadLength = length;
    m_ops.Values().pc = m_pc->text().toStdString();
    m_ops.PayloadLengthEdited();
    SetText(m_pc, FromStd(m_ops.Values().pc));
}

// Start, user length and payload length are made even when they lose the focus.
bool ProgrammerDialog::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::FocusOut) {
        auto* edit = qobject_cast<QLineEdit*>(watched);
        bool ok = false;
        const int value = edit ? edit->text().trimmed().toInt(&ok) : 0;
        if (ok) {
            TransponderValues& values = m_ops.Values();
            if (edit == m_userStart) {
                values.userStart = value;
                m_ops.UserStartLeft();
                SetText(edit, QString::number(values.userStart));
            } else if (edit == m_userLength) {
                values.userLength = value;
                m_ops.UserLengthLeft();
                SetText(edit, QString::number(values.userLength));
            } else if (edit == m_payloadLength) {
                values.payloadLength = value;
                m_ops.PayloadLengthLeft();
                SetText(edit, QString::number(values.payloadLength));
            }
        }
    }
    return QDialog::eventFilter(watched, event);
}

// --- Cyclic inventory -------------------------------------------------------
//
// The button stays down while the inventory runs. Each round is one pass of
// the event loop: the round runs, the values are shown, and a zero timer
// starts the next round once the events that are waiting (input, painting,
// other timers, the button's release) have been handled, so the window stays
// responsive. (A queued call instead of the timer would come round again
// before the other timers, which would then never fire.) The reply waits
// leave the window enabled meanwhile (the session's keep-window-enabled flag).

void ProgrammerDialog::OnCyclicToggled(bool down) {
    if (!down || m_ops.CyclicInventoryRunning()) return; // a release ends the rounds
    ReconnectAfterLoss();
    if (m_session == 0 || !TakeOver() || !m_ops.BeginCyclicInventory()) {
        const QSignalBlocker blocker(m_cyclic);
        m_cyclic->setChecked(false);
        if (m_ops.ConnectionLost()) DropLostConnection();
        return;
    }
    m_cyclicRounds = 0;
    SetControlsEnabled(false);
    ShowValues();
    emit cyclicInventoryStarted();
    m_cyclicTimer->start();
}

void ProgrammerDialog::CyclicInventoryStep() {
    if (!m_ops.CyclicInventoryRunning()) return;
    if (m_cyclic->isChecked() && isVisible()) {
        ShowValues();
        m_busy = true;
        m_ops.CyclicInventoryRound();
        m_busy = false;
        ShowValues();
        emit cyclicInventoryRound(++m_cyclicRounds);
        // A device that went away answers no more rounds.
        if (m_ops.ConnectionLost()) {
            DropLostConnection();
            return;
        }
        if (m_cyclic->isChecked() && isVisible()) {
            m_cyclicTimer->start();
            return;
        }
    }
    EndCyclicInventory();
    ShowValues();
    emit cyclicInventoryEnded();
}

// The rounds end; the button is up and the controls come back.
void ProgrammerDialog::EndCyclicInventory() {
    m_cyclicTimer->stop();
    m_ops.EndCyclicInventory();
    if (m_cyclic->isChecked()) {
        const QSignalBlocker blocker(m_cyclic);
        m_cyclic->setChecked(false);
    }
    SetControlsEnabled(true);
}

void ProgrammerDialog::SetControlsEnabled(bool enabled) {
    for (auto it = m_controls.cbegin(); it != m_controls.cend(); ++it)
        if (it.value() != m_cyclic) it.value()->setEnabled(enabled);
}

// --- Closing ----------------------------------------------------------------

void ProgrammerDialog::accept() {}

void ProgrammerDialog::reject() {
    if (m_ops.CyclicInventoryRunning()) return;
    QDialog::reject();
}

void ProgrammerDialog::done(int result) {
    CloseSession(true);
    QDialog::done(result);
}

void ProgrammerDialog::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        // Enter clicks the button that has the focus, and nothing else.
        if (auto* button = qobject_cast<QAbstractButton*>(focusWidget()); button && button->isEnabled())
            button->click();
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event); // Escape: reject()
}

// --- Menu -------------------------------------------------------------------

void ProgrammerDialog::contextMenuEvent(QContextMenuEvent* event) {
    ShowMenuAt(event->globalPos());
}

void ProgrammerDialog::ShowMenuAt(const QPoint& globalPos) {
    if (!m_menu->isEmpty()) m_menu->popup(globalPos);
}

void ProgrammerDialog::UpdateNetworkEntry() {
    if (m_networkEntry) m_networkEntry->setEnabled(m_network);
}

void ProgrammerDialog::RunCommand(int command) {
    if ((command & ~0xF) == AboutCommand)
        ShowAbout();
    else if (command == ChooseInterfaceCommand)
        ChooseInterface();
    else if ((command & ~0xF) == NetworkSettingsCommand)
        NetworkSettings();
    else if (command == GermanCommand)
        SwitchLanguage(0);
    else if (command == EnglishCommand)
        SwitchLanguage(1);
    else if (command == InventoryListCommand)
        OpenInventoryList();
    else if (command == EncodeBatchCommand)
        ShowEncodeBatch();
}

// A window of its own over the dialog; window-modal, so that no operation
// of the dialog runs on the session while the list's inventory does.
void ProgrammerDialog::OpenInventoryList() {
    if (m_ops.CyclicInventoryRunning() || m_busy) return;
    auto* window = new InventoryListWindow([this] { return m_session; }, this);
    window->setAttribute(Qt::WA_DeleteOnClose);
    window->setWindowModality(Qt::WindowModal);
    window->show();
}

void ProgrammerDialog::ShowEncodeBatch() {
    if (m_ops.CyclicInventoryRunning() || m_busy) return;
    EncodeBatchDialog batch(m_session, this);
    batch.exec();
}

void ProgrammerDialog::ShowAbout() {
    AboutDialog about(this);
    about.exec();
}

void ProgrammerDialog::ChooseInterface() {
    if (m_ops.CyclicInventoryRunning()) return;
    m_reconnect = false; // the user chooses now
    CloseSession(false);
    if (m_chooser && m_chooser())
        frontend::Connector::RetryUntilConnected([this] { return Connect(); }, m_chooser);
    UpdateNetworkEntry();
    ShowValues();
}

void ProgrammerDialog::NetworkSettings() {
    if (m_ops.CyclicInventoryRunning()) return;
    m_reconnect = false;
    CloseSession(false);
    // The LAN settings dialog (159) talks to the reader over its own
    // configuration channel, hence after the close; without a dialog the
    // command reconnects only.
    if (m_network && m_lanSettings) m_lanSettings(this);
    frontend::Connector::RetryUntilConnected([this] { return Connect(); }, m_chooser);
    UpdateNetworkEntry();
    ShowValues();
}

// The language changes by recreating the dialog. Not while the cyclic
// inventory runs: that ends only when its button is released.
void ProgrammerDialog::SwitchLanguage(int sprache) {
    if (m_ops.CyclicInventoryRunning()) return;
    appkit::SettingsStore store(kProgram);
    store.WriteInt(QStringLiteral("Settings"), QStringLiteral("Sprache"), sprache);
    store.Sync();
    done(LanguageChanged);
}

// --- Connection -------------------------------------------------------------

void ProgrammerDialog::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (!m_connectQueued) {
        m_connectQueued = true;
        QTimer::singleShot(0, this, &ProgrammerDialog::ConnectAtOpening);
    }
}

void ProgrammerDialog::ConnectAtOpening() {
    frontend::Connector::RetryUntilConnected([this] { return Connect(); }, m_chooser);
    UpdateNetworkEntry();
    ShowValues();
    m_opened = true;
    emit opened();
}

bool ProgrammerDialog::Connect() {
    const auto settings = frontend::ConnectionSettings::Loaded(kProgram, m_lists);
    m_network = frontend::ConnectionSettings::IsLanName(settings.name);
    const ConnectOutcome outcome =
        ProgrammerConnection::Connect(settings.Request(), appkit::ProgramInfo::Title(kProgram).toStdString(),
                                      appkit::ProgramInfo::Version(kProgram).toStdString(), m_host);
    m_session = outcome.session;
    m_ops.SetSession(m_session);
    if (m_session > 0) m_connectionWatch->start();
    return m_session > 0;
}

// --- Lost connection --------------------------------------------------------
//
// A device that goes away (unplugged, hung up) is noticed by the operations
// before and after their exchanges, and while the dialog is idle by a timer
// that asks the library (nothing is sent). Then the cyclic inventory stops,
// the status says the connection is lost, the session is closed and the
// title names no device; the next operation connects again with the stored
// settings.

void ProgrammerDialog::WatchConnection() {
    if (m_busy || m_session == 0) return;
    if (!m_ops.CheckConnection()) DropLostConnection();
}

void ProgrammerDialog::DropLostConnection() {
    const bool cyclic = m_ops.CyclicInventoryRunning();
    if (cyclic) EndCyclicInventory();
    m_ops.Values().status = ProgrammerTexts::Get(TextId::ConnectionLost);
    CloseSession(true);
    m_host.SetTitle(ProgrammerConnection::IdleTitle(appkit::ProgramInfo::Title(kProgram).toStdString(),
                                                    appkit::ProgramInfo::Version(kProgram).toStdString()));
    m_reconnect = true;
    ShowValues();
    if (cyclic) emit cyclicInventoryEnded();
}

void ProgrammerDialog::ReconnectAfterLoss() {
    if (!m_reconnect || m_session != 0) return;
    // A failed connect has shown why; the operation then finds no device,
    // and the next one tries again.
    m_reconnect = !Connect();
}

// quiet: when the dialog closes, a failing close is not worth a message.
void ProgrammerDialog::CloseSession(bool quiet) {
    if (m_session == 0) return;
    m_connectionWatch->stop();
    m_ops.SetSession(0);
    if (quiet) {
        LinkClose(m_session);
        m_session = 0;
        return;
    }
    ProgrammerConnection::Disconnect(m_session, m_host);
    // No device any more: the title no longer names one.
    m_host.SetTitle(ProgrammerConnection::IdleTitle(appkit::ProgramInfo::Title(kProgram).toStdString(),
                                                    appkit::ProgramInfo::Version(kProgram).toStdString()));
}

} // namespace Programmer
