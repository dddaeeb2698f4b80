#include "audio/WavInfoText.h"

#include "audio/SoundFileInfo.h"
#include "audio/WavReader.h"
#include "platform/Numbers.h"

#include <QCoreApplication>

namespace mt {
namespace {

int WholeKilohertz(std::int32_t rate) {
    switch (rate) {
    case 48000:
        return 48;
    case 44100:
        return 44;
    case 22050:
        return 22;
    case 11025:
        return 11;
    default:
        return 0;
    }
}

} // namespace

QString FormatWavInfo(const WavInfo& info, int style) {
    const bool mono = info.channels == 1;
    if (style == 0) {
        return QString::number(WholeKilohertz(info.samplesPerSec)) + QStringLiteral("kHz,") +
               QString::number(info.bitsPerSample) + QStringLiteral("bit,") +
               (mono ? QStringLiteral("M") : QStringLiteral("S"));
    }
    if (style == 1) {
        return ShortestDecimal(info.samplesPerSec / 1000.0) + QStringLiteral("kHz,") +
               QString::number(info.bitsPerSample) +
               QCoreApplication::translate("mt::WavInfoText", "ビット,") +
               (mono ? QCoreApplication::translate("mt::WavInfoText", "モノラル")
                     : QCoreApplication::translate("mt::WavInfoText", "ステレオ"));
    }
    return {};
}

QString FormatSoundInfo(const WavInfo& info, SoundFormat format, int style) {
    if (format == SoundFormat::Wav) {
        return FormatWavInfo(info, style);
    }
    if (style != 0 && style != 1) {
        return {};
    }
    const bool shortStyle = style == 0;
    QString text = (shortStyle ? QString::number(WholeKilohertz(info.samplesPerSec))
                               : ShortestDecimal(info.samplesPerSec / 1000.0)) +
                   QStringLiteral("kHz,");
    if (info.bitsPerSample > 0) {
        text += QString::number(info.bitsPerSample) +
                (shortStyle ? QStringLiteral("bit,")
                            : QCoreApplication::translate("mt::WavInfoText", "ビット,"));
    }
    if (info.channels == 1) {
        text += shortStyle ? QStringLiteral("M")
                           : QCoreApplication::translate("mt::WavInfoText", "モノラル");
    } else {
        text += shortStyle ? QStringLiteral("S")
                           : QCoreApplication::translate("mt::WavInfoText", "ステレオ");
    }
    return text + QStringLiteral(",") + SoundFormatName(format);
}

QString FormatWavInfo(const QString& path, int style) {
    WavInfo info;
    SoundFormat format = SoundFormat::Wav;
    if (!ReadSoundInfo(path, info, &format)) {
        return {};
    }
    return FormatSoundInfo(info, format, style);
}

} // namespace mt
