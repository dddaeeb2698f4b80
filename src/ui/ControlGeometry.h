#pragma once

#include "files/LayoutFile.h"

#include <QString>

#include <vector>

class QWidget;

namespace mt {

// Position and size in twips (1/1440 inch) relative to the control's container, and the font
// size in points (0: the control has no font): a layout file's record.
using TwipsRect = LayoutRecord;

struct ControlPlacement {
    QString name; // the control's objectName
    TwipsRect rect;
};

// Main-window dimensions in twips before any layout file is applied.
inline constexpr int kMainWindowWidthTwips = 11325;
inline constexpr int kMediaPanelClosedHeightTwips = 8100;
inline constexpr int kMediaPanelOpenHeightTwips = 9600;
inline constexpr int kMainWindowTopTwips = 100;

// Twips per screen pixel of the screen the widget is on (15 at 96 dpi).
double TwipsPerPixel(const QWidget* widget);

int TwipsToPixels(int twips, double twipsPerPixel);

// Places every descendant of `root` whose objectName has a row in `table`. Rows for controls
// that do not exist (yet) are skipped.
void ApplyGeometry(QWidget& root, const std::vector<ControlPlacement>& table, double twipsPerPixel);

// The main window's controls in the normal layout.
const std::vector<ControlPlacement>& MainWindowGeometry();

// The small layout for an 800 x 600 screen, and how much it presses the heights together.
inline constexpr float kSmallHeightScale = 0.84f;
std::vector<ControlPlacement> SmallWindowGeometry();

} // namespace mt
