// CPreviewWindow: "Vorschau", what the reader will send for the configuration
// on the programming dialog's pages and a sample transponder. A window of
// its own beside the dialog (not modal), it follows the pages while the user
// edits them: every edit restarts a short timer (DebounceMs), and when it
// runs out the pages' current state is taken as programming would take it.
//
// A serial reader's telegram shows as hexadecimal bytes and as printable
// text. An HID reader types its output: the window lists the key presses
// (the usage and modifiers of the page's keyboard table) and the text a host
// with the chosen keyboard layout receives, each character that arrives as
// another one marked ("Z getippt, Host zeigt Y"). The layout box offers the
// host's own layout first (preselected) and takes any xkb layout name.
//
// The sample transponder's EPC, TID and user memory are editable (hex);
// they start as the simulated reader's sample transponder. When the pages
// refuse their values the window shows the pages' message instead of a
// preview; nothing on the pages or in the dialog's document changes by
// looking (the pages' widgets are read into a copy of the document).
#pragma once

#include "OutputPreview.h"

#include <QPointer>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <QWidget>
#include <functional>

class CSeriellEinstellDlg;
class QComboBox;
class QGroupBox;
class QLayout;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QTreeWidget;

class CPreviewWindow : public QWidget {
    Q_OBJECT
public:
    static constexpr int DebounceMs = 150;

    // A window (parent: the dialog, so it stays usable beside the modal
    // dialog and goes with it).
    explicit CPreviewWindow(CSeriellEinstellDlg& dialog);

    // The pages changed: the preview follows after DebounceMs.
    void PagesEdited();
    // Takes the pages now.
    void UpdateNow();
    bool UpdatePending() const { return m_timer.isActive(); }

    // What the window shows (for tests and pictures).
    // The pages' message (or the sample's); empty while a preview shows.
    QString Message() const;
    QString HexText() const;
    QString PrintableText() const;
    // HID: the text the host receives, and each marked difference.
    QString HostText() const;
    QStringList Mismatches() const;
    QComboBox* LayoutBox() const { return m_layout; }
    // The layout name the preview uses ("" = this computer's keymap).
    QString LayoutName() const;

    // Watches the input widgets below page: any edit calls edited.
    static void WatchEdits(QWidget* page, QObject* context, const std::function<void()>& edited);

signals:
    // The window shows the pages' state (after each update).
    void updated();

private:
    void BuildSample(QLayout* layout);
    void FillLayouts();
    void ShowMessage(const QString& text);
    // The rows of a sequence's key presses, the mismatches marked.
    void AddKeys(const OutputPreview::Sequence& sequence);

    CSeriellEinstellDlg& m_dialog;
    bool m_hid = false;
    QTimer m_timer;

    QLineEdit* m_epc = nullptr;
    QLineEdit* m_tid = nullptr;
    QLineEdit* m_user = nullptr;
    QComboBox* m_layout = nullptr;
    QLabel* m_message = nullptr;
    QGroupBox* m_serialBox = nullptr;
    QPlainTextEdit* m_hex = nullptr;
    QPlainTextEdit* m_printable = nullptr;
    QLineEdit* m_removal = nullptr;
    QGroupBox* m_hidBox = nullptr;
    QTreeWidget* m_keys = nullptr;
    QLineEdit* m_hostText = nullptr;
    QLabel* m_summary = nullptr;
    QStringList m_mismatches;
};
