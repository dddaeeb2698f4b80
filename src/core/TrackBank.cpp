#include "core/TrackBank.h"

#include "core/TempoMath.h"
#include "core/TrackSound.h"

#include <QFileInfo>
#include <QThread>

#include <algorithm>
#include <utility>

namespace mt {
namespace {

constexpr std::int32_t kSilence = -10000;

} // namespace

TrackBank::TrackBank(TrackSound& sound) : m_sound(sound) {}

TrackBank::Batch::Batch(TrackBank& bank) : m_bank(bank) {
    ++m_bank.m_batches;
}

TrackBank::Batch::~Batch() {
    if (--m_bank.m_batches == 0) {
        m_bank.flushNotices();
    }
}

void TrackBank::notify(std::uint32_t bits) {
    // Off the UI thread (a MIDI thread borrowing the core) the changes wait for the borrower to
    // have flushNotices() run on the UI thread: the windows hear of them once, however many.
    m_notices.fetch_or(bits);
    if (m_batches == 0 && QThread::currentThread() == thread()) {
        flushNotices();
    }
}

void TrackBank::flushNotices() {
    const std::uint32_t bits = m_notices.exchange(0);
    for (int i = 0; i < kTrackCount; ++i) {
        if ((bits & (1U << i)) != 0) {
            emit trackChanged(i);
        }
    }
    if ((bits & kBankBit) != 0) {
        emit bankStateChanged();
    }
}

void TrackBank::play(int index) {
    start(index, false);
}

void TrackBank::playLooping(int index) {
    start(index, true);
}

void TrackBank::start(int index, bool looping) {
    if (m_loneWolfMode && m_tracks[index].loneWolf) {
        // The started track is silenced too: it starts again from its first frame below.
        for (int j = 0; j < kTrackCount; ++j) {
            if (m_tracks[j].loaded && m_tracks[j].loneWolf) {
                m_sound.stop(m_tracks[j].buffer);
                m_tracks[j].state = PlayState::Stopped;
                notifyTrack(j);
            }
        }
    }
    Track& t = m_tracks[index];
    m_triggerGain[index] = m_nextTriggerGain;
    m_sound.play(t.buffer, soundingVolume(index), t.pan * 100,
                 PlaybackFrequency(t.speed, t.rateRatio), looping);
    t.state = PlayState::Playing;
    notifyTrack(index);
    select(index);
}

void TrackBank::stop(int index) {
    m_sound.stop(m_tracks[index].buffer);
    m_tracks[index].state = PlayState::Stopped;
    notifyTrack(index);
}

void TrackBank::toggle(int index) {
    if (!m_tracks[index].loaded) {
        return; // nothing to sound yet, or any more
    }
    if (playing(index)) {
        stop(index);
    } else if (m_tracks[index].loop) {
        playLooping(index);
    } else {
        stop(index);
        play(index);
    }
}

void TrackBank::press(int index) {
    Track& t = m_tracks[index];
    if (!t.loaded || t.keyHeld) {
        return;
    }
    t.keyHeld = true;
    if (t.hold) {
        start(index, t.loop);
    } else if (t.loop) {
        const bool wasPlaying = t.playing();
        stop(index);
        if (!wasPlaying) {
            playLooping(index);
        }
    } else {
        stop(index);
        play(index);
    }
}

void TrackBank::release(int index) {
    // Cleared or reassigned while held, the track still lets go of its key.
    const bool wasHeld = std::exchange(m_tracks[index].keyHeld, false);
    if (m_tracks[index].loaded && m_tracks[index].hold) {
        stop(index);
    } else if (wasHeld) {
        // A controller's pad shows the key even where its release stops nothing.
        notifyTrack(index);
    }
}

void TrackBank::press(int index, int gainCentiDb) {
    m_nextTriggerGain = gainCentiDb;
    press(index);
    m_nextTriggerGain = 0;
}

void TrackBank::releaseAll() {
    for (int i = 0; i < kTrackCount; ++i) {
        if (m_tracks[i].keyHeld) {
            release(i);
        }
    }
    unmuteAll();
    unmuteSelected();
}

std::int32_t TrackBank::soundingVolume(int index) const {
    const bool muted = m_allTracksMuted || mutedAlone(index);
    return muted ? kSilence
                 : std::max(kSilence, m_tracks[index].volume * 100 + m_triggerGain[index]);
}

void TrackBank::applyVolume(int index) {
    if (m_tracks[index].loaded) {
        m_sound.setVolume(m_tracks[index].buffer, soundingVolume(index));
    }
}

void TrackBank::muteAll() {
    if (m_allTracksMuted) {
        return;
    }
    m_allTracksMuted = true;
    for (int i = 0; i < kTrackCount; ++i) {
        applyVolume(i);
    }
    notifyBank();
}

void TrackBank::unmuteAll() {
    if (!m_allTracksMuted) {
        return;
    }
    // A track N still holds stays silent.
    m_allTracksMuted = false;
    for (int i = 0; i < kTrackCount; ++i) {
        applyVolume(i);
    }
    notifyBank();
}

void TrackBank::muteSelected() {
    if (m_selectedTrackMuted || m_selectedTrack == -1 || !m_tracks[m_selectedTrack].loaded) {
        return;
    }
    m_mutedTrack = m_selectedTrack;
    m_selectedTrackMuted = true;
    applyVolume(m_mutedTrack);
    notifyTrack(m_mutedTrack);
}

void TrackBank::unmuteSelected() {
    // Ends the mute even when the track was cleared or reassigned under it.
    if (!m_selectedTrackMuted) {
        return;
    }
    m_selectedTrackMuted = false;
    applyVolume(m_mutedTrack);
    notifyTrack(m_mutedTrack);
}

void TrackBank::select(int index) {
    m_selectedTrack = static_cast<std::int16_t>(index);
    notifyBank();
}

std::int16_t TrackBank::selectNextLoaded() {
    int next = -1;
    for (int i = m_selectedTrack + 1; i < kTrackCount; ++i) {
        if (m_tracks[i].loaded) {
            next = i;
            break;
        }
    }
    select(next);
    return m_selectedTrack;
}

void TrackBank::toggleLoneWolfMode() {
    m_loneWolfMode = !m_loneWolfMode;
    notifyBank();
}

void TrackBank::setLoneWolfMember(int index, bool member) {
    m_tracks[index].loneWolf = member;
    notifyTrack(index);
}

void TrackBank::toggleSelectedLoneWolf() {
    if (m_selectedTrack != -1) {
        setLoneWolfMember(m_selectedTrack, !m_tracks[m_selectedTrack].loneWolf);
    }
}

void TrackBank::panSelected(int pan) {
    if (m_selectedTrack != -1) {
        setPan(m_selectedTrack, pan);
    }
}

TrackBank::Assigned TrackBank::assign(int index, const QString& path) {
    if (path.contains(QLatin1Char('\r')) || path.contains(QLatin1Char('\n'))) {
        return Assigned::LineBreakInPath;
    }
    const QFileInfo file(path);
    // A file that vanished since it was listed goes on to the read failure below.
    if (file.exists() && file.size() == 0) {
        return Assigned::EmptyFile;
    }
    clear(index);
    Track& t = m_tracks[index];
    t.path = path;
    WavInfo info;
    if (!m_sound.readFormat(path, info)) {
        notifyTrack(index);
        return Assigned::Unreadable;
    }
    takeFormat(index, info, LengthFrom::Rate);
    t.fileName = file.fileName();
    select(index);
    edited(index);
    // Without a buffer the library has said why; the track is left cleared but for its path.
    loadSound(index, path, [this](int failed) {
        m_tracks[failed].fileName.clear();
        forgetFormat(failed);
    });
    return Assigned::Ok;
}

void TrackBank::loadSound(int index, const QString& path, std::function<void(int index)> failed) {
    cancelLoad(index);
    Track& t = m_tracks[index];
    t.loadState = LoadState::Loading;
    t.loadPercent = -1;
    const std::uint64_t count = ++m_loadCounts[index];
    touch(index);
    const auto current = [this, index, count] { return m_loadCounts[index] == count; };
    const std::uint64_t id = m_sound.load(
        path,
        [this, index, current](int percent) {
            if (current()) {
                m_tracks[index].loadPercent = percent;
                notifyTrack(index);
            }
        },
        [this, index, current, failed = std::move(failed)](std::int32_t buffer) {
            if (!current()) {
                if (buffer != 0) {
                    m_sound.release(buffer); // never another track's, nor a cleared one's
                }
                return;
            }
            Track& done = m_tracks[index];
            done.loadState = LoadState::Idle;
            done.loadPercent = -1;
            m_loadIds[index] = 0;
            if (buffer != 0) {
                done.buffer = buffer;
                done.loaded = true;
                // A file cut while it was read plays what was read: its length is that.
                const std::int64_t frames = m_sound.frames(buffer);
                if (frames >= 0 && frames < done.frames && done.sampleRate > 0) {
                    done.frames = static_cast<float>(frames);
                    done.length44k = static_cast<float>(frames * 44100.0 / done.sampleRate);
                }
            } else if (failed) {
                failed(index);
            }
            touch(index);
        });
    // A sound that made the buffer at once has finished the load already.
    if (m_tracks[index].loading() && current()) {
        m_loadIds[index] = id;
    }
}

void TrackBank::cancelLoad(int index) {
    Track& t = m_tracks[index];
    if (t.loadState == LoadState::Idle) {
        return;
    }
    m_sound.cancelLoad(m_loadIds[index]);
    m_loadIds[index] = 0;
    ++m_loadCounts[index];
    t.loadState = LoadState::Idle;
    t.loadPercent = -1;
}

void TrackBank::clear(int index) {
    unload(index);
    clearFile(index);
    edited(index);
    selectNextLoaded();
}

void TrackBank::unload(int index) {
    Track& t = m_tracks[index];
    if (t.loadState != LoadState::Idle) {
        cancelLoad(index);
        notifyTrack(index);
    }
    if (t.loaded) {
        m_sound.release(t.buffer);
        t.loaded = false;
        t.state = PlayState::Stopped; // its sound is gone with its buffer
        notifyTrack(index);
    }
}

void TrackBank::touch(int index) {
    m_tracks[index].duration =
        TrackDurationSeconds(m_tracks[index].length44k, m_tracks[index].speed);
    notifyTrack(index);
}

void TrackBank::takeFormat(int index, const WavInfo& info, LengthFrom lengthFrom) {
    Track& t = m_tracks[index];
    t.sampleRate = info.samplesPerSec;
    t.frames = static_cast<float>(info.frameCount);
    t.rateRatio = static_cast<float>(44100.0 / info.samplesPerSec);
    t.length44k = lengthFrom == LengthFrom::Rate
                      ? static_cast<float>(t.frames * 44100.0 / info.samplesPerSec)
                      : t.frames * t.rateRatio;
}

void TrackBank::clearFile(int index) {
    Track& t = m_tracks[index];
    t.loaded = false;
    t.rateRatio = 1.0f;
    t.fileName.clear();
    t.path.clear();
    t.length44k = 0.0f;
}

void TrackBank::edited(int index) {
    m_changed = true;
    notifyTrack(index);
}

void TrackBank::setFile(int index, const QString& fileName, const QString& path) {
    Track& t = m_tracks[index];
    t.fileName = fileName;
    t.path = path;
    forgetFormat(index);
    edited(index);
}

void TrackBank::forgetFormat(int index) {
    m_tracks[index].rateRatio = 1.0f;
    m_tracks[index].length44k = 0.0f;
}

void TrackBank::awaitDevice() {
    for (int i = 0; i < kTrackCount; ++i) {
        Track& t = m_tracks[i];
        if (!t.loaded && !t.loading()) {
            continue;
        }
        cancelLoad(i);
        if (t.loaded) {
            m_sound.release(t.buffer);
        }
        t.loaded = false;
        t.state = PlayState::Stopped;            // its sound is gone with its buffer
        t.loadState = LoadState::AwaitingDevice; // until endDeviceWait
        touch(i);
    }
}

bool TrackBank::endDeviceWait(int index) {
    if (m_tracks[index].loadState != LoadState::AwaitingDevice) {
        return false;
    }
    m_tracks[index].loadState = LoadState::Idle;
    return true;
}

void TrackBank::forgetSounds() {
    for (int i = 0; i < kTrackCount; ++i) {
        Track& t = m_tracks[i];
        t.loaded = false;
        t.buffer = 0;
        t.rateRatio = 1.0f;
        t.state = PlayState::Stopped;
        notifyTrack(i);
    }
}

void TrackBank::setVolume(int index, int volume) {
    if (m_tracks[index].volume == volume) {
        return;
    }
    m_tracks[index].volume = volume;
    applyVolume(index);
    edited(index);
}

void TrackBank::setPan(int index, int pan) {
    Track& t = m_tracks[index];
    if (t.pan == pan) {
        return;
    }
    t.pan = pan;
    if (t.loaded) {
        m_sound.setPan(t.buffer, pan * 100);
    }
    edited(index);
}

void TrackBank::setSpeed(int index, int speed) {
    Track& t = m_tracks[index];
    if (t.speed == speed) {
        return;
    }
    t.speed = speed;
    if (t.loaded) {
        m_sound.setFrequency(t.buffer, PlaybackFrequency(speed, t.rateRatio));
    }
    t.duration = TrackDurationSeconds(t.length44k, speed);
    edited(index);
}

void TrackBank::setLoop(int index, bool loop) {
    if (m_tracks[index].loop == loop) {
        return;
    }
    m_tracks[index].loop = loop;
    edited(index);
}

void TrackBank::setHold(int index, bool hold) {
    if (m_tracks[index].hold == hold) {
        return;
    }
    m_tracks[index].hold = hold;
    edited(index);
}

void TrackBank::setRatio(int index, const QString& ratio) {
    if (m_tracks[index].ratio == ratio) {
        return;
    }
    m_tracks[index].ratio = ratio;
    edited(index);
}

void TrackBank::setFineSpeed(int index, bool fine) {
    if (m_tracks[index].fineSpeed != fine) {
        m_tracks[index].fineSpeed = fine;
        notifyTrack(index);
    }
}

} // namespace mt
