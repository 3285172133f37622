#include "Artwork.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QRadialGradient>

#include <cmath>

namespace Artwork {

namespace {

const QColor kInk(0x1d, 0x3a, 0x4f);
const QColor kAccent(0xe0, 0x8a, 0x2c);
const QColor kPaper(0xf4, 0xf1, 0xea);

// A reader: a rounded housing with a small display and three keys.
void DrawReader(QPainter& p, const QRectF& r) {
    QLinearGradient body(r.topLeft(), r.bottomLeft());
    body.setColorAt(0, QColor(0x4b, 0x5d, 0x6b));
    body.setColorAt(1, QColor(0x25, 0x32, 0x3c));
    p.setPen(QPen(QColor(0x12, 0x1a, 0x20), 2));
    p.setBrush(body);
    p.drawRoundedRect(r, 18, 18);
    const QRectF display(r.left() + r.width() * 0.14, r.top() + r.height() * 0.14, r.width() * 0.72,
                         r.height() * 0.34);
    QLinearGradient glass(display.topLeft(), display.bottomRight());
    glass.setColorAt(0, QColor(0x9f, 0xd8, 0xc9));
    glass.setColorAt(1, QColor(0x4f, 0x9c, 0x8c));
    p.setPen(QPen(QColor(0x12, 0x1a, 0x20), 1.5));
    p.setBrush(glass);
    p.drawRoundedRect(display, 6, 6);
    // A few "characters" on the display.
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0x1d, 0x4a, 0x40));
    const double cell = display.width() / 11.0;
    for (int i = 0; i < 8; ++i) {
        const double h = (i % 3 == 1) ? display.height() * 0.22 : display.height() * 0.30;
        p.drawRect(
            QRectF(display.left() + cell * (1.2 + i * 1.1), display.center().y() - h / 2, cell * 0.7, h));
    }
    // Keys.
    for (int i = 0; i < 3; ++i) {
        const QRectF key(r.left() + r.width() * (0.18 + i * 0.24), r.top() + r.height() * 0.62,
                         r.width() * 0.16, r.height() * 0.16);
        p.setBrush(i == 1 ? kAccent : QColor(0xd9, 0xd4, 0xc7));
        p.setPen(QPen(QColor(0x12, 0x1a, 0x20), 1.2));
        p.drawRoundedRect(key, 5, 5);
    }
    // The antenna field on top.
    p.setPen(QPen(QColor(0x12, 0x1a, 0x20), 2));
    p.setBrush(QColor(0x37, 0x47, 0x53));
    p.drawRoundedRect(QRectF(r.center().x() - r.width() * 0.3, r.top() - 14, r.width() * 0.6, 20), 8, 8);
}

// A transponder: a card with its coil antenna and the chip.
void DrawTag(QPainter& p, const QRectF& r) {
    p.setPen(QPen(QColor(0x8a, 0x80, 0x6c), 1.5));
    p.setBrush(kPaper);
    p.drawRoundedRect(r, 10, 10);
    QPen coil(QColor(0xb8, 0x73, 0x33), 2.2);
    p.setPen(coil);
    p.setBrush(Qt::NoBrush);
    for (int i = 0; i < 4; ++i) {
        const double inset = 12 + i * 7;
        p.drawRoundedRect(r.adjusted(inset, inset, -inset, -inset), 6, 6);
    }
    p.setPen(QPen(QColor(0x22, 0x22, 0x22), 1));
    p.setBrush(QColor(0x30, 0x30, 0x30));
    const QPointF c = r.center();
    p.drawRect(QRectF(c.x() - 9, c.y() - 9, 18, 18));
}

QImage DrawViewBitmap() {
    const QSize size(640, 520);
    QImage image(size, QImage::Format_ARGB32_Premultiplied);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);

    QLinearGradient sky(0, 0, 0, size.height());
    sky.setColorAt(0, QColor(0xe9, 0xf0, 0xf2));
    sky.setColorAt(0.65, QColor(0xc9, 0xd9, 0xdf));
    sky.setColorAt(1, QColor(0x9d, 0xb5, 0xbf));
    p.fillRect(image.rect(), sky);

    // Soft contour lines in the background.
    p.setPen(QPen(QColor(255, 255, 255, 90), 1.2));
    for (int i = 0; i < 9; ++i) {
        QPainterPath wave;
        const double y = 300 + i * 26;
        wave.moveTo(0, y);
        for (int x = 0; x <= size.width(); x += 16)
            wave.lineTo(x, y + 10 * std::sin((x + i * 40) / 70.0));
        p.drawPath(wave);
    }

    const QRectF reader(110, 210, 170, 210);
    const QRectF tag(420, 250, 130, 90);

    // The field: arcs from the reader's antenna towards the tag.
    const QPointF source(reader.right() + 8, reader.top() + 60);
    for (int i = 0; i < 5; ++i) {
        const double radius = 40 + i * 30;
        QColor wave = kAccent;
        wave.setAlpha(220 - i * 35);
        p.setPen(QPen(wave, 4 - i * 0.5, Qt::SolidLine, Qt::RoundCap));
        p.setBrush(Qt::NoBrush);
        p.drawArc(QRectF(source.x() - radius, source.y() - radius + 20, 2 * radius, 2 * radius), -35 * 16,
                  70 * 16);
    }

    // Shadows, then the objects.
    p.setPen(Qt::NoPen);
    QRadialGradient shadow(reader.center().x(), reader.bottom() + 12, 110);
    shadow.setColorAt(0, QColor(0, 0, 0, 70));
    shadow.setColorAt(1, QColor(0, 0, 0, 0));
    p.setBrush(shadow);
    p.drawEllipse(QPointF(reader.center().x(), reader.bottom() + 12), 120, 18);
    QRadialGradient tagShadow(tag.center().x(), tag.bottom() + 40, 80);
    tagShadow.setColorAt(0, QColor(0, 0, 0, 50));
    tagShadow.setColorAt(1, QColor(0, 0, 0, 0));
    p.setBrush(tagShadow);
    p.drawEllipse(QPointF(tag.center().x(), tag.bottom() + 40), 85, 12);

    DrawReader(p, reader);
    p.save();
    p.translate(tag.center());
    p.rotate(-8);
    p.translate(-tag.center());
    DrawTag(p, tag);
    p.restore();

    // The program's name.
    QFont name(QStringLiteral("DejaVu Sans"));
    name.setPixelSize(54);
    name.setWeight(QFont::DemiBold);
    name.setLetterSpacing(QFont::AbsoluteSpacing, 2);
    p.setFont(name);
    p.setPen(kInk);
    p.drawText(QRectF(0, 50, size.width(), 70), Qt::AlignHCenter | Qt::AlignVCenter,
               QStringLiteral("Morvane"));
    p.setPen(QPen(kAccent, 3, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(size.width() / 2.0 - 70, 128), QPointF(size.width() / 2.0 + 70, 128));
    QFont family(QStringLiteral("DejaVu Sans"));
    family.setPixelSize(17);
    family.setLetterSpacing(QFont::AbsoluteSpacing, 6);
    p.setFont(family);
    p.setPen(QColor(0x3f, 0x5a, 0x6c));
    p.drawText(QRectF(0, 138, size.width(), 30), Qt::AlignHCenter | Qt::AlignVCenter,
               QStringLiteral("KV-PLM"));
    return image;
}

// Icons are drawn on a 32 x 32 grid and scaled by Qt as needed.
QPixmap Canvas() {
    QPixmap pixmap(64, 64);
    pixmap.fill(Qt::transparent);
    return pixmap;
}

QIcon DrawTool(Tool tool) {
    QPixmap pixmap = Canvas();
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(2, 2);
    const QPen outline(kInk, 1.6, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    switch (tool) {
    case Tool::Program: {
        // A chip receiving an arrow: writing into the reader.
        p.setPen(outline);
        p.setBrush(QColor(0x9f, 0xd8, 0xc9));
        p.drawRoundedRect(QRectF(6, 15, 20, 13), 2, 2);
        for (int i = 0; i < 4; ++i) {
            p.drawLine(QPointF(9 + i * 4.5, 28), QPointF(9 + i * 4.5, 31));
        }
        p.setPen(Qt::NoPen);
        p.setBrush(kAccent);
        QPainterPath arrow;
        arrow.moveTo(13, 2);
        arrow.lineTo(19, 2);
        arrow.lineTo(19, 9);
        arrow.lineTo(23, 9);
        arrow.lineTo(16, 16);
        arrow.lineTo(9, 9);
        arrow.lineTo(13, 9);
        arrow.closeSubpath();
        p.drawPath(arrow);
        break;
    }
    case Tool::ReadBack: {
        // A report sheet with lines and a magnifier.
        p.setPen(outline);
        p.setBrush(kPaper);
        p.drawRoundedRect(QRectF(5, 3, 17, 23), 2, 2);
        p.setPen(QPen(QColor(0x6a, 0x7f, 0x8c), 1.4, Qt::SolidLine, Qt::RoundCap));
        for (int i = 0; i < 4; ++i)
            p.drawLine(QPointF(8, 8 + i * 4), QPointF(i % 2 ? 15 : 19, 8 + i * 4));
        p.setPen(QPen(kInk, 2.2, Qt::SolidLine, Qt::RoundCap));
        p.setBrush(QColor(255, 255, 255, 170));
        p.drawEllipse(QPointF(21, 20), 5.5, 5.5);
        p.setPen(QPen(kAccent, 3, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(25, 24), QPointF(29.5, 28.5));
        break;
    }
    case Tool::Interface: {
        // A plug on its cable.
        p.setPen(QPen(kInk, 2, Qt::SolidLine, Qt::RoundCap));
        p.setBrush(Qt::NoBrush);
        QPainterPath cable;
        cable.moveTo(4, 29);
        cable.cubicTo(4, 20, 14, 24, 14, 17);
        p.drawPath(cable);
        p.setPen(outline);
        p.setBrush(QColor(0x9f, 0xb3, 0xbf));
        p.drawRoundedRect(QRectF(9, 8, 14, 10), 2, 2);
        p.setBrush(kAccent);
        p.drawRect(QRectF(12, 2, 2.5, 6));
        p.drawRect(QRectF(18, 2, 2.5, 6));
        p.setPen(QPen(kAccent, 1.6, Qt::SolidLine, Qt::RoundCap));
        p.drawArc(QRectF(20, 14, 10, 10), -60 * 16, 120 * 16);
        break;
    }
    case Tool::Exit: {
        // A door standing open with an arrow leaving.
        p.setPen(outline);
        p.setBrush(QColor(0xd9, 0xd4, 0xc7));
        p.drawRect(QRectF(5, 3, 14, 26));
        p.setBrush(QColor(0x8c, 0x6a, 0x4a));
        QPainterPath door;
        door.moveTo(5, 3);
        door.lineTo(13, 6);
        door.lineTo(13, 31);
        door.lineTo(5, 29);
        door.closeSubpath();
        p.drawPath(door);
        p.setPen(Qt::NoPen);
        p.setBrush(kAccent);
        QPainterPath arrow;
        arrow.moveTo(17, 14);
        arrow.lineTo(24, 14);
        arrow.lineTo(24, 10);
        arrow.lineTo(31, 16.5);
        arrow.lineTo(24, 23);
        arrow.lineTo(24, 19);
        arrow.lineTo(17, 19);
        arrow.closeSubpath();
        p.drawPath(arrow);
        break;
    }
    case Tool::About: {
        p.setPen(outline);
        p.setBrush(QColor(0x3f, 0x6f, 0x8f));
        p.drawEllipse(QPointF(16, 16), 13, 13);
        p.setPen(Qt::NoPen);
        p.setBrush(Qt::white);
        p.drawEllipse(QPointF(16, 9.5), 2.2, 2.2);
        p.drawRoundedRect(QRectF(14, 13.5, 4, 11), 1.5, 1.5);
        break;
    }
    }
    return QIcon(pixmap);
}

QIcon DrawArrow(bool up) {
    QPixmap pixmap = Canvas();
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(2, 2);
    p.setPen(QPen(kInk, 1.4, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(kAccent);
    QPainterPath arrow;
    if (up) {
        arrow.moveTo(16, 4);
        arrow.lineTo(28, 17);
        arrow.lineTo(21, 17);
        arrow.lineTo(21, 28);
        arrow.lineTo(11, 28);
        arrow.lineTo(11, 17);
        arrow.lineTo(4, 17);
    } else {
        arrow.moveTo(16, 28);
        arrow.lineTo(28, 15);
        arrow.lineTo(21, 15);
        arrow.lineTo(21, 4);
        arrow.lineTo(11, 4);
        arrow.lineTo(11, 15);
        arrow.lineTo(4, 15);
    }
    arrow.closeSubpath();
    p.drawPath(arrow);
    return QIcon(pixmap);
}

} // namespace

const QImage& ViewBitmap() {
    static const QImage image = DrawViewBitmap();
    return image;
}

QIcon ToolIcon(Tool tool) {
    return DrawTool(tool);
}

QIcon ArrowIcon(bool up) {
    return DrawArrow(up);
}

} // namespace Artwork
