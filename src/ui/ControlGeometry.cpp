#include "ui/ControlGeometry.h"

#include <QScreen>
#include <QWidget>

#include <cmath>

namespace mt {

double TwipsPerPixel(const QWidget* widget) {
    const QScreen* screen = widget != nullptr ? widget->screen() : nullptr;
    const double dpi = screen != nullptr ? screen->logicalDotsPerInchY() : 96.0;
    return 1440.0 / (dpi > 0.0 ? dpi : 96.0);
}

int TwipsToPixels(int twips, double twipsPerPixel) {
    return static_cast<int>(std::lround(twips / twipsPerPixel));
}

void ApplyGeometry(QWidget& root, const std::vector<ControlPlacement>& table,
                   double twipsPerPixel) {
    for (const ControlPlacement& row : table) {
        auto* control = root.findChild<QWidget*>(row.name);
        if (control == nullptr) {
            continue;
        }
        const TwipsRect& r = row.rect;
        control->setGeometry(TwipsToPixels(r.left, twipsPerPixel),
                             TwipsToPixels(r.top, twipsPerPixel),
                             TwipsToPixels(r.width, twipsPerPixel),
                             TwipsToPixels(r.height, twipsPerPixel));
        if (r.fontSize > 0.0f) {
            QFont font = control->font();
            font.setPointSizeF(r.fontSize);
            control->setFont(font);
        }
    }
}

const std::vector<ControlPlacement>& MainWindowGeometry() {
    // Rows are added as the window's panels are built.
    static const std::vector<ControlPlacement> table;
    return table;
}

} // namespace mt
