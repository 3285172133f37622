// FixedFont: the font of the views whose columns must line up (the read-back
// report, the function test's ASCII and hex views). The desktop's fixed font
// is not always fixed: where "monospace" resolves to a proportional face
// (some font packages alias it to one) a report's colons and a telegram's
// cells drift apart. So the candidates are tried in turn and the first whose
// resolved face really has one advance for every character is taken.
#pragma once

#include <QFont>
#include <QStringList>

namespace FixedFont {

// The families tried after the desktop's fixed font, in this order; then the
// generic "monospace" with the fixed-pitch style hints.
const QStringList& Families();

// Whether the face the font resolves to has the same advance for narrow,
// wide, digit, blank and the views' middle dot, and says it is fixed-pitch.
bool IsFixedPitch(const QFont& font);

// The desktop's fixed font when it really is fixed, else the first candidate
// that is, in the desktop's fixed font size. When none is (a machine without
// any monospace face), the desktop's fixed font.
QFont Get();

} // namespace FixedFont
