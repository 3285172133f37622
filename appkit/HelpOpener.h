// The help file: the first PDF file in the program's folder, opened with the
// desktop's default handler. Failures show string 10000 (no resources),
// 10001 (no application for PDF files) or 10002 ("Unbekannter Fehler %d").
#pragma once

#include <QString>
#include <functional>

namespace appkit {

class HelpOpener {
public:
    // Opens a file as the desktop would; the result follows the old shell
    // convention: above 32 success, 0 out of resources, 31 no application
    // associated, anything else below 32 another failure (2: file not found).
    using Opener = std::function<int(const QString& file, const QString& directory)>;

    // The first *.pdf in dir (in name order), or "" when there is none.
    static QString FindHelpFile(const QString& dir);
    // Finds the help file next to the executable and opens it; nothing
    // happens when there is none. Returns the opener's code (33 when
    // nothing was to be opened).
    static int Open();
    static int Open(const QString& dir);

    // The message for an opener code ("" for success, and for 32, which
    // names no failure of its own).
    static QString FailureText(int code);

    // Null restores the default opener (xdg-mime/QDesktopServices).
    static void SetOpener(Opener opener);
    static int DefaultOpener(const QString& file, const QString& directory);
};

} // namespace appkit
