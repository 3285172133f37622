// CKeyButton: one key of the HID parameter page's keyboard picture. Its text
// is the key's caption as the keyboard table gives it: the Shift character, a
// line feed, the Normal character, a tab, the AltGr character, with every
// "&" doubled. It is drawn as a push button (sunken while down, the text one
// pixel further right and down), the text inset by 5 pixels left and right
// and 3 top and bottom, without a background of its own: the Shift part at
// the top left, the Normal part at the bottom left, the AltGr part at the
// bottom right, each on one line. The doubled "&" shows as one character;
// nothing is a mnemonic.
#pragma once

#include <QPushButton>

class CKeyButton : public QPushButton {
    Q_OBJECT
public:
    explicit CKeyButton(QWidget* parent = nullptr);

    // The text area inside the button's edges.
    static constexpr int InsetX = 5, InsetY = 3;

    // The three parts of a caption text ("&&" already back to "&").
    struct Parts {
        QString shift, normal, altGr;
    };
    static Parts Split(const QString& text);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
};
