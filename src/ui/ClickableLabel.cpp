#include "ui/ClickableLabel.h"

#include <QMouseEvent>

namespace mt {

void ClickableLabel::mousePressEvent(QMouseEvent* event) {
    emit mousePressed(event->button(), event->globalPosition().toPoint());
    QLabel::mousePressEvent(event);
}

} // namespace mt
