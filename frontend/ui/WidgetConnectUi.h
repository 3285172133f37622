// The connect procedures' output in a program: the title goes to the main
// window, messages into message boxes with the program title.
#pragma once

#include "ConnectUi.h"

#include "WaitCursor.h"

#include <QPointer>
#include <QWidget>
#include <memory>
#include <vector>

namespace frontend {

class WidgetConnectUi : public ConnectUi {
public:
    explicit WidgetConnectUi(QWidget* mainWindow) : m_window(mainWindow) {}
    void SetTitle(const QString& title) override;
    void ShowMessage(const QString& text) override;
    void SetBusy(bool on) override;

private:
    QPointer<QWidget> m_window;
    std::vector<std::unique_ptr<appkit::WaitCursor>> m_busy;
};

} // namespace frontend
