#pragma once

#include <QLabel>

#include <functional>

class QTimer;

namespace mt {

struct LibraryHealth;
class SoundDevice;

// One line on the main window that always shows how the sound output is doing: the audio
// system, the device rate and block, the latency, the underruns so far and the callback's
// load; or that the output is being reopened, or that a format was refused. It reads the
// library at display rate, which also keeps the library's upkeep (freeing, reopening a dead
// stream) going. A click opens the output window. UI thread only.
class AudioStatusLine final : public QLabel {
    Q_OBJECT

public:
    AudioStatusLine(SoundDevice& sound, QWidget* parent);

    // What a click does: open the output window.
    std::function<void()> onClicked;

    // The line for a library's state (null: no library, no output at all), and the same in
    // full for its tool tip.
    static QString Describe(const LibraryHealth* health);
    static QString Explain(const LibraryHealth* health);

    // Reads the library now, as the timer does.
    void refresh();

    // A fixed width that holds a typical line: the menu bar lays its corner out by the hint
    // once, not at every change of text.
    QSize sizeHint() const override;

protected:
    void mousePressEvent(QMouseEvent* event) override;

private:
    SoundDevice& m_sound;
    QTimer* m_timer;
    float m_peakLoad = 0.0f; // the worst load within the current second
    qint64 m_peakSince = 0;  // ms, steady
    bool m_warned = false;
};

} // namespace mt
