// What the programs that take the user guides' pictures share: letting the
// event loop settle, and a plain title bar with the window's title drawn
// above a window's picture (a bare X server or offscreen draws none).
#pragma once

#include <QApplication>
#include <QColor>
#include <QEventLoop>
#include <QFont>
#include <QImage>
#include <QPainter>
#include <QTimer>
#include <QWidget>

namespace ShotFrame {

inline void Settle(int milliseconds = 150) {
    QEventLoop loop;
    QTimer::singleShot(milliseconds, &loop, &QEventLoop::quit);
    loop.exec();
}

inline QImage Framed(QWidget* window, const QImage& content) {
    const int bar = 28;
    QImage image(content.width() + 2, content.height() + bar + 1, QImage::Format_RGB32);
    image.fill(QColor(0x3a, 0x4a, 0x56));
    QPainter painter(&image);
    painter.drawImage(1, bar, content);
    QFont font = QApplication::font();
    font.setBold(true);
    painter.setFont(font);
    painter.setPen(Qt::white);
    painter.drawText(QRect(10, 0, image.width() - 70, bar), Qt::AlignVCenter | Qt::AlignLeft,
                     window->windowTitle());
    painter.setRenderHint(QPainter::Antialiasing);
    for (int i = 0; i < 3; ++i) {
        painter.setBrush(i == 2 ? QColor(0xd9, 0x6c, 0x4f) : QColor(0x8a, 0x9a, 0xa6));
        painter.setPen(Qt::NoPen);
        painter.drawEllipse(QPointF(image.width() - 16 - i * 20, bar / 2.0), 6, 6);
    }
    return image;
}

} // namespace ShotFrame
