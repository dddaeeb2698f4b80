#pragma once

#include "audio/SpscRing.h"
#include "media/midi/SmfSong.h"
#include "media/midi/SynthCommand.h"

#include <QString>

#include <fluidsynth.h>

#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <vector>

namespace mt {

// The system resets of sendSystemReset.
enum class SystemResetKind : std::int32_t { GM = 0, GS = 1, VL = 2, VL2 = 3, XG = 4 };

// The bytes sent for a reset kind, without F0 and F7; empty for an unknown kind.
//   GM  7E 7F 09 01           GM System On
//   GS  41 10 42 12 40 00 7F 00 41   GS Reset
//   VL  43 10 4C 00 00 7E 00  XG System On: the VL modules are XG sound modules and
//                             take the XG reset; the synth has no VL voice of its own
//   VL2 7E 7F 09 03           GM2 System On, the newer modules' level
//   XG  43 10 4C 00 00 7E 00  XG System On
std::vector<std::uint8_t> systemResetBytes(std::int32_t kind);

// FluidSynth and the song player it runs, as one more sound source of the mix.
//
// Threads. The synth is made with FluidSynth's thread-safe API switched off, so it takes no
// lock; in exchange only one thread may touch it at a time. That thread is the audio thread
// (render()) while a source for this synth is attached to a sound library, and the UI thread
// (pump()) while none is. Everything else crosses over: the UI thread posts KbgmCommands to
// the command ring; the audio thread applies them at the top of each render, in order, and
// publishes what it did through atomics (appliedSeq() tells which commands have been
// applied). Songs are read-only and owned here on the UI side; a song leaves only after the
// audio thread has handed it back through the return ring.
//
// The player is our own sequencer over the song's merged events, clocked by rendered
// frames: nothing it does on the audio thread locks, allocates or does I/O.
class GmSynth {
public:
    enum class State : std::int32_t { Stopped = 0, Playing = 1, Paused = 2 };

    // UI thread. Loads the SoundFont at this rate; valid() is false when FluidSynth or the
    // SoundFont fails. May block while the SoundFont loads (about 20 ms).
    GmSynth(const QString& soundFont, int sampleRate);
    ~GmSynth();
    GmSynth(const GmSynth&) = delete;
    GmSynth& operator=(const GmSynth&) = delete;

    bool valid() const noexcept { return m_synth != nullptr; }

    // UI thread, only while nothing renders this synth. Rebuilds the synth at a new rate and
    // sizes the scratch buffers; the song carries on from where it was.
    void prepare(int sampleRate, std::size_t maxBlockFrames);

    // UI thread, only while nothing renders this synth. Cuts every sound at once.
    void silence() noexcept;

    // UI thread. False when the ring is full; the command was not queued.
    bool post(SynthCommand command) noexcept;

    // UI thread, only while no source for this synth is attached: applies the queued commands
    // and returns released songs, standing in for the audio thread.
    void pump() noexcept;

    // Audio thread (or pump()). Never blocks, allocates or locks. Applies queued commands,
    // plays `frames` frames of the song and adds the synth's stereo output into `bus`
    // (interleaved stereo).
    void render(float* bus, std::size_t frames) noexcept;

    // UI thread. Deletes the freed songs the audio thread has handed back.
    void collect();

    // UI thread only: the loaded songs by handle, and the freed ones the audio thread may
    // still be reading (each is deleted once handed back, or with the synth).
    std::map<std::int32_t, std::unique_ptr<SmfSong>> songs;
    std::vector<std::unique_ptr<SmfSong>> freed;

    // Any thread. What the audio thread last published.
    std::uint32_t appliedSeq() const noexcept {
        return m_appliedSeq.load(std::memory_order_acquire);
    }
    State state() const noexcept {
        return static_cast<State>(m_pubState.load(std::memory_order_relaxed));
    }
    std::uint32_t positionTick() const noexcept {
        return m_pubTick.load(std::memory_order_relaxed);
    }
    double bpm() const noexcept { return m_pubBpm.load(std::memory_order_relaxed); }
    const SmfSong* currentSong() const noexcept {
        return m_pubSong.load(std::memory_order_relaxed);
    }
    // The kind of the last reset sent to the synth, -1 before the first.
    std::int32_t lastReset() const noexcept { return m_pubReset.load(std::memory_order_relaxed); }

    // UI thread. How many sources for this synth sound libraries hold (kept by the sources).
    // Re-attaching makes the new source before the old one is deleted, so this is a count.
    std::atomic<int> sources{0};
    bool attached() const noexcept { return sources.load() > 0; }

    // For tests: the synth itself. Only on the thread that may touch it (see above).
    fluid_synth_t* synth() const noexcept { return m_synth; }

private:
    void build(int sampleRate);
    void destroy() noexcept;
    void apply(const SynthCommand& c) noexcept;
    void rewindTo(std::uint32_t tick) noexcept;
    void dispatch(const SmfEvent& e, bool notes) noexcept;
    void releaseNotes() noexcept;
    double ticksPerFrame() const noexcept;
    void publish() noexcept;
    void renderBlock(float* bus, std::size_t frames) noexcept;

    QString m_soundFont;
    fluid_settings_t* m_settings = nullptr;
    fluid_synth_t* m_synth = nullptr;
    int m_sampleRate = 44100;
    std::vector<float> m_left;
    std::vector<float> m_right;

    SpscRing<SynthCommand, 256> m_commands;
    SpscRing<const SmfSong*, 64> m_returns;

    // Audio thread (or pump()) only.
    const SmfSong* m_song = nullptr;
    State m_state = State::Stopped;
    bool m_repeat = false;
    std::size_t m_next = 0;                             // next event to dispatch
    double m_tick = 0.0;                                // position, fractional ticks
    std::uint32_t m_fileTempo = SmfSong::kDefaultTempo; // the song's own tempo here
    double m_tempoScale = 1.0;                          // setTempo: played tempo / the song's own
    float m_gain = 1.0f;                                // volume as applied, glides to m_targetGain
    float m_targetGain = 1.0f;
    bool m_chase = false; // channel state lost (synth rebuilt): replay it
    std::uint32_t m_lastSeq = 0;

    std::atomic<std::uint32_t> m_appliedSeq{0};
    std::atomic<std::int32_t> m_pubState{0};
    std::atomic<std::uint32_t> m_pubTick{0};
    std::atomic<double> m_pubBpm{120.0};
    std::atomic<const SmfSong*> m_pubSong{nullptr};
    std::atomic<std::int32_t> m_pubReset{-1};
    // Held while a thread renders. Moving from one live library to another leaves both holding
    // a source for a moment; the second to arrive skips its block instead of racing.
    std::atomic_flag m_rendering;
};

} // namespace mt
