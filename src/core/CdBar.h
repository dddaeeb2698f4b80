#pragma once

#include "core/ReferenceBar.h"

#include <QObject>
#include <QString>

namespace mt {

// The CD's bar of four beats, which tempo matching follows while the CD is the reference: its
// length in seconds, the tempo in beats per minute, and the up-down that sets it in whole
// milliseconds. A bar measured elsewhere (the BPM counter) may hold a part of a millisecond
// the up-down cannot: that remainder is kept and added to every value the up-down takes.
// UI thread only.
class CdBar final : public QObject, public ReferenceBar {
    Q_OBJECT

public:
    static constexpr int kShortestMs = 100; // the tempo divides by the bar: never 0
    static constexpr int kLongestMs = 10000;

    double barSeconds() const override { return m_seconds; }
    // The part of a millisecond beyond wholeMs, in seconds.
    double remainder() const { return m_remainder; }
    float bpm() const { return m_bpm; }
    // What the up-down holds.
    int wholeMs() const { return m_wholeMs; }
    // As the panel shows them: "#,###0.000" seconds ("1,234.567"); the shortest decimal that
    // reads back as the same float ("128", "117.647").
    QString secondsText() const;
    QString bpmText() const;

    // The up-down moved to `ms`: the bar is ms plus the remainder, the tempo 240 / bar rounded
    // half up to three decimals. Tempo matching follows (moved).
    void setWholeMs(int ms);
    // A bar and tempo measured elsewhere: the up-down takes the whole milliseconds, the
    // remainder the rest, the tempo is taken as it is. A bar that differs (or one that moves
    // the up-down) re-matches as a turn of the up-down does; an unchanged one matches nothing.
    void take(double seconds, float bpm);

signals:
    // Anything shown changed.
    void changed();
    // The bar's length was set: tempo matching under the lock follows it.
    void moved();

private:
    double m_seconds = 2.0;
    double m_remainder = 0.0;
    float m_bpm = 120.0f;
    int m_wholeMs = 2000;
};

// The shortest decimal that reads back as the same 32-bit float: 128, 117.647.
QString ShortestFloatText(float x);

} // namespace mt
