#pragma once

#include <QLatin1String>
#include <QString>

namespace mt {

// The widget with its objectName set: the control's old name, which the layout tables, the
// glossary and the tests find it by. Returns the widget, so it names where it is made.
template <typename W> W* Named(W* widget, const char* name) {
    widget->setObjectName(QLatin1String(name));
    return widget;
}

// One of a control array's members: "name(index)", as the layout tables list them.
template <typename W> W* Named(W* widget, const char* name, int index) {
    widget->setObjectName(QStringLiteral("%1(%2)").arg(QLatin1String(name)).arg(index));
    return widget;
}

} // namespace mt
