#include "core/CoreAccess.h"

namespace mt {

CoreAccess::CoreAccess() {
    m_mutex.lock();
}

CoreAccess::~CoreAccess() {
    if (!m_lent) {
        m_mutex.unlock();
    }
}

void CoreAccess::lend() {
    if (!m_lent) {
        m_lent = true;
        m_mutex.unlock();
    }
}

void CoreAccess::takeBack() {
    if (m_lent) {
        m_mutex.lock();
        m_lent = false;
    }
}

} // namespace mt
