#pragma once

#include "audio/AudioOutput.h"
#include "audio/AudioSource.h"
#include "audio/Engine.h"
#include "audio/OutputChoice.h"
#include "audio/SampleBuffer.h"
#include "audio/WaveOverview.h"

#include <QString>

#include <array>
#include <atomic>
#include <cstdint>
#include <deque>
#include <memory>
#include <thread>
#include <unordered_map>
#include <vector>

namespace mt {

// The library's account of its sound output, for the performer's status line.
struct LibraryHealth {
    OutputHealth device;         // the stream now; api empty while there is none
    bool reopening = false;      // the stream died; a new one is tried every second
    std::uint32_t underruns = 0; // every stream this library has opened
    OutputConfig format;         // what the engine renders
    int bits = 16;
    // The last format asked for, when the device refused it (the previous one plays on).
    bool formatRefused = false;
    OutputConfig refused;
    int refusedBits = 0;
};

// One open instance of the sound-buffer library: an output, the engine it drives, and the
// UI-side records of every sound buffer. Every method is for the UI thread (one thread at a
// time); none waits for the audio thread. Volumes and pans are in hundredths of a decibel,
// frequencies in Hz, as the ds* calls take them.
class SoundLibrary {
public:
    static constexpr std::int32_t kMinFrequency = 1;
    static constexpr std::int32_t kMaxFrequency = 400000;
    static constexpr std::int32_t kSilence = -10000;

    explicit SoundLibrary(std::unique_ptr<AudioOutput> output);
    ~SoundLibrary();
    SoundLibrary(const SoundLibrary&) = delete;
    SoundLibrary& operator=(const SoundLibrary&) = delete;

    // Opens the output. May block while the device opens. False when it cannot. The block's
    // length in time is kept from here on: a new rate gets as many frames as fill that time.
    bool open(const OutputConfig& config, int bits);

    // Reopens the output in place at this format; buffers and voices carry on. On refusal the
    // previous format is restored and false returned. Channels 1 or 2; bits 8, 16, 24 or 32.
    bool setFormat(std::int32_t sampleRate, std::int16_t bits, std::int16_t channels);

    // Reopens with a new device block (32..4096 frames); false when the device refuses it.
    bool setBlockFrames(int frames);

    // Reopens on another audio system or device, or with another block length; the format
    // stays. On refusal the previous choice is reopened and false returned. May block.
    bool setOutput(const OutputChoice& choice);
    const OutputChoice& output() const noexcept { return m_choice; }
    // Records the choice an output was given before open().
    void rememberOutput(const OutputChoice& choice) { m_choice = choice; }

    // Never blocks. How the output is doing; takes the device's peak load.
    LibraryHealth health();

    // Decodes a whole WAV image into a new buffer known as `handle`. False (with lastError())
    // when the image cannot be decoded or every slot is taken. Blocks while decoding.
    bool createBuffer(std::int32_t handle, const void* image, std::size_t size);

    // Takes decoded samples (decoded on any thread) as a new buffer known as `handle`; a null
    // one is a failed decode whose `reason` becomes lastError(). False when not taken.
    bool adoptBuffer(std::int32_t handle, std::unique_ptr<SampleBuffer> samples,
                     const QString& reason);

    // Each ignores a handle this library does not hold.
    void freeBuffer(std::int32_t handle);
    void play(std::int32_t handle, bool loop);
    void playEx(std::int32_t handle, bool loop, std::int32_t volume, std::int32_t pan,
                std::int32_t frequency);
    void stop(std::int32_t handle);
    // As playEx and stop at output frame `frame` (frameHorizon()'s clock); playAt starts from
    // the buffer's frame `from`. cancelScheduled drops both while they wait.
    void playAt(std::int32_t handle, bool loop, std::int32_t volume, std::int32_t pan,
                std::int32_t frequency, std::int64_t frame, std::int64_t from);
    void stopAt(std::int32_t handle, std::int64_t frame);
    void cancelScheduled(std::int32_t handle);
    // The output's frame clock: the engine's mix rate while a stream renders, else 0; and
    // the first frame a command sent now lands on exactly. Never blocks.
    int frameRate() const noexcept { return m_open ? m_engine.sampleRate() : 0; }
    std::int64_t frameHorizon() const noexcept { return m_engine.frameHorizon(); }
    std::shared_ptr<const OutputClock> outputClock() const noexcept {
        return m_engine.outputClock();
    }
    // `listener` hears of every render of this library's engine from now on (null: none); it
    // may go once this returns
    // with another.
    void setBlockListener(BlockListener* listener) noexcept { m_engine.setBlockListener(listener); }
    void setVolume(std::int32_t handle, std::int32_t volume);
    void setPan(std::int32_t handle, std::int32_t pan);
    void setFrequency(std::int32_t handle, std::int32_t frequency);
    // The buffer's sound, and what fades out of it from now on, also plays into track output
    // `track` (0..Engine::kTrackOutputs - 1) when the stream has track outputs; -1 for the
    // main pair only, as every buffer starts.
    void route(std::int32_t handle, int track);
    bool holds(std::int32_t handle) const { return m_buffers.count(handle) != 0; }
    bool voiceStatus(std::int32_t handle, VoiceStatus& status);
    // The buffer's outline for drawing; null for a handle this library does not hold.
    std::shared_ptr<const WaveOverview> overview(std::int32_t handle);
    // The frames the buffer holds, fewer than its file declared when the file was cut while
    // it was read; -1 for a handle this library does not hold.
    std::int64_t frames(std::int32_t handle);
    // The buffer's samples, kept alive for a reader on another thread after the buffer is
    // freed; null for a handle this library does not hold.
    std::shared_ptr<const SampleBuffer> samples(std::int32_t handle);
    // The whole output's level as Engine::masterPeak. Never blocks.
    float masterPeak() const noexcept { return m_engine.masterPeak(); }

    // Mixes a further source from the next block on; the library owns it from now.
    AudioSource* addSource(std::unique_ptr<AudioSource> source);
    // Stops mixing it; it is deleted once the audio thread has let go.
    void removeSource(AudioSource* source);

    // Deletes what the audio thread has returned and resends held-back commands; notices a
    // stream that died and reopens it in the background, once a second, with the same format.
    // Voices keep their place while there is no stream and go on from there when it is back;
    // the buffers, sources and their state are untouched. Every other method does this too;
    // a UI timer calls it at display rate. Never blocks.
    void collect();

    const QString& lastError() const noexcept { return m_lastError; }
    const OutputConfig& config() const noexcept { return m_config; }
    int bits() const noexcept { return m_bits; }

private:
    struct BufferRecord {
        int slot = 0;
        std::int32_t volume = 0;
        std::int32_t pan = 0;
        std::int32_t frequency = 0;
    };

    void send(const EngineCommand& command);
    void sendGain(const BufferRecord& record);
    void quiesce();
    bool reopen(const OutputConfig& config, int bits);
    void watch();
    void restore();
    void closeOutput();
    void startReopen();
    void leaveOutput();
    void finishReopen();
    BufferRecord* find(std::int32_t handle);

    Engine m_engine;
    std::unique_ptr<AudioOutput> m_output;
    OutputConfig m_config;
    int m_bits = 16;
    double m_blockSeconds = kDefaultBlockSeconds;
    OutputChoice m_choice;
    bool m_open = false; // a stream renders the engine; else this thread stands in for it
    bool m_formatRefused = false;
    OutputConfig m_refused;
    int m_refusedBits = 0;

    // Reopening a stream that died, on a thread of its own so the UI never waits for it.
    bool m_reopening = false;
    std::thread m_reopener;
    std::atomic<bool> m_reopenDone{false};
    bool m_reopenOk = false;    // the worker's result, read once m_reopenDone is set
    std::int64_t m_nextTry = 0; // steady-clock ns
    std::uint32_t m_pastUnderruns = 0;
    std::unordered_map<std::int32_t, BufferRecord> m_buffers;
    // Shared with renders reading them on the loader thread; the engine reads them through
    // plain pointers and returns a slot before the library lets go of its samples.
    std::array<std::shared_ptr<const SampleBuffer>, Engine::kMaxSlots> m_slots;
    std::vector<int> m_freeSlots;
    std::vector<std::unique_ptr<AudioSource>> m_sources;
    std::deque<EngineCommand> m_backlog; // commands the full ring could not take yet
    QString m_lastError;
};

// The two channel gains of a volume and a pan in hundredths of a decibel: pan < 0 lowers the
// right channel by |pan| / 100 dB, pan > 0 the left; -10000 and below is silence.
struct StereoGain {
    float left;
    float right;
};
StereoGain GainOf(std::int32_t volume, std::int32_t pan) noexcept;

} // namespace mt
