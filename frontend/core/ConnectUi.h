// What the connect procedures show: the main window's title, message boxes
// and, while a Bluetooth reader is searched and linked (up to ten seconds
// inside the first exchange), the wait cursor. The programs show them in their windows (WidgetConnectUi); the
// command line prints them.
#pragma once

#include <QString>

namespace frontend {

class ConnectUi {
public:
    virtual ~ConnectUi() = default;
    virtual void SetTitle(const QString& title) = 0;
    virtual void ShowMessage(const QString& text) = 0;
    // Nested: every SetBusy(true) is followed by one SetBusy(false).
    virtual void SetBusy(bool) {}
};

} // namespace frontend
