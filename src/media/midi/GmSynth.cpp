#include "media/midi/GmSynth.h"

#include <algorithm>
#include <cmath>

namespace mt {
namespace {

constexpr std::uint32_t kMinTempo = 60000;    // microseconds per quarter: 1000 BPM
constexpr std::uint32_t kMaxTempo = 60000000; // 1 BPM
constexpr int kChannels = 16;

constexpr std::uint8_t kGmOn[] = {0x7e, 0x7f, 0x09, 0x01};
constexpr std::uint8_t kGm2On[] = {0x7e, 0x7f, 0x09, 0x03};
constexpr std::uint8_t kGsReset[] = {0x41, 0x10, 0x42, 0x12, 0x40, 0x00, 0x7f, 0x00, 0x41};
constexpr std::uint8_t kXgOn[] = {0x43, 0x10, 0x4c, 0x00, 0x00, 0x7e, 0x00};

struct ResetBytes {
    const std::uint8_t* data;
    std::size_t size;
};

ResetBytes ResetFor(std::int32_t kind) noexcept {
    switch (static_cast<SystemResetKind>(kind)) {
    case SystemResetKind::GM:
        return {kGmOn, sizeof kGmOn};
    case SystemResetKind::GS:
        return {kGsReset, sizeof kGsReset};
    case SystemResetKind::VL:
    case SystemResetKind::XG:
        return {kXgOn, sizeof kXgOn};
    case SystemResetKind::VL2:
        return {kGm2On, sizeof kGm2On};
    }
    return {nullptr, 0};
}

} // namespace

std::vector<std::uint8_t> systemResetBytes(std::int32_t kind) {
    const ResetBytes r = ResetFor(kind);
    return r.data == nullptr ? std::vector<std::uint8_t>{}
                             : std::vector<std::uint8_t>(r.data, r.data + r.size);
}

GmSynth::GmSynth(const QString& soundFont, int sampleRate) : m_soundFont(soundFont) {
    build(sampleRate);
    m_left.resize(256);
    m_right.resize(256);
}

GmSynth::~GmSynth() {
    destroy();
}

void GmSynth::build(int sampleRate) {
    destroy();
    m_sampleRate = std::max(sampleRate, 1000);
    m_settings = new_fluid_settings();
    if (m_settings == nullptr) {
        return;
    }
    // One thread at a time drives the synth (see the class comment), so it needs no lock of
    // its own, and no helper threads render beside the audio callback.
    fluid_settings_setint(m_settings, "synth.threadsafe-api", 0);
    fluid_settings_setint(m_settings, "synth.cpu-cores", 1);
    fluid_settings_setnum(m_settings, "synth.sample-rate", m_sampleRate);
    // GS and XG resets are addressed to device 0x10; the synth honours only its own id.
    fluid_settings_setint(m_settings, "synth.device-id", 16);
    fluid_settings_setint(m_settings, "synth.dynamic-sample-loading", 0);
    m_synth = new_fluid_synth(m_settings);
    const QByteArray path = m_soundFont.toLocal8Bit();
    if (m_synth == nullptr || fluid_synth_sfload(m_synth, path.constData(), 1) == FLUID_FAILED) {
        destroy();
    }
}

void GmSynth::destroy() noexcept {
    if (m_synth != nullptr) {
        delete_fluid_synth(m_synth);
        m_synth = nullptr;
    }
    if (m_settings != nullptr) {
        delete_fluid_settings(m_settings);
        m_settings = nullptr;
    }
}

void GmSynth::prepare(int sampleRate, std::size_t maxBlockFrames) {
    if (maxBlockFrames > m_left.size()) {
        m_left.resize(maxBlockFrames);
        m_right.resize(maxBlockFrames);
    }
    if (sampleRate != m_sampleRate && m_synth != nullptr) {
        build(sampleRate);
        m_chase = true;
    }
}

void GmSynth::silence() noexcept {
    if (m_synth != nullptr) {
        fluid_synth_all_sounds_off(m_synth, -1);
    }
}

bool GmSynth::post(SynthCommand command) noexcept {
    return m_commands.push(command);
}

void GmSynth::pump() noexcept {
    render(nullptr, 0);
}

void GmSynth::collect() {
    const SmfSong* song = nullptr;
    while (m_returns.pop(song)) {
        std::erase_if(freed, [song](const auto& s) { return s.get() == song; });
    }
}

void GmSynth::releaseNotes() noexcept {
    for (int ch = 0; ch < kChannels; ++ch) {
        fluid_synth_cc(m_synth, ch, 64, 0); // a held pedal would keep the notes sounding
    }
    fluid_synth_all_notes_off(m_synth, -1);
}

void GmSynth::dispatch(const SmfEvent& e, bool notes) noexcept {
    switch (e.kind) {
    case SmfEvent::Kind::Tempo:
        if (!m_song->smpte) {
            m_fileTempo = std::clamp(e.value, kMinTempo, kMaxTempo);
        }
        return;
    case SmfEvent::Kind::Sysex:
        fluid_synth_sysex(m_synth,
                          reinterpret_cast<const char*>(m_song->sysexBytes.data() + e.value),
                          static_cast<int>(e.length), nullptr, nullptr, nullptr, 0);
        return;
    case SmfEvent::Kind::Channel:
        break;
    }
    const int ch = e.status & 0x0f;
    switch (e.status & 0xf0) {
    case 0x80:
        if (notes) {
            fluid_synth_noteoff(m_synth, ch, e.data1);
        }
        break;
    case 0x90:
        if (notes) {
            if (e.data2 == 0) {
                fluid_synth_noteoff(m_synth, ch, e.data1);
            } else {
                fluid_synth_noteon(m_synth, ch, e.data1, e.data2);
            }
        }
        break;
    case 0xa0:
        if (notes) {
            fluid_synth_key_pressure(m_synth, ch, e.data1, e.data2);
        }
        break;
    case 0xb0:
        // While chasing, the mode messages (sound and notes off, controller reset) and the
        // pedal are left out: they act on notes that are not sounding.
        if (notes || (e.data1 < 120 && e.data1 != 64)) {
            fluid_synth_cc(m_synth, ch, e.data1, e.data2);
        }
        break;
    case 0xc0:
        fluid_synth_program_change(m_synth, ch, e.data1);
        break;
    case 0xd0:
        fluid_synth_channel_pressure(m_synth, ch, e.data1);
        break;
    case 0xe0:
        fluid_synth_pitch_bend(m_synth, ch, e.data1 | (e.data2 << 7));
        break;
    default:
        break;
    }
}

void GmSynth::rewindTo(std::uint32_t tick) noexcept {
    // Channels back to their defaults, then every setting of the song before `tick` again, so
    // the position sounds as it would have had the song played up to it.
    releaseNotes();
    for (int ch = 0; ch < kChannels; ++ch) {
        fluid_synth_cc(m_synth, ch, 121, 0);
        fluid_synth_cc(m_synth, ch, 0, 0);
        fluid_synth_cc(m_synth, ch, 32, 0);
        fluid_synth_program_change(m_synth, ch, 0);
        fluid_synth_pitch_bend(m_synth, ch, 8192);
    }
    m_fileTempo = SmfSong::kDefaultTempo;
    m_next = 0;
    if (m_song != nullptr) {
        const auto& events = m_song->events;
        while (m_next < events.size() && events[m_next].tick < tick) {
            dispatch(events[m_next], false);
            ++m_next;
        }
        // A tempo at the position itself already holds there; the next block dispatches it
        // again with the rest of that tick.
        for (std::size_t i = m_next; i < events.size() && events[i].tick == tick; ++i) {
            if (events[i].kind == SmfEvent::Kind::Tempo) {
                dispatch(events[i], false);
            }
        }
    }
    m_tick = tick;
}

double GmSynth::ticksPerFrame() const noexcept {
    const double quartersPerSecond = 1.0e6 / m_fileTempo * m_tempoScale;
    return quartersPerSecond * m_song->resolution / m_sampleRate;
}

void GmSynth::apply(const SynthCommand& c) noexcept {
    m_lastSeq = c.seq;
    switch (c.kind) {
    case SynthCommand::Kind::Play:
        m_song = c.song;
        m_repeat = c.value != 0;
        m_tempoScale = 1.0;
        rewindTo(0);
        m_state = State::Playing;
        break;
    case SynthCommand::Kind::Stop:
        if (m_state != State::Stopped) {
            releaseNotes();
        }
        m_state = State::Stopped;
        break;
    case SynthCommand::Kind::Pause:
        if (m_state == State::Playing) {
            releaseNotes();
            m_state = State::Paused;
        }
        break;
    case SynthCommand::Kind::Resume:
        if (m_state == State::Paused && c.song == m_song) {
            m_state = State::Playing;
        }
        break;
    case SynthCommand::Kind::Seek:
        if (m_song != nullptr && c.song == m_song) {
            const double target =
                std::clamp(m_tick + c.value, 0.0, static_cast<double>(m_song->endTick));
            if (c.value < 0) {
                rewindTo(static_cast<std::uint32_t>(target));
            } else {
                releaseNotes();
                const auto& events = m_song->events;
                while (m_next < events.size() && events[m_next].tick < target) {
                    dispatch(events[m_next], false);
                    ++m_next;
                }
                m_tick = target;
            }
        }
        break;
    case SynthCommand::Kind::SetTempo:
        if (c.value > 0) {
            // The song keeps its own tempo changes, scaled to the tempo asked for here.
            m_tempoScale = c.value / (60.0e6 / m_fileTempo);
        }
        break;
    case SynthCommand::Kind::SetVolume:
        m_targetGain = static_cast<float>(std::clamp(c.value, 0, 100)) / 100.0f;
        break;
    case SynthCommand::Kind::Reset: {
        const ResetBytes r = ResetFor(c.value);
        if (r.data != nullptr) {
            fluid_synth_sysex(m_synth, reinterpret_cast<const char*>(r.data),
                              static_cast<int>(r.size), nullptr, nullptr, nullptr, 0);
            m_pubReset.store(c.value, std::memory_order_relaxed);
        }
        break;
    }
    case SynthCommand::Kind::Release:
        if (c.song == m_song) {
            if (m_state != State::Stopped) {
                releaseNotes();
            }
            m_song = nullptr;
            m_state = State::Stopped;
        }
        m_returns.push(c.song); // holds every song the UI side may free at once
        break;
    }
}

void GmSynth::publish() noexcept {
    m_pubState.store(static_cast<std::int32_t>(m_state), std::memory_order_relaxed);
    m_pubTick.store(static_cast<std::uint32_t>(m_tick), std::memory_order_relaxed);
    m_pubBpm.store(60.0e6 / m_fileTempo * m_tempoScale, std::memory_order_relaxed);
    m_pubSong.store(m_song, std::memory_order_relaxed);
    m_appliedSeq.store(m_lastSeq, std::memory_order_release);
}

void GmSynth::render(float* bus, std::size_t frames) noexcept {
    if (m_synth == nullptr || m_rendering.test_and_set(std::memory_order_acquire)) {
        return;
    }
    renderBlock(bus, frames);
    m_rendering.clear(std::memory_order_release);
}

void GmSynth::renderBlock(float* bus, std::size_t frames) noexcept {
    SynthCommand c;
    while (m_commands.pop(c)) {
        apply(c);
    }
    if (m_chase && m_song != nullptr) {
        // The synth was rebuilt: its channels forgot the song's programs and controllers.
        const auto& events = m_song->events;
        for (std::size_t i = 0; i < m_next && i < events.size(); ++i) {
            dispatch(events[i], false);
        }
    }
    m_chase = false;
    std::size_t done = 0;
    while (done < frames) {
        std::size_t chunk = std::min(frames - done, m_left.size());
        bool reachesEvent = false;
        if (m_state == State::Playing) {
            const auto& events = m_song->events;
            while (m_next < events.size() && events[m_next].tick <= m_tick) {
                dispatch(events[m_next], true);
                ++m_next;
            }
            if (m_next >= events.size() && m_tick >= m_song->endTick) {
                if (m_repeat && m_song->endTick > 0) {
                    rewindTo(0);
                    continue;
                }
                releaseNotes();
                m_state = State::Stopped;
            } else {
                const double boundary =
                    m_next < events.size() ? events[m_next].tick : m_song->endTick;
                const double toEvent = std::ceil((boundary - m_tick) / ticksPerFrame());
                if (toEvent <= static_cast<double>(chunk)) {
                    chunk = std::max<std::size_t>(1, static_cast<std::size_t>(toEvent));
                    reachesEvent = true;
                }
                m_tick = reachesEvent ? boundary : m_tick + chunk * ticksPerFrame();
            }
        }
        float* left = m_left.data();
        float* right = m_right.data();
        fluid_synth_write_float(m_synth, static_cast<int>(chunk), left, 0, 1, right, 0, 1);
        // The volume glides across the chunk so a mute never clicks.
        const float step = (m_targetGain - m_gain) / static_cast<float>(chunk);
        for (std::size_t n = 0; n < chunk; ++n) {
            m_gain += step;
            float* frame = bus + 2 * (done + n);
            frame[0] += left[n] * m_gain;
            frame[1] += right[n] * m_gain;
        }
        m_gain = m_targetGain;
        done += chunk;
    }
    publish();
}

} // namespace mt
