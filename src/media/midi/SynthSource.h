#pragma once

#include "audio/AudioSource.h"

#include <memory>

namespace mt {

class GmSynth;

// The synth as one source of a sound library's mix. The library owns the source and deletes
// it on the UI thread once the audio thread has let go, when it is removed or when the
// library is terminated; the synth it shares outlives it, so the MIDI stream can be attached
// again to a library made afresh.
class SynthSource final : public AudioSource {
public:
    explicit SynthSource(std::shared_ptr<GmSynth> synth);
    ~SynthSource() override;
    SynthSource(const SynthSource&) = delete;
    SynthSource& operator=(const SynthSource&) = delete;

    void prepare(int sampleRate, int channels, std::size_t maxBlockFrames) override;
    void renderAdd(float* interleaved, std::size_t frames) noexcept override;
    void reset() override;

private:
    std::shared_ptr<GmSynth> m_synth;
};

} // namespace mt
