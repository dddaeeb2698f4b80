#pragma once

#include "core/Track.h"
#include "ui/Colours.h"

#include <QCoreApplication>
#include <QString>

// How a track's state looks, on the main and the play-mode window alike.
namespace mt::look {

// Its start or its stop waits for the grid: the press has been taken, the sound not yet.
inline bool Waiting(const Track& t) {
    return t.armed() || t.stopFrame >= 0;
}

// The PLAY/STOP button: what a press does now, or what waits for the grid.
inline QString StartCaption(const Track& t) {
    return t.armed()          ? QCoreApplication::translate("mt::TrackPanel", "待機")
           : t.stopFrame >= 0 ? QCoreApplication::translate("mt::TrackPanel", "停止待ち")
           : t.playing()      ? QStringLiteral("STOP")
                              : QStringLiteral("PLAY");
}

inline QColor StartColour(const Track& t) {
    return Waiting(t) ? colours::kOrange : t.playing() ? colours::kMagenta : colours::kCyan;
}

// The track's frame: the selected-track mute over the grid's wait over the choke group.
inline QColor TrackBackground(const Track& t, bool mutedAlone) {
    return mutedAlone          ? colours::kBlue
           : Waiting(t)        ? colours::kOrange
           : t.chokeGroup != 0 ? colours::kChokeGroup[t.chokeGroup - 1]
                               : colours::ButtonFace();
}

} // namespace mt::look
