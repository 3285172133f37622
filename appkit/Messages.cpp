#include "Messages.h"

#include "Texts.h"

#include <QApplication>
#include <QWidget>

namespace appkit {

namespace {
Messages::Recorder* recorder = nullptr;

QMessageBox::Icon BoxIcon(Messages::Icon icon) {
    switch (icon) {
    case Messages::Icon::Information:
        return QMessageBox::Information;
    case Messages::Icon::Warning:
        return QMessageBox::Warning;
    case Messages::Icon::Critical:
        return QMessageBox::Critical;
    case Messages::Icon::Question:
        return QMessageBox::Question;
    default:
        return QMessageBox::NoIcon;
    }
}
} // namespace

void Messages::SetRecorder(Recorder* newRecorder) {
    recorder = newRecorder;
}

Messages::Recorder* Messages::CurrentRecorder() {
    return recorder;
}

Messages::Icon Messages::Resolve(Icon icon, QMessageBox::StandardButtons buttons) {
    if (icon != Icon::Automatic) return icon;
    return buttons & (QMessageBox::Yes | QMessageBox::No) ? Icon::Question : Icon::Warning;
}

QMessageBox::StandardButton Messages::DefaultButton(QMessageBox::StandardButtons buttons) {
    for (QMessageBox::StandardButton button : {QMessageBox::Ok, QMessageBox::Yes, QMessageBox::Retry})
        if (buttons & button) return button;
    for (unsigned bit = QMessageBox::FirstButton; bit <= QMessageBox::LastButton; bit <<= 1)
        if (buttons & bit) return QMessageBox::StandardButton(bit);
    return QMessageBox::Ok;
}

QMessageBox::StandardButton Messages::Show(const QString& text, QMessageBox::StandardButtons buttons,
                                           Icon icon, const QString& title) {
    if (!buttons) buttons = QMessageBox::Ok;
    const Icon shown = Resolve(icon, buttons);
    const QString caption = title.isEmpty() ? ProgramInfo::Title() : title;
    if (recorder) {
        recorder->records.append(Record{text, caption, buttons, shown});
        if (!recorder->answers.isEmpty()) return recorder->answers.takeFirst();
        return DefaultButton(buttons);
    }
    QWidget* parent = QApplication::activeModalWidget();
    if (!parent) parent = QApplication::activeWindow();
    QMessageBox box(BoxIcon(shown), caption, text, buttons, parent);
    box.setDefaultButton(DefaultButton(buttons));
    return QMessageBox::StandardButton(box.exec());
}

QMessageBox::StandardButton Messages::ShowId(int id, QMessageBox::StandardButtons buttons, Icon icon) {
    return Show(Texts::String(id), buttons, icon);
}

} // namespace appkit
