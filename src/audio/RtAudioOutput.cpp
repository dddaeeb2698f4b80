#include "audio/RtAudioOutput.h"

#include "audio/CallbackMeter.h"
#include "audio/Engine.h"
#include "audio/JackConnections.h"
#include "audio/JackFrameTime.h"
#include "audio/JackTrackStream.h"
#include "platform/JackProbe.h"
#include "platform/PulseProbe.h"

#include <alsa/asoundlib.h>
#include <jack/jack.h>
#include <rtaudio/RtAudio.h>

#include <pthread.h>
#include <sched.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <mutex>
#include <optional>
#include <string>
#include <system_error>
#include <thread>

namespace mt {
namespace {

constexpr const char* kClientName = "Marrowtune";

} // namespace

struct RtAudioOutput::Stream {
    CallbackMeter meter;
    std::atomic<bool> rendering{false}; // the engine is ours to render
    std::atomic<bool> inRender{false};  // a render is under way (see hold())
    // Whether the callback's thread has realtime priority: -1 not yet known, 0 no, 1 yes. Seen
    // once per stream by the callback itself (schedulingSeen is the audio thread's own).
    std::atomic<int> realtime{-1};
    bool schedulingSeen = false;
    Engine* engine = nullptr;
    const JackFrameTime* frameTime = nullptr; // on JACK: the server's frame time of each block
    int channels = 2;
    int rate = 44100;
    int blockFrames = 128;
    double queueSeconds = 0.0; // what the server holds ahead of the block
};

namespace {

// One block of either stream: returns the channels it wrote in each frame (the engine's, or
// the stream's while held), or 0 when the stream is spinning, its server gone.
int RenderBlock(RtAudioOutput::Stream* stream, float* out, unsigned int frames,
                bool underflow) noexcept {
    const std::size_t samples = static_cast<std::size_t>(frames) * stream->channels;
    if (!stream->meter.enter(SteadyNanos(), underflow)) {
        std::fill(out, out + samples, 0.0f);
        return 0;
    }
    if (!stream->schedulingSeen) {
        // One system call in the stream's first block: no lock, no allocation.
        stream->schedulingSeen = true;
        const int policy = sched_getscheduler(0);
        stream->realtime.store(policy == SCHED_FIFO || policy == SCHED_RR ? 1 : 0,
                               std::memory_order_relaxed);
    }
    // With hold(), a store-then-load handshake on both sides (sequentially consistent): either
    // hold() sees this render under way and waits, or this render sees it held.
    int channels = stream->channels;
    stream->inRender.store(true, std::memory_order_seq_cst);
    if (stream->rendering.load(std::memory_order_seq_cst)) {
        if (stream->frameTime != nullptr) {
            stream->engine->setDeviceFrame(stream->frameTime->cycleStart());
        }
        stream->engine->setCallbackTime(OutputClock::HostMicros());
        stream->engine->render(out, frames);
        channels = stream->engine->outputChannels();
    } else {
        std::fill(out, out + samples, 0.0f);
    }
    stream->inRender.store(false, std::memory_order_release);
    stream->meter.leave(SteadyNanos(), frames);
    return channels;
}

int renderCallback(void* output, void* /*input*/, unsigned int frames, double /*streamTime*/,
                   RtAudioStreamStatus status, void* user) noexcept {
    const int written =
        RenderBlock(static_cast<RtAudioOutput::Stream*>(user), static_cast<float*>(output), frames,
                    (status & RTAUDIO_OUTPUT_UNDERFLOW) != 0);
    return written > 0 ? 0 : 2; // the server is gone: stop calling; the library reopens it
}

int renderTracks(void* user, float* interleaved, std::uint32_t frames, bool xrun) noexcept {
    return RenderBlock(static_cast<RtAudioOutput::Stream*>(user), interleaved, frames, xrun);
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

// RtAudio's PulseAudio stream queues ~150 ms unless the client asks for less (the variable is
// read when the stream connects). Returns the queue in seconds.
double requestPulseLatency(const OutputConfig& config) {
    const int ms =
        PulseQueueMs(static_cast<double>(config.blockFrames) / std::max(config.sampleRate, 1));
    ::setenv("PULSE_LATENCY_MSEC", std::to_string(ms).c_str(), 1);
    return ms / 1000.0;
}

// PipeWire's JACK side runs its graph at the smallest quantum its clients ask for, 1024 frames
// (21 ms at 48 kHz) when none asks, and changes it whenever a client comes or goes; RtAudio's
// JACK stream stops processing for good at the first change ("the JACK buffer size has
// changed"). So, as a jackd's fixed period would be, the block chosen is made the graph's
// quantum while we play: a power of two at 48 kHz (139 frames of 64 at 22.05 kHz: 128), forced
// and asked for. pipewire-jack's libjack reads both when a client opens; a jackd ignores them.
int requestPipeWireQuantum(const OutputConfig& config) {
    constexpr double kRate = 48000.0;
    const double frames = config.blockFrames * kRate / std::max(config.sampleRate, 1);
    const int quantum = 1 << std::clamp(static_cast<int>(std::lround(std::log2(frames))), 4, 13);
    const std::string props = "{ node.force-quantum = " + std::to_string(quantum) + " }";
    const std::string latency = std::to_string(quantum) + "/48000";
    ::setenv("PIPEWIRE_PROPS", props.c_str(), 1);
    ::setenv("PIPEWIRE_LATENCY", latency.c_str(), 1);
    return quantum;
}

// libjack answers its version without a server; PipeWire's says whose it is.
bool JackIsPipeWire() {
    const char* version = jack_get_version_string();
    return version != nullptr && std::strstr(version, "PipeWire") != nullptr;
}

// libpulse hands our blocks to the server on a thread of its own, started while the stream
// opens, and that thread takes the opening thread's scheduling. At normal priority a busy
// machine starves it and the server runs dry however promptly the callback renders, so the
// stream is opened with realtime priority (as RtAudio's callback thread has). Where the system
// does not allow it, nothing changes.
class RealtimeWhileOpening {
public:
    RealtimeWhileOpening() {
        if (pthread_getschedparam(pthread_self(), &m_policy, &m_saved) != 0) {
            return;
        }
        sched_param realtime{};
        realtime.sched_priority = sched_get_priority_min(SCHED_RR) + 1;
        m_changed = pthread_setschedparam(pthread_self(), SCHED_RR, &realtime) == 0;
    }
    ~RealtimeWhileOpening() {
        if (m_changed) {
            pthread_setschedparam(pthread_self(), m_policy, &m_saved);
        }
    }
    RealtimeWhileOpening(const RealtimeWhileOpening&) = delete;
    RealtimeWhileOpening& operator=(const RealtimeWhileOpening&) = delete;

private:
    int m_policy = SCHED_OTHER;
    sched_param m_saved{};
    bool m_changed = false;
};

// alsa-lib writes its own complaints to stderr whenever it is asked for devices on a machine
// without a card: nine lines at every try, and a lost server is retried every second. The
// failures line of open() says what the performer needs.
void QuietAlsa(const char* /*file*/, int /*line*/, const char* /*function*/, int /*error*/,
               const char* /*format*/, ...) {}

// When a JACK server goes, RtAudio's shutdown handler, on libjack's notification thread, starts
// a thread that closes the client and then writes a notice to std::cerr; closing the client
// cancels that notification thread asynchronously, and cancelled inside the stream's noexcept
// sentry the process terminates ("terminate called without an active exception": 3 in 28
// server shutdowns here). Nothing of ours writes to std::cerr, and what the performer needs is
// said on stderr through stdio; a stream with no buffer and no unitbuf turns the notice into a
// few instructions that call nothing.
void SilenceStdCerr() {
    std::cerr.rdbuf(nullptr);
    std::cerr.unsetf(std::ios_base::unitbuf);
}

RtAudio::Api RtApiOf(AudioApi api) noexcept {
    return api == AudioApi::Jack    ? RtAudio::UNIX_JACK
           : api == AudioApi::Pulse ? RtAudio::LINUX_PULSE
                                    : RtAudio::LINUX_ALSA;
}

// The output device named `name`, else the system's default.
unsigned int FindDevice(RtAudio& audio, const std::string& name) {
    if (!name.empty()) {
        const unsigned int count = audio.getDeviceCount();
        for (unsigned int i = 0; i < count; ++i) {
            const RtAudio::DeviceInfo info = audio.getDeviceInfo(i);
            if (info.probed && info.outputChannels > 0 && info.name == name) {
                return i;
            }
        }
    }
    return audio.getDefaultOutputDevice();
}

} // namespace

RtAudioOutput::RtAudioOutput(std::vector<AudioApi> order)
    : m_order(std::move(order)), m_stream(std::make_unique<Stream>()) {}

RtAudioOutput::~RtAudioOutput() {
    close();
}

std::string RtAudioOutput::openWith(int api, const OutputConfig& config) {
    std::string error;
    t_openError = &error;
    struct Unhook {
        ~Unhook() { t_openError = nullptr; }
    } unhook;
    const auto failed = [&error](const char* fallback) {
        return error.empty() ? std::string(fallback) : error;
    };
    try {
        if (api == RtAudio::LINUX_ALSA) {
            static std::once_flag quiet;
            std::call_once(quiet, [] { snd_lib_error_set_handler(&QuietAlsa); });
        }
        if (api == RtAudio::UNIX_JACK) {
            static std::once_flag silent;
            std::call_once(silent, [] { SilenceStdCerr(); });
            // RtAudio's own look at the server would wait forever on a stuck libjack.
            switch (ProbeJack()) {
            case JackAnswer::Runs:
                break;
            case JackAnswer::NoServer:
                m_jackAbsent = true;
                return "no JACK server is running";
            case JackAnswer::Stuck:
                return JackStuckReason();
            }
            const int quantum = requestPipeWireQuantum(config);
            m_pipewireQuantum = JackIsPipeWire() ? quantum : 0;
            if (m_separate) {
                return openTracks(config);
            }
        }
        auto audio = std::make_unique<RtAudio>(static_cast<RtAudio::Api>(api));
        audio->showWarnings(false);
        if (audio->getCurrentApi() != api) {
            return "not compiled into this RtAudio";
        }
        if (audio->getDeviceCount() == 0) {
            if (api == RtAudio::UNIX_JACK) {
                m_jackAbsent = true; // gone between the probe and this look
            }
            return api == RtAudio::UNIX_JACK     ? "no JACK server is running"
                   : api == RtAudio::LINUX_PULSE ? "no PulseAudio or PipeWire server answers"
                                                 : "no sound card found";
        }
        RtAudio::StreamParameters params;
        params.deviceId = FindDevice(*audio, m_device);
        params.nChannels = static_cast<unsigned int>(config.channels);
        // A device that does not list the chosen rate (a JACK server runs at its own; RtAudio's
        // PulseAudio has no 11.025 kHz) runs at its preferred one; the engine converts. The
        // block keeps its length in time at the device's rate.
        auto rate = static_cast<unsigned int>(config.sampleRate);
        const RtAudio::DeviceInfo info = audio->getDeviceInfo(params.deviceId);
        if (info.probed && !info.sampleRates.empty() &&
            std::find(info.sampleRates.begin(), info.sampleRates.end(), rate) ==
                info.sampleRates.end()) {
            rate =
                info.preferredSampleRate != 0 ? info.preferredSampleRate : info.sampleRates.back();
        }
        double blockSeconds =
            static_cast<double>(config.blockFrames) / std::max(config.sampleRate, 1);
        if (api == RtAudio::LINUX_PULSE) {
            m_pulsePipeWire = PulseIsPipeWire();
            blockSeconds = PlayedBlockSeconds(AudioSystem::Pulse, blockSeconds, m_pulsePipeWire);
        }
        OutputConfig device = config;
        device.sampleRate = static_cast<int>(rate);
        device.blockFrames = BlockFramesFor(device.sampleRate, blockSeconds);
        double queue = 0.0;
        if (api == RtAudio::LINUX_PULSE) {
            queue = requestPulseLatency(device);
        }
        RtAudio::StreamOptions options;
        options.flags = RTAUDIO_MINIMIZE_LATENCY | RTAUDIO_SCHEDULE_REALTIME;
        options.streamName = kClientName; // JACK names the client, and so its ports, after it
        auto frames = static_cast<unsigned int>(device.blockFrames);
        std::optional<RealtimeWhileOpening> realtime;
        if (api == RtAudio::LINUX_PULSE) {
            realtime.emplace();
        }
        audio->openStream(&params, nullptr, RTAUDIO_FLOAT32, rate, &frames, &renderCallback,
                          m_stream.get(), &options, &keepOpenError);
        realtime.reset();
        if (!audio->isStreamOpen()) {
            return failed("the stream did not open");
        }
        Stream& s = *m_stream;
        s.channels = config.channels;
        s.rate = static_cast<int>(audio->getStreamSampleRate());
        s.blockFrames = static_cast<int>(frames);
        // A JACK or ALSA device reports its own underruns; its queue is its periods.
        s.queueSeconds =
            queue > 0.0 ? queue
                        : static_cast<double>(std::max(audio->getStreamLatency(), 0L)) / s.rate;
        // Nothing renders yet: the engine is ours until startStream. JACK's playback latency
        // counts from the start of the cycle a client writes, so the block is in it; a block
        // more would take each frame as heard a period later than it is (a Link peer's beats
        // then sound a period after ours).
        s.engine->setOutputLatency(
            (api == RtAudio::UNIX_JACK ? 0.0 : static_cast<double>(s.blockFrames) / s.rate) +
            s.queueSeconds);
        s.meter.reset(s.rate, s.blockFrames, queue, SteadyNanos());
        s.realtime.store(-1, std::memory_order_relaxed);
        s.schedulingSeen = false;
        // Without it the engine's frames have no place on the server's clock, and what is sent
        // in time with them (the MIDI clock) is placed by the wall clock instead.
        m_frameTime = api == RtAudio::UNIX_JACK ? JackFrameTime::open() : nullptr;
        s.frameTime = m_frameTime.get();
        audio->startStream();
        if (!audio->isStreamRunning()) {
            audio->closeStream();
            s.frameTime = nullptr;
            m_frameTime.reset();
            return failed("the stream did not start");
        }
        if (api == RtAudio::UNIX_JACK) {
            // RtAudio has connected the new ports to the system's playback; a performer's own
            // routing from before the reopen wins.
            m_routing.restore(kClientName);
        }
        m_routing = {};
        m_audio = std::move(audio);
        return {};
    } catch (const RtAudioError& e) {
        return e.getMessage();
    }
}

std::string RtAudioOutput::openTracks(const OutputConfig& config) {
    std::string error;
    std::unique_ptr<JackTrackStream> tracks =
        JackTrackStream::open(kClientName, &renderTracks, m_stream.get(), error);
    if (!tracks) {
        m_jackAbsent = true; // gone between the probe and this look
        return error;
    }
    Stream& s = *m_stream;
    s.channels = config.channels + 2 * JackTrackStream::kTracks; // silence while held
    s.rate = tracks->rate();
    s.blockFrames = tracks->blockFrames();
    s.meter.reset(s.rate, s.blockFrames, 0.0, SteadyNanos());
    s.realtime.store(-1, std::memory_order_relaxed);
    s.schedulingSeen = false;
    m_frameTime = JackFrameTime::open();
    s.frameTime = m_frameTime.get();
    if (!tracks->start(m_device)) {
        s.frameTime = nullptr;
        m_frameTime.reset();
        return "the JACK server did not start the client";
    }
    // As for RtAudio's stream: the server's playback latency from the start of the cycle.
    s.queueSeconds = static_cast<double>(tracks->latencyFrames()) / s.rate;
    s.engine->setOutputLatency(s.queueSeconds);
    m_routing.restore(kClientName);
    m_routing = {};
    m_tracks = std::move(tracks);
    return {};
}

bool RtAudioOutput::open(const OutputConfig& config, Engine& engine) {
    if (!openHeld(config, engine)) {
        return false;
    }
    resume();
    return true;
}

void RtAudioOutput::resume() noexcept {
    m_stream->rendering.store(true, std::memory_order_release);
}

void RtAudioOutput::hold() noexcept {
    m_stream->rendering.store(false, std::memory_order_seq_cst);
    while (m_stream->inRender.load(std::memory_order_seq_cst)) {
        std::this_thread::yield(); // one render, a fraction of a block
    }
}

bool RtAudioOutput::openHeld(const OutputConfig& config, Engine& engine) {
    close();
    m_failures.clear();
    m_jackAbsent = false;
    m_awaitFirst = false;
    m_stream->engine = &engine;
    bool firstAbsent = false; // the system first in the order has no server
    for (const AudioApi api : m_order) {
        const RtAudio::Api rt = RtApiOf(api);
        std::string reason = openWith(rt, config);
        if (reason.empty()) {
            m_lastReported.clear();
            // A server that refused us while it ran would refuse again: only one that was not
            // there is waited for, so the output never hops back and forth.
            m_awaitFirst = firstAbsent;
            m_openedAt = SteadyNanos();
            return true;
        }
        if (api == m_order.front()) {
            firstAbsent = api == AudioApi::Jack    ? m_jackAbsent
                          : api == AudioApi::Pulse ? !PulseAnswers()
                                                   : false;
        }
        if (!m_failures.empty()) {
            m_failures += "; ";
        }
        m_failures += std::string(apiLabel(rt)) + ": " + reason;
    }
    // The performer's only clue to a silent program: which systems were tried and why each
    // refused, so they can start a server or pick a device. Said once, not at every retry.
    if (m_failures != m_lastReported) {
        std::fprintf(stderr, "marrowtune: no sound output at %d Hz (tried %s)\n", config.sampleRate,
                     m_failures.c_str());
        m_lastReported = m_failures;
    }
    return false;
}

void RtAudioOutput::close() noexcept {
    hold(); // no render reads the frame time from here on
    m_stream->frameTime = nullptr;
    m_frameTime.reset();
    if (m_tracks) {
        m_routing = JackConnections::Read(kClientName);
        m_tracks.reset();
        return;
    }
    if (!m_audio) {
        return;
    }
    if (m_audio->getCurrentApi() == RtAudio::UNIX_JACK) {
        m_routing = JackConnections::Read(kClientName);
    }
    try {
        // Abort, not stop: stopping drains what the server still queues, which waits until it
        // has played, up to seconds while a sink holds a new stream back (a format change at
        // start-up took 0.6-2 s in one start in four).
        if (m_audio->isStreamRunning()) {
            m_audio->abortStream();
        }
        if (m_audio->isStreamOpen()) {
            m_audio->closeStream();
        }
    } catch (const RtAudioError&) {
        // The stream is gone either way; nothing more to release.
    }
    m_audio.reset();
}

void RtAudioOutput::choose(const OutputChoice& choice) {
    // The chosen system first, then the others in the automatic order: a stored choice of a
    // system that is not there today must not leave the performer without sound.
    m_order = {AudioApi::Jack, AudioApi::Pulse, AudioApi::Alsa};
    const AudioApi first = choice.system == AudioSystem::Pulse  ? AudioApi::Pulse
                           : choice.system == AudioSystem::Alsa ? AudioApi::Alsa
                                                                : AudioApi::Jack;
    std::erase(m_order, first);
    m_order.insert(m_order.begin(), first);
    m_device = choice.device;
    m_separate = choice.separateOutputs;
}

std::vector<std::string> RtAudioOutput::DeviceNames(AudioSystem system) {
    std::vector<std::string> names;
    if (system == AudioSystem::Automatic) {
        return names;
    }
    const AudioApi api = system == AudioSystem::Jack    ? AudioApi::Jack
                         : system == AudioSystem::Pulse ? AudioApi::Pulse
                                                        : AudioApi::Alsa;
    if (api == AudioApi::Jack && ProbeJack() != JackAnswer::Runs) {
        return names;
    }
    try {
        RtAudio audio(RtApiOf(api));
        audio.showWarnings(false);
        if (audio.getCurrentApi() != RtApiOf(api)) {
            return names;
        }
        const unsigned int count = audio.getDeviceCount();
        for (unsigned int i = 0; i < count; ++i) {
            const RtAudio::DeviceInfo info = audio.getDeviceInfo(i);
            if (info.probed && info.outputChannels > 0) {
                names.push_back(info.name);
            }
        }
    } catch (const RtAudioError&) {
        // A system that cannot be asked lists nothing.
    }
    return names;
}

int RtAudioOutput::deviceRate() const noexcept {
    return m_stream->rate;
}

OutputHealth RtAudioOutput::health() noexcept {
    OutputHealth h;
    if (!m_audio && !m_tracks) {
        return h;
    }
    Stream& s = *m_stream;
    h.api = apiName();
    h.pipewireQuantum = h.api == "jack" ? m_pipewireQuantum : 0;
    h.pipewire = h.api == "jack" ? m_pipewireQuantum > 0 : h.api == "pulse" && m_pulsePipeWire;
    h.deviceRate = s.rate;
    h.blockFrames = s.blockFrames;
    h.latencySeconds = static_cast<double>(s.blockFrames) / s.rate + s.queueSeconds;
    h.underruns = s.meter.underruns();
    h.load = s.meter.takePeakLoad();
    h.alive = alive();
    if (s.realtime.load(std::memory_order_relaxed) == 0 && !m_saidNotRealtime) {
        // Without realtime priority the callback waits behind every busy process on the
        // machine, and the server's short queue runs dry. Said once: nothing else shows it.
        m_saidNotRealtime = true;
        std::fprintf(stderr,
                     "marrowtune: the %s audio thread runs without realtime priority (the system "
                     "refused it): on a busy machine the sound will drop out. Allow realtime "
                     "scheduling for this user (rtprio in /etc/security/limits.d, or rtkit), or "
                     "choose a longer block in the output window.\n",
                     apiName());
    }
    return h;
}

bool RtAudioOutput::alive() noexcept {
    if (!m_audio && (!m_tracks || m_tracks->gone())) {
        return false;
    }
    // A device that stops asking for blocks is gone too (a JACK server that shut down, an
    // unplugged card); a few blocks' silence, at least half a second, tells it. A PulseAudio
    // server that dies fails the writes, which the meter sees at once; but a new stream's
    // first write may wait up to two seconds while the server starts it, so silence there
    // only counts after longer.
    const Stream& s = *m_stream;
    const double quiet = static_cast<double>(SteadyNanos() - s.meter.lastCallback()) * 1e-9;
    const double patience = m_audio && m_audio->getCurrentApi() == RtAudio::LINUX_PULSE
                                ? 3.0
                                : std::max(0.5, 8.0 * s.blockFrames / s.rate);
    return !s.meter.spinning() && quiet < patience && (m_tracks || m_audio->isStreamRunning());
}

bool RtAudioOutput::preferredBack() {
    // Not at once: libjack must be left alone for a moment after a server went, and a server
    // that has only just gone is not back.
    const auto settle = std::chrono::nanoseconds(kJackSettle).count();
    if ((!m_audio && !m_tracks) || !m_awaitFirst || SteadyNanos() - m_openedAt < settle) {
        return false;
    }
    constexpr std::chrono::seconds kAskEvery{2};
    if (m_order.front() == AudioApi::Pulse) {
        return PollPulse(kAskEvery).value_or(false);
    }
    try {
        return PollJack(kAskEvery) == JackAnswer::Runs;
    } catch (const std::system_error&) {
        return false; // no thread for the probe today; the next call asks again
    }
}

std::optional<bool> RtAudioOutput::realtime() const noexcept {
    const int known = m_stream->realtime.load(std::memory_order_relaxed);
    return known < 0 ? std::nullopt : std::optional<bool>(known == 1);
}

const char* RtAudioOutput::apiName() const noexcept {
    if (m_tracks) {
        return "jack";
    }
    return m_audio ? apiLabel(m_audio->getCurrentApi()) : "";
}

} // namespace mt
