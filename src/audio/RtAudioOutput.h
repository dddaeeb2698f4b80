#pragma once

#include "audio/AudioOutput.h"

#include <memory>
#include <string>
#include <vector>

class RtAudio;

namespace mt {

enum class AudioApi { Jack, Pulse, Alsa };

// The sound device through RtAudio, on the system's default output, 32-bit float: the first of
// the APIs given that opens; by default JACK when a server runs, else PulseAudio, else ALSA.
class RtAudioOutput final : public AudioOutput {
public:
    explicit RtAudioOutput(std::vector<AudioApi> order = {AudioApi::Jack, AudioApi::Pulse,
                                                          AudioApi::Alsa});
    ~RtAudioOutput() override;

    bool open(const OutputConfig& config, Engine& engine) override;
    void close() noexcept override;

    // The API name of the open stream ("jack", "pulse", "alsa"), empty when closed.
    const char* apiName() const noexcept;

    // After a failed open: each API tried and why it refused ("jack: no JACK server is
    // running; pulse: ..."). Empty after a successful open.
    const std::string& failures() const noexcept { return m_failures; }

private:
    // Empty on success, else the reason this API could not play.
    std::string openWith(int api, const OutputConfig& config, Engine& engine);

    std::vector<AudioApi> m_order;
    std::string m_failures;
    std::unique_ptr<RtAudio> m_audio;
};

} // namespace mt
