#include "MainFrame.h"

#include "AboutDlg.h"
#include "Artwork.h"
#include "BusyGuard.h"
#include "CompareDialog.h"
#include "EinschaltkonfigDlg.h"
#include "HelpOpener.h"
#include "InterfaceDialog.h"
#include "KV_Q71View.h"
#include "LanDialog.h"
#include "LinkVocabulary.h"
#include "Messages.h"
#include "ReadBackDlg.h"
#include "ReaderConnect.h"
#include "SeriellEinstellDlg.h"
#include "SettingsStore.h"
#include "Texts.h"
#include "WidgetConnectUi.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QLabel>
#include <QLibraryInfo>
#include <QMenu>
#include <QMenuBar>
#include <QScreen>
#include <QShortcut>
#include <QStatusBar>
#include <QToolBar>
#include <QTranslator>

namespace {

constexpr int kMenu = 120;
// The three pop-ups of menu 120.
constexpr int kSettingsPopup = 1, kLanguagePopup = 2, kHelpPopup = 3;
constexpr int kIdleMessage = 57345;

const QString kWindow = QStringLiteral("Window");

QString MenuText(int id) {
    return appkit::Texts::Dialog(kMenu, id);
}

// "status tip\ntooltip"
QStringList Tips(int command) {
    QStringList parts = appkit::Texts::String(command).split(QLatin1Char('\n'));
    while (parts.size() < 2)
        parts.append(parts.isEmpty() ? QString() : parts.first());
    return parts;
}

} // namespace

CMainFrame::CMainFrame(QWidget* parent) : QMainWindow(parent), m_host(this) {
    setObjectName(QStringLiteral("CMainFrame"));
    setFixedSize(Width, Height);
    setContextMenuPolicy(Qt::NoContextMenu);
    setCentralWidget(new CKV_Q71View(this));
    m_languageModulePath = appkit::Texts::LanguageModulePath(appkit::Program::Morvane);
    m_chooser = frontend::InterfaceDialog::Chooser(this, appkit::Program::Morvane);
    m_lanDialog = frontend::LanDialog::Runner(appkit::Program::Morvane);
    m_host.onConnected = [this](const frontend::Connection& connection) { Connected(connection); };

    BuildMenu();
    BuildToolBar();
    m_ready = new QLabel(this);
    m_ready->setObjectName(QStringLiteral("statusReady"));
    statusBar()->addWidget(m_ready, 1);
    statusBar()->setSizeGripEnabled(false);
    auto* help = new QShortcut(QKeySequence(Qt::Key_F1), this);
    connect(help, &QShortcut::activated, this, &CMainFrame::OnHelp);

    UseQtTexts(true);
    Retranslate();
    // The title carries no document name; the connect sets it.
    setWindowTitle(appkit::ProgramInfo::Title());
}

CMainFrame::~CMainFrame() {
    if (m_qtTexts) QCoreApplication::removeTranslator(m_qtTexts.get());
}

void CMainFrame::BuildMenu() {
    auto add = [this](int command, void (CMainFrame::*handler)()) {
        auto* action = new QAction(this);
        action->setObjectName(QStringLiteral("action%1").arg(command));
        m_actions.insert(command, action);
        if (handler) connect(action, &QAction::triggered, this, handler);
        return action;
    };
    add(CmdProgram, &CMainFrame::OnProgram);
    add(CmdReadBack, &CMainFrame::OnReadBack);
    add(CmdInterface, &CMainFrame::OnInterface);
    add(CmdIpAddress, &CMainFrame::OnIpAddress);
    add(CmdDeviceConfig, &CMainFrame::OnDeviceConfig);
    add(CmdCompare, &CMainFrame::OnCompare);
    add(CmdGerman, &CMainFrame::SwitchToGerman)->setCheckable(true);
    add(CmdEnglish, &CMainFrame::SwitchToEnglish)->setCheckable(true);
    add(CmdExit, nullptr);
    connect(Action(CmdExit), &QAction::triggered, this, &QWidget::close);
    add(CmdAbout, &CMainFrame::OnAbout);

    QMenuBar* bar = menuBar();
    bar->addAction(Action(CmdProgram));
    bar->addAction(Action(CmdReadBack));
    m_settingsMenu = bar->addMenu(QString());
    m_settingsMenu->setObjectName(QStringLiteral("menuSettings"));
    m_settingsMenu->addAction(Action(CmdInterface));
    m_settingsMenu->addAction(Action(CmdIpAddress));
    m_settingsMenu->addAction(Action(CmdDeviceConfig));
    m_settingsMenu->addAction(Action(CmdCompare));
    m_languageMenu = bar->addMenu(QString());
    m_languageMenu->setObjectName(QStringLiteral("menuLanguages"));
    m_languageMenu->addAction(Action(CmdGerman));
    m_languageMenu->addAction(Action(CmdEnglish));
    bar->addAction(Action(CmdExit));
    m_helpMenu = bar->addMenu(QString());
    m_helpMenu->setObjectName(QStringLiteral("menuHelp"));
    m_helpMenu->addAction(Action(CmdAbout));
    for (QMenu* menu : {m_settingsMenu, m_languageMenu, m_helpMenu})
        connect(menu, &QMenu::aboutToShow, this, &CMainFrame::UpdateCommands);
}

void CMainFrame::BuildToolBar() {
    m_toolBar = addToolBar(QString());
    m_toolBar->setObjectName(QStringLiteral("toolBar"));
    m_toolBar->setMovable(false);
    m_toolBar->setFloatable(false);
    m_toolBar->setIconSize(QSize(24, 24));
    // The toolbar's buttons are actions of their own (a menu bar would show
    // an action's icon instead of its text); they run the menu's commands.
    const std::pair<int, Artwork::Tool> tools[] = {{CmdProgram, Artwork::Tool::Program},
                                                   {CmdReadBack, Artwork::Tool::ReadBack},
                                                   {CmdInterface, Artwork::Tool::Interface},
                                                   {CmdExit, Artwork::Tool::Exit},
                                                   {CmdAbout, Artwork::Tool::About}};
    for (const auto& [command, tool] : tools) {
        if (command == CmdAbout) m_toolBar->addSeparator();
        auto* button = new QAction(Artwork::ToolIcon(tool), QString(), this);
        button->setObjectName(QStringLiteral("tool%1").arg(command));
        connect(button, &QAction::triggered, Action(command), &QAction::trigger);
        m_toolActions.insert(command, button);
        m_toolBar->addAction(button);
    }
}

void CMainFrame::Retranslate() {
    for (auto it = m_actions.begin(); it != m_actions.end(); ++it) {
        const QStringList tips = Tips(it.key());
        it.value()->setText(MenuText(it.key()));
        it.value()->setStatusTip(tips.at(0));
        it.value()->setToolTip(tips.at(1));
        if (QAction* tool = m_toolActions.value(it.key())) {
            tool->setText(tips.at(1));
            tool->setStatusTip(tips.at(0));
            tool->setToolTip(tips.at(1));
        }
    }
    m_settingsMenu->setTitle(MenuText(kSettingsPopup));
    m_languageMenu->setTitle(MenuText(kLanguagePopup));
    m_helpMenu->setTitle(MenuText(kHelpPopup));
    m_ready->setText(appkit::Texts::String(kIdleMessage));
    UpdateCommands();
}

void CMainFrame::UpdateCommands() {
    Action(CmdIpAddress)->setEnabled((m_connection.flags & ConnectionFlag::Network) != 0);
    Action(CmdDeviceConfig)->setEnabled((m_connection.flags & ConnectionFlag::ReaderConnected) != 0);
    Action(CmdCompare)->setEnabled((m_connection.flags & ConnectionFlag::ReaderConnected) != 0);
    Action(CmdGerman)->setChecked(!m_english);
    Action(CmdEnglish)->setChecked(m_english);
}

void CMainFrame::UseQtTexts(bool german) {
    // The standard dialogs (file dialogs, button texts) in the program's language.
    if (m_qtTexts) {
        QCoreApplication::removeTranslator(m_qtTexts.get());
        m_qtTexts.reset();
    }
    if (!german) return;
    auto translator = std::make_unique<QTranslator>();
    if (translator->load(QStringLiteral("qtbase_de"), QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        QCoreApplication::installTranslator(translator.get());
        m_qtTexts = std::move(translator);
    }
}

void CMainFrame::Create() {
    RestorePlacement();
    appkit::SettingsStore settings;
    if (settings.GetInt(QStringLiteral("Settings"), QStringLiteral("Sprache"), 0) == 1) SwitchToEnglish();
}

void CMainFrame::RestorePlacement() {
    appkit::SettingsStore settings;
    m_maxPosition = QPoint(settings.GetInt(kWindow, QStringLiteral("MaxPositionX"), -1),
                           settings.GetInt(kWindow, QStringLiteral("MaxPositionY"), -1));
    m_minPosition = QPoint(settings.GetInt(kWindow, QStringLiteral("MinPositionX"), -1),
                           settings.GetInt(kWindow, QStringLiteral("MinPositionY"), -1));
    QPoint position(settings.GetInt(kWindow, QStringLiteral("left"), 0),
                    settings.GetInt(kWindow, QStringLiteral("top"), 0));
    // A position on a screen that is gone comes back onto the screen.
    if (QScreen* screen = QGuiApplication::screenAt(position + QPoint(20, 20)); !screen) {
        if (QScreen* primary = QGuiApplication::primaryScreen()) {
            const QRect area = primary->availableGeometry();
            position.setX(qBound(area.left(), position.x(), qMax(area.left(), area.right() - Width)));
            position.setY(qBound(area.top(), position.y(), qMax(area.top(), area.bottom() - Height)));
        }
    }
    move(position);
}

void CMainFrame::StorePlacement() {
    appkit::SettingsStore settings;
    const QPoint position = pos();
    settings.WriteInt(kWindow, QStringLiteral("MaxPositionX"), m_maxPosition.x());
    settings.WriteInt(kWindow, QStringLiteral("MaxPositionY"), m_maxPosition.y());
    settings.WriteInt(kWindow, QStringLiteral("MinPositionX"), m_minPosition.x());
    settings.WriteInt(kWindow, QStringLiteral("MinPositionY"), m_minPosition.y());
    settings.WriteInt(kWindow, QStringLiteral("left"), position.x());
    settings.WriteInt(kWindow, QStringLiteral("top"), position.y());
    settings.WriteInt(kWindow, QStringLiteral("right"), position.x() + Width);
    settings.WriteInt(kWindow, QStringLiteral("bottom"), position.y() + Height);
}

void CMainFrame::closeEvent(QCloseEvent* event) {
    {
        appkit::SettingsStore settings;
        settings.WriteInt(QStringLiteral("Settings"), QStringLiteral("Sprache"), m_english ? 1 : 0);
    }
    // A minimised window keeps the position stored before.
    if (!isMinimized()) StorePlacement();
    SwitchToGerman();
    event->accept();
}

void CMainFrame::SwitchToEnglish() {
    if (m_english) {
        UpdateCommands();
        return;
    }
    if (!appkit::Texts::LoadLanguageModule(appkit::Program::Morvane, m_languageModulePath)) {
        appkit::Messages::ShowId(545);
        UpdateCommands();
        return;
    }
    m_english = true;
    UseQtTexts(false);
    Retranslate();
}

void CMainFrame::SwitchToGerman() {
    if (!m_english) {
        UpdateCommands();
        return;
    }
    appkit::Texts::ReleaseLanguageModule(appkit::Program::Morvane);
    m_english = false;
    UseQtTexts(true);
    Retranslate();
}

void CMainFrame::Connected(const frontend::Connection& connection) {
    m_connection.flags = connection.flags;
    m_connection.baudrate = connection.baudrate;
    UpdateCommands();
}

void CMainFrame::CloseSession(int session) {
    if (session > 0) ReaderConnect::Close(session);
}

bool CMainFrame::ConnectForCommand(frontend::Connection& connection) {
    frontend::WidgetConnectUi ui(this);
    frontend::Connector connector(ui);
    connection = m_connection;
    connection.session = 0;
    CBusyGuard busy(this);
    const bool connected = connector.ConnectAtStart(connection, m_chooser) && connection.session > 0;
    if (connected) Connected(connection);
    return connected;
}

void CMainFrame::ConnectAtStart() {
    frontend::Connection connection;
    if (ConnectForCommand(connection)) CloseSession(connection.session);
}

void CMainFrame::OnProgram() {
    frontend::Connection connection;
    if (!ConnectForCommand(connection)) return;
    CSeriellEinstellDlg dialog(this, m_host, connection.session, connection.baudrate, connection.flags);
    dialog.exec();
    // The dialog closes the session once it has read the reader.
    CloseSession(dialog.Model().Session());
}

void CMainFrame::OnReadBack() {
    frontend::Connection connection;
    if (!ConnectForCommand(connection)) return;
    CReadBackDlg dialog(this, m_host, connection.session, connection.baudrate, connection.flags);
    dialog.exec();
    // The read-back closes the session itself.
    CloseSession(dialog.Model().Session());
}

void CMainFrame::OnInterface() {
    frontend::WidgetConnectUi ui(this);
    frontend::Connector connector(ui);
    frontend::Connection connection = m_connection;
    connection.session = 0;
    if (connector.ChooseAndConnect(connection, m_chooser) && connection.session > 0) {
        Connected(connection);
        CloseSession(connection.session);
    }
}

void CMainFrame::OnIpAddress() {
    // After the LAN settings dialog, however it ended, connect again so that
    // the title shows the reader as it is now; without a dialog the command
    // only connects again.
    if (m_lanDialog) m_lanDialog(this);
    ConnectAtStart();
}

void CMainFrame::OnDeviceConfig() {
    SetupConnection connection;
    {
        CBusyGuard busy(this);
        connection = m_host.Connect(true);
    }
    if (!connection.Connected()) return;
    CEinschaltkonfigDlg dialog(this, m_host, connection.session);
    dialog.exec();
    CloseSession(connection.session);
}

void CMainFrame::OnCompare() {
    CCompareDialog::Run(this, m_host);
}

void CMainFrame::OnAbout() {
    CAboutDlg dialog(this);
    dialog.exec();
}

void CMainFrame::OnHelp() {
    appkit::HelpOpener::Open();
}
