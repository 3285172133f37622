#include "KeyButton.h"

#include <QPainter>
#include <QStyleOptionButton>
#include <QStylePainter>

namespace {

// "&&" is one "&" (the caption doubles every "&" so that none is a mnemonic).
QString Undoubled(const QString& part) {
    QString plain;
    plain.reserve(part.size());
    for (int i = 0; i < part.size(); ++i) {
        plain += part[i];
        if (part[i] == QLatin1Char('&') && i + 1 < part.size() && part[i + 1] == QLatin1Char('&')) ++i;
    }
    return plain;
}

} // namespace

CKeyButton::CKeyButton(QWidget* parent) : QPushButton(parent) {
    setAutoDefault(false);
    setFocusPolicy(Qt::TabFocus);
}

CKeyButton::Parts CKeyButton::Split(const QString& text) {
    Parts parts;
    const int feed = text.indexOf(QLatin1Char('\n'));
    const QString top = feed < 0 ? QString() : text.left(feed);
    const QString rest = feed < 0 ? text : text.mid(feed + 1);
    const int tab = rest.indexOf(QLatin1Char('\t'));
    parts.shift = Undoubled(top);
    parts.normal = Undoubled(tab < 0 ? rest : rest.left(tab));
    parts.altGr = tab < 0 ? QString() : Undoubled(rest.mid(tab + 1));
    return parts;
}

QSize CKeyButton::sizeHint() const {
    const QFontMetrics metrics(font());
    const int line = metrics.height();
    const int side =
        qMax(2 * line + 2 * InsetY + 4, 2 * metrics.horizontalAdvance(QLatin1Char('W')) + 2 * InsetX + 4);
    return QSize(side, side);
}

QSize CKeyButton::minimumSizeHint() const {
    const QFontMetrics metrics(font());
    return QSize(2 * metrics.horizontalAdvance(QLatin1Char('W')) + 2 * InsetX,
                 2 * metrics.height() + 2 * InsetY);
}

void CKeyButton::paintEvent(QPaintEvent*) {
    QStylePainter painter(this);
    QStyleOptionButton option;
    initStyleOption(&option);
    // The bevel alone: the caption is drawn below in its three places.
    option.text.clear();
    option.icon = QIcon();
    painter.drawControl(QStyle::CE_PushButtonBevel, option);

    QRect area = rect().adjusted(InsetX, InsetY, -InsetX, -InsetY);
    if (isDown()) area.translate(1, 1);
    const Parts parts = Split(text());
    painter.setPen(
        palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled, QPalette::ButtonText));
    // Each part on one line, drawn as it stands (no mnemonic processing), with
    // no background behind the text.
    const int flags = Qt::TextSingleLine;
    painter.setBackgroundMode(Qt::TransparentMode);
    painter.drawText(area, flags | Qt::AlignLeft | Qt::AlignTop, parts.shift);
    painter.drawText(area, flags | Qt::AlignLeft | Qt::AlignBottom, parts.normal);
    painter.drawText(area, flags | Qt::AlignRight | Qt::AlignBottom, parts.altGr);
}
