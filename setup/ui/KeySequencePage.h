// CKeySequencePage: the widgets of a key sequence page (dialog 106: Prefix,
// Suffix, Abziehen, Register Trenner) over its model
// CEingabeBasisRegisterkarte. The code entry is an edit line over an
// always-visible list of the 144 code entries; the item list shows one row
// per item ("%02X H     name") under the page's header string.
#pragma once

#include "EingabeBasisRegisterkarte.h"

#include <QWidget>

class ISetupHost;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QTreeWidget;

class CKeySequencePage : public QWidget {
    Q_OBJECT
public:
    CKeySequencePage(CEingabeBasisRegisterkarte& model, ISetupHost& host, QWidget* parent = nullptr);

    CEingabeBasisRegisterkarte& Model() { return m_model; }
    // Shows the model: items, selection, entry.
    void ShowControls();
    // The focus goes into the code entry.
    void FocusEntry();

signals:
    void functionTestRequested();
    void readBackRequested();

private:
    void OnEntryEdited(const QString& text);
    void OnCodePicked(int row);
    void OnCodeDoubleClicked();
    void OnItemSelectionChanged();
    void OnAccept();
    void OnDelete();
    void OnClear();
    void OnUp();
    void OnDown();
    void Report(const std::optional<SetupMessage>& message);

    CEingabeBasisRegisterkarte& m_model;
    ISetupHost& m_host;
    bool m_showing = false;

    QLineEdit* m_entry = nullptr;
    QListWidget* m_codes = nullptr;
    QTreeWidget* m_items = nullptr;
    QPushButton* m_accept = nullptr;
    QPushButton* m_delete = nullptr;
    QPushButton* m_clear = nullptr;
    QPushButton* m_up = nullptr;
    QPushButton* m_down = nullptr;
};
