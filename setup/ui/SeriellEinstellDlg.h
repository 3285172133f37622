// CSeriellEinstellDlg: the programming dialog ("Programmierung eingeben").
// A sheet of six pages over the model CSeriellEinstellModel: Parameter,
// Prefix, Daten, Suffix, Abziehen, Register Trenner; below them the four
// buttons "Speichern", "Laden", "Programmieren", "Abbrechen" in one row.
// For an HID reader (connection flag 0x200) the first page is the HID
// parameter page with the keyboard table, and every page's "Funktionstest"
// opens the HID function test.
//
// When it is shown the first time it reads the reader's blocks into the
// pages. Leaving the data or parameter page validates it; a page that fails
// stays active. A key sequence page that becomes active puts the focus into
// its code entry. Enter does nothing; Escape cancels.
//
// "Vorschau" beside the four buttons opens the preview window
// (CPreviewWindow), which follows the pages while they are edited.
#pragma once

#include "SeriellEinstellModel.h"

#include <QDialog>
#include <QPointer>
#include <array>
#include <functional>

class CDataPage;
class CKeySequencePage;
class CParamHidPage;
class CParamPage;
class CPreviewWindow;
class CWidgetSetupHost;
class QPushButton;
class QTabWidget;

class CSeriellEinstellDlg : public QDialog {
    Q_OBJECT
public:
    // session: one the main window opened (0 = connect when opening); it is
    // closed once the blocks are read. baud: the baud rate in use; flags: the
    // connection flags.
    CSeriellEinstellDlg(QWidget* parent, CWidgetSetupHost& host, int session, int baud, int flags);
    ~CSeriellEinstellDlg() override;

    CSeriellEinstellModel& Model() { return m_model; }
    QTabWidget* Tabs() const { return m_tabs; }
    // The parameter page of a normal reader (null for an HID reader) and the
    // HID parameter page (null for a normal reader).
    CParamPage* ParamPage() const { return m_paramPage; }
    CParamHidPage* HidParamPage() const { return m_hidPage; }
    CDataPage* DataPage() const { return m_dataPage; }
    CKeySequencePage* KeyPage(SetupPage page) const;
    QWidget* PageWidget(SetupPage page) const;

    // Whether the reader was read (the opening is done).
    bool Opened() const { return m_opened; }
    const CSeriellEinstellModel::ReaderRead& ReadResult() const { return m_readResult; }

    // The commands of the four buttons.
    void OnSave();
    void OnLoad();
    void OnProgram();
    // "Vorschau": opens the preview window, or raises the open one.
    CPreviewWindow* OpenPreview();
    CPreviewWindow* Preview() const;

signals:
    // The opening is done (the reader's blocks are on the pages, or no reader).
    void opened();
    // A procedure of the dialog (reading the reader, Laden, Speichern,
    // Programmieren) put new values on the pages.
    void pagesChanged();

protected:
    void showEvent(QShowEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void Open();
    void OnTabChanged(int index);
    // Validation when a page is left: the message of a failure.
    std::optional<SetupMessage> LeavePage(int index);
    void ActivatePage(int index);
    void SetPage(int index);
    void ReadAllControls();
    void ShowAllControls();
    void ShowParamControls();
    void UpdateCaption();
    void FocusControl(SetupPage page, int control);
    void OpenFunctionTest(bool hid);
    void OpenReadBack();

    CWidgetSetupHost& m_host;
    CSeriellEinstellModel m_model;
    CSeriellEinstellModel::ReaderRead m_readResult;
    bool m_opened = false;
    bool m_openScheduled = false;
    bool m_dataShown = false;
    int m_current = 0;

    QTabWidget* m_tabs = nullptr;
    CParamPage* m_paramPage = nullptr;
    CParamHidPage* m_hidPage = nullptr;
    CDataPage* m_dataPage = nullptr;
    std::array<CKeySequencePage*, 4> m_keyPages{};

    std::function<void(int)> m_previousBaudHook;
    std::function<void(SetupPage, int)> m_previousFocusHook;
    QPointer<QWidget> m_previousDialogParent;
    QPointer<CPreviewWindow> m_preview;
};
