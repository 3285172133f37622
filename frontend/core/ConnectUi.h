// What the connect procedures show: the main window's title and message
// boxes. The programs show them in their windows (WidgetConnectUi); the
// command line prints them.
#pragma once

#include <QString>

namespace frontend {

class ConnectUi {
public:
    virtual ~ConnectUi() = default;
    virtual void SetTitle(const QString& title) = 0;
    virtual void ShowMessage(const QString& text) = 0;
};

} // namespace frontend
