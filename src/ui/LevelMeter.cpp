#include "ui/LevelMeter.h"

#include <QPainter>

#include <algorithm>
#include <cmath>

namespace mt {
namespace {

const QColor kTrough(32, 32, 32);
const QColor kGreen(40, 200, 70);
const QColor kAmber(235, 190, 30);
const QColor kRed(240, 40, 40);
const QColor kClipOff(90, 24, 24);

constexpr float kAmberDb = -12.0f; // the bar turns amber above this, red above kRedDb
constexpr float kRedDb = -3.0f;

} // namespace

LevelMeter::LevelMeter(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setFocusPolicy(Qt::NoFocus);
}

void LevelMeter::takePeak(float peak) {
    const float db = peak > 0.0f ? std::max(20.0f * std::log10(peak), kFloorDb) : kFloorDb;
    if (db >= m_levelDb) {
        m_levelDb = db;
        m_holdTicks = kHoldTicks;
    } else if (m_holdTicks > 0) {
        --m_holdTicks;
    } else {
        m_levelDb = std::max(db, m_levelDb - kFallDbPerTick);
    }
    if (peak >= 1.0f) {
        m_clipTicks = kClipHoldTicks;
    } else if (m_clipTicks > 0) {
        --m_clipTicks;
    }
    if (fillLength() != m_drawnFill || clipLit() != m_drawnClip) {
        update();
    }
}

int LevelMeter::markLength() const {
    const int across = horizontal() ? height() : width();
    return std::clamp(across / 2, 3, 6);
}

int LevelMeter::barLength() const {
    return std::max(0, (horizontal() ? width() : height()) - markLength() - 1);
}

int LevelMeter::fillLength() const {
    const float part = (m_levelDb - kFloorDb) / -kFloorDb;
    return static_cast<int>(std::lround(std::clamp(part, 0.0f, 1.0f) * barLength()));
}

void LevelMeter::paintEvent(QPaintEvent* /*event*/) {
    QPainter p(this);
    p.fillRect(rect(), kTrough);
    const int bar = barLength();
    const int fill = fillLength();
    const auto at = [bar](float db) {
        return static_cast<int>(std::lround((db - kFloorDb) / -kFloorDb * bar));
    };
    // A stretch [from, to) along the bar, counted from its quiet end.
    const auto paint = [&](int from, int to, const QColor& colour) {
        if (to <= from) {
            return;
        }
        if (horizontal()) {
            p.fillRect(QRect(from, 0, to - from, height()), colour);
        } else {
            p.fillRect(QRect(0, height() - to, width(), to - from), colour);
        }
    };
    paint(0, std::min(fill, at(kAmberDb)), kGreen);
    paint(at(kAmberDb), std::min(fill, at(kRedDb)), kAmber);
    paint(at(kRedDb), fill, kRed);
    paint(bar + 1, bar + 1 + markLength(), clipLit() ? kRed : kClipOff);
    m_drawnFill = fill;
    m_drawnClip = clipLit();
}

} // namespace mt
