#pragma once

#include "core/TapTempo.h"

#include <QObject>
#include <QString>

namespace mt {

class CdBar;
class TapClock;

// One sitting of the BPM counter: C starts a measurement on the tap clock, V taps, Z resets;
// or, in typed mode, the tempo is typed. OK hands the tapped or typed result to the CD's bar
// (within the up-down's range) and clears it. Holds what the counter window shows: the bar
// in seconds, the tempo's text and whether a measurement is under way. UI thread only.
class TapSession final : public QObject {
    Q_OBJECT

public:
    TapSession(TapClock& clock, CdBar& bar);
    // Stops the clock.
    ~TapSession() override;
    TapSession(const TapSession&) = delete;
    TapSession& operator=(const TapSession&) = delete;

    // The window opens: it shows the CD's bar and tempo.
    void open();
    // C: a measurement starts, unless one is under way.
    void start();
    // V, while the clock runs: a tap at its time. Once the taps give a tempo, the bar shows
    // it, and so does the tempo's text unless the tempo is typed.
    void tap();
    // Z: the clock stops, the taps go; the result shown stays.
    void reset();
    // Typed mode on or off: only in it does the typed text count, and only out of it do
    // taps write the tempo's text.
    void setTyping(bool on);
    // The tempo's text as typed; a tempo in it (typed mode only) gives the bar.
    void type(const QString& text);
    // OK: the result, or without one the CD's own, goes to the CD's bar; the measurement is
    // cleared.
    void handOver();
    // The window unloads: everything measured is forgotten, and typed mode is off.
    void cancel();

    bool typing() const { return m_typing; }
    // From C until Z, OK or the unload, even when the clock failed to start.
    bool measuring() const { return m_measuring; }
    // "#,###0.000" seconds.
    const QString& barText() const { return m_barText; }
    const QString& bpmText() const { return m_bpmText; }
    const TapTempo& measurement() const { return m_tempo; }

signals:
    // Anything shown changed.
    void changed();
    // OK handed a tempo over: the bar's, in beats per minute (four beats to the bar).
    void handedOver(double bpm);

private:
    void clear();

    TapClock& m_clock;
    CdBar& m_bar;
    TapTempo m_tempo;
    bool m_typing = false;
    bool m_measuring = false;
    QString m_barText = QStringLiteral("2.000");
    QString m_bpmText = QStringLiteral("120.000");
};

} // namespace mt
