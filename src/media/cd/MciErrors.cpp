#include "media/cd/MciErrors.h"

#include <QtGlobal>

namespace mt {

const char* MciErrorText(std::uint32_t code) noexcept {
    switch (code) {
    case kMciErrUnrecognizedKeyword:
        return QT_TRANSLATE_NOOP("mt::MciErrors", "コマンドのパラメータを認識できません。");
    case kMciErrUnrecognizedCommand:
        return QT_TRANSLATE_NOOP("mt::MciErrors", "コマンドを認識できません。");
    case kMciErrHardware:
        return QT_TRANSLATE_NOOP("mt::MciErrors", "CD の読み取りに失敗しました。");
    case kMciErrInvalidDeviceName:
        return QT_TRANSLATE_NOOP("mt::MciErrors", "指定されたデバイスはオープンされていません。");
    case kMciErrBadInteger:
        return QT_TRANSLATE_NOOP("mt::MciErrors", "数値のパラメータが正しくありません。");
    case kMciErrMissingParameter:
        return QT_TRANSLATE_NOOP("mt::MciErrors", "コマンドに必要なパラメータがありません。");
    case kMciErrDeviceNotReady:
        return QT_TRANSLATE_NOOP(
            "mt::MciErrors",
            "デバイスの準備ができていません。ディスクが入っているか確かめてください。");
    case kMciErrOutOfRange:
        return QT_TRANSLATE_NOOP("mt::MciErrors", "指定された値が範囲外です。");
    case kMciErrDeviceOpen:
        return QT_TRANSLATE_NOOP("mt::MciErrors", "デバイスは既にオープンされています。");
    case kMciErrBadTimeFormat:
        return QT_TRANSLATE_NOOP("mt::MciErrors", "指定された時間形式は使えません。");
    case kMciErrParamOverflow:
        return QT_TRANSLATE_NOOP("mt::MciErrors",
                                 "返される文字列が長すぎて、バッファに入りません。");
    case kCdErrNoSource:
        return QT_TRANSLATE_NOOP("mt::MciErrors",
                                 "CD ドライブが見つからず、ディスクイメージも選ばれていません。");
    case kCdErrImageMissing:
        return QT_TRANSLATE_NOOP("mt::MciErrors", "ディスクイメージのファイルが見つかりません。");
    case kCdErrBinMissing:
        return QT_TRANSLATE_NOOP("mt::MciErrors",
                                 "キューシートと同じ名前の .bin ファイルが見つかりません。");
    case kCdErrCueOfWaveFiles:
        return QT_TRANSLATE_NOOP(
            "mt::MciErrors",
            "キューシートが WAVE ファイルを指しています。読めるのは、音声が同じ名前の .bin "
            "ファイル1つに入ったキューシートだけです。");
    case kCdErrImageDamaged:
        return QT_TRANSLATE_NOOP("mt::MciErrors",
                                 "ディスクイメージが壊れているか、読み取れない形式です。");
    case kCdErrProbeMissing:
        return QT_TRANSLATE_NOOP("mt::MciErrors",
                                 "ディスクイメージを確かめるプログラム (marrowtune-cdprobe) "
                                 "がインストールされていません。");
    case kCdErrChecking:
        return QT_TRANSLATE_NOOP("mt::MciErrors", "ディスクイメージを確認中です。");
    default:
        return nullptr;
    }
}

} // namespace mt
