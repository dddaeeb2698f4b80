#include "media/cd/MciErrors.h"

namespace mt {

const char* MciErrorText(std::uint32_t code) noexcept {
    switch (code) {
    case kMciErrUnrecognizedKeyword:
        return "コマンドのパラメータを認識できません。";
    case kMciErrUnrecognizedCommand:
        return "コマンドを認識できません。";
    case kMciErrHardware:
        return "CD の読み取りに失敗しました。";
    case kMciErrInvalidDeviceName:
        return "指定されたデバイスはオープンされていません。";
    case kMciErrBadInteger:
        return "数値のパラメータが正しくありません。";
    case kMciErrMissingParameter:
        return "コマンドに必要なパラメータがありません。";
    case kMciErrDeviceNotReady:
        return "デバイスの準備ができていません。ディスクが入っているか確かめてください。";
    case kMciErrOutOfRange:
        return "指定された値が範囲外です。";
    case kMciErrDeviceOpen:
        return "デバイスは既にオープンされています。";
    case kMciErrBadTimeFormat:
        return "指定された時間形式は使えません。";
    case kMciErrParamOverflow:
        return "返される文字列が長すぎて、バッファに入りません。";
    case kCdErrNoSource:
        return "CD ドライブが見つからず、ディスクイメージも選ばれていません。";
    case kCdErrImageMissing:
        return "ディスクイメージのファイルが見つかりません。";
    case kCdErrBinMissing:
        return "キューシートと同じ名前の .bin ファイルが見つかりません。";
    case kCdErrCueOfWaveFiles:
        return "キューシートが WAVE ファイルを指しています。読めるのは、音声が同じ名前の .bin "
               "ファイル1つに入ったキューシートだけです。";
    case kCdErrImageDamaged:
        return "ディスクイメージが壊れているか、読み取れない形式です。";
    case kCdErrProbeMissing:
        return "ディスクイメージを確かめるプログラム (marrowtune-cdprobe) "
               "がインストールされていません。";
    case kCdErrChecking:
        return "ディスクイメージを確認中です。";
    default:
        return nullptr;
    }
}

} // namespace mt
