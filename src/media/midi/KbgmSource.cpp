#include "media/midi/KbgmSource.h"

#include "media/midi/KbgmSynth.h"

namespace mt {

KbgmSource::KbgmSource(std::shared_ptr<KbgmSynth> synth) : m_synth(std::move(synth)) {
    m_synth->sources.fetch_add(1);
}

KbgmSource::~KbgmSource() {
    // With no source left the UI thread drives the synth itself.
    m_synth->sources.fetch_sub(1);
}

void KbgmSource::prepare(int sampleRate, int /*channels*/, std::size_t maxBlockFrames) {
    // The bus is always stereo, whatever the device's channel count.
    m_synth->prepare(sampleRate, maxBlockFrames);
}

void KbgmSource::reset() {
    m_synth->silence();
}

void KbgmSource::renderAdd(float* interleaved, std::size_t frames) noexcept {
    m_synth->render(interleaved, frames);
}

} // namespace mt
