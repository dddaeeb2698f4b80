#include "core/KeyMap.h"

#include <Qt>

namespace mt {

MappedKey MapPerformanceKey(int qtKey, bool keypad) {
    if (keypad) {
        switch (qtKey) {
        case Qt::Key_1:
        case Qt::Key_End:
            return {PerformanceKey::Track, 1};
        case Qt::Key_2:
        case Qt::Key_Down:
            return {PerformanceKey::Track, 2};
        case Qt::Key_3:
        case Qt::Key_PageDown:
            return {PerformanceKey::Track, 3};
        case Qt::Key_4:
        case Qt::Key_Left:
            return {PerformanceKey::Track, 4};
        case Qt::Key_5:
        case Qt::Key_Clear:
            return {PerformanceKey::Track, 5};
        case Qt::Key_6:
        case Qt::Key_Right:
            return {PerformanceKey::Track, 6};
        case Qt::Key_7:
        case Qt::Key_Home:
            return {PerformanceKey::Track, 7};
        case Qt::Key_8:
        case Qt::Key_Up:
            return {PerformanceKey::Track, 8};
        default:
            return {};
        }
    }
    switch (qtKey) {
    case Qt::Key_Z:
        return {PerformanceKey::Track, 1};
    case Qt::Key_X:
        return {PerformanceKey::Track, 2};
    case Qt::Key_C:
        return {PerformanceKey::Track, 3};
    case Qt::Key_A:
        return {PerformanceKey::Track, 4};
    case Qt::Key_S:
        return {PerformanceKey::Track, 5};
    case Qt::Key_D:
        return {PerformanceKey::Track, 6};
    case Qt::Key_W:
        return {PerformanceKey::Track, 7};
    case Qt::Key_E:
        return {PerformanceKey::Track, 8};
    case Qt::Key_M:
        return {PerformanceKey::MuteAll, 0};
    case Qt::Key_N:
        return {PerformanceKey::MuteSelected, 0};
    case Qt::Key_G:
        return {PerformanceKey::MuteCd, 0};
    case Qt::Key_K:
        return {PerformanceKey::MuteMidi, 0};
    case Qt::Key_B:
        return {PerformanceKey::PauseCd, 0};
    case Qt::Key_F3:
        return {PerformanceKey::LoneWolfMode, 0};
    case Qt::Key_F6:
        return {PerformanceKey::PanLeft, 0};
    case Qt::Key_F7:
        return {PerformanceKey::PanCentre, 0};
    case Qt::Key_F8:
        return {PerformanceKey::PanRight, 0};
    case Qt::Key_O:
        return {PerformanceKey::LoneWolfMember, 0};
    case Qt::Key_Control:
        return {PerformanceKey::NextTrack, 0};
    default:
        return {};
    }
}

} // namespace mt
