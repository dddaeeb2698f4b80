#include "core/TrackBank.h"

#include "core/BeatClock.h"
#include "core/TempoMath.h"
#include "core/TrackSound.h"

#include <QFileInfo>
#include <QThread>

#include <algorithm>
#include <cmath>
#include <utility>

namespace mt {
namespace {

constexpr std::int32_t kSilence = -10000;

// A keep-pitch track whose speed or pitch moves its sound: one that needs a render.
bool NeedsRender(const Track& t) {
    return t.loaded && t.keepsPitch() && (t.speed != kNormalSpeed || t.pitchCents != 0);
}

} // namespace

TrackBank::TrackBank(TrackSound& sound) : m_sound(sound) {
    m_advanceTimer.setSingleShot(true);
    m_advanceTimer.setTimerType(Qt::PreciseTimer);
    connect(&m_advanceTimer, &QTimer::timeout, this, [this] { advance(m_sound.frameHorizon()); });
    m_renderTimer.setSingleShot(true);
    connect(&m_renderTimer, &QTimer::timeout, this, [this] {
        const std::uint32_t due = std::exchange(m_renderDue, 0);
        for (int i = 0; i < kTrackCount; ++i) {
            if ((due & (1U << i)) != 0) {
                startRender(i);
            }
        }
    });
}

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
    if ((bits & kEditBit) != 0) {
        emit valuesEdited();
    }
    scheduleAdvance();
    scheduleRenders();
}

void TrackBank::play(int index) {
    start(index, false);
}

void TrackBank::playLooping(int index) {
    start(index, true);
}

void TrackBank::start(int index, bool looping) {
    const std::int64_t at = startGridFrame(index);
    if (at >= 0) {
        arm(index, looping, at);
        return;
    }
    disarm(index);
    if (chokes(index)) {
        // The started track is silenced too: it starts again from its first frame below.
        for (int j = 0; j < kTrackCount; ++j) {
            if (m_tracks[j].loaded && sameGroup(index, j)) {
                disarm(j);
                m_sound.stop(m_tracks[j].sounding());
                m_tracks[j].state = PlayState::Stopped;
                notifyTrack(j);
            }
        }
    }
    Track& t = m_tracks[index];
    m_triggerGain[index] = m_nextTriggerGain;
    m_sound.play(t.sounding(), soundingVolume(index), t.pan * 100, soundingFrequency(index),
                 looping);
    t.state = PlayState::Playing;
    t.looping = looping;
    notifyTrack(index);
    select(index);
}

std::int64_t TrackBank::startGridFrame(int index) const {
    const Quantise q = m_tracks[index].quantise;
    if (m_clock == nullptr || q == Quantise::Off || !m_clock->running()) {
        return -1;
    }
    return m_clock->nextGridFrame(m_sound.frameHorizon(), q);
}

void TrackBank::arm(int index, bool looping, std::int64_t frame) {
    disarm(index);
    Track& t = m_tracks[index];
    if (chokes(index)) {
        // The group falls silent at the frame the member starts, not at the press.
        for (int j = 0; j < kTrackCount; ++j) {
            if (j != index && m_tracks[j].loaded && sameGroup(index, j)) {
                if (disarm(j)) {
                    notifyTrack(j);
                }
                m_sound.stopAt(m_tracks[j].sounding(), frame);
            }
        }
    }
    // A loop a whole number of beats long takes up where the grid says it would be, so that it
    // stays in phase with the bars whenever it was started.
    const std::int32_t hz = soundingFrequency(index);
    const std::int64_t phase =
        looping ? gridPhase(index, frame, m_sound.frames(t.sounding()), hz) : -1;
    m_triggerGain[index] = m_nextTriggerGain;
    m_sound.playAt(t.sounding(), soundingVolume(index), t.pan * 100, hz, looping, frame,
                   std::max<std::int64_t>(phase, 0));
    t.startFrame = frame;
    t.startLooping = looping;
    notifyTrack(index);
    select(index);
}

std::int64_t TrackBank::gridPhase(int index, std::int64_t frame, std::int64_t frames,
                                  double hz) const {
    const double rate = m_sound.frameRate();
    if (m_clock == nullptr || !m_clock->running() || m_tracks[index].quantise == Quantise::Off ||
        rate <= 0.0 || frames <= 0 || hz <= 0.0) {
        return -1;
    }
    const double beats = static_cast<double>(frames) / hz * rate / m_clock->framesPerBeat();
    const double whole = std::round(beats);
    if (whole < 1.0 || std::fabs(beats - whole) >= 0.01) {
        return -1;
    }
    // Shorter than a bar: counted from the bar's start; a bar or longer: from beat 0, so a
    // two-bar loop keeps to the two-bar phrase.
    const double bar = m_clock->beatsPerBar();
    double beat = m_clock->beatAt(frame);
    if (whole < bar) {
        beat -= std::floor(beat / bar) * bar;
    }
    const double phase = (beat - std::floor(beat / whole) * whole) / whole;
    return std::llround(phase * static_cast<double>(frames)) % frames;
}

bool TrackBank::disarm(int index) {
    Track& t = m_tracks[index];
    if (t.startFrame < 0 && t.stopFrame < 0) {
        return false;
    }
    if (t.loaded) {
        m_sound.cancelScheduled(t.sounding());
    }
    if (t.startFrame >= 0 && chokes(index)) {
        // The members it would have silenced play on.
        for (int j = 0; j < kTrackCount; ++j) {
            if (j != index && m_tracks[j].loaded && sameGroup(index, j)) {
                m_sound.cancelScheduled(m_tracks[j].sounding());
            }
        }
    }
    t.startFrame = -1;
    t.stopFrame = -1;
    return true;
}

void TrackBank::stopPressed(int index) {
    Track& t = m_tracks[index];
    const std::int64_t at = t.stopOnGrid ? startGridFrame(index) : -1;
    if (at < 0) {
        stop(index);
        return;
    }
    disarm(index);
    m_sound.stopAt(t.sounding(), at);
    t.stopFrame = at;
    notifyTrack(index);
}

void TrackBank::regrid() {
    for (int i = 0; i < kTrackCount; ++i) {
        Track& t = m_tracks[i];
        if (t.armed()) {
            const std::int64_t at = startGridFrame(i);
            if (at < 0) {
                disarm(i);
                start(i, t.startLooping);
            } else if (at != t.startFrame) {
                m_nextTriggerGain = m_triggerGain[i]; // a pad's level stays with its start
                arm(i, t.startLooping, at);
                m_nextTriggerGain = 0;
            }
        } else if (t.stopFrame >= 0) {
            stopPressed(i);
        }
    }
}

void TrackBank::advance(std::int64_t frame) {
    for (int i = 0; i < kTrackCount; ++i) {
        Track& t = m_tracks[i];
        if (t.startFrame >= 0 && t.startFrame <= frame) {
            if (chokes(i)) {
                for (int j = 0; j < kTrackCount; ++j) {
                    if (j != i && sameGroup(i, j) && m_tracks[j].playing()) {
                        m_tracks[j].state = PlayState::Stopped;
                        notifyTrack(j);
                    }
                }
            }
            t.startFrame = -1;
            t.state = PlayState::Playing;
            t.looping = t.startLooping;
            notifyTrack(i);
        }
        if (t.stopFrame >= 0 && t.stopFrame <= frame) {
            t.stopFrame = -1;
            t.state = PlayState::Stopped;
            notifyTrack(i);
        }
    }
    releaseRetired();
    scheduleAdvance();
}

void TrackBank::scheduleAdvance() {
    if (QThread::currentThread() != thread()) {
        return; // the borrower's flush on the UI thread comes here again
    }
    std::int64_t next = -1;
    for (const Track& t : m_tracks) {
        for (const std::int64_t f : {t.startFrame, t.stopFrame}) {
            if (f >= 0 && (next < 0 || f < next)) {
                next = f;
            }
        }
    }
    const int rate = m_sound.frameRate();
    const bool retiring = std::any_of(m_retired.begin(), m_retired.end(),
                                      [](const Retired& r) { return r.buffer != 0; });
    if (next < 0 && retiring) {
        m_advanceTimer.start(20); // a sound changed over is let go once its fade is mixed
        return;
    }
    if (next < 0) {
        m_advanceTimer.stop();
        return;
    }
    // The horizon runs a few blocks ahead of what is heard: due there is soon enough. While no
    // output runs the frames stand still; look again now and then.
    const std::int64_t ahead = next - m_sound.frameHorizon();
    const int ms =
        rate > 0 ? static_cast<int>(std::clamp<std::int64_t>(ahead * 1000 / rate, 0, 1000)) : 100;
    m_advanceTimer.start(ms);
}

void TrackBank::stop(int index) {
    disarm(index);
    m_sound.stop(m_tracks[index].sounding());
    m_tracks[index].state = PlayState::Stopped;
    notifyTrack(index);
}

void TrackBank::toggle(int index) {
    if (!m_tracks[index].loaded) {
        return; // nothing to sound yet, or any more
    }
    if (disarm(index)) {
        notifyTrack(index); // pressed again before its start: it stays as it was
    } else if (playing(index)) {
        stopPressed(index);
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
    if (t.armed() || t.stopFrame >= 0) {
        // Pressed again before the grid: the start or the stop it waits for is called off.
        disarm(index);
        notifyTrack(index);
    } else if (t.hold) {
        start(index, t.loop);
    } else if (t.loop) {
        if (t.playing()) {
            stopPressed(index);
        } else {
            stop(index);
            playLooping(index);
        }
    } else if (startGridFrame(index) >= 0) {
        play(index); // the sound now playing goes on until the grid point
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
        m_sound.setVolume(m_tracks[index].sounding(), soundingVolume(index));
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
    if (member) {
        setChokeGroup(index, 1);
    } else if (m_tracks[index].loneWolf()) {
        setChokeGroup(index, 0);
    }
}

void TrackBank::setChokeGroup(int index, int group) {
    group = std::clamp(group, 0, kChokeGroups);
    if (m_tracks[index].chokeGroup == group) {
        return;
    }
    Track& t = m_tracks[index];
    const int old = t.chokeGroup;
    const std::int64_t armedAt = t.startFrame;
    disarm(index); // a start it armed silences the group it leaves no longer
    t.chokeGroup = static_cast<std::uint8_t>(group);
    if (armedAt >= 0) {
        m_nextTriggerGain = m_triggerGain[index]; // armed again, in the new group
        arm(index, t.startLooping, armedAt);
        m_nextTriggerGain = 0;
    }
    if (group > 1 || old > 1) {
        edited(index);
    } else {
        notifyTrack(index);
    }
}

bool TrackBank::chokes(int index) const {
    const int group = m_tracks[index].chokeGroup;
    return group > 1 || (group == 1 && m_loneWolfMode);
}

void TrackBank::toggleSelectedLoneWolf() {
    if (m_selectedTrack != -1) {
        setLoneWolfMember(m_selectedTrack, !m_tracks[m_selectedTrack].loneWolf());
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
    dropRender(index);
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
                m_sound.routeToTrack(buffer, index);
                // A file cut while it was read plays what was read: its length is that.
                const std::int64_t frames = m_sound.frames(buffer);
                if (frames >= 0 && frames < done.frames && done.sampleRate > 0) {
                    done.frames = static_cast<float>(frames);
                    done.length44k = static_cast<float>(frames * 44100.0 / done.sampleRate);
                }
                stretchChanged(index);
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
        dropRender(index);
        m_sound.release(t.buffer); // and with it what was scheduled for it
        t.loaded = false;
        t.startFrame = t.stopFrame = -1;
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
    notify((index < 0 ? kBankBit : 1U << index) | kEditBit);
}

void TrackBank::setFile(int index, const QString& fileName, const QString& path) {
    Track& t = m_tracks[index];
    t.fileName = fileName;
    t.path = path;
    forgetFormat(index);
    edited(index);
}

void TrackBank::movePath(int index, const QString& path) {
    m_tracks[index].path = path;
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
            dropRender(i);
            m_sound.release(t.buffer);
        }
        t.loaded = false;
        t.startFrame = t.stopFrame = -1;
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
        dropRender(i, false);
        t.loaded = false;
        t.buffer = 0;
        t.rateRatio = 1.0f;
        t.startFrame = t.stopFrame = -1;
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
        m_sound.setPan(t.sounding(), pan * 100);
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
        m_sound.setFrequency(t.sounding(), soundingFrequency(index));
    }
    t.duration = TrackDurationSeconds(t.length44k, speed);
    stretchChanged(index);
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

void TrackBank::setQuantise(int index, Quantise quantise) {
    if (m_tracks[index].quantise == quantise) {
        return;
    }
    m_tracks[index].quantise = quantise;
    if (m_tracks[index].armed()) {
        regrid();
    }
    edited(index);
}

void TrackBank::setStopOnGrid(int index, bool onGrid) {
    if (m_tracks[index].stopOnGrid == onGrid) {
        return;
    }
    m_tracks[index].stopOnGrid = onGrid;
    edited(index);
}

void TrackBank::setStretch(int index, Stretch stretch) {
    if (m_tracks[index].stretch == stretch) {
        return;
    }
    m_tracks[index].stretch = stretch;
    stretchChanged(index);
    edited(index);
}

void TrackBank::setPitch(int index, int cents) {
    cents = std::clamp(cents, kMinPitchCents, kMaxPitchCents);
    if (m_tracks[index].pitchCents == cents) {
        return;
    }
    m_tracks[index].pitchCents = cents;
    stretchChanged(index);
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

std::int32_t TrackBank::soundingFrequency(int index) const {
    const Track& t = m_tracks[index];
    return PlaybackFrequency(t.rendered != 0 ? kNormalSpeed : t.speed, t.rateRatio);
}

void TrackBank::stretchChanged(int index) {
    Track& t = m_tracks[index];
    cancelRender(index); // made for other values
    t.renderState = RenderState::None;
    t.renderPercent = -1;
    if (!NeedsRender(t)) {
        changeSound(index, 0, kNormalSpeed, 0);
    } else if (t.rendered == 0 || t.renderedSpeed != t.speed || t.renderedPitch != t.pitchCents) {
        t.renderState = RenderState::Rendering;
        t.renderError.clear();
        m_renderDue |= 1U << index;
        m_renderTimerWanted = true;
        scheduleRenders();
    }
    notifyTrack(index);
}

void TrackBank::scheduleRenders() {
    if (!m_renderTimerWanted || QThread::currentThread() != thread()) {
        return; // a borrower's flush on the UI thread comes here again
    }
    m_renderTimerWanted = false;
    m_renderTimer.start(kRenderDelayMs);
}

void TrackBank::cancelRender(int index) {
    m_renderDue &= ~(1U << index);
    if (m_renderIds[index] != 0) {
        m_sound.cancelLoad(m_renderIds[index]);
        m_renderIds[index] = 0;
    }
    ++m_renderCounts[index];
}

void TrackBank::dropRender(int index, bool release) {
    Track& t = m_tracks[index];
    cancelRender(index);
    if (t.rendered != 0 && release) {
        m_sound.release(t.rendered);
    }
    t.rendered = 0;
    t.renderState = RenderState::None;
    t.renderPercent = -1;
    if (m_retired[index].buffer != 0 && release) {
        m_sound.release(m_retired[index].buffer);
    }
    m_retired[index] = {};
}

void TrackBank::startRender(int index) {
    const Track& t = m_tracks[index];
    if (!NeedsRender(t)) {
        return;
    }
    const int speed = t.speed;
    const int pitch = t.pitchCents;
    const std::uint64_t count = ++m_renderCounts[index];
    const auto current = [this, index, count] { return m_renderCounts[index] == count; };
    const std::uint64_t id = m_sound.render(
        t.buffer, static_cast<double>(kNormalSpeed) / speed, std::exp2(pitch / 1200.0),
        [this, index, current](int percent) {
            if (current()) {
                m_tracks[index].renderPercent = percent;
                notifyTrack(index);
            }
        },
        [this, index, current, speed, pitch](std::int32_t buffer, const QString& reason) {
            if (!current()) {
                if (buffer != 0) {
                    m_sound.release(buffer); // made for values or a sound since replaced
                }
                return;
            }
            m_renderIds[index] = 0;
            Track& done = m_tracks[index];
            done.renderPercent = -1;
            if (buffer == 0) {
                // The tape sound plays on at the new speed; the frame says why until the next
                // change tries again.
                done.renderState = RenderState::Failed;
                done.renderError = reason;
                changeSound(index, 0, kNormalSpeed, 0);
            } else {
                done.renderState = RenderState::None;
                changeSound(index, buffer, speed, pitch);
            }
            notifyTrack(index);
        });
    // A sound that renders at once has finished already.
    if (m_tracks[index].renderState == RenderState::Rendering && current()) {
        m_renderIds[index] = id;
    }
}

void TrackBank::changeSound(int index, std::int32_t rendered, int speed, int pitch) {
    Track& t = m_tracks[index];
    if (rendered == t.rendered) {
        return;
    }
    const std::int32_t old = t.sounding();
    const std::int32_t oldRendered = t.rendered;
    const double oldHz = soundingFrequency(index);
    t.rendered = rendered;
    m_sound.routeToTrack(rendered, index);
    t.renderedSpeed = speed;
    t.renderedPitch = pitch;
    const std::int32_t now = t.sounding();
    std::int64_t until = -1; // the frame the old sound sounds up to, when it sounds on
    if (t.loaded && t.armed()) {
        // The new sound starts at the grid point; the old one plays on until then.
        m_sound.cancelScheduled(old);
        m_nextTriggerGain = m_triggerGain[index]; // a pad's level stays with its start
        arm(index, t.startLooping, t.startFrame);
        m_nextTriggerGain = 0;
        if (t.playing()) {
            m_sound.stopAt(old, t.startFrame);
            until = t.startFrame;
        }
    } else if (t.loaded && t.playing()) {
        if (t.stopFrame >= 0) {
            m_sound.cancelScheduled(old);
            m_sound.stopAt(now, t.stopFrame);
        }
        until = crossfade(index, old, oldHz);
    }
    if (oldRendered != 0) {
        retire(index, oldRendered, until);
    }
}

std::int64_t TrackBank::crossfade(int index, std::int32_t old, double oldHz) {
    // The new sound takes over at the horizon, at the same place in the music: a loop on the
    // grid where the grid says, any other in proportion to the two lengths. The old one fades
    // out from that frame while the new one rises from silence across a block.
    const Track& t = m_tracks[index];
    const std::int32_t now = t.sounding();
    VoiceStatus status;
    const std::int64_t oldFrames = m_sound.frames(old);
    const std::int64_t newFrames = m_sound.frames(now);
    // A loop sounds while it plays, even one whose start is still on its way to the output (a
    // change-over just before); a one-shot may have run out.
    if (!m_sound.status(old, status) || !(status.playing || t.looping) || oldFrames <= 0 ||
        newFrames <= 0) {
        m_sound.stop(old);
        return -1;
    }
    const std::int64_t at = m_sound.frameHorizon();
    // Where the old sound will be then: where it was at the last frame mixed, and on at its rate.
    double position = static_cast<double>(status.position);
    const std::shared_ptr<const OutputClock> clock = m_sound.outputClock();
    if (clock && m_sound.frameRate() > 0) {
        position += static_cast<double>(std::max<std::int64_t>(0, at - clock->frames())) * oldHz /
                    m_sound.frameRate();
    }
    std::int64_t from = t.looping ? gridPhase(index, at, newFrames, soundingFrequency(index)) : -1;
    if (from < 0) {
        from = std::llround(position * static_cast<double>(newFrames) /
                            static_cast<double>(oldFrames));
    }
    if (t.looping || from < newFrames) {
        m_sound.playAt(now, soundingVolume(index), t.pan * 100, soundingFrequency(index), t.looping,
                       at, from % newFrames);
    }
    m_sound.stopAt(old, at);
    return at;
}

void TrackBank::retire(int index, std::int32_t buffer, std::int64_t until) {
    Retired& r = m_retired[index];
    if (r.buffer != 0) {
        m_sound.release(r.buffer);
    }
    r = {};
    if (until < 0 || !m_sound.outputClock()) {
        m_sound.release(buffer);
        return;
    }
    r = {buffer, until};
    scheduleAdvance();
}

void TrackBank::releaseRetired() {
    const std::shared_ptr<const OutputClock> clock = m_sound.outputClock();
    const std::int64_t margin = m_sound.frameRate() / 50; // past the old sound's fade
    for (Retired& r : m_retired) {
        if (r.buffer != 0 && (!clock || clock->frames() >= r.until + margin)) {
            m_sound.release(r.buffer);
            r = {};
        }
    }
}

} // namespace mt
