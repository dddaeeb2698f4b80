#include "media/midi/SynthSource.h"

#include "media/midi/GmSynth.h"

namespace mt {

SynthSource::SynthSource(std::shared_ptr<GmSynth> synth) : m_synth(std::move(synth)) {
    m_synth->sources.fetch_add(1);
}

SynthSource::~SynthSource() {
    // With no source left the UI thread drives the synth itself.
    m_synth->sources.fetch_sub(1);
}

void SynthSource::prepare(int sampleRate, int /*channels*/, std::size_t maxBlockFrames) {
    // The bus is always stereo, whatever the device's channel count.
    m_synth->prepare(sampleRate, maxBlockFrames);
}

void SynthSource::reset() {
    m_synth->silence();
}

void SynthSource::renderAdd(float* interleaved, std::size_t frames) noexcept {
    m_synth->render(interleaved, frames);
}

} // namespace mt
