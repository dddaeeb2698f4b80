#include "audio/RtAudioOutput.h"

#include "audio/Engine.h"

#include <rtaudio/RtAudio.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace mt {
namespace {

int renderCallback(void* output, void* /*input*/, unsigned int frames, double /*streamTime*/,
                   RtAudioStreamStatus /*status*/, void* user) noexcept {
    static_cast<Engine*>(user)->render(static_cast<float*>(output), frames);
    return 0;
}

// RtAudio reports through the error callback instead of throwing once it is given one. The
// callback is a plain function, so the opening thread points this at its text; reports from
// the audio thread later find it null and are dropped.
thread_local std::string* t_openError = nullptr;

void keepOpenError(RtAudioError::Type /*type*/, const std::string& text) {
    if (t_openError != nullptr && t_openError->empty()) {
        *t_openError = text;
    }
}

const char* apiLabel(RtAudio::Api api) noexcept {
    switch (api) {
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

std::string RtAudioOutput::openWith(int api, const OutputConfig& config, Engine& engine) {
    std::string error;
    t_openError = &error;
    struct Unhook {
        ~Unhook() { t_openError = nullptr; }
    } unhook;
    const auto failed = [&error](const char* fallback) {
        return error.empty() ? std::string(fallback) : error;
    };
    try {
        auto audio = std::make_unique<RtAudio>(static_cast<RtAudio::Api>(api));
        audio->showWarnings(false);
        if (audio->getCurrentApi() != api) {
            return "not compiled into this RtAudio";
        }
        if (audio->getDeviceCount() == 0) {
            return api == RtAudio::UNIX_JACK     ? "no JACK server is running"
                   : api == RtAudio::LINUX_PULSE ? "no PulseAudio or PipeWire server answers"
                                                 : "no sound card found";
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
                          &engine, &options, &keepOpenError);
        if (!audio->isStreamOpen()) {
            return failed("the stream did not open");
        }
        if (audio->getStreamSampleRate() != static_cast<unsigned int>(config.sampleRate)) {
            const unsigned int rate = audio->getStreamSampleRate();
            audio->closeStream();
            return "runs at " + std::to_string(rate) + " Hz, not " +
                   std::to_string(config.sampleRate) + " Hz";
        }
        audio->startStream();
        if (!audio->isStreamRunning()) {
            audio->closeStream();
            return failed("the stream did not start");
        }
        m_audio = std::move(audio);
        return {};
    } catch (const RtAudioError& e) {
        return e.getMessage();
    }
}

bool RtAudioOutput::open(const OutputConfig& config, Engine& engine) {
    close();
    m_failures.clear();
    for (const AudioApi api : m_order) {
        const RtAudio::Api rt = api == AudioApi::Jack    ? RtAudio::UNIX_JACK
                                : api == AudioApi::Pulse ? RtAudio::LINUX_PULSE
                                                         : RtAudio::LINUX_ALSA;
        std::string reason = openWith(rt, config, engine);
        if (reason.empty()) {
            return true;
        }
        if (!m_failures.empty()) {
            m_failures += "; ";
        }
        m_failures += std::string(apiLabel(rt)) + ": " + reason;
    }
    // The performer's only clue to a silent program: which systems were tried and why each
    // refused, so they can start a server or pick a device.
    std::fprintf(stderr, "marrowtune: no sound output at %d Hz (tried %s)\n", config.sampleRate,
                 m_failures.c_str());
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
    return m_audio ? apiLabel(m_audio->getCurrentApi()) : "";
}

} // namespace mt
