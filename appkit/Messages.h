// Messages: modal message boxes with the program title.
//
// Every message the programs show goes through here. Tests install a
// recorder, which notes each message (text, title, buttons, icon) and gives
// the answers the test scripted, so no box ever opens.
#pragma once

#include "ProgramInfo.h"

#include <QList>
#include <QMessageBox>
#include <QString>

namespace appkit {

class Messages {
public:
    // Automatic: a warning sign for OK and OK/Cancel boxes, a question mark
    // for the Yes/No kinds.
    enum class Icon { Automatic, None, Information, Warning, Critical, Question };

    struct Record {
        QString text;
        QString title;
        QMessageBox::StandardButtons buttons;
        Icon icon; // as shown (Automatic resolved)
    };

    class Recorder {
    public:
        QList<Record> records;
        // Given back in order; when they run out, the box's default button.
        QList<QMessageBox::StandardButton> answers;
    };

    // Shows the text modally over the active window; returns the button the
    // user pressed. The title is the program title unless one is given.
    static QMessageBox::StandardButton Show(const QString& text,
                                            QMessageBox::StandardButtons buttons = QMessageBox::Ok,
                                            Icon icon = Icon::Automatic, const QString& title = {});
    // The text of string id.
    static QMessageBox::StandardButton ShowId(int id, QMessageBox::StandardButtons buttons = QMessageBox::Ok,
                                              Icon icon = Icon::Automatic);

    // Null removes the recorder.
    static void SetRecorder(Recorder* recorder);
    static Recorder* CurrentRecorder();

    static Icon Resolve(Icon icon, QMessageBox::StandardButtons buttons);
    static QMessageBox::StandardButton DefaultButton(QMessageBox::StandardButtons buttons);
};

} // namespace appkit
