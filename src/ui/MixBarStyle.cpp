#include "ui/MixBarStyle.h"

#include <QApplication>
#include <QPainter>
#include <QPointer>
#include <QProxyStyle>
#include <QStyleFactory>
#include <QStyleOptionSlider>

namespace mt {
namespace {

const QColor kHandle(52, 64, 92);         // dark slate on a groove of about (224, 224, 224)
const QColor kHandlePressed(24, 36, 140); // darker and bluer while it is dragged
const QColor kHandleDisabled(150, 150, 150);
const QColor kHandleEdge(16, 16, 16);

class ContrastBarStyle final : public QProxyStyle {
public:
    ContrastBarStyle() : QProxyStyle(QStyleFactory::create(QStringLiteral("Fusion"))) {}

    void drawComplexControl(ComplexControl control, const QStyleOptionComplex* option,
                            QPainter* painter, const QWidget* widget) const override {
        const auto* bar = qstyleoption_cast<const QStyleOptionSlider*>(option);
        if (control != CC_ScrollBar || bar == nullptr) {
            QProxyStyle::drawComplexControl(control, option, painter, widget);
            return;
        }
        // Groove and arrows as Fusion draws them; the handle our own.
        QStyleOptionSlider rest(*bar);
        rest.subControls &= ~SC_ScrollBarSlider;
        QProxyStyle::drawComplexControl(control, &rest, painter, widget);
        if ((bar->subControls & SC_ScrollBarSlider) == 0) {
            return;
        }
        const QRect handle = subControlRect(CC_ScrollBar, bar, SC_ScrollBarSlider, widget);
        if (handle.isEmpty()) {
            return;
        }
        const bool pressed =
            (bar->activeSubControls & SC_ScrollBarSlider) != 0 && (bar->state & State_Sunken);
        const QColor fill = (bar->state & State_Enabled) == 0 ? kHandleDisabled
                            : pressed                         ? kHandlePressed
                                                              : kHandle;
        painter->save();
        painter->setPen(kHandleEdge);
        painter->setBrush(fill);
        painter->drawRect(handle.adjusted(0, 0, -1, -1));
        painter->restore();
    }
};

} // namespace

QStyle* MixBarStyle() {
    static QPointer<QStyle> style;
    if (style.isNull()) {
        style = new ContrastBarStyle;
        style->setParent(qApp); // lives as long as the application, as every widget using it
    }
    return style;
}

} // namespace mt
