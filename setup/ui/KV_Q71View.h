// CKV_Q71View: the main window's view. It shows the program's picture
// (bitmap 123) stretched over its whole client area; the configuration
// itself lives in the programming dialog.
#pragma once

#include <QWidget>

class CKV_Q71View : public QWidget {
    Q_OBJECT
public:
    explicit CKV_Q71View(QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;
};
