#pragma once

#include <QString>

#include <cstdint>

namespace mt {

// A tempo measured by tapping, or typed. The k-th tap of a measurement is the point
// (2k, its time in ms); a least-squares line through the taps gives the time of half a beat
// as its slope, hence the length of a bar of four beats and the beats per minute. The start
// of a measurement only starts its clock: it is not a beat, so the pause before the first
// tap does not bend the tempo. A value: the counter window holds one. UI thread only.
class TapTempo {
public:
    // Bar and tempo as the CD holds them: seconds per bar of four beats, beats per minute.
    struct Bar {
        double seconds = 0.0;
        float bpm = 0.0f;
    };

    // A new measurement starts (its clock at 0).
    void start();
    // A tap at `ms` on the measurement's clock. True when the taps so far give a tempo, which
    // is then the result; one tap, or taps all at one time, give none and change nothing.
    bool tap(std::int32_t ms);
    // The taps are forgotten; the result stays.
    void clearTaps();
    // The tempo typed: the number its text starts with (blanks, digits, one point; the rest
    // is ignored). True when that is a tempo above 0, which is then the result.
    bool enter(const QString& text);
    // Nothing measured or entered any more.
    void clearResult() { m_result = {}; }

    bool hasResult() const { return m_result.seconds != 0.0; }
    // Taps since the taps were last cleared.
    std::int32_t taps() const { return m_taps; }
    const Bar& result() const { return m_result; }

    // What is handed to the CD: the result, or without one `current` unchanged. A bar outside
    // [shortest, longest] seconds is brought to that edge and its tempo follows it; the tempo
    // is rounded half up to three decimals.
    Bar handOver(Bar current, double shortest, double longest) const;

private:
    std::int32_t m_x = 0; // x of the last tap
    std::int32_t m_taps = 0;
    // Exact for any measurement a person can tap.
    double m_sumXX = 0.0;
    double m_sumX = 0.0;
    double m_sumXY = 0.0;
    double m_sumY = 0.0;
    Bar m_result;
};

} // namespace mt
