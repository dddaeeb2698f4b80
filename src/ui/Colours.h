#pragma once

#include <QApplication>
#include <QColor>
#include <QPalette>
#include <QWidget>

// The colour code of the track controls, on the main and the play-mode window alike.
namespace mt::colours {

inline const QColor kMagenta(255, 0, 255); // selected track's number, a playing track's button
inline const QColor kCyan(0, 255, 255);    // a stopped track's button
inline const QColor kBlue(0, 0, 255);      // something muted
inline const QColor kGrey(128, 128, 128);  // a lone-wolf member's frame
// The frame of a member of choke group 1 (the lone-wolf group) to 4.
inline const QColor kChokeGroup[] = {kGrey, QColor(110, 170, 110), QColor(200, 160, 100),
                                     QColor(150, 140, 210)};
inline const QColor kYellow(255, 255, 0); // a mode that is on
inline const QColor kOrange(255, 160, 0); // a track's start or stop waiting for the grid

inline QColor ButtonFace() {
    return QApplication::palette().color(QPalette::Button);
}

// An unchanged colour leaves the palette alone: every palette set is new to the style.
inline void SetRole(QWidget& widget, QPalette::ColorRole role, const QColor& colour) {
    if (widget.palette().color(role) == colour && widget.testAttribute(Qt::WA_SetPalette)) {
        return;
    }
    QPalette palette = widget.palette();
    palette.setColor(role, colour);
    widget.setPalette(palette);
}

inline void SetBackground(QWidget& widget, const QColor& colour) {
    SetRole(widget, QPalette::Window, colour);
}

inline void SetForeground(QWidget& widget, const QColor& colour) {
    SetRole(widget, QPalette::WindowText, colour);
}

// A track colour on a ColourButton; other buttons take it as their palette.
void SetButtonColour(QWidget& button, const QColor& colour);

} // namespace mt::colours
