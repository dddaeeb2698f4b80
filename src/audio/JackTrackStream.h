#pragma once

#include <jack/types.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace mt {

// The JACK stream with a stereo pair per track: a client of our own whose ports are named for
// a front-of-house mixer, "main L", "main R", then "track 1 L" .. "track 8 R", the same names at
// every open so that the performer's connections survive. RtAudio cannot carry it: its JACK
// ports are "outport N", and it refuses more channels than the device it connects to has (two
// on most cards, and on the dummy server). Only the main pair is connected to the playback
// ports; the track pairs are the performer's to connect.
class JackTrackStream {
public:
    static constexpr int kTracks = 8;
    static constexpr int kPorts = 2 + 2 * kTracks;
    static constexpr std::uint32_t kMaxFrames = 8192; // JACK's longest period

    // Audio thread (JACK's process thread). Never blocks. Writes `frames` interleaved frames
    // and returns how many channels each has: 1 or 2 main channels alone, or those followed by
    // kTracks pairs; below 1 for silence. `xrun`: the server reported a late cycle since the
    // last call.
    using Render = int (*)(void* user, float* interleaved, std::uint32_t frames,
                           bool xrun) noexcept;

    // A client named `client` with its ports registered, not yet running; null and `error`
    // said when no server takes it. Any thread but the audio thread; may block.
    static std::unique_ptr<JackTrackStream> open(const std::string& client, Render render,
                                                 void* user, std::string& error);
    // Closes the client; one whose server has gone is kept instead, for as long as the process
    // lives (libjack must never close it). May block until the running cycle ends.
    ~JackTrackStream();
    JackTrackStream(const JackTrackStream&) = delete;
    JackTrackStream& operator=(const JackTrackStream&) = delete;

    // Starts the cycles and connects the main pair to the playback ports of the JACK client
    // `device` (empty: the physical playback ports). False when the server refuses.
    bool start(const std::string& device);

    // The port names without the client's, in channel order.
    static std::string PortName(int port);

    int rate() const noexcept;
    int blockFrames() const noexcept;
    // The main pair's playback latency as the server reports it, in frames.
    std::uint32_t latencyFrames() const noexcept;
    // The server has shut the client down; no cycle comes any more.
    bool gone() const noexcept { return m_gone.load(std::memory_order_relaxed); }

private:
    JackTrackStream() = default;
    static int process(jack_nframes_t frames, void* self) noexcept;
    static int xrun(void* self) noexcept;
    static void serverGone(void* self) noexcept;

    jack_client_t* m_client = nullptr;
    std::vector<jack_port_t*> m_ports;
    std::unique_ptr<float[]> m_interleaved; // kPorts x kMaxFrames
    Render m_render = nullptr;
    void* m_user = nullptr;
    std::atomic<bool> m_xrun{false};
    std::atomic<bool> m_gone{false};
    bool m_active = false;
};

} // namespace mt
