#pragma once

#include <QColor>
#include <QPushButton>

namespace mt {

// A push button in one of the track colours. The colour is not set as the button's palette:
// every palette set is new to the style, which caches each button's drawing under its palette,
// so a button changing colour at every press would grow the program by a little at each. The
// button paints with one palette per colour instead, made once and kept.
class ColourButton final : public QPushButton {
    Q_OBJECT

public:
    using QPushButton::QPushButton;

    // An invalid colour paints with the button's own palette.
    void setColour(const QColor& colour);
    QColor colour() const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QColor m_colour;
};

} // namespace mt
