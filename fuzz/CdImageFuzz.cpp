// libFuzzer target for opening a disc image the way the program does: the probe runs in a
// child process first, so a crash or a hang inside libcdio's parsers is a refused image, and
// only an image the probe read is opened and read here. The first byte chooses the kind of
// image (cue sheet with a .bin beside it, cdrdao .toc, Nero .nrg); the rest is the file.
#include "ScratchPath.h"
#include "media/cd/CdDisc.h"
#include "media/cd/CdImageProbe.h"

#include <QDir>
#include <QFile>
#include <QString>

#include <cstddef>
#include <cstdint>
#include <vector>

namespace {

bool Write(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
           file.write(bytes) == bytes.size();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) {
        return 0;
    }
    static const mt::fuzz::ScratchPath scratch("marrowtune-fuzz-cd-%1");
    const QString& dir = scratch.path();
    static const bool made = QDir().mkpath(dir);
    if (!made) {
        return 0;
    }
    static const char* const kinds[] = {"cue", "toc", "nrg"};
    const QString image = dir + QStringLiteral("/disc.") + QLatin1String(kinds[data[0] % 3]);
    const QByteArray bytes(reinterpret_cast<const char*>(data + 1),
                           static_cast<qsizetype>(size - 1));
    if (!Write(image, bytes) ||
        !Write(dir + QStringLiteral("/disc.bin"), QByteArray(2352 * 8, '\x11'))) {
        return 0;
    }
    const mt::CdImageProbe probe(QStringLiteral(MT_CDPROBE_PROGRAM), 2000);
    std::uint32_t error = mt::CdDisc::checkImageFile(image);
    if (error == 0) {
        error = probe.checkAndWait(image);
    }
    const std::unique_ptr<mt::CdDisc> disc =
        error == 0 ? mt::CdDisc::openImageInThisProcess(image, error) : nullptr;
    QFile::remove(image);
    if (disc == nullptr) {
        return 0;
    }
    std::vector<std::int16_t> sector(static_cast<std::size_t>(mt::CdDisc::kFramesPerSector) * 2);
    for (int t = 1; t <= disc->trackCount(); ++t) {
        disc->read(disc->trackStart(t), 1, sector.data());
        disc->trackAt(disc->trackStart(t));
    }
    return 0;
}
