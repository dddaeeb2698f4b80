#include "ui/DisplayFeed.h"

#include <QEvent>
#include <QTimer>
#include <QWidget>

namespace mt {

DisplayFeed::DisplayFeed(QWidget& window) : QObject(&window), m_window(window) {
    m_timer = new QTimer(&window);
    m_timer->setObjectName(QStringLiteral("TimerDisplay"));
    m_timer->setInterval(kIntervalMs);
    connect(m_timer, &QTimer::timeout, this, &DisplayFeed::tick);
    window.installEventFilter(this);
    reconsider();
}

void DisplayFeed::add(std::function<void()> work) {
    m_work.push_back(std::move(work));
}

bool DisplayFeed::running() const {
    return m_timer->isActive();
}

bool DisplayFeed::eventFilter(QObject* watched, QEvent* event) {
    switch (event->type()) {
    case QEvent::Show:
    case QEvent::Hide:
    case QEvent::Expose:
    case QEvent::WindowStateChange:
        if (watched == &m_window || watched == m_watched) {
            // After the event: a widget's Show comes before its native window is exposed.
            QMetaObject::invokeMethod(this, &DisplayFeed::reconsider, Qt::QueuedConnection);
        }
        break;
    default:
        break;
    }
    return false;
}

void DisplayFeed::reconsider() {
    QWindow* native = m_window.windowHandle();
    if (native != m_watched) {
        if (m_watched != nullptr) {
            m_watched->removeEventFilter(this);
        }
        m_watched = native;
        if (m_watched != nullptr) {
            m_watched->installEventFilter(this);
        }
    }
    const bool onScreen = m_window.isVisible() && !m_window.isMinimized() && m_watched != nullptr &&
                          m_watched->isExposed();
    if (onScreen && !m_timer->isActive()) {
        m_timer->start();
        tick(); // what plays now, not a tick later
    } else if (!onScreen) {
        m_timer->stop();
    }
}

void DisplayFeed::tick() {
    for (const std::function<void()>& work : m_work) {
        work();
    }
}

} // namespace mt
