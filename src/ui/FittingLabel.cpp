#include "ui/FittingLabel.h"

#include <QPainter>
#include <QStyle>

namespace mt {

FittingLabel::FittingLabel(const QString& text, Fit fit, QWidget* parent)
    : QLabel(text, parent), m_fit(fit) {}

void FittingLabel::paintEvent(QPaintEvent* /*event*/) {
    QPainter painter(this);
    drawFrame(&painter);
    const QRect area = contentsRect();
    QFont font = this->font();
    if (m_fit == Fit::Shrink) {
        const double step = 0.5;
        while (QFontMetricsF(font).horizontalAdvance(text()) > area.width() &&
               font.pointSizeF() - step >= kSmallestPoints) {
            font.setPointSizeF(font.pointSizeF() - step);
        }
    }
    painter.setFont(font);
    const QString shown = painter.fontMetrics().elidedText(
        text(), m_fit == Fit::Elide ? Qt::ElideMiddle : Qt::ElideRight, area.width());
    style()->drawItemText(&painter, area, static_cast<int>(alignment()), palette(), isEnabled(),
                          shown, foregroundRole());
}

} // namespace mt
