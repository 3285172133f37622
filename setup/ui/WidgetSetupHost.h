// CWidgetSetupHost: the surroundings of the Morvane procedures in the
// program. Messages are message boxes with the program title, connecting
// runs the front end's connect with the stored settings (its title goes to
// the main window), settings live in the program's settings store, and the
// file dialogs are the standard ones with the filter "KVR4x (*.mkr)" and a
// prompt before an existing file is overwritten.
//
// The display hooks of the procedures (a new "Aktuell:" baud rate, a
// control to focus, a grown read-back report) are forwarded to whichever
// dialog set them.
#pragma once

#include "Connector.h"
#include "SetupHost.h"

#include <QPointer>
#include <QString>
#include <QWidget>
#include <functional>

class CWidgetSetupHost : public ISetupHost {
public:
    // titleWindow: the main window whose title a connect sets (may be null).
    explicit CWidgetSetupHost(QWidget* titleWindow = nullptr);

    MessageAnswer ShowMessage(const SetupMessage& message) override;
    SetupConnection Connect(bool withMessages) override;
    void CloseSession(int session) override;
    std::string GetSetting(const std::string& section, const std::string& key,
                           const std::string& fallback) override;
    void SetSetting(const std::string& section, const std::string& key, const std::string& value) override;
    std::optional<std::string> ChooseOpenFile() override;
    std::optional<std::string> ChooseSaveFile() override;
    void CurrentBaudRateShown(int baud) override;
    void FocusControl(SetupPage page, int control) override;
    void ReportUpdated(const std::string& report) override;

    // Called after every successful connect with its session and flags.
    std::function<void(const frontend::Connection&)> onConnected;
    std::function<void(int)> onCurrentBaudRate;
    std::function<void(SetupPage, int)> onFocusControl;
    std::function<void(const std::string&)> onReportUpdated;

    // The parent of the file dialogs and message boxes.
    void SetDialogParent(QWidget* parent) { m_dialogParent = parent; }
    QWidget* DialogParent() const { return m_dialogParent; }
    QWidget* TitleWindow() const { return m_titleWindow; }

    // The file dialog itself (save: the save dialog), replaceable for tests:
    // the chosen path, or "" when cancelled. The overwrite prompt (593) is
    // asked here after the save dialog, through the message boxes.
    using FileChooser = std::function<QString(QWidget* parent, bool save)>;
    static void SetFileChooser(FileChooser chooser);
    static QString StandardFileDialog(QWidget* parent, bool save);

private:
    QPointer<QWidget> m_titleWindow;
    QPointer<QWidget> m_dialogParent;
};
