#include "ui/WaveformView.h"

#include <QPainter>

#include <algorithm>
#include <cmath>

namespace mt {
namespace {

const QColor kBackground(24, 28, 32);
const QColor kLoopShade(34, 70, 92);
const QColor kCentre(60, 66, 72);
const QColor kOutline(150, 205, 225);

} // namespace

WaveformView::WaveformView(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setFocusPolicy(Qt::NoFocus);
}

void WaveformView::setOverview(std::shared_ptr<const WaveOverview> overview) {
    if (overview == m_overview) {
        return;
    }
    m_overview = std::move(overview);
    m_playheadX = -1;
    drawOutline();
}

void WaveformView::setLooping(bool looping) {
    if (looping != m_looping) {
        m_looping = looping;
        drawOutline();
    }
}

void WaveformView::setPlayhead(std::optional<std::int64_t> frame) {
    const int x = frame ? columnOf(*frame) : -1;
    if (x == m_playheadX) {
        return;
    }
    if (m_playheadX >= 0) {
        update(m_playheadX, 0, 1, height());
    }
    if (x >= 0) {
        update(x, 0, 1, height());
    }
    m_playheadX = x;
}

int WaveformView::columnOf(std::int64_t frame) const {
    if (!m_overview || m_overview->frames <= 0 || width() <= 0) {
        return -1;
    }
    const std::int64_t x =
        std::clamp<std::int64_t>(frame, 0, m_overview->frames) * width() / m_overview->frames;
    return static_cast<int>(std::min<std::int64_t>(x, width() - 1));
}

void WaveformView::resizeEvent(QResizeEvent* /*event*/) {
    drawOutline();
}

void WaveformView::drawOutline() {
    m_outline = QImage(std::max(width(), 1), std::max(height(), 1), QImage::Format_RGB32);
    m_outline.fill(kBackground);
    QPainter p(&m_outline);
    const int w = m_outline.width();
    const int h = m_outline.height();
    if (m_overview && m_overview->frames > 0 && m_looping) {
        p.fillRect(QRect(0, 0, w, h), kLoopShade);
    }
    p.setPen(kCentre);
    p.drawLine(0, h / 2, w - 1, h / 2);
    const int columns = m_overview ? m_overview->columns() : 0;
    if (columns > 0) {
        p.setPen(kOutline);
        const float half = 0.5f * static_cast<float>(h - 1);
        const auto y = [half](float v) {
            return static_cast<int>(std::lround(half - std::clamp(v, -1.0f, 1.0f) * half));
        };
        for (int x = 0; x < w; ++x) {
            // Each pixel takes the columns under it; wider than the columns, one column each.
            const int first = static_cast<int>(static_cast<std::int64_t>(x) * columns / w);
            const int end = std::max(
                first + 1, static_cast<int>(static_cast<std::int64_t>(x + 1) * columns / w));
            const WaveOverview::Span s = m_overview->span(first, end);
            p.drawLine(x, y(s.high), x, y(s.low));
        }
    }
    update();
}

void WaveformView::paintEvent(QPaintEvent* /*event*/) {
    QPainter p(this);
    p.drawImage(0, 0, m_outline);
    if (m_playheadX >= 0) {
        p.setPen(kPlayhead);
        p.drawLine(m_playheadX, 0, m_playheadX, height() - 1);
    }
}

} // namespace mt
