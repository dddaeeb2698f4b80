#pragma once

#include <QLabel>

namespace mt {

// A label that reports mouse presses, for the track numbers' popup menu.
class ClickableLabel final : public QLabel {
    Q_OBJECT

public:
    using QLabel::QLabel;

signals:
    void mousePressed(Qt::MouseButton button, const QPoint& globalPos);

protected:
    void mousePressEvent(QMouseEvent* event) override;
};

} // namespace mt
