#pragma once

#include <QWidget>

namespace mt {

// A peak meter of one output: a bar from kFloorDb up to 0 dBFS and a clip mark past its end.
// Fed once a display tick with the output's peak (linear, full scale = 1.0): the bar rises at
// once, holds for kHoldTicks, then falls kFallDbPerTick a tick, never below what is fed, so
// it reaches its floor within a third of a second of silence. The clip mark lights at 0 dBFS
// and stays lit for kClipHoldTicks. Horizontal when wider than tall. Clicks pass through.
// UI thread only.
class LevelMeter final : public QWidget {
    Q_OBJECT

public:
    static constexpr float kFloorDb = -60.0f;
    static constexpr int kHoldTicks = 2;
    static constexpr float kFallDbPerTick = 20.0f;
    static constexpr int kClipHoldTicks = 60;

    explicit LevelMeter(QWidget* parent);

    // One display tick's peak. Repaints only when a pixel changes.
    void takePeak(float peak);

    // The bar's level in dBFS; kFloorDb at rest.
    float levelDb() const { return m_levelDb; }
    bool clipLit() const { return m_clipTicks > 0; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    bool horizontal() const { return width() >= height(); }
    int markLength() const;
    int barLength() const;
    int fillLength() const;

    float m_levelDb = kFloorDb;
    int m_holdTicks = 0;
    int m_clipTicks = 0;
    int m_drawnFill = -1;
    bool m_drawnClip = false;
};

} // namespace mt
