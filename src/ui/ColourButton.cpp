#include "ui/ColourButton.h"

#include "ui/Colours.h"

#include <QApplication>
#include <QHash>
#include <QStyleOptionButton>
#include <QStylePainter>

namespace mt {
namespace {

// The application's palette with `colour` as the button colour, the same object for the same
// colour for the program's life.
const QPalette& PaletteFor(const QColor& colour) {
    static QHash<QRgb, QPalette> palettes;
    auto found = palettes.find(colour.rgba());
    if (found == palettes.end()) {
        QPalette palette = QApplication::palette();
        palette.setColor(QPalette::Button, colour);
        found = palettes.insert(colour.rgba(), palette);
    }
    return *found;
}

} // namespace

void colours::SetButtonColour(QWidget& button, const QColor& colour) {
    if (auto* coloured = qobject_cast<ColourButton*>(&button)) {
        coloured->setColour(colour);
    } else {
        SetRole(button, QPalette::Button, colour);
    }
}

void ColourButton::setColour(const QColor& colour) {
    if (colour != m_colour) {
        m_colour = colour;
        update();
    }
}

QColor ColourButton::colour() const {
    return m_colour.isValid() ? m_colour : palette().color(QPalette::Button);
}

void ColourButton::paintEvent(QPaintEvent* /*event*/) {
    QStylePainter painter(this);
    QStyleOptionButton option;
    initStyleOption(&option);
    if (m_colour.isValid()) {
        option.palette = PaletteFor(m_colour);
    }
    painter.drawControl(QStyle::CE_PushButton, option);
}

} // namespace mt
