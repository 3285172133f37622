#include "ProgramIcon.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace Programmer {

namespace {

QPixmap Draw(int size) {
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    const qreal s = size;
    // The card.
    painter.setPen(QPen(QColor(0x1F, 0x3A, 0x68), s / 16));
    painter.setBrush(QColor(0x2F, 0x6D, 0xB5));
    painter.drawRoundedRect(QRectF(s * 0.06, s * 0.18, s * 0.88, s * 0.64), s * 0.1, s * 0.1);
    // The antenna: three nested loops around the chip.
    painter.setBrush(Qt::NoBrush);
    painter.setPen(QPen(QColor(0xF2, 0xF5, 0xFA), std::max(1.0, s / 20)));
    for (int loop = 0; loop < 3; ++loop) {
        const qreal inset = s * (0.16 + 0.08 * loop);
        painter.drawRoundedRect(
            QRectF(inset, s * 0.5 - (s * 0.34 - inset), s - 2 * inset, 2 * (s * 0.34 - inset) + 0.01),
            s * 0.04, s * 0.04);
    }
    // The chip.
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(0xF5, 0xB3, 0x2F));
    painter.drawRect(QRectF(s * 0.42, s * 0.42, s * 0.16, s * 0.16));
    return pixmap;
}

} // namespace

QIcon ProgramIcon() {
    QIcon icon;
    for (int size : {16, 24, 32, 48, 64})
        icon.addPixmap(Draw(size));
    return icon;
}

} // namespace Programmer
