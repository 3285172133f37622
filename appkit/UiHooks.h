// The program's side of the link library's waits (LinkUiHooks): while a
// reader is being waited for, Qt keeps processing events, the main window
// is disabled (and given back its previous state afterwards), and network
// operations show the wait cursor.
#pragma once

#include <QPointer>
#include <QWidget>
#include <functional>

namespace appkit {

class UiHooks {
public:
    // Installs the hooks with LinkSetUiHooks. mainWindow is asked at each
    // wait (it may answer null: then nothing is disabled).
    static void Install(std::function<QWidget*()> mainWindow);
    static void Install(QWidget* mainWindow);
    // Removes the hooks from the link library.
    static void Remove();
};

} // namespace appkit
