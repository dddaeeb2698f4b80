#pragma once

#include "audio/WaveOverview.h"

#include <QImage>
#include <QWidget>

#include <cstdint>
#include <memory>
#include <optional>

namespace mt {

// A small drawing of a loaded sound: its outline, lowest to highest sample per pixel column
// resampled from the overview, shaded while the sound loops (a track loops its whole buffer),
// and a playhead line where the voice plays. Clicks pass through it and do nothing. UI thread only.
class WaveformView final : public QWidget {
    Q_OBJECT

public:
    static inline const QColor kPlayhead{255, 64, 64}; // drawn only by the playhead

    explicit WaveformView(QWidget* parent);

    // Null: nothing loaded, an empty view.
    void setOverview(std::shared_ptr<const WaveOverview> overview);
    // Whether the sound repeats: the whole view is shaded as the loop.
    void setLooping(bool looping);
    // The frame the voice plays, or none while it is silent. Repaints only when the line moves.
    void setPlayhead(std::optional<std::int64_t> frame);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    // The pixel column of a frame; -1 without a sound.
    int columnOf(std::int64_t frame) const;
    void drawOutline();

    std::shared_ptr<const WaveOverview> m_overview;
    bool m_looping = false;
    int m_playheadX = -1;
    QImage m_outline; // the still part at the current size, drawn when something in it changes
};

} // namespace mt
