#pragma once

#include "audio/AudioOutput.h"
#include "audio/JackConnections.h"
#include "audio/OutputChoice.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

class RtAudio;

namespace mt {

class JackFrameTime;
class JackTrackStream;

enum class AudioApi { Jack, Pulse, Alsa };

// The sound device through RtAudio, on the system's default output, 32-bit float: the first of
// the APIs given that opens; by default JACK when a server runs, else PulseAudio, else ALSA.
// The callback counts underruns and its own load, and stops a stream whose server has gone
// (see CallbackMeter); health() tells the library, which reopens it.
class RtAudioOutput final : public AudioOutput {
public:
    explicit RtAudioOutput(std::vector<AudioApi> order = {AudioApi::Jack, AudioApi::Pulse,
                                                          AudioApi::Alsa});
    ~RtAudioOutput() override;

    bool open(const OutputConfig& config, Engine& engine) override;
    bool openHeld(const OutputConfig& config, Engine& engine) override;
    void resume() noexcept override;
    void hold() noexcept override;
    void close() noexcept override;
    OutputHealth health() noexcept override;
    bool alive() noexcept override;
    // The system first in the order (JACK or PulseAudio) had no server when the stream opened
    // elsewhere, and one answers now. Asks on a thread of its own, about every two seconds.
    bool preferredBack() override;
    int deviceRate() const noexcept override;
    // On JACK with separate outputs chosen: the stream is a JackTrackStream.
    bool trackOutputs() const noexcept override { return m_tracks != nullptr; }
    // The audio system to try first (Automatic: JACK, PulseAudio, ALSA in turn; a chosen one
    // goes first and the others follow) and the device by name; a name the system does not
    // list plays on its default device. Separate outputs open a pair per track on JACK only;
    // the other systems play the one mix.
    void choose(const OutputChoice& choice) override;

    // The output devices this system lists, by name; may block while it asks the system.
    static std::vector<std::string> DeviceNames(AudioSystem system);

    // The API name of the open stream ("jack", "pulse", "alsa"), empty when closed.
    const char* apiName() const noexcept;

    // After a failed open: each API tried and why it refused ("jack: no JACK server is
    // running; pulse: ..."). Empty after a successful open.
    const std::string& failures() const noexcept { return m_failures; }

    // Whether the callback's thread runs at realtime priority: unknown (nullopt) until the
    // stream's first block. health() says it on stderr, once, when it does not.
    std::optional<bool> realtime() const noexcept;

    // The callback's shared state; defined with the callback.
    struct Stream;

private:
    // Empty on success, else the reason this API could not play.
    std::string openWith(int api, const OutputConfig& config);
    // As openWith on JACK, with a pair per track.
    std::string openTracks(const OutputConfig& config);

    std::vector<AudioApi> m_order;
    std::string m_device; // by name; empty for the default
    bool m_separate = false;
    std::string m_failures;
    std::string m_lastReported; // the last refusal written to the log, said once per outage
    bool m_saidNotRealtime = false;
    bool m_jackAbsent = false;    // the last open found no JACK server
    int m_pipewireQuantum = 0;    // asked of PipeWire's JACK side, at 48 kHz; 0 on a jackd
    bool m_pulsePipeWire = false; // the PulseAudio server last opened is PipeWire's
    bool m_awaitFirst = false;    // open elsewhere while the system first in the order had none
    std::int64_t m_openedAt = 0;  // steady-clock ns
    JackConnections m_routing;    // the JACK ports' connections when the stream last closed
    std::unique_ptr<Stream> m_stream;
    std::unique_ptr<RtAudio> m_audio;
    std::unique_ptr<JackTrackStream> m_tracks;  // instead of m_audio, with separate outputs
    std::unique_ptr<JackFrameTime> m_frameTime; // JACK only, while the stream is open
};

} // namespace mt
