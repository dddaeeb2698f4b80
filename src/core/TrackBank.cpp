#include "core/TrackBank.h"

#include "audio/WavReader.h"
#include "platform/Numbers.h"

namespace mt {

TrackBank::TrackBank() {
    trackBuffer.fill(0);
    trackLoaded.fill(false);
    trackRateRatio.fill(1.0f);
    trackSampleRate.fill(0);
    trackFrames.fill(0.0f);
    trackLength44k.fill(0.0f);
    trackKeyDown.fill(false);
    trackLoneWolf.fill(false);
    trackDuration.fill(0.0);
}

void TrackBank::takeFormat(int index, const WavInfo& info, LengthFrom lengthFrom) {
    trackSampleRate[index] = info.samplesPerSec;
    trackFrames[index] = static_cast<float>(info.frameCount);
    trackRateRatio[index] = static_cast<float>(44100.0 / info.samplesPerSec);
    trackLength44k[index] =
        lengthFrom == LengthFrom::Rate
            ? static_cast<float>(trackFrames[index] * 44100.0 / info.samplesPerSec)
            : trackFrames[index] * trackRateRatio[index];
}

void TrackBank::clearFile(int index) {
    trackLoaded[index] = false;
    trackRateRatio[index] = 1.0f;
    trackFileName[index].clear();
    trackPath[index].clear();
    trackLength44k[index] = 0.0f;
}

std::int32_t TrackBank::soundingVolume(int index, std::int32_t barVolume) const {
    constexpr std::int32_t kSilence = -10000;
    const bool muted = allTracksMuted || (selectedTrackMuted && mutedTrack == index);
    return muted ? kSilence : barVolume;
}

std::int16_t TrackBank::selectNextLoaded() {
    for (int i = selectedTrack + 1; i < kTrackCount; ++i) {
        if (trackLoaded[i]) {
            selectedTrack = static_cast<std::int16_t>(i);
            return selectedTrack;
        }
    }
    selectedTrack = -1;
    return selectedTrack;
}

double TrackDurationSeconds(float length44k, int speed) {
    return RoundHalfUp(length44k / static_cast<double>(speed) / 10.0, 3);
}

QString TrackMovedMessage(int index) {
    return QStringLiteral("(") + QString::number(index + 1) +
           QStringLiteral(
               ")トラックのＷＡＶは移動もしくは削除されています。割り当て直してください");
}

} // namespace mt
