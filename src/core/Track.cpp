#include "core/Track.h"

#include "platform/Numbers.h"

#include <QCoreApplication>

namespace mt {

double TrackDurationSeconds(float length44k, int speed) {
    return RoundHalfUp(length44k / static_cast<double>(speed) / 10.0, 3);
}

QString TrackMovedMessage(int index) {
    return QCoreApplication::translate(
               "mt::Track",
               "(%1)トラックのＷＡＶは移動もしくは削除されています。割り当て直してください")
        .arg(index + 1);
}

} // namespace mt
