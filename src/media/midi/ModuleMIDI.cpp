#include "media/midi/ModuleMIDI.h"

#include "audio/VbDSound.h"
#include "platform/Numbers.h"

namespace mt {

ModuleMIDI::ModuleMIDI(MessageSink showMessage, const VbDSound& sound)
    : m_showMessage(std::move(showMessage)), m_sound(sound) {}

bool ModuleMIDI::MidiOpenDevice() {
    if (kbgm.KBGMOpen(10, -1) != Kbgm::kOk) {
        return false;
    }
    MidiReattach();
    return true;
}

void ModuleMIDI::MidiCloseDevice() {
    kbgm.KBGMClose();
}

void ModuleMIDI::MidiReattach() {
    if (kbgm.isOpen() && m_sound.soundLibHandle != 0) {
        kbgm.KBGMSetOutput(m_sound.soundLibHandle);
    }
}

bool ModuleMIDI::MidiLoadSong(const QString& path, int resetIndex) {
    MidiFreeSong();
    std::int32_t song = 0;
    if (kbgm.KBGMLoadFile(song, path) != Kbgm::kOk) {
        // The previous song was freed above: no handle and no state may still point at it.
        midiSong = 0;
        midiState.clear();
        return false;
    }
    midiSong = song;
    SendMidiReset(resetIndex);
    MidiPlay(false);
    midiState = QStringLiteral("Preview");
    return true;
}

void ModuleMIDI::MidiFreeSong() {
    if (kbgm.KBGMFree(midiSong) == Kbgm::kStillPlaying) {
        MidiStop();
        kbgm.KBGMFree(midiSong);
    }
}

void ModuleMIDI::MidiPlay(bool repeat) {
    kbgm.KBGMPlay(midiSong, repeat ? 1 : 0);
}

void ModuleMIDI::MidiStop() {
    kbgm.KBGMStop();
}

void ModuleMIDI::MidiPause() {
    kbgm.KBGMPause();
}

void ModuleMIDI::MidiResume() {
    kbgm.KBGMResume(midiSong);
}

void ModuleMIDI::MidiForward() {
    kbgm.KBGMSeek(midiSong, 1920);
}

void ModuleMIDI::MidiRewind() {
    if (kbgm.KBGMSeek(midiSong, -1920) != Kbgm::kOk) {
        m_showMessage(QStringLiteral("巻き戻し時にエラー発生"));
    }
}

bool ModuleMIDI::MidiGetInfo() {
    if (kbgm.KBGMGetInfo(midiSong, midiInfo) != Kbgm::kOk) {
        m_showMessage(QStringLiteral("GETINFOMIDIでエラー発生"));
        return false;
    }
    return true;
}

void ModuleMIDI::MidiSetTempo(std::int32_t tempo) {
    kbgm.KBGMSetTempo(midiSong, tempo);
}

void ModuleMIDI::MidiMute() {
    kbgm.KBGMSetVolume(midiSong, 0);
}

void ModuleMIDI::MidiUnmute() {
    kbgm.KBGMSetVolume(midiSong, 100);
}

void ModuleMIDI::SendMidiReset(int index) {
    // The list shows GM, GS, XG, VL, VL2; the library numbers them GM, GS, VL, VL2, XG.
    static constexpr std::int32_t kKinds[] = {0, 1, 4, 2, 3};
    if (index >= 0 && index < 5) {
        kbgm.KBGMSendSysx(kKinds[index]);
    }
}

void ModuleMIDI::UpdateBarSeconds() {
    midiBarSeconds = midiTempo != 0 ? 240.0 / midiTempo : 0.0;
}

QString ModuleMIDI::BarSecondsText() const {
    // Kept as a single-precision value, as the label's source did.
    const auto shown = static_cast<float>(RoundHalfUp(midiBarSeconds, 3));
    return FormatNumber(shown, "#,###0.000");
}

bool ModuleMIDI::ElapsedFromPosition(std::int32_t position, std::int32_t& beats,
                                     std::int32_t& hundredths) const {
    if (midiResolution == 0 || midiTempo == 0) {
        return false;
    }
    beats = RoundHalfEvenToInt(static_cast<double>(position) / midiResolution);
    hundredths = RoundHalfEvenToInt(beats * 60.0 / midiTempo * 100.0);
    return true;
}

} // namespace mt
