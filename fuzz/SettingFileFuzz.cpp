// libFuzzer target for the setting-file loader: any bytes decode to blocks whose every value
// lies in its control's range and is finite, and what was read is saved and read back the
// same through the program's own whole-file writer. The same bytes read as a set's companion
// decode to values that are written and read back the same.
#include "ScratchPath.h"
#include "files/SetExtras.h"
#include "files/SettingFile.h"

#include <QFile>
#include <QString>
#include <QStringList>

#include <cmath>
#include <cstddef>
#include <cstdint>

namespace {

void Require(bool condition) {
    if (!condition) {
        __builtin_trap();
    }
}

void RequireInRange(const mt::TrackSetting& t) {
    static const QStringList ratios{"/32", "/16", "/8", "/4", "/2",  "基準", "",
                                    "*1",  "*2",  "*4", "*8", "*16", "*32"};
    Require(t.speed >= 5 && t.speed <= 9000);
    Require(t.volume >= -70 && t.volume <= 0);
    Require(t.pan >= -40 && t.pan <= 40);
    Require(std::isfinite(t.length44k) && t.length44k >= 0.0f);
    Require(t.loop == 0 || t.loop == 1);
    Require(t.hold == 0 || t.hold == 1);
    Require(ratios.contains(t.ratio));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const mt::fuzz::ScratchPath scratch("marrowtune-fuzz-%1.mrw");
    const QString& path = scratch.path();
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const mt::DecodedSettingFile decoded = mt::DecodeSettingFile(bytes);
    Require(decoded.tracks.size() <= 8);
    std::array<mt::TrackSetting, 8> bank;
    for (std::size_t i = 0; i < decoded.tracks.size(); ++i) {
        RequireInRange(decoded.tracks[i]);
        bank[i] = decoded.tracks[i];
    }

    // Save and reload: every value comes back as it went (the length to the 7 digits it is
    // written with).
    QString error;
    Require(mt::WriteFileWhole(path, mt::EncodeSettingFile(bank), &error));
    QFile file(path);
    Require(file.open(QIODevice::ReadOnly));
    const mt::DecodedSettingFile back = mt::DecodeSettingFile(file.readAll());
    Require(back.ok && back.tracks.size() == 8);
    for (std::size_t i = 0; i < 8; ++i) {
        const mt::TrackSetting& a = bank[i];
        const mt::TrackSetting& b = back.tracks[i];
        RequireInRange(b);
        Require(a.speed == b.speed && a.volume == b.volume && a.pan == b.pan &&
                a.fileName == b.fileName && a.path == b.path && a.loop == b.loop &&
                a.hold == b.hold && a.ratio == b.ratio);
        Require(std::fabs(a.length44k - b.length44k) <= std::fabs(a.length44k) * 1e-6f);
    }

    const mt::SetExtras extras = mt::DecodeSetExtras(bytes).extras;
    const mt::DecodedSetExtras extrasBack = mt::DecodeSetExtras(mt::EncodeSetExtras(extras));
    Require(extrasBack.ok && extrasBack.extras == extras);
    return 0;
}
