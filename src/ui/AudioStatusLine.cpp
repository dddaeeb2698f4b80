#include "ui/AudioStatusLine.h"

#include "audio/SoundDevice.h"
#include "audio/SoundLibrary.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QMouseEvent>
#include <QStringList>
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
           (format.channels == 1 ? QCoreApplication::translate("mt::AudioStatusLine", "モノラル")
                                 : QCoreApplication::translate("mt::AudioStatusLine", "ステレオ"));
}

} // namespace

AudioStatusLine::AudioStatusLine(SoundDevice& sound, QWidget* parent)
    : QLabel(parent), m_sound(sound), m_timer(new QTimer(this)) {
    setObjectName(QStringLiteral("lblAudioStatus"));
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
        return tr("サウンド出力なし（クリックで設定）");
    }
    // Short enough for the menu bar's corner beside the menus; the tool tip has it in full.
    const LibraryHealth& h = *health;
    QString text;
    if (h.reopening || h.device.api.empty() || !h.device.alive) {
        text = tr("出力停止・再接続中… アンダーラン %1").arg(h.underruns);
    } else {
        const OutputHealth& d = h.device;
        QString rate = Kilohertz(d.deviceRate);
        if (d.deviceRate != h.format.sampleRate) {
            rate = Kilohertz(h.format.sampleRate) + QStringLiteral("→") + rate;
        }
        text = tr("%1 %2/%3・遅延 %4 ms・アンダーラン %5・負荷 %6%")
                   .arg(SystemName(d.api), rate)
                   .arg(d.blockFrames)
                   .arg(1000.0 * d.latencySeconds, 0, 'f', 1)
                   .arg(h.underruns)
                   .arg(static_cast<int>(std::lround(100.0 * d.load)));
    }
    if (h.formatRefused) {
        text += tr("・%1 不可").arg(FormatText(h.refused, h.refusedBits));
    }
    return text;
}

QString AudioStatusLine::Explain(const LibraryHealth* health) {
    if (health == nullptr) {
        return tr("サウンドデバイスを開けませんでした。クリックすると出力の設定を開きます。");
    }
    const LibraryHealth& h = *health;
    QStringList lines;
    if (h.reopening || h.device.api.empty() || !h.device.alive) {
        lines << tr("サウンドサーバーとの接続が切れました。1 秒ごとに開き直しています。");
    } else {
        const OutputHealth& d = h.device;
        lines << tr("オーディオシステム: %1").arg(SystemName(d.api))
              << tr("デバイスのレート: %1").arg(Kilohertz(d.deviceRate))
              << tr("ブロック: %1 フレーム（%2 ms）")
                     .arg(d.blockFrames)
                     .arg(1000.0 * d.blockFrames / std::max(d.deviceRate, 1), 0, 'f', 1)
              << tr("遅延: %1 ms").arg(1000.0 * d.latencySeconds, 0, 'f', 1)
              << tr("負荷（直近 1 秒の最大）: %1%")
                     .arg(static_cast<int>(std::lround(100.0 * d.load)));
    }
    lines << tr("アンダーラン（音切れ）: %1").arg(h.underruns)
          << tr("出力フォーマット: %1").arg(FormatText(h.format, h.bits));
    if (h.formatRefused) {
        lines << tr("%1 はデバイスが受け付けないため、前の形式で再生しています。")
                     .arg(FormatText(h.refused, h.refusedBits));
    }
    lines << tr("クリックすると出力の設定を開きます。");
    return lines.join(QLatin1Char('\n'));
}

void AudioStatusLine::refresh() {
    LibraryHealth health;
    const bool present = m_sound.health(health);
    // The load shown is the worst block of the last second: one bad block must stay readable.
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    if (now - m_peakSince >= 1000) {
        m_peakLoad = 0.0f;
        m_peakSince = now;
    }
    m_peakLoad = std::max(m_peakLoad, health.device.load);
    health.device.load = m_peakLoad;
    const QString text = Describe(present ? &health : nullptr);
    const QString tip = Explain(present ? &health : nullptr);
    if (tip != toolTip()) {
        setToolTip(tip);
    }
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

QSize AudioStatusLine::sizeHint() const {
    const QString typical =
        tr("PulseAudio 22.05 kHz/128・遅延 13.0 ms・アンダーラン 000・負荷 100%");
    const QMargins m = contentsMargins();
    return {fontMetrics().horizontalAdvance(typical) + m.left() + m.right(),
            QLabel::sizeHint().height()};
}

void AudioStatusLine::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && onClicked) {
        onClicked();
        return;
    }
    QLabel::mousePressEvent(event);
}

} // namespace mt
