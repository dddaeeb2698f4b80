#pragma once

#include "audio/AudioSource.h"

#include <memory>

namespace mt {

class KbgmSynth;

// The synth as one source of a sound library's mix. The library owns the source and deletes
// it on the UI thread once the audio thread has let go, when it is removed or when the
// library is terminated; the synth it shares outlives it, so the MIDI stream can be attached
// again to a library made afresh.
class KbgmSource final : public AudioSource {
public:
    explicit KbgmSource(std::shared_ptr<KbgmSynth> synth);
    ~KbgmSource() override;
    KbgmSource(const KbgmSource&) = delete;
    KbgmSource& operator=(const KbgmSource&) = delete;

    void prepare(int sampleRate, int channels, std::size_t maxBlockFrames) override;
    void renderAdd(float* interleaved, std::size_t frames) noexcept override;
    void reset() override;

private:
    std::shared_ptr<KbgmSynth> m_synth;
};

} // namespace mt
