#include "ui/PanelTime.h"

#include <QLabel>

namespace mt {
namespace {

// The pattern "##00": at least two digits, a minus sign before them when negative.
QString TwoDigits(std::int32_t n) {
    const QString digits = QString::number(n < 0 ? -static_cast<std::int64_t>(n) : n)
                               .rightJustified(2, QLatin1Char('0'));
    return n < 0 ? QLatin1Char('-') + digits : digits;
}

} // namespace

QString PanelTimeText(std::int32_t hundredths, int form) {
    // Division and remainder truncate toward zero, so the parts of a negative count keep its sign.
    const std::int32_t minutes = hundredths / 6000;
    const std::int32_t rest = hundredths % 6000;
    const QString m = TwoDigits(minutes);
    const QString s = TwoDigits(rest / 100);
    QString full = m + QLatin1Char(':') + s + QLatin1Char(':') + TwoDigits(rest % 100);
    switch (form) {
    case 0:
        return full;
    case 1:
        return m + QLatin1Char(':') + s;
    case 2:
        return QStringLiteral("a:") + full;
    case 3:
        return QStringLiteral("b:") + full;
    default:
        return {};
    }
}

void FormatPanelTime(QLabel& label, std::int32_t hundredths, int form) {
    const QString text = PanelTimeText(hundredths, form);
    if (!text.isNull()) {
        label.setText(text);
    }
}

} // namespace mt
