#include "ui/AudioStatusLine.h"

#include "audio/DsCalls.h"
#include "core/AppContext.h"

#include <QDateTime>
#include <QMouseEvent>
#include <QTimer>

#include <algorithm>
#include <cmath>

namespace mt {
namespace {

constexpr int kDisplayIntervalMs = 33;

QString SystemName(const std::string& api) {
    if (api == "pulse") {
        return QStringLiteral("PulseAudio");
    }
    if (api == "jack") {
        return QStringLiteral("JACK");
    }
    if (api == "alsa") {
        return QStringLiteral("ALSA");
    }
    return QString::fromStdString(api);
}

QString Kilohertz(int hz) {
    return QString::number(hz / 1000.0, 'g', 4) + QStringLiteral(" kHz");
}

QString FormatText(const OutputConfig& format, int bits) {
    return Kilohertz(format.sampleRate) + QStringLiteral(" %1 bit ").arg(bits) +
           (format.channels == 1 ? QStringLiteral("モノラル") : QStringLiteral("ステレオ"));
}

} // namespace

AudioStatusLine::AudioStatusLine(AppContext& app, QWidget* parent)
    : QLabel(parent), m_app(app), m_timer(new QTimer(this)) {
    setObjectName(QStringLiteral("lblAudioStatus"));
    setToolTip(QStringLiteral("サウンド出力の状態（クリックで出力の設定）"));
    setCursor(Qt::PointingHandCursor);
    setContentsMargins(6, 0, 6, 0);
    QFont small = font();
    small.setPointSizeF(small.pointSizeF() * 0.85);
    setFont(small);
    m_timer->setObjectName(QStringLiteral("TimerAudioStatus"));
    m_timer->setInterval(kDisplayIntervalMs);
    connect(m_timer, &QTimer::timeout, this, &AudioStatusLine::refresh);
    m_timer->start();
    refresh();
}

QString AudioStatusLine::Describe(const LibraryHealth* health) {
    if (health == nullptr) {
        return QStringLiteral("サウンド出力なし — クリックして出力を選ぶ");
    }
    const LibraryHealth& h = *health;
    QString text;
    if (h.reopening || h.device.api.empty() || !h.device.alive) {
        text = QStringLiteral("出力が止まりました — 再接続しています… ・ アンダーラン %1")
                   .arg(h.underruns);
    } else {
        const OutputHealth& d = h.device;
        QString rate = Kilohertz(d.deviceRate);
        if (d.deviceRate != h.format.sampleRate) {
            rate = Kilohertz(h.format.sampleRate) + QStringLiteral("→") + rate;
        }
        const double blockMs = 1000.0 * d.blockFrames / std::max(d.deviceRate, 1);
        text = QStringLiteral("%1 %2 ・ %3 (%4 ms) ・ 遅延 %5 ms ・ アンダーラン %6 ・ 負荷 %7%")
                   .arg(SystemName(d.api), rate)
                   .arg(d.blockFrames)
                   .arg(blockMs, 0, 'f', 1)
                   .arg(1000.0 * d.latencySeconds, 0, 'f', 1)
                   .arg(h.underruns)
                   .arg(static_cast<int>(std::lround(100.0 * d.load)));
    }
    if (h.formatRefused) {
        text += QStringLiteral(" ・ %1 は使えません（%2 で再生中）")
                    .arg(FormatText(h.refused, h.refusedBits), FormatText(h.format, h.bits));
    }
    return text;
}

void AudioStatusLine::refresh() {
    LibraryHealth health;
    const bool present =
        m_app.sound.soundLibHandle != 0 && dsGetHealth(m_app.sound.soundLibHandle, health);
    // The load shown is the worst block of the last second: one bad block must stay readable.
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    if (now - m_peakSince >= 1000) {
        m_peakLoad = 0.0f;
        m_peakSince = now;
    }
    m_peakLoad = std::max(m_peakLoad, health.device.load);
    health.device.load = m_peakLoad;
    const QString text = Describe(present ? &health : nullptr);
    const bool warn = !present || health.reopening || !health.device.alive || health.formatRefused;
    if (text != this->text()) {
        setText(text);
    }
    if (warn != m_warned) {
        m_warned = warn;
        setStyleSheet(warn ? QStringLiteral("color: rgb(200, 0, 0); font-weight: bold;")
                           : QString());
    }
}

void AudioStatusLine::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && onClicked) {
        onClicked();
        return;
    }
    QLabel::mousePressEvent(event);
}

} // namespace mt
