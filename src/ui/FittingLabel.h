#pragma once

#include <QLabel>

namespace mt {

// A one-line label whose text is always drawn whole inside it, whatever the layout gives it:
// a name too long for it loses its middle ("Opening T…ix v3.wav"); a number is drawn in
// smaller type, down to kSmallestPoints, and only past that loses its end. text() stays the
// whole text.
class FittingLabel final : public QLabel {
    Q_OBJECT

public:
    enum class Fit { Elide, Shrink };
    static constexpr double kSmallestPoints = 6.0;

    FittingLabel(const QString& text, Fit fit, QWidget* parent);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    Fit m_fit;
};

} // namespace mt
