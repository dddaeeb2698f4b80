#include "audio/RtAudioOutput.h"

#include "audio/Engine.h"

#include <rtaudio/RtAudio.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <string>

namespace mt {
namespace {

int renderCallback(void* output, void* /*input*/, unsigned int frames, double /*streamTime*/,
                   RtAudioStreamStatus /*status*/, void* user) noexcept {
    static_cast<Engine*>(user)->render(static_cast<float*>(output), frames);
    return 0;
}

void quietErrors(RtAudioError::Type /*type*/, const std::string& /*text*/) {}

// RtAudio's PulseAudio stream queues ~150 ms unless the client asks for less. Ask for three
// device blocks (at least 10 ms): RtAudio writes a whole block at a time, and a queue of
// barely one block runs dry before the next write lands.
void requestPulseLatency(const OutputConfig& config) {
    const double blockMs = 1000.0 * config.blockFrames / std::max(config.sampleRate, 1);
    const int ms = std::max(10, static_cast<int>(std::ceil(3 * blockMs)));
    ::setenv("PULSE_LATENCY_MSEC", std::to_string(ms).c_str(), 1);
}

} // namespace

RtAudioOutput::RtAudioOutput(std::vector<AudioApi> order) : m_order(std::move(order)) {}

RtAudioOutput::~RtAudioOutput() {
    close();
}

bool RtAudioOutput::openWith(int api, const OutputConfig& config, Engine& engine) {
    try {
        auto audio = std::make_unique<RtAudio>(static_cast<RtAudio::Api>(api));
        audio->showWarnings(false);
        if (audio->getCurrentApi() != api || audio->getDeviceCount() == 0) {
            return false;
        }
        if (api == RtAudio::LINUX_PULSE) {
            requestPulseLatency(config);
        }
        RtAudio::StreamParameters params;
        params.deviceId = audio->getDefaultOutputDevice();
        params.nChannels = static_cast<unsigned int>(config.channels);
        RtAudio::StreamOptions options;
        options.flags = RTAUDIO_MINIMIZE_LATENCY | RTAUDIO_SCHEDULE_REALTIME;
        options.streamName = "Marrowtune";
        auto frames = static_cast<unsigned int>(config.blockFrames);
        audio->openStream(&params, nullptr, RTAUDIO_FLOAT32,
                          static_cast<unsigned int>(config.sampleRate), &frames, &renderCallback,
                          &engine, &options, &quietErrors);
        if (!audio->isStreamOpen()) {
            return false;
        }
        if (audio->getStreamSampleRate() != static_cast<unsigned int>(config.sampleRate)) {
            audio->closeStream();
            return false;
        }
        audio->startStream();
        if (!audio->isStreamRunning()) {
            audio->closeStream();
            return false;
        }
        m_audio = std::move(audio);
        return true;
    } catch (const RtAudioError&) {
        return false;
    }
}

bool RtAudioOutput::open(const OutputConfig& config, Engine& engine) {
    close();
    for (const AudioApi api : m_order) {
        const RtAudio::Api rt = api == AudioApi::Jack    ? RtAudio::UNIX_JACK
                                : api == AudioApi::Pulse ? RtAudio::LINUX_PULSE
                                                         : RtAudio::LINUX_ALSA;
        if (openWith(rt, config, engine)) {
            return true;
        }
    }
    return false;
}

void RtAudioOutput::close() noexcept {
    if (!m_audio) {
        return;
    }
    try {
        if (m_audio->isStreamRunning()) {
            m_audio->stopStream();
        }
        if (m_audio->isStreamOpen()) {
            m_audio->closeStream();
        }
    } catch (const RtAudioError&) {
        // The stream is gone either way; nothing more to release.
    }
    m_audio.reset();
}

const char* RtAudioOutput::apiName() const noexcept {
    if (!m_audio) {
        return "";
    }
    switch (m_audio->getCurrentApi()) {
    case RtAudio::UNIX_JACK:
        return "jack";
    case RtAudio::LINUX_PULSE:
        return "pulse";
    case RtAudio::LINUX_ALSA:
        return "alsa";
    default:
        return "other";
    }
}

} // namespace mt
