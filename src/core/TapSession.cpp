#include "core/TapSession.h"

#include "core/CdBar.h"
#include "core/TapClock.h"
#include "platform/Numbers.h"

namespace mt {
namespace {

constexpr const char* kBarPattern = "#,###0.000";
constexpr const char* kBpmPattern = "#,#0.000";

QString BarText(double seconds) {
    return FormatNumber(RoundHalfUp(seconds, 3), kBarPattern);
}

} // namespace

TapSession::TapSession(TapClock& clock, CdBar& bar) : m_clock(clock), m_bar(bar) {}

TapSession::~TapSession() {
    m_clock.stop();
}

void TapSession::open() {
    m_barText = FormatNumber(m_bar.barSeconds(), kBarPattern);
    const QString bpm = m_bar.bpmText();
    if (bpm != m_bpmText) {
        type(bpm); // in typed mode the CD's own tempo is then the one typed
    } else {
        emit changed();
    }
}

void TapSession::start() {
    if (m_clock.running()) {
        return;
    }
    m_clock.start();
    m_tempo.start();
    m_measuring = true; // shown even when the clock failed to start
    emit changed();
}

void TapSession::tap() {
    if (!m_clock.running() || !m_tempo.tap(m_clock.elapsedMs())) {
        return; // no line yet: the display keeps what it showed
    }
    m_barText = BarText(m_tempo.result().seconds);
    if (!m_typing) {
        m_bpmText = FormatNumber(RoundHalfUp(m_tempo.result().bpm, 3), kBpmPattern);
    }
    emit changed();
}

void TapSession::reset() {
    m_clock.stop();
    m_tempo.clearTaps();
    m_measuring = false;
    emit changed();
}

void TapSession::setTyping(bool on) {
    m_typing = on;
    emit changed();
}

void TapSession::type(const QString& text) {
    m_bpmText = text;
    if (m_typing && m_tempo.enter(text)) {
        m_barText = BarText(m_tempo.result().seconds);
    }
    emit changed();
}

void TapSession::handOver() {
    m_clock.stop();
    const TapTempo::Bar bar = m_tempo.handOver(
        {m_bar.barSeconds(), m_bar.bpm()}, CdBar::kShortestMs / 1000.0, CdBar::kLongestMs / 1000.0);
    m_bar.take(bar.seconds, bar.bpm);
    clear();
    emit handedOver(240.0 / bar.seconds);
}

void TapSession::cancel() {
    m_clock.stop();
    m_typing = false;
    clear();
}

void TapSession::clear() {
    m_measuring = false;
    m_tempo.clearResult();
    m_tempo.clearTaps();
    emit changed();
}

} // namespace mt
