#pragma once

#include "audio/OfflineOutput.h"

#include <QByteArray>

#include <cstdint>
#include <vector>

namespace mt::test {

// A 16-bit PCM WAV image of a sine: `frames` frames, every channel the same.
QByteArray SineWav(int rate, int channels, double hz, int frames, double amplitude = 0.5);

// Samples in [-1, 1] written as a 16-bit PCM WAV image (interleaved).
QByteArray Pcm16Wav(int rate, int channels, const std::vector<float>& samples);

// Samples encoded by libsndfile in `format` (SF_FORMAT_WAV | subtype ...).
QByteArray EncodedWav(int format, int rate, int channels, const std::vector<float>& samples);

// `x` of `channels` without its first `frames` frames, where changes are still settling.
std::vector<float> Settled(const std::vector<float>& x, int channels, int frames = 1024);

// One channel out of interleaved frames.
std::vector<float> Channel(const std::vector<float>& interleaved, int channel, int channels);

// Frequency by interpolated upward zero crossings, in Hz; 0 when fewer than two crossings.
double MeasureHz(const std::vector<float>& x, int rate);

// Root mean square in dB relative to `reference` (an RMS value).
double RmsDb(const std::vector<float>& x, double reference);

// The largest absolute difference between neighbouring samples.
float MaxStep(const std::vector<float>& x);

float Peak(const std::vector<float>& x);

// Amplitude of the component at `hz` (Goertzel), for a sine of amplitude A about A.
double ToneAmplitude(const std::vector<float>& x, int rate, double hz);

// A buffer of library `lib` made of a WAV image; 0 when refused.
std::int32_t LoadWav(std::int32_t lib, const QByteArray& wav);

// A library on an offline output for the length of a test.
class OfflineLibrary {
public:
    explicit OfflineLibrary(int rate, int channels = 2, int blockFrames = 256);
    ~OfflineLibrary();
    OfflineLibrary(const OfflineLibrary&) = delete;
    OfflineLibrary& operator=(const OfflineLibrary&) = delete;

    std::int32_t load(const QByteArray& wav) const { return LoadWav(handle, wav); }
    std::vector<float> render(std::size_t frames) { return m_output->render(frames); }
    OfflineOutput& output() { return *m_output; }

    std::int32_t handle = 0;

private:
    OfflineOutput* m_output;
};

} // namespace mt::test
