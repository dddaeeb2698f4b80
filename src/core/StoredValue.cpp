#include "core/StoredValue.h"

namespace mt {

std::optional<bool> StoredBool(const std::optional<QString>& text) {
    if (!text) {
        return std::nullopt;
    }
    const QString t = text->trimmed();
    if (t.compare(QLatin1String("True"), Qt::CaseInsensitive) == 0) {
        return true;
    }
    if (t.compare(QLatin1String("False"), Qt::CaseInsensitive) == 0) {
        return false;
    }
    bool ok = false;
    const int number = t.toInt(&ok);
    return ok ? std::optional<bool>(number != 0) : std::nullopt;
}

std::optional<long long> StoredInt(const std::optional<QString>& text, long long lowest,
                                   long long highest) {
    bool ok = false;
    const long long value = text ? text->trimmed().toLongLong(&ok) : 0;
    return ok && value >= lowest && value <= highest ? std::optional<long long>(value)
                                                     : std::nullopt;
}

std::optional<double> StoredDouble(const std::optional<QString>& text) {
    bool ok = false;
    const double value = text ? text->trimmed().toDouble(&ok) : 0.0;
    return ok ? std::optional<double>(value) : std::nullopt;
}

} // namespace mt
