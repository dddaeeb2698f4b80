#include "media/midi/MidiFilePlayer.h"

#include "audio/SoundDevice.h"
#include "platform/Numbers.h"

#include <algorithm>

namespace mt {

MidiFilePlayer::MidiFilePlayer(MessageSink showMessage, const SoundDevice& sound)
    : m_showMessage(std::move(showMessage)), m_sound(sound) {
    watchTimer.setObjectName(QStringLiteral("TimerMIDI"));
    connect(&watchTimer, &QTimer::timeout, this, [this] { tick(); });
}

bool MidiFilePlayer::MidiOpenDevice() {
    if (kbgm.open(10, -1) != MidiLibrary::kOk) {
        return false;
    }
    MidiReattach();
    return true;
}

void MidiFilePlayer::MidiCloseDevice() {
    kbgm.close();
}

void MidiFilePlayer::MidiReattach() {
    if (kbgm.isOpen() && m_sound.soundLibHandle != 0) {
        kbgm.setOutput(m_sound.soundLibHandle);
    }
}

bool MidiFilePlayer::MidiLoadSong(const QString& path, int resetIndex) {
    MidiFreeSong();
    std::int32_t song = 0;
    if (kbgm.loadFile(song, path) != MidiLibrary::kOk) {
        // The previous song was freed above: no handle and no state may still point at it.
        midiSong = 0;
        midiState = MidiState::None;
        return false;
    }
    midiSong = song;
    SendMidiReset(resetIndex);
    MidiPlay(false);
    midiState = MidiState::Preview;
    return true;
}

void MidiFilePlayer::MidiFreeSong() {
    if (kbgm.freeSong(midiSong) == MidiLibrary::kStillPlaying) {
        MidiStop();
        kbgm.freeSong(midiSong);
    }
}

void MidiFilePlayer::MidiPlay(bool looping) {
    kbgm.play(midiSong, looping ? 1 : 0);
}

void MidiFilePlayer::MidiStop() {
    kbgm.stop();
}

void MidiFilePlayer::MidiPause() {
    kbgm.pause();
}

void MidiFilePlayer::MidiResume() {
    kbgm.resume(midiSong);
}

void MidiFilePlayer::MidiForward() {
    kbgm.seek(midiSong, 1920);
}

void MidiFilePlayer::MidiRewind() {
    if (kbgm.seek(midiSong, -1920) != MidiLibrary::kOk) {
        m_showMessage(tr("巻き戻し時にエラー発生"));
    }
}

bool MidiFilePlayer::MidiGetInfo() {
    if (kbgm.songInfo(midiSong, midiInfo) != MidiLibrary::kOk) {
        m_showMessage(tr("GETINFOMIDIでエラー発生"));
        return false;
    }
    return true;
}

void MidiFilePlayer::MidiSetTempo(std::int32_t tempo) {
    kbgm.setTempo(midiSong, tempo);
}

void MidiFilePlayer::MidiMute() {
    kbgm.setVolume(midiSong, 0);
}

void MidiFilePlayer::MidiUnmute() {
    kbgm.setVolume(midiSong, 100);
}

void MidiFilePlayer::SendMidiReset(int index) {
    // The list shows GM, GS, XG, VL, VL2; the library numbers them GM, GS, VL, VL2, XG.
    static constexpr std::int32_t kKinds[] = {0, 1, 4, 2, 3};
    if (index >= 0 && index < 5) {
        kbgm.sendSystemReset(kKinds[index]);
    }
}

void MidiFilePlayer::UpdateBarSeconds() {
    midiBarSeconds = midiTempo != 0 ? 240.0 / midiTempo : 0.0;
}

QString MidiFilePlayer::BarSecondsText() const {
    // Kept as a single-precision value, as the label's source did.
    const auto shown = static_cast<float>(RoundHalfUp(midiBarSeconds, 3));
    return FormatNumber(shown, "#,###0.000");
}

bool MidiFilePlayer::ElapsedFromPosition(std::int32_t position, std::int32_t& beats,
                                         std::int32_t& hundredths) const {
    if (midiResolution == 0 || midiTempo == 0) {
        return false;
    }
    beats = RoundHalfEvenToInt(static_cast<double>(position) / midiResolution);
    hundredths = RoundHalfEvenToInt(beats * 60.0 / midiTempo * 100.0);
    return true;
}

void MidiFilePlayer::openDevice() {
    if (midiOpened) {
        return;
    }
    if (!MidiOpenDevice()) {
        m_showMessage(tr("MIDIデバイスが開けません。"));
    } else {
        UpdateBarSeconds();
        midiOpened = true;
    }
    // The first kind, sent also when it was already chosen at an earlier failed opening.
    chooseReset(0);
}

void MidiFilePlayer::chooseReset(int index) {
    resetKind = index;
    SendMidiReset(index);
    emit changed();
}

void MidiFilePlayer::runWatch(int ms) {
    watchTimer.start(ms);
}

void MidiFilePlayer::openSong(const QString& path) {
    if (!MidiLoadSong(path, resetKind)) {
        // The previous song was freed before the new one failed: an empty player, whose
        // watch would otherwise ask the library about a song it no longer has.
        watchTimer.stop();
        enabledButtons = 0;
        songTitle.reset();
        midiTimeHundredths = 0;
    } else {
        runWatch(kPreviewMs); // the buttons stay as they were until the preview ends
    }
    emit changed();
}

void MidiFilePlayer::start() {
    if (midiState == MidiState::None) {
        return; // no song to play
    }
    if (midiState == MidiState::Preview) {
        tick(); // the preview ends first: the song's title, tempo and resolution are read
    }
    if (midiState == MidiState::Stopping) {
        MidiPlay(repeat);
        MidiSetTempo(midiStartTempo);
    } else if (midiState == MidiState::Pausing) {
        MidiResume();
    }
    enabledButtons = kMidiPause | kMidiStop | kMidiForward | kMidiRewind;
    midiState = MidiState::Playing;
    runWatch(kPlayingTickMs);
    emit changed();
}

void MidiFilePlayer::pause() {
    MidiPause();
    watchTimer.stop();
    midiState = MidiState::Pausing;
    enabledButtons = kMidiStart | kMidiPause | kMidiStop;
    emit changed();
}

void MidiFilePlayer::pauseIfPlaying() {
    if (midiState == MidiState::Playing) {
        pause();
    }
}

void MidiFilePlayer::enterStopped() {
    enabledButtons = kMidiStart;
    midiState = MidiState::Stopping;
    watchTimer.stop();
}

void MidiFilePlayer::stop() {
    MidiStop();
    enterStopped();
    emit changed();
}

void MidiFilePlayer::forward() {
    MidiForward();
}

void MidiFilePlayer::rewind() {
    MidiRewind();
}

void MidiFilePlayer::setTempo(std::int32_t tempo) {
    midiTempo = tempo;
    // Without a song there is nothing to ask or to send: the tempo is only shown (and
    // matched to).
    if (midiState != MidiState::None && MidiGetInfo() && midiInfo.playing == 1) {
        MidiSetTempo(midiTempo);
    }
    UpdateBarSeconds();
    emit changed();
}

void MidiFilePlayer::adoptTempo(std::int32_t tempo) {
    // The performer's tempo never leaves its range; a song beyond it is brought to the edge.
    midiTempo = std::clamp(tempo, kMinTempo, kMaxTempo);
    if (midiTempo != tempo && midiState == MidiState::Playing) {
        MidiSetTempo(midiTempo);
    }
    UpdateBarSeconds();
}

void MidiFilePlayer::tick() {
    if (m_inTick) {
        return;
    }
    m_inTick = true;
    tickOnce();
    m_inTick = false;
    emit changed();
}

void MidiFilePlayer::tickOnce() {
    if (midiState == MidiState::Preview) {
        MidiGetInfo();
        songTitle = midiInfo.title;
        midiResolution = midiInfo.resolution;
        MidiStop();
        midiState = MidiState::Stopping;
        adoptTempo(midiInfo.tempo);
        midiStartTempo = midiTempo;
        watchTimer.stop();
        enabledButtons |= kMidiStart;
        return;
    }
    if (midiState != MidiState::Playing || !MidiGetInfo()) {
        return;
    }
    if (midiInfo.playing == 0) {
        if (repeat) {
            MidiPlay(true);
        } else {
            enterStopped();
        }
        return;
    }
    if (midiInfo.tempo != midiTempo) {
        adoptTempo(midiInfo.tempo);
    }
    std::int32_t beats = 0;
    std::int32_t hundredths = 0;
    if (ElapsedFromPosition(midiInfo.position, beats, hundredths)) {
        midiTimeHundredths = hundredths;
        midiBeats = beats;
    }
}

void MidiFilePlayer::muteOn() {
    if (midiOpened && midiState == MidiState::Playing && !midiMuted) {
        MidiMute();
        midiMuted = true;
        emit changed();
    }
}

void MidiFilePlayer::muteOff() {
    // The mute is the synth's, not the song's: it always ends, or every later song would be
    // silent.
    if (midiMuted) {
        MidiUnmute();
        midiMuted = false;
        emit changed();
    }
}

} // namespace mt
