#include "app/SessionMessages.h"

#include <cstdio>

namespace mt {

void SessionMessages::show(const QString& text, const QString& /*title*/, MessageIcon /*icon*/) {
    m_last = text.simplified(); // one line, as a status line and a log show it
    std::fprintf(stderr, "marrowtune: %s\n", m_last.toLocal8Bit().constData());
    if (onShown) {
        onShown(m_last);
    }
}

} // namespace mt
