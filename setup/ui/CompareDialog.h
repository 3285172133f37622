// CCompareDialog: "Mit Datei vergleichen ...": the connected reader's
// configuration beside a .mkr file, one line per field that differs
// ("Zykluszeit: 500 ms -> 1000 ms", the reader's value first), or "Keine
// Unterschiede". Read-only; "Schließen" closes it.
//
// Run is the whole command: choose the file (the host's open dialog),
// read the reader with the stored settings, load the file as the reader's
// pages would load it, compare, show. A cancelled choice, a reader that
// cannot be read or a file that cannot be used end it after the message of
// the step that failed; no dialog is shown then.
#pragma once

#include "ConfigDiff.h"

#include <QDialog>
#include <QStringList>
#include <vector>

class CWidgetSetupHost;
class QLabel;
class QListWidget;

class CCompareDialog : public QDialog {
    Q_OBJECT
public:
    CCompareDialog(QWidget* parent, const QString& file,
                   const std::vector<ConfigDiff::Difference>& differences);

    // The lines as shown.
    QStringList Lines() const;
    bool Equal() const { return m_equal; }

    // The command. The comparison is built before the dialog opens; returns
    // whether the dialog was shown.
    static bool Run(QWidget* parent, CWidgetSetupHost& host);

private:
    QLabel* m_header = nullptr;
    QListWidget* m_list = nullptr;
    bool m_equal = true;
};
