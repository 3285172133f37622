// term-shot TITLE OUT.png < TEXT: a terminal's text (as tmux capture-pane
// prints it) drawn as a picture for the user guides, in a fixed-pitch font on
// a dark background under the guides' title bar. Trailing blank lines and
// trailing blanks are dropped; the picture is as wide as the longest line.
#include "ShotFrame.h"

#include <QFontDatabase>
#include <QFontMetrics>
#include <QTextStream>

#include <cstdio>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    if (argc != 3) {
        std::fprintf(stderr, "usage: term-shot TITLE OUT.png < TEXT\n");
        return 2;
    }
    QTextStream in(stdin);
    QStringList lines;
    while (!in.atEnd()) {
        QString line = in.readLine();
        while (line.endsWith(' '))
            line.chop(1);
        lines << line;
    }
    while (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();

    QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    font.setPointSize(10);
    const QFontMetrics metrics(font);
    int columns = 0;
    for (const QString& line : lines)
        columns = std::max(columns, int(line.size()));
    const int margin = 10;
    QImage content(columns * metrics.horizontalAdvance('M') + 2 * margin,
                   int(lines.size()) * metrics.lineSpacing() + 2 * margin, QImage::Format_RGB32);
    content.fill(QColor(0x1e, 0x1e, 0x1e));
    QPainter painter(&content);
    painter.setFont(font);
    painter.setPen(QColor(0xe0, 0xe0, 0xe0));
    for (int i = 0; i < lines.size(); ++i)
        painter.drawText(margin, margin + i * metrics.lineSpacing() + metrics.ascent(), lines[i]);
    painter.end();

    QWidget titled;
    titled.setWindowTitle(QString::fromLocal8Bit(argv[1]));
    if (!ShotFrame::Framed(&titled, content).save(QString::fromLocal8Bit(argv[2]))) {
        std::fprintf(stderr, "term-shot: cannot write %s\n", argv[2]);
        return 1;
    }
    return 0;
}
