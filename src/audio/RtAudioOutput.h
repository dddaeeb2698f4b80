#pragma once

#include "audio/AudioOutput.h"

#include <memory>

class RtAudio;

namespace mt {

// The sound device through RtAudio: JACK when a server runs, else PulseAudio, else ALSA, on
// the system's default output, 32-bit float.
class RtAudioOutput final : public AudioOutput {
public:
    RtAudioOutput();
    ~RtAudioOutput() override;

    bool open(const OutputConfig& config, Engine& engine) override;
    void close() noexcept override;

    // The API name of the open stream ("jack", "pulse", "alsa"), empty when closed.
    const char* apiName() const noexcept;

private:
    bool openWith(int api, const OutputConfig& config, Engine& engine);

    std::unique_ptr<RtAudio> m_audio;
};

} // namespace mt
