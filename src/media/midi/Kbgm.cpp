#include "media/midi/MidiLibrary.h"

#include "audio/LibraryRegistry.h"
#include "media/midi/GmSynth.h"
#include "media/midi/SynthSource.h"

#include <QFile>

#include <algorithm>
#include <cmath>

// The MIDI library's calls. Each public method is one call of the old C library, named in the
// comment above it; this file is the only place that names them so.
namespace mt {
namespace {

constexpr qint64 kMaxFileBytes = qint64{64} * 1024 * 1024; // far beyond any real song

using State = GmSynth::State;

std::int32_t RoundBpm(double bpm) {
    return static_cast<std::int32_t>(std::floor(bpm + 0.5));
}

double InitialBpm(const SmfSong& song) {
    return 60.0e6 / song.initialTempo();
}

} // namespace

MidiLibrary::MidiLibrary(QString soundFont) : m_soundFont(std::move(soundFont)) {}

MidiLibrary::~MidiLibrary() {
    close();
}

// The old library's KBGMOpen.
std::int32_t MidiLibrary::open(std::int32_t /*port*/, std::int32_t /*bank*/) {
    if (m_synth) {
        return kOk;
    }
    // FluidSynth would print from whichever thread it runs on, the audio thread included.
    for (int level : {FLUID_ERR, FLUID_WARN, FLUID_INFO, FLUID_DBG}) {
        fluid_set_log_function(level, nullptr, nullptr);
    }
    auto synth = std::make_shared<GmSynth>(m_soundFont, 44100);
    if (!synth->valid()) {
        return kNotOpen;
    }
    m_synth = std::move(synth);
    m_expected = Expected();
    m_seq = 0;
    return kOk;
}

// The old library's KBGMClose.
std::int32_t MidiLibrary::close() {
    if (!m_synth) {
        return kOk;
    }
    stop();
    detach();
    // The source still attached keeps the synth (and its songs) until the audio thread has
    // let go of it.
    m_synth.reset();
    m_backlog.clear();
    m_expected = Expected();
    return kOk;
}

void MidiLibrary::detach() {
    if (m_source != nullptr) {
        AudioSource* source = m_source;
        LibraryRegistry::instance().withLibrary(m_library, 0, [source](SoundLibrary& library) {
            library.removeSource(source);
            return 0;
        });
    }
    m_source = nullptr;
    m_library = 0;
}

// The old library's KBGMSetOutput.
std::int32_t MidiLibrary::setOutput(std::int32_t library) {
    if (!m_synth) {
        return kNotOpen;
    }
    detach();
    settle();
    const std::shared_ptr<GmSynth> synth = m_synth;
    AudioSource* source = LibraryRegistry::instance().withLibrary(
        library, static_cast<AudioSource*>(nullptr),
        [&synth](SoundLibrary& l) { return l.addSource(std::make_unique<SynthSource>(synth)); });
    if (source == nullptr) {
        return kBadArgument;
    }
    m_source = source;
    m_library = library;
    return kOk;
}

void MidiLibrary::flush() {
    while (!m_backlog.empty() && m_synth->post(m_backlog.front())) {
        m_backlog.pop_front();
    }
}

void MidiLibrary::settle() {
    m_synth->collect();
    flush();
    while (!m_synth->attached()) {
        // Nothing renders the synth: this thread applies what was sent.
        m_synth->pump();
        m_synth->collect();
        if (m_backlog.empty()) {
            break;
        }
        flush();
    }
}

MidiLibrary::Expected MidiLibrary::current() const {
    Expected e = m_expected;
    if (m_synth && m_synth->appliedSeq() == m_seq) {
        // Everything sent has been applied: the published state is the truth (a song may
        // have ended since).
        e.state = static_cast<std::int32_t>(m_synth->state());
        e.position = m_synth->positionTick();
        e.bpm = m_synth->bpm();
        if (m_synth->currentSong() == nullptr) {
            e.song = 0;
        }
    }
    return e;
}

const SmfSong* MidiLibrary::find(std::int32_t song) const {
    if (!m_synth) {
        return nullptr;
    }
    const auto it = m_synth->songs.find(song);
    return it == m_synth->songs.end() ? nullptr : it->second.get();
}

std::int32_t MidiLibrary::send(SynthCommand command) {
    settle();
    m_expected = current();
    command.seq = ++m_seq;
    if (!m_backlog.empty() || !m_synth->post(command)) {
        m_backlog.push_back(command);
    }
    Expected& e = m_expected;
    switch (command.kind) {
    case SynthCommand::Kind::Play:
        e.state = static_cast<std::int32_t>(State::Playing);
        e.position = 0;
        e.bpm = InitialBpm(*command.song);
        break;
    case SynthCommand::Kind::Stop:
        e.state = static_cast<std::int32_t>(State::Stopped);
        break;
    case SynthCommand::Kind::Pause:
        if (e.state == static_cast<std::int32_t>(State::Playing)) {
            e.state = static_cast<std::int32_t>(State::Paused);
        }
        break;
    case SynthCommand::Kind::Resume:
        if (e.state == static_cast<std::int32_t>(State::Paused)) {
            e.state = static_cast<std::int32_t>(State::Playing);
        }
        break;
    case SynthCommand::Kind::Seek:
        e.position = std::clamp<std::int64_t>(e.position + command.value, 0, command.song->endTick);
        break;
    case SynthCommand::Kind::SetTempo:
        e.bpm = command.value;
        break;
    case SynthCommand::Kind::Release:
        if (e.song == command.value) {
            e.song = 0;
            e.state = static_cast<std::int32_t>(State::Stopped);
        }
        break;
    case SynthCommand::Kind::SetVolume:
    case SynthCommand::Kind::Reset:
        break;
    }
    if (!m_synth->attached()) {
        settle();
    }
    return kOk;
}

// The old library's KBGMLoadFile.
std::int32_t MidiLibrary::loadFile(std::int32_t& song, const QString& path) {
    if (!m_synth) {
        return kNotOpen;
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || file.size() > kMaxFileBytes) {
        return kBadFile;
    }
    const QByteArray bytes = file.read(kMaxFileBytes);
    auto parsed = std::make_unique<SmfSong>();
    if (!ParseSmf(reinterpret_cast<const std::uint8_t*>(bytes.constData()),
                  static_cast<std::size_t>(bytes.size()), *parsed)) {
        return kBadFile;
    }
    song = ++m_lastSong;
    m_synth->songs.emplace(song, std::move(parsed));
    return kOk;
}

// The old library's KBGMFree.
std::int32_t MidiLibrary::freeSong(std::int32_t song) {
    if (find(song) == nullptr) {
        return m_synth ? kNoSuchSong : kNotOpen;
    }
    settle();
    const Expected e = current();
    if (e.song == song && e.state != static_cast<std::int32_t>(State::Stopped)) {
        return kStillPlaying;
    }
    const auto it = m_synth->songs.find(song);
    SynthCommand c;
    c.kind = SynthCommand::Kind::Release;
    c.song = it->second.get();
    c.value = song;
    // Kept until the audio thread hands it back: it may be reading it this moment.
    m_synth->freed.push_back(std::move(it->second));
    m_synth->songs.erase(it);
    return send(c);
}

// The old library's KBGMPlay.
std::int32_t MidiLibrary::play(std::int32_t song, std::int32_t repeat) {
    const SmfSong* s = find(song);
    if (s == nullptr) {
        return m_synth ? kNoSuchSong : kNotOpen;
    }
    SynthCommand c;
    c.kind = SynthCommand::Kind::Play;
    c.song = s;
    c.value = repeat != 0 ? 1 : 0;
    const std::int32_t result = send(c);
    if (result == kOk) {
        m_expected.song = song;
    }
    return result;
}

// The old library's KBGMStop.
std::int32_t MidiLibrary::stop() {
    if (!m_synth) {
        return kNotOpen;
    }
    SynthCommand c;
    c.kind = SynthCommand::Kind::Stop;
    return send(c);
}

// The old library's KBGMPause.
std::int32_t MidiLibrary::pause() {
    if (!m_synth) {
        return kNotOpen;
    }
    SynthCommand c;
    c.kind = SynthCommand::Kind::Pause;
    return send(c);
}

// The old library's KBGMResume.
std::int32_t MidiLibrary::resume(std::int32_t song) {
    const SmfSong* s = find(song);
    if (s == nullptr || current().song != song) {
        return m_synth ? kNoSuchSong : kNotOpen;
    }
    SynthCommand c;
    c.kind = SynthCommand::Kind::Resume;
    c.song = s;
    return send(c);
}

// The old library's KBGMSeek.
std::int32_t MidiLibrary::seek(std::int32_t song, std::int32_t ticks) {
    const SmfSong* s = find(song);
    if (s == nullptr || current().song != song) {
        return m_synth ? kNoSuchSong : kNotOpen;
    }
    SynthCommand c;
    c.kind = SynthCommand::Kind::Seek;
    c.song = s;
    c.value = ticks;
    return send(c);
}

// The old library's KBGMGetInfo.
std::int32_t MidiLibrary::songInfo(std::int32_t song, MidiInfo& info) {
    const SmfSong* s = find(song);
    if (s == nullptr) {
        return m_synth ? kNoSuchSong : kNotOpen;
    }
    settle();
    const Expected e = current();
    info.resolution = s->resolution;
    info.title = s->title;
    if (e.song == song) {
        info.tempo = RoundBpm(e.bpm);
        info.playing = e.state == static_cast<std::int32_t>(State::Playing) ? 1 : 0;
        info.position = static_cast<std::int32_t>(e.position);
    } else {
        info.tempo = RoundBpm(InitialBpm(*s));
        info.playing = 0;
        info.position = 0;
    }
    return kOk;
}

// The old library's KBGMSetTempo.
std::int32_t MidiLibrary::setTempo(std::int32_t song, std::int32_t bpm) {
    const SmfSong* s = find(song);
    if (s == nullptr) {
        return m_synth ? kNoSuchSong : kNotOpen;
    }
    if (bpm <= 0) {
        return kBadArgument;
    }
    if (current().song != song) {
        return kOk; // nothing to change: every song starts at its own tempo
    }
    SynthCommand c;
    c.kind = SynthCommand::Kind::SetTempo;
    c.song = s;
    c.value = bpm;
    return send(c);
}

// The old library's KBGMSetVolume.
std::int32_t MidiLibrary::setVolume(std::int32_t /*song*/, std::int32_t volume) {
    if (!m_synth) {
        return kNotOpen;
    }
    SynthCommand c;
    c.kind = SynthCommand::Kind::SetVolume;
    c.value = std::clamp(volume, 0, 100);
    return send(c);
}

// The old library's KBGMSendSysx.
std::int32_t MidiLibrary::sendSystemReset(std::int32_t kind) {
    if (!m_synth) {
        return kNotOpen;
    }
    if (systemResetBytes(kind).empty()) {
        return kBadArgument;
    }
    SynthCommand c;
    c.kind = SynthCommand::Kind::Reset;
    c.value = kind;
    return send(c);
}

} // namespace mt
