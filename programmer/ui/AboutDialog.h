// The About box (dialog 100): the program icon, "KV-PLM Programmer V" with
// the program version, and OK.
#pragma once

#include <QDialog>

namespace Programmer {

class AboutDialog : public QDialog {
    Q_OBJECT
public:
    explicit AboutDialog(QWidget* parent = nullptr);

    // The text of static 101: its own text, a blank, the program version.
    static QString VersionText();
};

} // namespace Programmer
