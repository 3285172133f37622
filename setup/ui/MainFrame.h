// CMainFrame: Morvane's main window. 650 x 630, not resizable, its title
// set by the connect procedures; the menu (120) with every command, the
// toolbar, status-bar tips, and the view with the program's picture. The
// window keeps the connection flags of its last successful connect, which
// enable "IP-Adresse" (Network), "Gerätekonfiguration" and "Mit Datei vergleichen ..."
// (ReaderConnected); between
// commands no session is open.
//
// German and English are switched at run time through the language module;
// every text the window shows is read again after a switch.
#pragma once

#include "Connector.h"
#include "WidgetSetupHost.h"

#include <QMainWindow>
#include <QMap>
#include <functional>
#include <memory>

class QAction;
class QLabel;
class QMenu;
class QToolBar;
class QTranslator;

class CMainFrame : public QMainWindow {
    Q_OBJECT
public:
    enum Command {
        CmdProgram = 32770,
        CmdReadBack = 32778,
        CmdInterface = 32780,
        CmdIpAddress = 32785,
        CmdDeviceConfig = 32786,
        CmdCompare = 9450, // "Mit Datei vergleichen ..."
        CmdGerman = 32781,
        CmdEnglish = 32782,
        CmdAbout = 57664,
        CmdExit = 57665,
    };
    static constexpr int Width = 650;
    static constexpr int Height = 630;

    explicit CMainFrame(QWidget* parent = nullptr);
    ~CMainFrame() override;

    // --- replaceable for tests ---
    // The interface selection dialog of the connect procedures (default:
    // the interface dialog over this window).
    void SetChooser(frontend::Connector::Chooser chooser) { m_chooser = std::move(chooser); }
    // Where the English language module is looked for.
    void SetLanguageModulePath(const QString& path) { m_languageModulePath = path; }
    // The LAN settings dialog of "IP-Adresse" (true when the user
    // confirmed; default: dialog 159 over this window); the command
    // connects again after it either way. Without one the command only
    // connects again.
    void SetLanDialog(std::function<bool(QWidget* parent)> dialog) { m_lanDialog = std::move(dialog); }

    // On creation: the stored window position, then English when "Sprache"
    // is 1 (message 545 when the module is missing).
    void Create();
    // Connect at start-up style: sets the title and the flags; the session
    // is closed at once.
    void ConnectAtStart();

    QAction* Action(int command) const { return m_actions.value(command); }
    // The toolbar's button of a command (null when it has none).
    QAction* ToolAction(int command) const { return m_toolActions.value(command); }
    QToolBar* ToolBar() const { return m_toolBar; }
    int Flags() const { return m_connection.flags; }
    int Baud() const { return m_connection.baudrate; }
    bool English() const { return m_english; }
    CWidgetSetupHost& Host() { return m_host; }

    void SwitchToEnglish();
    void SwitchToGerman();
    // Enabling and check marks of the commands.
    void UpdateCommands();

    // The commands.
    void OnProgram();
    void OnReadBack();
    void OnInterface();
    void OnIpAddress();
    void OnDeviceConfig();
    // The connected reader beside a chosen file (CCompareDialog).
    void OnCompare();
    void OnAbout();
    void OnHelp();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void BuildMenu();
    void BuildToolBar();
    void Retranslate();
    void RestorePlacement();
    void StorePlacement();
    // A connect at start-up style for a command: true with a session.
    bool ConnectForCommand(frontend::Connection& connection);
    void Connected(const frontend::Connection& connection);
    void CloseSession(int session);
    void UseQtTexts(bool german);

    CWidgetSetupHost m_host;
    frontend::Connection m_connection;
    bool m_english = false;
    frontend::Connector::Chooser m_chooser;
    QString m_languageModulePath;
    std::function<bool(QWidget*)> m_lanDialog;

    QMap<int, QAction*> m_actions;
    QMap<int, QAction*> m_toolActions;
    QMenu* m_settingsMenu = nullptr;
    QMenu* m_languageMenu = nullptr;
    QMenu* m_helpMenu = nullptr;
    QToolBar* m_toolBar = nullptr;
    QLabel* m_ready = nullptr;
    std::unique_ptr<QTranslator> m_qtTexts;

    // The "Window" values read at start, kept for the positions this
    // program does not track (maximised, minimised).
    QPoint m_maxPosition{-1, -1};
    QPoint m_minPosition{-1, -1};
};
