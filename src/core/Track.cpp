#include "core/Track.h"

#include "platform/Numbers.h"

namespace mt {

double TrackDurationSeconds(float length44k, int speed) {
    return RoundHalfUp(length44k / static_cast<double>(speed) / 10.0, 3);
}

QString TrackMovedMessage(int index) {
    return QStringLiteral("(") + QString::number(index + 1) +
           QStringLiteral(
               ")トラックのＷＡＶは移動もしくは削除されています。割り当て直してください");
}

} // namespace mt
