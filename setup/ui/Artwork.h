// Artwork: the pictures Morvane shows, drawn by the program itself: the
// main window's view bitmap, the toolbar icons and the Up/Down arrows of
// the key sequence pages.
#pragma once

#include <QIcon>
#include <QImage>

namespace Artwork {

enum class Tool { Program, ReadBack, Interface, Exit, About };

// The view bitmap (resource 123): a fixed-size picture the view stretches
// over its client area.
const QImage& ViewBitmap();
QIcon ToolIcon(Tool tool);
// Icons 136 (up) and 137 (down).
QIcon ArrowIcon(bool up);

} // namespace Artwork
