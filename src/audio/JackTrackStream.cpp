#include "audio/JackTrackStream.h"

#include <jack/jack.h>

#include <algorithm>

namespace mt {
namespace {

// A client whose server has gone, kept for as long as the process lives (see JackFrameTime).
void KeepForGood(jack_client_t* client) {
    static auto* const kept = new std::vector<jack_client_t*>();
    kept->push_back(client);
}

// The full names of the ports the main pair goes to: the device's playback ports, or the
// physical ones; freed by the caller with jack_free.
const char** PlaybackPorts(jack_client_t* client, const std::string& device) {
    if (!device.empty()) {
        if (const char** named = jack_get_ports(client, ("^" + device + ":").c_str(),
                                                JACK_DEFAULT_AUDIO_TYPE, JackPortIsInput)) {
            return named;
        }
    }
    return jack_get_ports(client, nullptr, JACK_DEFAULT_AUDIO_TYPE,
                          JackPortIsPhysical | JackPortIsInput);
}

} // namespace

std::string JackTrackStream::PortName(int port) {
    const char* side = port % 2 == 0 ? " L" : " R";
    if (port < 2) {
        return std::string("main") + side;
    }
    return "track " + std::to_string((port - 2) / 2 + 1) + side;
}

std::unique_ptr<JackTrackStream> JackTrackStream::open(const std::string& client, Render render,
                                                       void* user, std::string& error) {
    std::unique_ptr<JackTrackStream> stream(new JackTrackStream);
    jack_status_t status{};
    stream->m_client = jack_client_open(client.c_str(), JackNoStartServer, &status);
    if (stream->m_client == nullptr) {
        error = "no JACK server is running";
        return nullptr;
    }
    stream->m_render = render;
    stream->m_user = user;
    stream->m_interleaved =
        std::make_unique<float[]>(static_cast<std::size_t>(kPorts) * kMaxFrames);
    for (int p = 0; p < kPorts; ++p) {
        jack_port_t* port = jack_port_register(stream->m_client, PortName(p).c_str(),
                                               JACK_DEFAULT_AUDIO_TYPE, JackPortIsOutput, 0);
        if (port == nullptr) {
            error = "the JACK server refused the port " + PortName(p);
            return nullptr;
        }
        stream->m_ports.push_back(port);
    }
    jack_set_process_callback(stream->m_client, &JackTrackStream::process, stream.get());
    jack_set_xrun_callback(stream->m_client, &JackTrackStream::xrun, stream.get());
    jack_on_shutdown(stream->m_client, &JackTrackStream::serverGone, stream.get());
    return stream;
}

JackTrackStream::~JackTrackStream() {
    if (m_client == nullptr) {
        return;
    }
    if (m_gone.load()) {
        KeepForGood(m_client);
        return;
    }
    if (m_active) {
        jack_deactivate(m_client); // returns once no cycle of ours runs
    }
    jack_client_close(m_client);
}

bool JackTrackStream::start(const std::string& device) {
    if (jack_activate(m_client) != 0) {
        return false;
    }
    m_active = true;
    if (const char** playback = PlaybackPorts(m_client, device)) {
        // A single playback port takes both sides.
        for (int p = 0; p < 2 && playback[0] != nullptr; ++p) {
            const char* to = p == 1 && playback[1] != nullptr ? playback[1] : playback[0];
            jack_connect(m_client, jack_port_name(m_ports[static_cast<std::size_t>(p)]), to);
        }
        jack_free(static_cast<void*>(playback));
    }
    return true;
}

int JackTrackStream::rate() const noexcept {
    return static_cast<int>(jack_get_sample_rate(m_client));
}

int JackTrackStream::blockFrames() const noexcept {
    return static_cast<int>(jack_get_buffer_size(m_client));
}

std::uint32_t JackTrackStream::latencyFrames() const noexcept {
    jack_latency_range_t range{};
    jack_port_get_latency_range(m_ports.front(), JackPlaybackLatency, &range);
    return range.max;
}

int JackTrackStream::process(jack_nframes_t frames, void* self) noexcept {
    auto& s = *static_cast<JackTrackStream*>(self);
    float* buffers[kPorts];
    for (int p = 0; p < kPorts; ++p) {
        buffers[p] = static_cast<float*>(
            jack_port_get_buffer(s.m_ports[static_cast<std::size_t>(p)], frames));
    }
    const bool late = s.m_xrun.exchange(false, std::memory_order_relaxed);
    const int channels =
        frames <= kMaxFrames ? s.m_render(s.m_user, s.m_interleaved.get(), frames, late) : 0;
    if (channels < 1) {
        for (float* b : buffers) {
            std::fill(b, b + frames, 0.0f);
        }
        return 0;
    }
    // Channel of each port: mono feeds both main ports; without track pairs they are silent.
    const int main = channels > 2 ? channels - 2 * kTracks : channels;
    const float* in = s.m_interleaved.get();
    for (int p = 0; p < kPorts; ++p) {
        const int c = p < 2 ? std::min(p, main - 1) : main + p - 2;
        float* out = buffers[p];
        if (p >= 2 && channels <= 2) {
            std::fill(out, out + frames, 0.0f);
            continue;
        }
        for (jack_nframes_t n = 0; n < frames; ++n) {
            out[n] = in[static_cast<std::size_t>(n) * static_cast<std::size_t>(channels) +
                        static_cast<std::size_t>(c)];
        }
    }
    return 0;
}

int JackTrackStream::xrun(void* self) noexcept {
    static_cast<JackTrackStream*>(self)->m_xrun.store(true, std::memory_order_relaxed);
    return 0;
}

void JackTrackStream::serverGone(void* self) noexcept {
    static_cast<JackTrackStream*>(self)->m_gone.store(true);
}

} // namespace mt
