#include "ui/PerformanceApplication.h"

#include "core/CoreAccess.h"

#include <QEvent>

namespace mt {
namespace {

// Painting only: Qt's own handling, which reads widgets and never the core.
bool IsPainting(const QObject& receiver, const QEvent& event) {
    switch (event.type()) {
    case QEvent::Paint:
    case QEvent::UpdateRequest:
        return true;
    case QEvent::Timer:
        return receiver.isWindowType(); // a window's update timer
    default:
        return false;
    }
}

} // namespace

PerformanceApplication::PerformanceApplication(int& argc, char** argv) : QApplication(argc, argv) {}

void PerformanceApplication::lendCore(CoreAccess* access) {
    if (m_access != nullptr) {
        m_access->takeBack();
    }
    m_access = access;
    if (m_access != nullptr && m_busy == 0) {
        m_access->lend();
    }
}

bool PerformanceApplication::notify(QObject* receiver, QEvent* event) {
    const bool ours = receiver == nullptr || event == nullptr || !IsPainting(*receiver, *event);
    if (ours && m_busy++ == 0 && m_access != nullptr) {
        m_access->takeBack();
    }
    const bool handled = QApplication::notify(receiver, event);
    if (ours && --m_busy == 0 && m_access != nullptr) {
        m_access->lend();
    }
    return handled;
}

} // namespace mt
