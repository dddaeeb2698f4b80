#include "media/cd/CdDisc.h"

#include "media/cd/MciErrors.h"
#include "platform/RegularFile.h"

#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <cdio/cdio.h>
#include <cdio/logging.h>
#include <cdio/memory.h>

#include <algorithm>
#include <cstring>

namespace mt {
namespace {

// libcdio talks on stderr about every image it parses (pregaps, unknown words); only its
// errors are worth passing on.
void QuietLog(cdio_log_level_t level, const char* message) {
    if (level >= CDIO_LOG_ERROR) {
        qWarning("libcdio: %s", message);
    }
}

void InstallLogHandler() {
    static const bool installed = [] {
        cdio_log_set_handler(QuietLog);
        return true;
    }();
    (void)installed;
}

driver_id_t DriverFor(const QString& suffix) {
    if (suffix == QLatin1String("cue")) {
        return DRIVER_BINCUE;
    }
    if (suffix == QLatin1String("toc")) {
        return DRIVER_CDRDAO;
    }
    if (suffix == QLatin1String("nrg")) {
        return DRIVER_NRG;
    }
    return DRIVER_UNKNOWN;
}

// A cue sheet with a `FILE "..." WAVE` line: the image reader takes the raw <name>.bin
// whatever the FILE lines say, so such a sheet is refused for what it is, not for a .bin
// nobody meant to make.
bool CueNamesWaveFiles(const QString& path) {
    QFile file(path);
    if (!OpenRegularFileForReading(file)) {
        return false;
    }
    static const QRegularExpression wave(QStringLiteral(R"(^\s*FILE\s.*\sWAVE\s*$)"),
                                         QRegularExpression::MultilineOption |
                                             QRegularExpression::CaseInsensitiveOption);
    return wave.match(QString::fromLatin1(file.read(1 << 20))).hasMatch();
}

bool BinBesideCueExists(const QFileInfo& cue) {
    const QString base = cue.dir().filePath(cue.completeBaseName());
    return QFileInfo::exists(base + QLatin1String(".bin")) ||
           QFileInfo::exists(base + QLatin1String(".BIN"));
}

} // namespace

bool ImageIsBigEndian(const QString& path) {
    const QString suffix = QFileInfo(path).suffix().toLower();
    if (suffix != QLatin1String("cue") && suffix != QLatin1String("toc")) {
        return false;
    }
    QFile file(path);
    if (!OpenRegularFileForReading(file)) {
        return false;
    }
    const QString text = QString::fromLatin1(file.read(1 << 20));
    if (suffix == QLatin1String("cue")) {
        static const QRegularExpression motorola(QStringLiteral(R"(^\s*FILE\s.*\sMOTOROLA\s*$)"),
                                                 QRegularExpression::MultilineOption |
                                                     QRegularExpression::CaseInsensitiveOption);
        return motorola.match(text).hasMatch();
    }
    // cdrdao keeps raw audio files MSB first; a WAVE file is little-endian like a drive.
    static const QRegularExpression rawFile(
        QStringLiteral(R"re(^\s*(AUDIO)?FILE\s+"[^"]*(?<!\.wav)")re"),
        QRegularExpression::MultilineOption | QRegularExpression::CaseInsensitiveOption);
    return rawFile.match(text).hasMatch();
}

std::uint32_t CdDisc::checkImageFile(const QString& path) {
    const QFileInfo info(path);
    if (!info.isFile()) {
        return kCdErrImageMissing;
    }
    if (info.suffix().toLower() == QLatin1String("cue")) {
        // Told apart without parsing, and without a child each time.
        if (CueNamesWaveFiles(path)) {
            return kCdErrCueOfWaveFiles;
        }
        if (!BinBesideCueExists(info)) {
            return kCdErrBinMissing;
        }
    }
    return kMciOk;
}

std::unique_ptr<CdDisc> CdDisc::openImageInThisProcess(const QString& path, std::uint32_t& error) {
    InstallLogHandler();
    const QFileInfo info(path);
    if (!info.isFile()) {
        error = kCdErrImageMissing;
        return nullptr;
    }
    const QString suffix = info.suffix().toLower();
    CdIo_t* cdio = cdio_open(QFile::encodeName(path).constData(), DriverFor(suffix));
    if (cdio == nullptr) {
        error = suffix == QLatin1String("cue") && !BinBesideCueExists(info) ? kCdErrBinMissing
                                                                            : kCdErrImageDamaged;
        return nullptr;
    }
    std::unique_ptr<CdDisc> disc(new CdDisc(cdio, true, path, ImageIsBigEndian(path)));
    if (!disc->readToc()) {
        error = kCdErrImageDamaged;
        return nullptr;
    }
    error = kMciOk;
    return disc;
}

QByteArray CdDisc::defaultDrive() {
    InstallLogHandler();
    char* device = cdio_get_default_device(nullptr);
    if (device == nullptr) {
        return {};
    }
    QByteArray name(device);
    cdio_free(device);
    return name;
}

std::unique_ptr<CdDisc> CdDisc::openDrive(const QByteArray& device) {
    InstallLogHandler();
    CdIo_t* cdio = cdio_open(device.constData(), DRIVER_DEVICE);
    if (cdio == nullptr) {
        return nullptr;
    }
    std::unique_ptr<CdDisc> disc(new CdDisc(cdio, false, QString::fromLocal8Bit(device), false));
    return disc->readToc() ? std::move(disc) : nullptr;
}

CdDisc::CdDisc(CdIo_t* cdio, bool image, QString path, bool bigEndian)
    : m_cdio(cdio), m_image(image), m_path(std::move(path)), m_bigEndian(bigEndian) {}

CdDisc::~CdDisc() {
    cdio_destroy(m_cdio);
}

bool CdDisc::readToc() {
    const track_t first = cdio_get_first_track_num(m_cdio);
    const track_t count = cdio_get_num_tracks(m_cdio);
    if (first == CDIO_INVALID_TRACK || count == CDIO_INVALID_TRACK || count == 0) {
        return false;
    }
    for (int t = first; t < first + count; ++t) {
        const lsn_t start = cdio_get_track_lsn(m_cdio, static_cast<track_t>(t));
        if (start == CDIO_INVALID_LSN || (!m_starts.empty() && start < m_starts.back())) {
            return false;
        }
        m_starts.push_back(start);
        m_audio.push_back(cdio_get_track_format(m_cdio, static_cast<track_t>(t)) ==
                          TRACK_FORMAT_AUDIO);
    }
    const lsn_t leadout = cdio_get_track_lsn(m_cdio, CDIO_CDROM_LEADOUT_TRACK);
    if (leadout == CDIO_INVALID_LSN || leadout < m_starts.back()) {
        return false;
    }
    m_starts.push_back(leadout);
    return true;
}

int CdDisc::trackAt(std::int32_t sector) const {
    const auto tracksEnd = m_starts.end() - 1;
    const auto after = std::upper_bound(m_starts.begin(), tracksEnd, sector);
    return std::max(1, static_cast<int>(after - m_starts.begin()));
}

bool CdDisc::read(std::int32_t sector, int count, std::int16_t* out) {
    const std::size_t samples = static_cast<std::size_t>(count) * kFramesPerSector * 2;
    std::memset(out, 0, samples * sizeof(std::int16_t));
    driver_return_code_t rc;
    {
        const std::lock_guard lock(m_io);
        rc = cdio_read_audio_sectors(m_cdio, out, sector, static_cast<std::uint32_t>(count));
    }
    if (m_bigEndian) {
        for (std::size_t i = 0; i < samples; ++i) {
            const auto u = static_cast<std::uint16_t>(out[i]);
            out[i] = static_cast<std::int16_t>(static_cast<std::uint16_t>((u << 8) | (u >> 8)));
        }
    }
    return rc == DRIVER_OP_SUCCESS;
}

bool CdDisc::present() {
    if (m_image) {
        return QFileInfo::exists(m_path);
    }
    const std::lock_guard lock(m_io);
    return cdio_get_media_changed(m_cdio) != 1;
}

} // namespace mt
