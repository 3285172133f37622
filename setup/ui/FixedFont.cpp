#include "FixedFont.h"

#include <QFontDatabase>
#include <QFontInfo>
#include <QFontMetrics>

namespace FixedFont {

const QStringList& Families() {
    static const QStringList families{QStringLiteral("DejaVu Sans Mono"), QStringLiteral("Liberation Mono"),
                                      QStringLiteral("Noto Sans Mono"),   QStringLiteral("Noto Mono"),
                                      QStringLiteral("Droid Sans Mono"),  QStringLiteral("Ubuntu Mono"),
                                      QStringLiteral("Nimbus Mono PS"),   QStringLiteral("FreeMono"),
                                      QStringLiteral("Courier New")};
    return families;
}

bool IsFixedPitch(const QFont& font) {
    if (!QFontInfo(font).fixedPitch()) return false;
    // The flag alone is not enough: it comes from what the face declares.
    const QFontMetrics metrics(font);
    const int advance = metrics.horizontalAdvance(QLatin1Char('0'));
    if (advance <= 0) return false;
    for (const QChar c : {QChar(u'i'), QChar(u'M'), QChar(u'W'), QChar(u' '), QChar(u'.'), QChar(0x00B7)})
        if (metrics.horizontalAdvance(c) != advance) return false;
    return true;
}

QFont Get() {
    const QFont system = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    if (IsFixedPitch(system)) return system;
    auto sized = [&system](QFont font) {
        if (system.pointSizeF() > 0)
            font.setPointSizeF(system.pointSizeF());
        else if (system.pixelSize() > 0)
            font.setPixelSize(system.pixelSize());
        return font;
    };
    for (const QString& family : Families()) {
        QFont font = sized(QFont(family));
        font.setStyleHint(QFont::TypeWriter);
        if (IsFixedPitch(font)) return font;
    }
    QFont generic = sized(QFont(QStringLiteral("monospace")));
    generic.setStyleHint(QFont::Monospace);
    generic.setFixedPitch(true);
    if (IsFixedPitch(generic)) return generic;
    return system;
}

} // namespace FixedFont
