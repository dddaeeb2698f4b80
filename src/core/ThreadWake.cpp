#include "core/ThreadWake.h"

#include <QSocketNotifier>

#include <sys/eventfd.h>
#include <unistd.h>

#include <cstdint>

namespace mt {

ThreadWake::ThreadWake(QObject* parent)
    : QObject(parent), m_fd(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {
    if (m_fd >= 0) {
        m_notifier = new QSocketNotifier(m_fd, QSocketNotifier::Read, this);
        connect(m_notifier, &QSocketNotifier::activated, this, [this] {
            std::uint64_t count = 0;
            if (::read(m_fd, &count, sizeof count) == sizeof count) {
                emit woken();
            }
        });
    }
}

ThreadWake::~ThreadWake() {
    delete m_notifier;
    if (m_fd >= 0) {
        ::close(m_fd);
    }
}

void ThreadWake::wake() noexcept {
    const std::uint64_t one = 1;
    if (m_fd >= 0) {
        [[maybe_unused]] const ssize_t written = ::write(m_fd, &one, sizeof one);
    }
}

} // namespace mt
