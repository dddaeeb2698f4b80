#pragma once

#include <QObject>
#include <QPointer>
#include <QWindow>

#include <functional>
#include <vector>

class QTimer;
class QWidget;

namespace mt {

// The display-rate work of one window (its meters and playheads), run from one timer at
// ~30 Hz only while the window is shown and on screen: hidden, minimised or unmapped, the
// timer stops and the work costs nothing. The timer is the window's child "TimerDisplay".
// UI thread only.
class DisplayFeed final : public QObject {
    Q_OBJECT

public:
    static constexpr int kIntervalMs = 33;

    explicit DisplayFeed(QWidget& window);

    // Runs `work` on every tick, in the order added.
    void add(std::function<void()> work);
    bool running() const;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void reconsider();
    void tick();

    QWidget& m_window;
    QPointer<QWindow> m_watched; // the native window whose exposure is followed
    QTimer* m_timer;
    std::vector<std::function<void()>> m_work;
};

} // namespace mt
